#include "app/core/ExceptionText.h"

namespace app {

namespace {

// The full stop's own byte: it and every byte below it already close a sentence well enough.
constexpr unsigned char kFullStop = 0x2E;

}  // namespace

std::string WithFullStop(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > kFullStop) message += '.';
    return message;
}

}  // namespace app
