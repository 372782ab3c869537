#include "app/core/KeyboardState.h"

namespace app {

KeyboardState::~KeyboardState() = default;

}  // namespace app
