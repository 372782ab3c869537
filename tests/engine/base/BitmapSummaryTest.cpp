#include "engine/base/BitmapSummary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/base/Bitmap.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Summary = std::vector<std::uint64_t>;
using Counts = std::vector<std::uint32_t>;

// Every search and count through the summary against the plain bitmap functions, from positions spread over
// the bitmap and its ends, the highest below and at the bitmap's end; with the stretch counts when given.
void ExpectSameAnswers(const Bytes& bits, const Summary& summary, const Counts* counts = nullptr) {
    const std::int64_t size = static_cast<std::int64_t>(bits.size());
    std::vector<std::int64_t> starts;
    for (std::int64_t start = 0; start <= size * 8 + 1; start += size > 64 ? 11 : 1) starts.push_back(start);
    for (const std::int64_t end : {size * 8 - 1, size * 8, size * 8 + 1}) starts.push_back(end);
    for (const std::int64_t highest : {size * 8, size * 8 - 5, std::int64_t{1}, std::int64_t{0}}) {
        const engine::TSummarisedBits search{bits.data(), size, highest, &summary, counts};
        SCOPED_TRACE("highest " + std::to_string(highest));
        for (const std::int64_t start : starts) {
            std::int64_t plain = start;
            std::int64_t summarised = start;
            ASSERT_EQ(engine::BitmapNextSetBit(bits.data(), size, highest, plain), search.Next(summarised))
                << "next from " << start;
            ASSERT_EQ(plain, summarised) << "next from " << start;
            plain = start;
            summarised = start;
            ASSERT_EQ(engine::BitmapPriorSetBit(bits.data(), size, plain), search.Prior(summarised))
                << "prior from " << start;
            ASSERT_EQ(plain, summarised) << "prior from " << start;
            ASSERT_EQ(engine::BitmapCountUpTo(start, bits.data(), size, highest), search.CountUpTo(start))
                << "count to " << start;
            plain = -1;
            summarised = -1;
            ASSERT_EQ(engine::BitmapSelect(bits.data(), size, highest, start, plain), search.Select(start, summarised))
                << "select " << start;
            ASSERT_EQ(plain, summarised) << "select " << start;
        }
    }
}

TEST(BitmapSummary, SparseAndDenseBitmapsOfEverySizeAnswerAsThePlainSearches) {
    std::mt19937 random(50);
    // Sizes around a word and around a summary word (512 bytes), sparse to dense.
    for (const std::size_t size : {1u, 7u, 8u, 9u, 63u, 511u, 512u, 513u, 1100u}) {
        for (const unsigned density : {0u, 1u, 40u, 500u}) {
            SCOPED_TRACE("size " + std::to_string(size) + ", density " + std::to_string(density));
            Bytes bits(size, 0);
            for (std::int64_t bit = 1; bit <= static_cast<std::int64_t>(size) * 8; ++bit)
                if (random() % 1000 < density) engine::BitmapSetBit(bit, bits.data());
            Summary summary;
            Counts counts;
            engine::BuildSummary(bits, summary, &counts);
            EXPECT_EQ(static_cast<std::int64_t>(summary.size()), engine::SummaryWords(static_cast<std::int64_t>(size)));
            EXPECT_EQ(counts.size(), summary.size());
            ExpectSameAnswers(bits, summary);
            ExpectSameAnswers(bits, summary, &counts);
        }
    }
}

TEST(BitmapSummary, NotedChangesKeepItExactAndAWrongSizeIsNotUsed) {
    Bytes bits(1030, 0);
    Summary summary;
    Counts counts;
    engine::BuildSummary(bits, summary, &counts);
    // Bits set and cleared one at a time, the summary noted after each, as the visible bitmap's upkeep does.
    std::mt19937 random(7);
    for (int step = 0; step < 400; ++step) {
        const std::int64_t bit = 1 + static_cast<std::int64_t>(random() % (bits.size() * 8));
        if (random() % 3 == 0) {
            engine::BitmapClearBit(bit, bits.data());
        } else {
            engine::BitmapSetBit(bit, bits.data());
        }
        engine::NoteSummaryByte(bits, (bit - 1) / 8, summary, &counts);
    }
    Summary rebuilt;
    Counts recounted;
    engine::BuildSummary(bits, rebuilt, &recounted);
    EXPECT_EQ(summary, rebuilt);
    EXPECT_EQ(counts, recounted);
    ExpectSameAnswers(bits, summary, &counts);
    // A summary of another size (one left from before the bitmap grew) is ignored, not trusted.
    Summary stale(1, 0);
    ExpectSameAnswers(bits, stale);
    engine::NoteSummaryByte(bits, 5, stale);
    EXPECT_EQ(stale, Summary(1, 0));
    Counts staleCounts(1, 0);
    ExpectSameAnswers(bits, summary, &staleCounts);
    engine::NoteSummaryByte(bits, 5, summary, &staleCounts);
    EXPECT_EQ(staleCounts, Counts(1, 0));
}

}  // namespace
