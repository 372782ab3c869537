#include "app/core/HelpService.h"

namespace app {

HelpService::~HelpService() = default;

}  // namespace app
