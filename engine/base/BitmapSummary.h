// Record-bitmap searches that skip empty stretches through a summary: one bit per eight-byte word of the
// bitmap, set when that word holds a set bit, so that a sparse bitmap is searched and counted in time of its
// set words rather than its size; and, beside it, the set bits of each stretch of bytes one summary word
// stands for, so that counting up to a record (a natural-order position's rank) adds up stretches instead of
// words.
#pragma once

#include <cstdint>
#include <vector>

namespace engine {

// The bitmap (Bitmap.h's numbering, S bytes, bits above H never reported) with its summary: summary bit w
// (bit w mod 64 of word w div 64) stands for bytes 8w .. 8w + 7. A summary whose size is not
// SummaryWords(S) is not used: every search then scans the bitmap itself. Counts entry s holds the set bits of
// bytes 512s .. 512s + 511 (those summary word s stands for); counts of another size are not used.
struct TSummarisedBits {
    const std::uint8_t* Bits = nullptr;
    std::int64_t Size = 0;
    std::int64_t Highest = 0;
    const std::vector<std::uint64_t>* Summary = nullptr;
    const std::vector<std::uint32_t>* Counts = nullptr;

    // The same answers as BitmapNextSetBit, BitmapPriorSetBit, BitmapCountUpTo and BitmapSelect.
    bool Next(std::int64_t& position) const noexcept;
    bool Prior(std::int64_t& position) const noexcept;
    std::int64_t CountUpTo(std::int64_t limit) const noexcept;
    bool Select(std::int64_t n, std::int64_t& position) const noexcept;
    bool Test(std::int64_t bit) const noexcept;

private:
    bool Usable() const noexcept;
};

// The number of summary words for a bitmap of the size in bytes.
std::int64_t SummaryWords(std::int64_t size) noexcept;
// The summary of the whole bitmap, sized for it, and its counts when asked for.
void BuildSummary(const std::vector<std::uint8_t>& bits, std::vector<std::uint64_t>& summary,
                  std::vector<std::uint32_t>* counts = nullptr);
// After bits of the byte changed: its word's summary bit from the word as it is now, and its stretch's count
// when given. A summary or counts of the wrong size are left alone (they are not used).
void NoteSummaryByte(const std::vector<std::uint8_t>& bits, std::int64_t byte,
                     std::vector<std::uint64_t>& summary, std::vector<std::uint32_t>* counts = nullptr) noexcept;

}  // namespace engine
