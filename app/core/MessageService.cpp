#include "app/core/MessageService.h"

namespace app {

MessageService::~MessageService() = default;

}  // namespace app
