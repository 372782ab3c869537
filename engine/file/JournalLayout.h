// The rollback journal's stored structures: its header and its entries, each with an encode/decode pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace engine {

// The journal file (".JNL" beside the table's files) holds one change at a time, from offset 0:
//
// | Offset | Size | Header field                                                                  |
// |--------|------|-------------------------------------------------------------------------------|
// | 0      | 8    | magic "KVJRNL01"                                                              |
// | 8      | 4    | state: 0 finished (nothing to put back), 1 open (a change is being written)   |
// | 12     | 8    | the change's id: its entries carry it, so that an older change's entries      |
// |        |      | left further on in the file are never taken for this one's                    |
// | 20     | 4    | checksum of bytes 0 .. 19                                                     |
//
// Entries follow the header one after another, each written before the bytes it saves are overwritten:
//
// | Offset | Size   | Entry field                                                                 |
// |--------|--------|-----------------------------------------------------------------------------|
// | 0      | 8      | the change's id                                                             |
// | 8      | 1      | the file: 0 record file, 1 index file, 2 large-object file                  |
// | 9      | 8      | with no saved bytes: the file's length when the change began, to cut or     |
// |        |        | lengthen it back to (written before the change first lengthens or cuts it); |
// |        |        | with saved bytes: 0                                                         |
// | 17     | 8      | the offset of the saved bytes                                               |
// | 25     | 4      | the count of saved bytes                                                    |
// | 29     | 4      | checksum of bytes 0 .. 28 and the saved bytes                               |
// | 33     | count  | the saved bytes, as they were before the change                             |
//
// An entry cut short by a killed program fails its checksum: the write it was to precede never happened, so
// the entries before it are the whole of what is to be put back. A header cut short reads as finished: a
// torn first write left the data files untouched, a torn last write left them whole.

inline constexpr std::size_t JournalHeaderSize = 24;
inline constexpr std::size_t JournalEntryHeaderSize = 33;
// The record, index and large-object files.
inline constexpr std::uint8_t JournalParts = 3;

enum class JournalState : std::uint32_t { Finished = 0, Open = 1 };

struct JournalHeader {
    JournalState State = JournalState::Finished;
    std::uint64_t ChangeId = 0;
};

struct JournalEntry {
    std::uint64_t ChangeId = 0;
    std::uint8_t Part = 0;
    // A length entry's length (Count 0); 0 for saved bytes.
    std::int64_t StartLength = 0;
    std::int64_t Offset = 0;
    std::uint32_t Count = 0;
};

// A 32-bit checksum of the bytes, continued from a previous one (the seed).
std::uint32_t JournalChecksum(std::span<const std::uint8_t> bytes, std::uint32_t seed = 0) noexcept;

void EncodeJournalHeader(const JournalHeader& header,
                         std::span<std::uint8_t, JournalHeaderSize> bytes) noexcept;
// None for a header whose magic, checksum or state is wrong: there is nothing to put back.
std::optional<JournalHeader> DecodeJournalHeader(std::span<const std::uint8_t> bytes) noexcept;

// The entry's header, its checksum taken over it and the saved bytes.
void EncodeJournalEntry(const JournalEntry& entry, std::span<const std::uint8_t> saved,
                        std::span<std::uint8_t, JournalEntryHeaderSize> bytes) noexcept;
// The entry at the start of the bytes (the rest of the journal): none unless its header, its count and its
// checksum all fit in them and it belongs to the change given; its file, length and offset are checked too
// (saved bytes lie within the largest file).
std::optional<JournalEntry> DecodeJournalEntry(std::span<const std::uint8_t> bytes,
                                               std::uint64_t changeId) noexcept;

}  // namespace engine
