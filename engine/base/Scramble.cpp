#include "engine/base/Scramble.h"

namespace engine {

void ScrambleBuffer(void* buffer, std::size_t length, ScrambleSeed seed) noexcept {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint8_t first = seed.first;
    std::uint8_t second = seed.second;
    const std::size_t count = length & 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] ^= static_cast<std::uint8_t>(first ^ second);
        ++first;
        --second;
    }
}

void UnscrambleBuffer(void* buffer, std::size_t length, ScrambleSeed seed) noexcept {
    ScrambleBuffer(buffer, length, seed);
}

}  // namespace engine
