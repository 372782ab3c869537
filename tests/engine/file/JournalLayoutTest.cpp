#include "engine/file/JournalLayout.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

using engine::JournalEntry;
using engine::JournalHeader;
using engine::JournalState;

std::vector<std::uint8_t> EncodedEntry(const JournalEntry& entry, const std::vector<std::uint8_t>& saved) {
    std::vector<std::uint8_t> bytes(engine::JournalEntryHeaderSize);
    engine::EncodeJournalEntry(
        entry, saved, std::span<std::uint8_t, engine::JournalEntryHeaderSize>(bytes.data(), bytes.size()));
    bytes.insert(bytes.end(), saved.begin(), saved.end());
    return bytes;
}

TEST(JournalLayoutTest, AHeaderReadsBackAndAnyDamagedByteReadsAsNothingToPutBack) {
    std::array<std::uint8_t, engine::JournalHeaderSize> bytes{};
    engine::EncodeJournalHeader({JournalState::Open, 0x1122334455667788u}, bytes);
    const auto header = engine::DecodeJournalHeader(bytes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->State, JournalState::Open);
    EXPECT_EQ(header->ChangeId, 0x1122334455667788u);
    // A first write cut short, or any damage, is "nothing to put back".
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto damaged = bytes;
        damaged[i] ^= 0x40;
        EXPECT_FALSE(engine::DecodeJournalHeader(damaged)) << i;
    }
    EXPECT_FALSE(engine::DecodeJournalHeader(std::span<const std::uint8_t>(bytes).first(bytes.size() - 1)));
    EXPECT_FALSE(engine::DecodeJournalHeader({}));
}

TEST(JournalLayoutTest, AnEntryReadsBackOnlyWholeChecksummedWithinItsLengthAndOfItsChange) {
    const JournalEntry entry{7, 1, 0, 4096, 3};
    const std::vector<std::uint8_t> bytes = EncodedEntry(entry, {1, 2, 3});
    const auto read = engine::DecodeJournalEntry(bytes, 7);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Part, 1);
    EXPECT_EQ(read->StartLength, 0);
    EXPECT_EQ(read->Offset, 4096);
    EXPECT_EQ(read->Count, 3u);
    // Another change's entry, left further on by a longer change before this one.
    EXPECT_FALSE(engine::DecodeJournalEntry(bytes, 8));
    // An entry cut short: its saved bytes or its header do not all fit in the journal.
    EXPECT_FALSE(engine::DecodeJournalEntry(std::span<const std::uint8_t>(bytes).first(bytes.size() - 1), 7));
    EXPECT_FALSE(engine::DecodeJournalEntry(std::span<const std::uint8_t>(bytes).first(10), 7));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto damaged = bytes;
        damaged[i] ^= 0x01;
        EXPECT_FALSE(engine::DecodeJournalEntry(damaged, 7)) << i;
    }
    // The file must be one of the table's, what it names must fit in a file, and an entry is either a length
    // or saved bytes.
    EXPECT_FALSE(engine::DecodeJournalEntry(EncodedEntry({7, 3, 8192, 0, 0}, {}), 7));
    EXPECT_FALSE(engine::DecodeJournalEntry(EncodedEntry({7, 0, 0, 0x7FFFFFFE, 3}, {1, 2, 3}), 7));
    EXPECT_FALSE(engine::DecodeJournalEntry(EncodedEntry({7, 0, 4097, 4096, 3}, {1, 2, 3}), 7));
    EXPECT_FALSE(engine::DecodeJournalEntry(EncodedEntry({7, 0, -1, 0, 0}, {}), 7));
    EXPECT_FALSE(engine::DecodeJournalEntry(EncodedEntry({7, 0, 0x80000000, 0, 0}, {}), 7));
    const auto length = engine::DecodeJournalEntry(EncodedEntry({7, 2, 8192, 0, 0}, {}), 7);
    ASSERT_TRUE(length);
    EXPECT_EQ(length->StartLength, 8192);
}

}  // namespace
