#include "engine/index/KeyInterval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/index/IndexFile.h"
#include "engine/index/RecordKey.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::SlotNumber;
using engine::TKeyBound;
using engine::TKeyInterval;
using Key = std::vector<std::uint8_t>;

// Trees whose keys stand for no records live apart from the clean check of the tables a test leaves.
const std::string TreeName = "interval/t";
// Two integer key fields: A (bytes 0..4) and B (bytes 5..9).
constexpr std::uint16_t KeyLength = 10;
constexpr std::uint16_t ALength = 5;
constexpr std::uint32_t KeyCount = 3000;

// A field's key bytes: has-value 1 and the value big-endian (the order is the bytes' order: no language id).
void PutField(Key& key, std::size_t at, std::uint32_t value) {
    key[at] = 1;
    for (int i = 0; i < 4; ++i) key[at + 1 + i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

Key AKey(std::uint32_t a) {
    Key key(KeyLength, 0);
    PutField(key, 0, a);
    return key;
}

Key ABKey(std::uint32_t a, std::uint32_t b) {
    Key key = AKey(a);
    PutField(key, ALength, b);
    return key;
}

struct Entry {
    Key key;
    std::uint32_t record;
};

struct IntervalCase {
    const char* what;
    TKeyInterval interval;
};

std::vector<IntervalCase> Cases() {
    using engine::KeyBound;
    using engine::OpenBound;
    const Key zeros(KeyLength, 0);
    const Key ones(KeyLength, 0xFF);
    return {
        {"A = 3 (fewer than half)", {KeyBound(AKey(3), ALength), KeyBound(AKey(3), ALength)}},
        {"A from 1 to 5 (more than half)", {KeyBound(AKey(1), ALength), KeyBound(AKey(5), ALength)}},
        {"A above 2", {KeyBound(AKey(2), ALength, false), OpenBound()}},
        {"A below 4", {OpenBound(), KeyBound(AKey(4), ALength, false)}},
        {"everything", {OpenBound(), OpenBound()}},
        {"the low bound above the high", {KeyBound(AKey(5), ALength), KeyBound(AKey(1), ALength)}},
        {"from the all-zero key", {KeyBound(zeros, KeyLength), OpenBound()}},
        {"after the all-zero key", {KeyBound(zeros, KeyLength, false), OpenBound()}},
        {"up to the all-zero key", {OpenBound(), KeyBound(zeros, KeyLength)}},
        {"null A", {KeyBound(Key{0}, 1), KeyBound(Key{0}, 1)}},
        {"A not null", {KeyBound(Key{1}, 1), KeyBound(Key{1}, 1)}},
        {"before A = 2, nulls included", {OpenBound(), KeyBound(AKey(2), ALength, false)}},
        {"mixed lengths", {KeyBound(ABKey(2, 1500), KeyLength), KeyBound(AKey(2), ALength)}},
        {"up to all 0xFF", {OpenBound(), KeyBound(ones, KeyLength)}},
        {"after all 0xFF", {KeyBound(ones, KeyLength, false), OpenBound()}},
        {"a single key", {KeyBound(ABKey(4, 1005), KeyLength), KeyBound(ABKey(4, 1005), KeyLength)}},
    };
}

class KeyIntervalTest : public TableTest, public ::testing::WithParamInterface<bool> {
protected:
    // A table of KeyCount slots whose primary index (A, B), ascending or descending, holds one key per
    // slot: A = slot mod 7 in long runs across leaves, null A for every 50th slot, and the all-zero key for
    // the last one. The table is open exclusively on that index.
    void Build(bool descending) {
        fs::create_directories("interval");
        descending_ = descending;
        std::vector<engine::TFieldDesc> fields = {FieldDef(1, "A", engine::FieldTypeInteger),
                                                  FieldDef(2, "B", engine::FieldTypeInteger)};
        std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1, 2})};
        indexes[0].Descending = descending ? 1 : 0;
        CreateTable(TreeName, fields, indexes);
        AppendActiveSlots(TreeName + ".DAT", static_cast<int>(KeyCount));
        table_.SetFileName(TreeName);
        table_.SetExclusive(true);
        table_.Open();
        Index().Truncate();
        Index().SelectIndex(engine::PrimaryIndexSlot);
        std::vector<std::uint32_t> order(KeyCount);
        for (std::uint32_t i = 0; i < KeyCount; ++i) order[i] = i + 1;
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        for (const std::uint32_t record : order) {
            Key key = ABKey(record % 7, record);
            if (record % 50 == 0) std::fill_n(key.begin(), ALength, 0);
            if (record == KeyCount) key.assign(KeyLength, 0);
            Index().InsertKey(key, SlotNumber(record));
            Index().IncRecordCount();
            entries_.push_back({key, record});
        }
    }

    engine::TIndexFile& Index() { return table_.IndexFile(); }

    // The scan: every key tested against the bounds byte by byte, reversed on a descending index.
    int Compare(const Key& key, const engine::TIndexKey& bound, std::size_t length) const {
        const int order = std::memcmp(key.data(), bound.Bytes.data(), length);
        const int sign = order < 0 ? -1 : order > 0 ? 1 : 0;
        return descending_ ? -sign : sign;
    }
    bool Inside(const Key& key, const TKeyInterval& interval) const {
        const TKeyBound& low = interval.Low;
        const TKeyBound& high = interval.High;
        if (!low.Open) {
            const int order = Compare(key, low.Key, low.CompareLength);
            if (order < 0 || (order == 0 && !low.Inclusive)) return false;
        }
        if (!high.Open) {
            const int order = Compare(key, high.Key, high.CompareLength);
            if (order > 0 || (order == 0 && !high.Inclusive)) return false;
        }
        return true;
    }
    std::vector<std::uint32_t> Scan(const TKeyInterval& interval) const {
        std::vector<std::uint32_t> records;
        for (const Entry& entry : entries_)
            if (Inside(entry.key, interval)) records.push_back(entry.record);
        std::sort(records.begin(), records.end());
        return records;
    }

    std::vector<std::uint8_t> Bitmap() const { return std::vector<std::uint8_t>(KeyCount / 8 + 1, 0xA5); }
    static std::vector<std::uint32_t> SetBits(const std::vector<std::uint8_t>& bits) {
        std::vector<std::uint32_t> records;
        for (std::uint32_t r = 1; r <= bits.size() * 8; ++r)
            if (engine::BitmapTestBit(r, bits.data())) records.push_back(r);
        return records;
    }

    engine::TDataFile table_;
    bool descending_ = false;
    std::vector<Entry> entries_;
};

TEST_P(KeyIntervalTest, CountAndMarkEqualTheScan) {
    Build(GetParam());
    ASSERT_GT(Index().GetEndOfFile().Value / engine::PageSize, 10u) << "the runs must span leaves";
    for (const IntervalCase& c : Cases()) {
        const std::vector<std::uint32_t> expected = Scan(c.interval);
        bool changed = false;
        EXPECT_EQ(engine::CountKeyInterval(Index(), c.interval, changed), expected.size()) << c.what;
        std::vector<std::uint8_t> bits = Bitmap();
        engine::MarkKeyInterval(Index(), c.interval, changed, bits, KeyCount);
        EXPECT_EQ(SetBits(bits), expected) << c.what;
        EXPECT_FALSE(changed) << c.what;
        for (const Entry& entry : entries_) {
            if (entry.record % 97 != 0) continue;
            EXPECT_EQ(engine::KeyInInterval(Index(), entry.key, c.interval), Inside(entry.key, c.interval))
                << c.what << " " << entry.record;
        }
    }
}

TEST_P(KeyIntervalTest, ARecordNumberBeyondTheRecordsIsDamage) {
    Build(GetParam());
    const TKeyInterval all{engine::OpenBound(), engine::OpenBound()};
    bool changed = false;
    std::vector<std::uint8_t> bits = Bitmap();
    EXPECT_EQ(EngineCode([&] { engine::MarkKeyInterval(Index(), all, changed, bits, KeyCount - 1); }),
              engine::ErrIndexPagesCorrupt);
    // A leaf naming slot 0 likewise.
    Index().InsertKey(ABKey(9, 9), SlotNumber(0));
    const TKeyInterval nine{engine::KeyBound(AKey(9), ALength), engine::KeyBound(AKey(9), ALength)};
    EXPECT_EQ(EngineCode([&] { engine::MarkKeyInterval(Index(), nine, changed, bits, KeyCount); }),
              engine::ErrIndexPagesCorrupt);
}

INSTANTIATE_TEST_SUITE_P(Orders, KeyIntervalTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Descending" : "Ascending"; });

TEST_F(TableTest, KeyIntervalsOfSysDeletedKeepTheHighestRecordId) {
    fs::create_directories("interval");
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable(TreeName, fields, indexes);
    AppendActiveSlots(TreeName + ".DAT", 12);
    engine::TDataFile table;
    table.SetFileName(TreeName);
    table.SetExclusive(true);
    table.Open();
    engine::TIndexFile& index = table.IndexFile();
    index.Truncate();
    index.SelectIndex(engine::SysDeletedSlot);
    // Slots 1..12: IDs 1..11 and 2147483647 (slot 12); slots 3 and 7 deleted.
    for (std::uint32_t slot = 1; slot <= 12; ++slot) {
        engine::TIndexKey key;
        const std::uint32_t id = slot == 12 ? 2147483647u : slot;
        engine::BuildPhysicalRecordKey(slot == 3 || slot == 7 ? 1 : 0, id, key);
        index.InsertKey(key.View(), SlotNumber(slot));
    }
    const TKeyInterval live{engine::KeyBound(Key{0}, 1), engine::KeyBound(Key{0}, 1)};
    const TKeyInterval deleted{engine::KeyBound(Key{1}, 1), engine::KeyBound(Key{1}, 1)};
    bool changed = false;
    EXPECT_EQ(engine::CountKeyInterval(index, live, changed), 10u);
    EXPECT_EQ(engine::CountKeyInterval(index, deleted, changed), 2u);
    std::vector<std::uint8_t> bits(2);
    engine::MarkKeyInterval(index, live, changed, bits, 12);
    EXPECT_EQ(bits[0], 0xBB);
    EXPECT_EQ(bits[1], 0x0F);
    EXPECT_FALSE(changed);
}

}  // namespace
