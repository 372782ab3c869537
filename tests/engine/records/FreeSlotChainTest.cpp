#include "engine/records/FreeSlotChain.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using engine::RecordHeaderSize;
using engine::SlotNumber;
using engine::TDataFileHeader;
using engine::TRecordHeader;

// A record file's header and the record headers of its slots, as the record cache would hold them. Slots
// are numbered from 1 in plain numbers here; the engine's calls get them as slot numbers.
class Table {
public:
    Table(int slots, bool hasPrimaryIndex) : primary_(hasPrimaryIndex) {
        header_.NextSlotNumber = SlotNumber(1);
        header_.RecordSize = 20;
        for (int i = 0; i < slots; ++i) Insert();
    }

    // Takes a slot the way an insert does: checked first, then fetched, then taken. Answers its number.
    std::uint32_t Insert() {
        const SlotNumber slot = engine::SlotToTake(header_, primary_, "t.DAT");
        if (slot == header_.NextSlotNumber) slots_.emplace_back();
        engine::TakeSlot(header_, slot, slots_.at(slot.Value - 1), primary_, "t.DAT");
        engine::EncodeRecordHeader({engine::RecordActive, slot, engine::RecordId(++lastId_)},
                                   slots_[slot.Value - 1]);
        return slot.Value;
    }

    void Delete(std::uint32_t slot) {
        engine::FreeSlot(header_, SlotNumber(slot), slots_.at(slot - 1), primary_);
    }

    TRecordHeader Slot(std::uint32_t slot) const { return engine::DecodeRecordHeader(slots_.at(slot - 1)); }
    std::uint32_t Link(std::uint32_t slot) const { return Slot(slot).Link.Value; }
    std::uint32_t Head() const { return header_.FreeSlotHead.Value; }
    std::uint32_t Next() const { return header_.NextSlotNumber.Value; }
    TDataFileHeader& Header() { return header_; }

private:
    bool primary_;
    std::uint32_t lastId_ = 0;
    TDataFileHeader header_;
    std::vector<std::array<std::uint8_t, RecordHeaderSize>> slots_;
};

TEST(FreeSlotChain, WithAPrimaryIndexDeletedSlotsAreReusedLastDeletedFirst) {
    Table table(5, true);
    table.Delete(2);
    table.Delete(4);
    EXPECT_EQ(table.Head(), 4u);
    EXPECT_EQ(table.Link(4), 2u);
    EXPECT_EQ(table.Link(2), 0u);
    EXPECT_TRUE(table.Slot(4).IsDeleted());
    // The record ID stays with the deleted slot.
    EXPECT_EQ(table.Slot(4).Id.Value, 4u);
    EXPECT_EQ(engine::NextFreeSlot(table.Header(), true).Value, 4u);

    EXPECT_EQ(table.Insert(), 4u);
    EXPECT_EQ(table.Head(), 2u);
    EXPECT_EQ(table.Insert(), 2u);
    EXPECT_EQ(table.Head(), 0u);
    EXPECT_EQ(table.Insert(), 6u);
    EXPECT_EQ(table.Next(), 7u);
}

TEST(FreeSlotChain, WithoutAPrimaryIndexTheHeadHoldsTheLastDeleteAndNothingIsReused) {
    Table table(5, false);
    table.Delete(2);
    table.Delete(4);
    EXPECT_EQ(table.Head(), 4u);
    EXPECT_EQ(table.Link(4), 0u);
    EXPECT_EQ(table.Link(2), 0u);
    EXPECT_EQ(table.Insert(), 6u);
    EXPECT_EQ(table.Head(), 0u);
    EXPECT_TRUE(table.Slot(4).IsDeleted());
}

TEST(FreeSlotChain, ADamagedChainStopsTheInsertBeforeAnythingChanges) {
    for (const std::uint32_t head : {3u, 6u, 99u}) {
        Table table(5, true);
        table.Header().FreeSlotHead = SlotNumber(head);
        table.Header().ImageChanged = 0;
        const TRecordHeader slot3 = table.Slot(3);
        EXPECT_EQ(enginetest::EngineCode([&] { table.Insert(); }), engine::ErrHeaderCorrupt) << head;
        EXPECT_EQ(table.Head(), head);
        EXPECT_EQ(table.Next(), 6u) << head;
        EXPECT_EQ(table.Header().ImageChanged, 0) << head;
        EXPECT_EQ(table.Slot(3).Status, slot3.Status);
        EXPECT_EQ(table.Slot(3).Id, slot3.Id);
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    }
    // Without a primary index the chain is not used, so a damaged head harms nothing.
    Table table(5, false);
    table.Header().FreeSlotHead = SlotNumber(3);
    EXPECT_EQ(table.Insert(), 6u);
}

TEST(FreeSlotChain, SetFreeSlotHeadMarksTheHeaderOnlyForANewValue) {
    TDataFileHeader header;
    header.FreeSlotHead = SlotNumber(7);
    EXPECT_FALSE(engine::SetFreeSlotHead(header, SlotNumber(7)));
    EXPECT_EQ(header.ImageChanged, 0);
    EXPECT_TRUE(engine::SetFreeSlotHead(header, engine::NoSlot));
    EXPECT_EQ(header.ImageChanged, 1);
}

TEST(FreeSlotChain, AppendsStopAtTheSlotAndByteLimits) {
    struct Case {
        std::uint32_t slot;
        std::uint16_t recordSize;
        bool allowed;
    };
    const Case cases[] = {{99999999, 9, true},
                          {100000000, 9, false},
                          // 65535 x 30518 = 1,999,997,130 fits; one slot more passes 2,000,000,000.
                          {30518, 65535, true},
                          {30519, 65535, false},
                          // A product above 2^32 must not wrap into range.
                          {65537, 65535, false},
                          {4294967295u, 9, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(engine::WithinAppendLimit(SlotNumber(c.slot), c.recordSize), c.allowed)
            << c.slot << " x " << c.recordSize;
        TDataFileHeader header;
        header.NextSlotNumber = SlotNumber(c.slot);
        header.RecordSize = c.recordSize;
        EXPECT_EQ(enginetest::EngineCode([&] { engine::SlotToTake(header, true, "t.DAT"); }),
                  c.allowed ? 0 : engine::ErrFileFull);
        std::array<std::uint8_t, RecordHeaderSize> slot{};
        EXPECT_EQ(enginetest::EngineCode(
                      [&] { engine::TakeSlot(header, SlotNumber(c.slot), slot, true, "t.DAT"); }),
                  c.allowed ? 0 : engine::ErrFileFull);
        EXPECT_EQ(header.NextSlotNumber.Value, c.allowed ? c.slot + 1 : c.slot);
    }
}

}  // namespace
