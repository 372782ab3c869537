// The scrambling of protected tables' files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// A two-byte seed: the first byte goes up by 1 and the second down by 1 after each byte of a buffer.
struct ScrambleSeed {
    std::uint8_t first;
    std::uint8_t second;
};

// File format: protected tables written with these seeds are readable only with the same seeds, so their
// values must never change. PasswordSeed scrambles the description and password in the record file header;
// DataSeed every other protected structure (field descriptors, records, index and large-object files).
inline constexpr ScrambleSeed PasswordSeed{0xA7, 0x3C};
inline constexpr ScrambleSeed DataSeed{0x5E, 0xD1};

// XORs each byte with both seed bytes, stepping the seed after each. Only the low 16 bits of the length
// count, as the stored files were written; the seed restarts at every call, so a buffer must be unscrambled
// as one call of the same length. The two are the same transformation, each the other's inverse.
void ScrambleBuffer(void* buffer, std::size_t length, ScrambleSeed seed) noexcept;
void UnscrambleBuffer(void* buffer, std::size_t length, ScrambleSeed seed) noexcept;

}  // namespace engine
