#include "engine/base/BitmapSummary.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/base/Bitmap.h"

namespace engine {

namespace {

// A summary bit stands for one word of this many bytes; a summary word holds this many summary bits.
constexpr std::int64_t WordBytes = 8;
constexpr std::int64_t WordBits = 64;

// Word w of the bitmap with byte 0 lowest (bit n of the array is bit n - 1 of the word stream); bytes past
// the end read as zero.
std::uint64_t LoadWord(const std::uint8_t* bits, std::int64_t size, std::int64_t w) noexcept {
    const std::int64_t from = w * WordBytes;
    const std::int64_t to = std::min(from + WordBytes, size);
    std::uint64_t word = 0;
    for (std::int64_t i = to - 1; i >= from; --i) word = (word << 8) | bits[i];
    return word;
}

std::int64_t DataWords(std::int64_t size) noexcept {
    return size <= 0 ? 0 : (size + WordBytes - 1) / WordBytes;
}

// The bytes one summary word stands for.
constexpr std::int64_t StretchBytes = WordBytes * WordBits;

// The set bits of stretch s (its bytes within the bitmap).
std::uint32_t CountStretch(const std::uint8_t* bits, std::int64_t size, std::int64_t s) noexcept {
    const std::int64_t from = s * StretchBytes;
    const std::int64_t to = std::min(from + StretchBytes, size);
    std::uint32_t count = 0;
    std::int64_t i = from;
    for (; i + WordBytes <= to; i += WordBytes) {
        std::uint64_t word = 0;
        std::memcpy(&word, bits + i, sizeof word);
        count += static_cast<std::uint32_t>(std::popcount(word));
    }
    for (; i < to; ++i) count += static_cast<std::uint32_t>(std::popcount(bits[i]));
    return count;
}

bool CountsFit(const std::vector<std::uint32_t>* counts, std::int64_t size) noexcept {
    return counts != nullptr && static_cast<std::int64_t>(counts->size()) == SummaryWords(size);
}

}  // namespace

std::int64_t SummaryWords(std::int64_t size) noexcept {
    return (DataWords(size) + WordBits - 1) / WordBits;
}

void BuildSummary(const std::vector<std::uint8_t>& bits, std::vector<std::uint64_t>& summary,
                  std::vector<std::uint32_t>* counts) {
    const std::int64_t size = static_cast<std::int64_t>(bits.size());
    summary.assign(static_cast<std::size_t>(SummaryWords(size)), 0);
    const std::int64_t words = DataWords(size);
    for (std::int64_t w = 0; w < words; ++w) {
        if (LoadWord(bits.data(), size, w) != 0) summary[static_cast<std::size_t>(w / WordBits)] |= 1ULL << (w % WordBits);
    }
    if (counts == nullptr) return;
    counts->assign(summary.size(), 0);
    for (std::size_t s = 0; s < counts->size(); ++s)
        (*counts)[s] = CountStretch(bits.data(), size, static_cast<std::int64_t>(s));
}

void NoteSummaryByte(const std::vector<std::uint8_t>& bits, std::int64_t byte,
                     std::vector<std::uint64_t>& summary, std::vector<std::uint32_t>* counts) noexcept {
    const std::int64_t size = static_cast<std::int64_t>(bits.size());
    if (byte < 0 || byte >= size) return;
    if (CountsFit(counts, size))
        (*counts)[static_cast<std::size_t>(byte / StretchBytes)] = CountStretch(bits.data(), size, byte / StretchBytes);
    if (static_cast<std::int64_t>(summary.size()) != SummaryWords(size)) return;
    const std::int64_t w = byte / WordBytes;
    std::uint64_t& entry = summary[static_cast<std::size_t>(w / WordBits)];
    const std::uint64_t mask = 1ULL << (w % WordBits);
    if (LoadWord(bits.data(), size, w) != 0) {
        entry |= mask;
    } else {
        entry &= ~mask;
    }
}

bool TSummarisedBits::Usable() const noexcept {
    return Summary != nullptr && static_cast<std::int64_t>(Summary->size()) == SummaryWords(Size);
}

bool TSummarisedBits::Test(std::int64_t bit) const noexcept {
    return bit >= 1 && bit <= Highest && (bit - 1) / 8 < Size && BitmapTestBit(bit, Bits);
}

bool TSummarisedBits::Next(std::int64_t& position) const noexcept {
    if (!Usable()) return BitmapNextSetBit(Bits, Size, Highest, position);
    // 0-based bit indexes from here on: bit number n is index n - 1.
    const std::int64_t first = std::max<std::int64_t>(position, 0);
    const std::int64_t last = std::min(Highest, Size * 8) - 1;
    if (first > last) return false;
    const std::int64_t words = DataWords(Size);
    std::int64_t w = first / WordBits;
    std::uint64_t word = LoadWord(Bits, Size, w) & (~0ULL << (first % WordBits));
    while (word == 0) {
        // The next word the summary marks, after w.
        std::int64_t next = w + 1;
        std::int64_t s = next / WordBits;
        if (next >= words) return false;
        std::uint64_t marks = (*Summary)[static_cast<std::size_t>(s)] & (~0ULL << (next % WordBits));
        while (marks == 0) {
            if (++s >= static_cast<std::int64_t>(Summary->size()) || s * WordBits * WordBits > last) return false;
            marks = (*Summary)[static_cast<std::size_t>(s)];
        }
        w = s * WordBits + std::countr_zero(marks);
        if (w >= words || w * WordBits > last) return false;
        word = LoadWord(Bits, Size, w);
    }
    const std::int64_t found = w * WordBits + std::countr_zero(word);
    if (found > last) return false;
    position = found + 1;
    return true;
}

bool TSummarisedBits::Prior(std::int64_t& position) const noexcept {
    if (!Usable()) return BitmapPriorSetBit(Bits, Size, position);
    const std::int64_t last = std::min(position - 1, Size * 8) - 1;  // 0-based index of the first candidate
    if (last < 0) return false;
    std::int64_t w = last / WordBits;
    const int keep = static_cast<int>(last % WordBits);
    std::uint64_t word = LoadWord(Bits, Size, w) & (keep == 63 ? ~0ULL : ~(~0ULL << (keep + 1)));
    while (word == 0) {
        // The prior word the summary marks, before w.
        if (w == 0) return false;
        const std::int64_t prior = w - 1;
        std::int64_t s = prior / WordBits;
        const int top = static_cast<int>(prior % WordBits);
        std::uint64_t marks = (*Summary)[static_cast<std::size_t>(s)] & (top == 63 ? ~0ULL : ~(~0ULL << (top + 1)));
        while (marks == 0) {
            if (--s < 0) return false;
            marks = (*Summary)[static_cast<std::size_t>(s)];
        }
        w = s * WordBits + 63 - std::countl_zero(marks);
        word = LoadWord(Bits, Size, w);
    }
    position = w * WordBits + 63 - std::countl_zero(word) + 1;
    return true;
}

std::int64_t TSummarisedBits::CountUpTo(std::int64_t limit) const noexcept {
    if (!Usable()) return BitmapCountUpTo(limit, Bits, Size, Highest);
    const std::int64_t last = std::min({limit, Highest, Size * 8}) - 1;  // 0-based
    if (last < 0) return 0;
    const std::int64_t lastWord = last / WordBits;
    std::int64_t count = 0;
    // Whole stretches before the last one by their counts, when kept.
    std::int64_t s = 0;
    if (CountsFit(Counts, Size))
        for (; s < lastWord / WordBits; ++s) count += (*Counts)[static_cast<std::size_t>(s)];
    for (; s <= lastWord / WordBits; ++s) {
        std::uint64_t marks = (*Summary)[static_cast<std::size_t>(s)];
        while (marks != 0) {
            const std::int64_t w = s * WordBits + std::countr_zero(marks);
            marks &= marks - 1;
            if (w > lastWord) break;
            std::uint64_t word = LoadWord(Bits, Size, w);
            if (w == lastWord && last % WordBits != 63) word &= ~(~0ULL << (last % WordBits + 1));
            count += std::popcount(word);
        }
    }
    return count;
}

bool TSummarisedBits::Select(std::int64_t n, std::int64_t& position) const noexcept {
    if (!Usable()) return BitmapSelect(Bits, Size, Highest, n, position);
    const std::int64_t last = std::min(Highest, Size * 8) - 1;
    if (n < 1 || last < 0) return false;
    const std::int64_t lastWord = last / WordBits;
    std::int64_t left = n;
    for (std::int64_t s = 0; s <= lastWord / WordBits; ++s) {
        std::uint64_t marks = (*Summary)[static_cast<std::size_t>(s)];
        while (marks != 0) {
            const std::int64_t w = s * WordBits + std::countr_zero(marks);
            marks &= marks - 1;
            if (w > lastWord) return false;
            std::uint64_t word = LoadWord(Bits, Size, w);
            if (w == lastWord && last % WordBits != 63) word &= ~(~0ULL << (last % WordBits + 1));
            const int count = std::popcount(word);
            if (count < left) {
                left -= count;
                continue;
            }
            // The word holds the bit: drop its lower set bits one by one.
            for (; left > 1; --left) word &= word - 1;
            position = w * WordBits + std::countr_zero(word) + 1;
            return true;
        }
    }
    return false;
}

}  // namespace engine
