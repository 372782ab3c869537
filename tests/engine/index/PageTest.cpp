#include "engine/index/Page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/Scramble.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::PageOffset;
using engine::TPage;
using engine::TPageFormat;
using Key = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, engine::PageSize>;

TPageFormat Format(std::uint16_t keyLength, std::uint8_t compression, bool suffix, bool scrambled = false) {
    TPageFormat format;
    format.KeyLength = keyLength;
    // A non-unique secondary index carries the suffix; the primary index never does.
    format.IndexNumber = suffix ? 1 : 0;
    format.Unique = 0;
    format.Compression = compression;
    format.Scrambled = scrambled;
    return format;
}

// Pages are cache entries, which stay where they are made: a test makes one and fills it.
void Fill(TPage& page, std::uint8_t pageType, const std::vector<Key>& keys) {
    page.SetPageType(pageType);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        page.InsertEntry(i, keys[i], static_cast<std::uint32_t>(1000 + i), static_cast<std::uint32_t>(7 * i));
    }
}

// Sorted distinct keys of length k made to exercise compression: shared prefixes of every length, runs of
// zeros before the end (or before the suffix), and suffixes that are sometimes all zero.
std::vector<Key> MakeKeys(std::size_t k, bool suffix, std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    const std::size_t body = suffix ? k - 4 : k;
    Key base(k);
    for (auto& b : base) b = static_cast<std::uint8_t>(random() % 255 + 1);
    std::vector<Key> keys;
    for (std::size_t n = 0; n < count * 2; ++n) {
        Key key = base;
        const std::size_t cut = random() % (body + 1);
        const std::size_t zerosFrom = cut + random() % (body - cut + 1);
        for (std::size_t j = cut; j < body; ++j)
            key[j] = j < zerosFrom ? static_cast<std::uint8_t>(random()) : 0;
        for (std::size_t j = body; j < k; ++j)
            key[j] = random() % 3 == 0 ? 0 : static_cast<std::uint8_t>(random());
        keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    keys.resize(std::min(keys.size(), count));
    return keys;
}

// What an entry of a compressed leaf takes, from its L and T.
std::size_t SumOfEntrySizes(const TPage& page) {
    std::size_t sum = 0;
    for (std::size_t i = 0; i < page.Count(); ++i) {
        sum += page.Format().KeyLength - page.Entry(i).Leading - page.Entry(i).Trailing + 6;
    }
    return sum;
}

void ExpectSameEntries(const TPage& expected, const TPage& actual, const std::string& what) {
    ASSERT_EQ(actual.Count(), expected.Count()) << what;
    for (std::size_t i = 0; i < expected.Count(); ++i) {
        const auto a = actual.Key(i);
        const auto e = expected.Key(i);
        ASSERT_TRUE(std::equal(a.begin(), a.end(), e.begin(), e.end())) << what << " key " << i;
        EXPECT_EQ(actual.Entry(i).Pointer, expected.Entry(i).Pointer) << what << " entry " << i;
        if (!expected.IsLeaf()) {
            EXPECT_EQ(actual.Entry(i).Count, expected.Entry(i).Count) << what << " entry " << i;
        }
        EXPECT_EQ(actual.Entry(i).Leading, expected.Entry(i).Leading) << what << " entry " << i;
        EXPECT_EQ(actual.Entry(i).Trailing, expected.Entry(i).Trailing) << what << " entry " << i;
    }
}

TEST(PageTest, EveryLayoutRoundTripsAFullPage) {
    for (std::uint8_t mode = 0; mode <= 3; ++mode) {
        for (std::size_t k : {5, 16, 300, 1040}) {
            for (bool suffix : {false, true}) {
                for (std::uint8_t type : {engine::PageTypeLeaf, engine::PageTypeNode}) {
                    // Nodes are never compressed: one mode covers them.
                    if (type == engine::PageTypeNode && mode != 0) continue;
                    const std::string what = "mode " + std::to_string(mode) + " K " + std::to_string(k) +
                                             (suffix ? " suffix" : "") + " type " + std::to_string(type);
                    const TPageFormat format = Format(static_cast<std::uint16_t>(k), mode, suffix);
                    TPage page(format);
                    Fill(page, type, MakeKeys(k, suffix, 700, static_cast<unsigned>(k + mode)));
                    // As many entries as the page holds.
                    if (page.IsCompressedLeaf()) {
                        page.ComputeCompression();
                        while (page.EncodedSize() > engine::PageEntryRoom) {
                            page.RemoveEntry(page.Count() - 1u);
                            page.ComputeCompression();
                        }
                    } else {
                        page.SetCount(std::min(page.Count(), page.Capacity()));
                    }
                    ASSERT_GT(page.Count(), 1u) << what;
                    page.SetPrior(PageOffset(8192));
                    page.SetNext(PageOffset(12288));
                    Image image{};
                    page.SaveToBuffer(image);
                    EXPECT_FALSE(page.Dirty()) << what;
                    if (page.IsCompressedLeaf()) {
                        EXPECT_EQ(page.EncodedSize(), SumOfEntrySizes(page)) << what;
                        // The first entry shares nothing.
                        EXPECT_EQ(page.Entry(0).Leading, 0) << what;
                    }
                    TPage loaded(format);
                    loaded.LoadFromBuffer(image, false);
                    EXPECT_EQ(loaded.PageType(), type) << what;
                    EXPECT_EQ(loaded.Prior(), PageOffset(8192)) << what;
                    EXPECT_EQ(loaded.Next(), PageOffset(12288)) << what;
                    EXPECT_EQ(loaded.EncodedSize(), page.EncodedSize()) << what;
                    ExpectSameEntries(page, loaded, what);
                    Image again{};
                    loaded.SaveToBuffer(again);
                    EXPECT_EQ(again, image) << what;
                }
            }
        }
    }
}

// One compressed leaf's entries as stored: L, T and the entry size each.
struct Stored {
    std::uint16_t leading, trailing;
};

struct CompressionCase {
    const char* what;
    std::uint8_t mode;
    bool suffix;
    std::vector<Key> keys;
    std::vector<Stored> stored;
};

Key Bytes(std::initializer_list<int> values) {
    Key key;
    for (int v : values) key.push_back(static_cast<std::uint8_t>(v));
    return key;
}

Key Filled(std::size_t k, std::uint8_t fill, std::size_t from, std::uint8_t value) {
    Key key(k, fill);
    for (std::size_t j = from; j < k; ++j) key[j] = value;
    return key;
}

TEST(PageTest, LeadingAndTrailingCountsFollowTheirRules) {
    // Two 300-byte keys sharing their first 280 bytes.
    const Key longA = Filled(300, 7, 280, 1);
    const Key longB = Filled(300, 7, 280, 2);
    // A key of zeros after its first byte: mode 2 scans only (300 mod 256) bytes of its area.
    Key zeros(300, 0);
    zeros[0] = 9;
    const CompressionCase cases[] = {
        {"mode 1 keeps the whole shared length", 1, false, {longA, longB}, {{0, 0}, {280, 0}}},
        {"mode 3 stores at most 255", 3, false, {longA, longB}, {{0, 0}, {255, 0}}},
        {"mode 2 scans the area mod 256", 2, false, {zeros}, {{0, 44}}},
        // Suffixed keys of 8 bytes: zeros before a zero suffix are dropped, the suffix itself is kept.
        {"mode 2 keeps a zero suffix", 2, true, {Bytes({1, 0, 0, 0, 0, 0, 0, 0})}, {{0, 3}}},
        {"mode 3 keeps a zero suffix",
         3,
         true,
         {Bytes({1, 0, 0, 0, 0, 0, 0, 0}), Bytes({2, 0, 0, 0, 0, 0, 0, 0})},
         {{0, 3}, {0, 3}}},
        // K - L below 5: nothing dropped, bytes L..K-1 stored whole.
        {"mode 3 with K - L < 5",
         3,
         true,
         {Bytes({1, 2, 3, 0, 0, 0, 0, 1}), Bytes({1, 2, 3, 0, 0, 0, 0, 2})},
         {{0, 1}, {7, 0}}},
        // K - L = 5: the area is the one byte before the suffix, and when it is zero only the suffix is
        // stored.
        {"mode 3 with K - L = 5",
         3,
         true,
         {Bytes({1, 2, 3, 7, 0, 0, 0, 1}), Bytes({1, 2, 3, 0, 0, 0, 0, 2})},
         {{0, 0}, {3, 1}}},
    };
    for (const CompressionCase& c : cases) {
        const TPageFormat format = Format(static_cast<std::uint16_t>(c.keys[0].size()), c.mode, c.suffix);
        TPage page(format);
        Fill(page, engine::PageTypeRootLeaf, c.keys);
        page.ComputeCompression();
        ASSERT_EQ(page.Count(), c.stored.size()) << c.what;
        for (std::size_t i = 0; i < c.stored.size(); ++i) {
            EXPECT_EQ(page.Entry(i).Leading, c.stored[i].leading) << c.what << " entry " << i;
            EXPECT_EQ(page.Entry(i).Trailing, c.stored[i].trailing) << c.what << " entry " << i;
        }
        EXPECT_EQ(page.EncodedSize(), SumOfEntrySizes(page)) << c.what;
        Image image{};
        page.SaveToBuffer(image);
        TPage loaded(format);
        loaded.LoadFromBuffer(image, false);
        ExpectSameEntries(page, loaded, c.what);
    }
}

TEST(PageTest, ASuffixedTrailingEntryStoresTheSuffixAfterTheKeptBytes) {
    const TPageFormat format = Format(8, 2, true);
    TPage page(format);
    Fill(page, engine::PageTypeRootLeaf, {Bytes({5, 6, 0, 0, 0xA, 0xB, 0xC, 0xD})});
    Image image{};
    page.SaveToBuffer(image);
    // Header: type 3, count 1, no links, encoded size 8 - 2 + 6.
    const Image::const_iterator entry = image.begin() + engine::PageHeaderSize;
    EXPECT_EQ(image[0], 3);
    EXPECT_EQ(image[1], 1);
    EXPECT_EQ(image[11], 12);
    const std::vector<std::uint8_t> expected = {2, 0, 5, 6, 0xA, 0xB, 0xC, 0xD, 0xE8, 3, 0, 0};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), entry));
    EXPECT_TRUE(std::all_of(entry + 12, image.cend(), [](std::uint8_t b) { return b == 0; }));
}

TEST(PageTest, CompressionAfterOneChangeEqualsCompressionFromScratch) {
    for (std::uint8_t mode = 1; mode <= 3; ++mode) {
        for (const bool suffix : {false, true}) {
            const TPageFormat format = Format(16, mode, suffix);
            const std::vector<Key> keys = MakeKeys(16, suffix, 120, mode + (suffix ? 10u : 0u));
            TPage page(format);
            page.SetPageType(engine::PageTypeLeaf);
            std::mt19937 random(mode);
            std::vector<bool> placed(keys.size(), false);
            for (int step = 0; step < 300; ++step) {
                const std::size_t k = random() % keys.size();
                // The position the key takes among the keys placed.
                const std::size_t at =
                    static_cast<std::size_t>(std::count(placed.begin(), placed.begin() + k, true));
                if (placed[k]) {
                    page.RemoveEntry(at);
                    page.ComputeCompression(at, at);
                } else {
                    page.InsertEntry(at, keys[k], 1);
                    page.ComputeCompression(at, at + 1);
                }
                placed[k] = !placed[k];
                TPage scratch(format);
                scratch.SetPageType(engine::PageTypeLeaf);
                for (std::size_t i = 0; i < page.Count(); ++i) {
                    const auto key = page.Key(i);
                    scratch.InsertEntry(i, Key(key.begin(), key.end()), 1);
                }
                scratch.ComputeCompression();
                ASSERT_EQ(page.EncodedSize(), scratch.EncodedSize()) << int{mode} << " step " << step;
                ExpectSameEntries(scratch, page, "step " + std::to_string(step));
            }
        }
    }
}

// The encoded size is kept along with every change of the entries rather than summed afresh: through seeded
// inserts, removals, runs moved between pages and reloads, it stays the sum of the entry sizes, and the page
// writes the same image, byte for byte, as a page built from scratch with the same keys.
TEST(PageTest, TheEncodedSizeKeptAlongEqualsTheSumFromScratch) {
    for (const std::uint16_t length : {std::uint16_t{5}, std::uint16_t{16}, std::uint16_t{300}}) {
        for (std::uint8_t mode = 1; mode <= 3; ++mode) {
            for (const bool suffix : {false, true}) {
                const std::string what =
                    "K " + std::to_string(length) + " mode " + std::to_string(mode) + " suffix " +
                    std::to_string(suffix);
                const TPageFormat format = Format(length, mode, suffix);
                const unsigned seed = length * 7u + mode + (suffix ? 100u : 0u);
                const std::vector<Key> keys = MakeKeys(length, suffix, 80, seed);
                TPage page(format);
                TPage other(format);
                page.SetPageType(engine::PageTypeLeaf);
                other.SetPageType(engine::PageTypeLeaf);
                std::mt19937 random(seed);
                std::vector<bool> placed(keys.size(), false);
                for (int step = 0; step < 400; ++step) {
                    const std::size_t k = random() % keys.size();
                    const std::size_t at =
                        static_cast<std::size_t>(std::count(placed.begin(), placed.begin() + k, true));
                    const unsigned action = random() % 20;
                    if (action == 0 && page.Count() > 1) {
                        // A split's move of the tail to another page and back, as whole runs.
                        const std::size_t from = random() % page.Count();
                        other.TakeEntries(page, from, page.Count() - from, 0);
                        page.ComputeCompression();
                        other.ComputeCompression();
                        ASSERT_EQ(page.EncodedSize(), SumOfEntrySizes(page)) << what << " step " << step;
                        ASSERT_EQ(other.EncodedSize(), SumOfEntrySizes(other)) << what << " step " << step;
                        page.TakeEntries(other, 0, other.Count(), page.Count());
                        page.ComputeCompression();
                        other.ComputeCompression();
                        ASSERT_EQ(other.EncodedSize(), 0u) << what << " step " << step;
                    } else if (action == 1 && page.EncodedSize() <= engine::PageEntryRoom) {
                        Image image{};
                        page.Store(image);
                        page.Load(image);
                    } else if (placed[k]) {
                        page.RemoveEntry(at);
                        page.ComputeCompression(at, at);
                        placed[k] = false;
                    } else {
                        page.InsertEntry(at, keys[k], static_cast<std::uint32_t>(k));
                        page.ComputeCompression(at, at + 1);
                        placed[k] = true;
                    }
                    ASSERT_EQ(page.EncodedSize(), SumOfEntrySizes(page)) << what << " step " << step;
                    if (page.EncodedSize() > engine::PageEntryRoom) continue;
                    TPage scratch(format);
                    scratch.SetPageType(engine::PageTypeLeaf);
                    for (std::size_t i = 0; i < page.Count(); ++i) {
                        const auto key = page.Key(i);
                        scratch.InsertEntry(i, Key(key.begin(), key.end()), page.Entry(i).Pointer);
                    }
                    Image expected{};
                    Image actual{};
                    scratch.Store(expected);
                    page.Store(actual);
                    ASSERT_EQ(actual, expected) << what << " step " << step;
                    ASSERT_EQ(page.EncodedSize(), SumOfEntrySizes(scratch)) << what << " step " << step;
                }
            }
        }
    }
}

TEST(PageTest, CapacitiesFollowTheEntrySizes) {
    const struct {
        std::uint16_t k;
        std::uint8_t compression, type;
        std::uint16_t capacity;
    } cases[] = {{5, 0, engine::PageTypeNode, 4083 / 15}, {5, 0, engine::PageTypeLeaf, 4083 / 11},
                 {1040, 0, engine::PageTypeRootNode, 3},  {1040, 0, engine::PageTypeRootLeaf, 3},
                 {16, 3, engine::PageTypeLeaf, 4083 / 6}, {16, 3, engine::PageTypeNode, 4083 / 26}};
    for (const auto& c : cases) {
        TPage page(Format(c.k, c.compression, false));
        page.SetPageType(c.type);
        EXPECT_EQ(page.Capacity(), c.capacity) << c.k << " " << int{c.type};
    }
}

// A sound leaf image of three 16-byte keys, to damage.
Image SoundLeaf(const TPageFormat& format) {
    TPage page(format);
    Fill(page, engine::PageTypeLeaf, MakeKeys(16, false, 3, 1));
    Image image{};
    page.SaveToBuffer(image);
    return image;
}

std::uint16_t GetU16(const Image& image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] | (image[at + 1] << 8));
}

void PutU16(Image& image, std::size_t at, std::uint16_t value) {
    image[at] = static_cast<std::uint8_t>(value);
    image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

TEST(PageTest, DamagedImagesRaiseWithoutReadingOutside) {
    const TPageFormat leading = Format(16, 1, false);
    const TPageFormat trailing = Format(16, 2, false);
    const TPageFormat plain = Format(16, 0, false);
    struct Case {
        const char* what;
        TPageFormat format;
        std::function<void(Image&)> damage;
    };
    const std::size_t second = engine::PageHeaderSize + (16 + 6);  // the first mode 1 entry stores all 16
    const Case cases[] = {
        {"page type 4", plain, [](Image& i) { i[0] = 4; }},
        {"count 5000 in a leaf", plain, [](Image& i) { PutU16(i, 1, 5000); }},
        {"count 5000 in a compressed leaf", leading, [](Image& i) { PutU16(i, 1, 5000); }},
        {"encoded size 4090", leading, [](Image& i) { PutU16(i, 11, 4090); }},
        {"entries short of the encoded size", leading,
         [](Image& i) { PutU16(i, 11, static_cast<std::uint16_t>(GetU16(i, 11) + 3)); }},
        {"entries beyond the encoded size", leading,
         [](Image& i) { PutU16(i, 11, static_cast<std::uint16_t>(GetU16(i, 11) - 1)); }},
        {"L above K", leading, [&](Image& i) { PutU16(i, second, 17); }},
        {"T beyond its area", trailing, [](Image& i) { PutU16(i, engine::PageHeaderSize, 17); }},
    };
    for (const Case& c : cases) {
        Image image = SoundLeaf(c.format);
        c.damage(image);
        TPage page(c.format);
        Fill(page, engine::PageTypeLeaf, {Key(16, 1)});
        EXPECT_EQ(EngineCode([&] { page.LoadFromBuffer(image, false); }), engine::ErrIndexPagesCorrupt)
            << c.what;
        // The page is as it was.
        EXPECT_EQ(page.Count(), 1u) << c.what;
        EXPECT_EQ(page.PageType(), engine::PageTypeLeaf) << c.what;
    }
}

TEST(PageTest, SaveRefusesEntriesThatPassThePageOrItsCapacity) {
    // 16-byte keys: a leaf entry takes 20 bytes and holds 185 (4083 div 22), a node entry 24 and holds 157
    // (4083 div 26); compressed entries with nothing in common take 22.
    const struct {
        const char* what;
        std::uint8_t compression, type;
        std::size_t count;
        int code;
    } cases[] = {
        {"leaf passing the room", 0, engine::PageTypeLeaf, 4083 / 20 + 1, engine::ErrIndexPagesCorrupt},
        {"leaf above its capacity", 0, engine::PageTypeLeaf, 186, engine::ErrIndexPagesCorrupt},
        {"full leaf", 0, engine::PageTypeLeaf, 185, 0},
        {"node passing the room", 0, engine::PageTypeNode, 4083 / 24 + 1, engine::ErrIndexPagesCorrupt},
        {"node above its capacity", 0, engine::PageTypeNode, 158, engine::ErrIndexPagesCorrupt},
        {"full node", 0, engine::PageTypeNode, 157, 0},
        {"compressed leaf passing the room", 1, engine::PageTypeLeaf, 4083 / 22 + 1,
         engine::ErrIndexPagesCorrupt},
        {"full compressed leaf", 1, engine::PageTypeLeaf, 4083 / 22, 0}};
    for (const auto& c : cases) {
        TPage page(Format(16, c.compression, false));
        page.SetPageType(c.type);
        // Keys with nothing in common and nothing to drop.
        for (std::size_t i = 0; i < c.count; ++i)
            page.InsertEntry(i, Key(16, static_cast<std::uint8_t>(i + 1)), 1);
        Image image{};
        EXPECT_EQ(EngineCode([&] { page.SaveToBuffer(image); }), c.code) << c.what;
    }
}

TEST(PageTest, AProtectedTablesImageIsScrambledAndThePageStaysPlain) {
    const std::vector<Key> keys = MakeKeys(16, true, 20, 3);
    TPage plain(Format(16, 3, true));
    Fill(plain, engine::PageTypeLeaf, keys);
    TPage scrambled(Format(16, 3, true, true));
    Fill(scrambled, engine::PageTypeLeaf, keys);
    Image plainImage{};
    Image scrambledImage{};
    plain.SaveToBuffer(plainImage);
    scrambled.SaveToBuffer(scrambledImage);
    EXPECT_NE(scrambledImage, plainImage);
    Image unscrambled = scrambledImage;
    engine::UnscrambleBuffer(unscrambled.data(), unscrambled.size(), engine::DataSeed);
    EXPECT_EQ(unscrambled, plainImage);
    ExpectSameEntries(plain, scrambled, "in memory");
    TPage loaded(Format(16, 3, true, true));
    loaded.LoadFromBuffer(scrambledImage, false);
    ExpectSameEntries(plain, loaded, "loaded");
}

TEST(PageTest, AHeaderOnlyLoadTakesTheLinksAndNoEntries) {
    TPage page(Format(5, 0, false));
    Fill(page, engine::PageTypeNode, MakeKeys(5, false, 4, 5));
    page.SetNext(PageOffset(20480));
    Image image{};
    page.SaveToBuffer(image);
    TPage loaded(Format(5, 0, false));
    loaded.SetParent(PageOffset(4096));
    loaded.UpdateCursor = 3;
    loaded.LoadFromBuffer(image, true);
    EXPECT_EQ(loaded.Count(), 0u);
    EXPECT_EQ(loaded.PageType(), engine::PageTypeNode);
    EXPECT_EQ(loaded.Next(), PageOffset(20480));
    EXPECT_EQ(loaded.Parent(), engine::NoPage);
    EXPECT_EQ(loaded.UpdateCursor, 1);
    EXPECT_FALSE(loaded.Dirty());
}

TEST(PageTest, AFreePageIsWrittenWithoutEntries) {
    TPage page(Format(5, 0, false));
    Fill(page, engine::PageTypeLeaf, MakeKeys(5, false, 4, 6));
    page.SetNext(PageOffset(8192));
    page.SetFree(true);
    Image image{};
    page.SaveToBuffer(image);
    EXPECT_EQ(image[0], engine::PageTypeLeaf);
    EXPECT_EQ(image[1], 0);
    EXPECT_EQ(image[8], 0x20);  // next free page 8192
    EXPECT_TRUE(std::all_of(image.begin() + engine::PageHeaderSize, image.end(),
                            [](std::uint8_t b) { return b == 0; }));
}

TEST(PageTest, SettersMarkDirtyOnlyOnChange) {
    TPage page(Format(5, 0, false));
    page.SetPrior(engine::NoPage);
    page.SetNext(engine::NoPage);
    page.SetPageType(engine::PageTypeRootNode);
    page.SetCount(0);
    EXPECT_FALSE(page.Dirty());
    page.SetCount(3);
    EXPECT_TRUE(page.Dirty());
    const auto key = page.Key(2);
    EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(EngineCode([&] { page.SetPageType(4); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.Key(3); }), engine::ErrIndexPagesCorrupt);
}

}  // namespace
