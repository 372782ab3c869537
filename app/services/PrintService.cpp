#include "app/services/PrintService.h"

namespace app {

PrintService::~PrintService() = default;

}  // namespace app
