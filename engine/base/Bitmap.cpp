#include "engine/base/Bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace engine {

namespace {

// Searches and counts look at eight bytes at a time; zero runs are skipped a word at a time.
constexpr std::int64_t WordBytes = 8;

// Eight bytes as one word with byte 0 lowest, so that bit n of the array is bit n - 1 of the word stream.
std::uint64_t LoadWord(const std::uint8_t* bytes) noexcept {
    std::uint64_t word = 0;
    for (int i = WordBytes - 1; i >= 0; --i) word = (word << 8) | bytes[i];
    return word;
}

// The bits of bytes [from, to) as one word, with the bytes beyond `to` read as zero.
std::uint64_t LoadPartialWord(const std::uint8_t* bits, std::int64_t from, std::int64_t to) noexcept {
    if (to - from >= WordBytes) return LoadWord(bits + from);
    std::uint64_t word = 0;
    for (std::int64_t i = to - 1; i >= from; --i) word = (word << 8) | bits[i];
    return word;
}

// Set bits among bit indexes [first, last] (0-based), counted a word at a time.
std::int64_t CountRange(const std::uint8_t* bits, std::int64_t first, std::int64_t last) noexcept {
    std::int64_t count = 0;
    const std::int64_t endByte = last / 8 + 1;
    for (std::int64_t byte = first / 8; byte < endByte; byte += WordBytes) {
        std::uint64_t word = LoadPartialWord(bits, byte, std::min(byte + WordBytes, endByte));
        const std::int64_t base = byte * 8;
        if (first > base) word &= ~0ULL << (first - base);
        if (last - base < 63) word &= ~(~0ULL << (last - base + 1));
        count += std::popcount(word);
    }
    return count;
}

}  // namespace

void BitmapAnd(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept {
    for (std::int64_t i = 0; i < byteCount; ++i) target[i] &= source[i];
}

void BitmapOr(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept {
    for (std::int64_t i = 0; i < byteCount; ++i) target[i] |= source[i];
}

void BitmapNot(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept {
    for (std::int64_t i = 0; i < byteCount; ++i) target[i] = static_cast<std::uint8_t>(~source[i]);
}

void BitmapSetAll(std::uint8_t* bits, std::int64_t byteCount) noexcept {
    if (byteCount > 0) std::memset(bits, 0xFF, static_cast<std::size_t>(byteCount));
}

void BitmapClearAll(std::uint8_t* bits, std::int64_t byteCount) noexcept {
    if (byteCount > 0) std::memset(bits, 0, static_cast<std::size_t>(byteCount));
}

void BitmapClearAbove(std::int64_t highest, std::uint8_t* bits, std::int64_t size) noexcept {
    if (size <= 0) return;
    const std::int64_t kept = std::max<std::int64_t>(highest, 0);
    const std::int64_t whole = kept / 8;
    if (whole >= size) return;
    // The byte holding the highest bit keeps its bits up to it.
    bits[whole] &= static_cast<std::uint8_t>((1u << (kept % 8)) - 1u);
    BitmapClearAll(bits + whole + 1, size - whole - 1);
}

void BitmapSetBit(std::int64_t bit, std::uint8_t* bits) noexcept {
    bits[(bit - 1) / 8] |= static_cast<std::uint8_t>(1u << ((bit - 1) % 8));
}

void BitmapClearBit(std::int64_t bit, std::uint8_t* bits) noexcept {
    bits[(bit - 1) / 8] &= static_cast<std::uint8_t>(~(1u << ((bit - 1) % 8)));
}

bool BitmapTestBit(std::int64_t bit, const std::uint8_t* bits) noexcept {
    return (bits[(bit - 1) / 8] >> ((bit - 1) % 8)) & 1u;
}

std::int64_t BitmapCount(const std::uint8_t* bits, std::int64_t size, std::int64_t highest) noexcept {
    const std::int64_t last = std::min(highest, size * 8);
    return last < 1 ? 0 : CountRange(bits, 0, last - 1);
}

std::int64_t BitmapCountUpTo(std::int64_t limit, const std::uint8_t* bits, std::int64_t size,
                             std::int64_t highest) noexcept {
    return BitmapCount(bits, size, std::min(limit, highest));
}

bool BitmapNextSetBit(const std::uint8_t* bits, std::int64_t size, std::int64_t highest,
                      std::int64_t& position) noexcept {
    // Bit indexes from here on are 0-based: bit number n is index n - 1.
    const std::int64_t first = std::max<std::int64_t>(position, 0);
    const std::int64_t last = std::min(highest, size * 8) - 1;
    if (first > last) return false;
    const std::int64_t endByte = last / 8 + 1;
    for (std::int64_t byte = first / 8; byte < endByte; byte += WordBytes) {
        std::uint64_t word = LoadPartialWord(bits, byte, std::min(byte + WordBytes, endByte));
        const std::int64_t base = byte * 8;
        if (first > base) word &= ~0ULL << (first - base);
        if (word == 0) continue;
        const std::int64_t found = base + std::countr_zero(word);
        if (found > last) return false;
        position = found + 1;
        return true;
    }
    return false;
}

bool BitmapPriorSetBit(const std::uint8_t* bits, std::int64_t size, std::int64_t& position) noexcept {
    const std::int64_t last = std::min(position - 1, size * 8) - 1;  // 0-based index of the first candidate
    if (last < 0) return false;
    for (std::int64_t endByte = last / 8 + 1; endByte > 0; endByte -= WordBytes) {
        const std::int64_t byte = std::max<std::int64_t>(endByte - WordBytes, 0);
        std::uint64_t word = LoadPartialWord(bits, byte, endByte);
        const std::int64_t base = byte * 8;
        if (last - base < 63) word &= ~(~0ULL << (last - base + 1));
        if (word == 0) continue;
        position = base + 63 - std::countl_zero(word) + 1;
        return true;
    }
    return false;
}

bool BitmapSelect(const std::uint8_t* bits, std::int64_t size, std::int64_t highest, std::int64_t n,
                  std::int64_t& position) noexcept {
    const std::int64_t last = std::min(highest, size * 8) - 1;
    if (n < 1 || last < 0) return false;
    std::int64_t left = n;
    const std::int64_t endByte = last / 8 + 1;
    for (std::int64_t byte = 0; byte < endByte; byte += WordBytes) {
        std::uint64_t word = LoadPartialWord(bits, byte, std::min(byte + WordBytes, endByte));
        const std::int64_t base = byte * 8;
        if (last - base < 63) word &= ~(~0ULL << (last - base + 1));
        const int count = std::popcount(word);
        if (count < left) {
            left -= count;
            continue;
        }
        // The word holds the bit: drop its lower set bits one by one.
        for (; left > 1; --left) word &= word - 1;
        position = base + std::countr_zero(word) + 1;
        return true;
    }
    return false;
}

std::int64_t NextNonZeroByte(const std::uint8_t* bits, std::int64_t size, std::int64_t start) noexcept {
    for (std::int64_t i = std::max<std::int64_t>(start, 0); i < size; ++i) {
        if (bits[i] != 0) return i;
    }
    return size - 1;
}

std::int64_t PriorNonZeroByte(const std::uint8_t* bits, std::int64_t size, std::int64_t start) noexcept {
    for (std::int64_t i = std::min(start, size - 1); i >= 0; --i) {
        if (bits[i] != 0) return i;
    }
    return 0;
}

}  // namespace engine
