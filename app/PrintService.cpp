#include "app/PrintService.h"

namespace app {

PrintService::~PrintService() = default;

}  // namespace app
