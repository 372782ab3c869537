// ExceptionText: how the application's handler words a failure for its stop box.
#pragma once

#include <string>

namespace app {

// The message with a full stop appended unless its last byte is "." or one before it in the character
// set (0x2E or below); an empty message stays empty. Windows-1252 bytes.
std::string WithFullStop(std::string message);

}  // namespace app
