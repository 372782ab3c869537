// Raw bytes of table files for tests: reading, patching and extending a file the way damage, or operations
// built later, would leave it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/index/IndexFile.h"
#include "engine/index/IndexKey.h"
#include "engine/table/DataFile.h"

namespace enginetest {

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first count bytes of a file (fewer when it is shorter): a sparse file of gigabytes is not read whole.
inline std::string ReadPrefix(const std::filesystem::path& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Little-endian values in a byte string, independent of the engine's own codecs.
inline std::uint32_t GetLE(const std::string& bytes, std::size_t offset, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(offset + i));
    return value;
}

inline void PutLE(std::string& bytes, std::size_t offset, int width, std::uint64_t value) {
    for (int i = 0; i < width; ++i) bytes.at(offset + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PatchFile(const std::filesystem::path& path, std::size_t offset, int width, std::uint64_t value) {
    std::string bytes = ReadBytes(path);
    PutLE(bytes, offset, width, value);
    WriteBytes(path, bytes);
}

// A slot of the record size: status, link, record ID, and zero fields.
inline std::string SlotImage(std::size_t recordSize, std::uint8_t status, std::uint32_t link,
                             std::uint32_t id) {
    std::string slot(recordSize, '\0');
    slot[0] = static_cast<char>(status);
    PutLE(slot, 1, 4, link);
    PutLE(slot, 5, 4, id);
    return slot;
}

// Record file header offsets the helpers below touch.
inline constexpr std::size_t FreeHeadAt = 9;
inline constexpr std::size_t NextSlotAt = 13;
inline constexpr std::size_t LastIdAt = 17;
inline constexpr std::size_t RecordSizeAt = 21;
// Index file header offsets: end of file, secondary count, descriptor slot k with the fields of a
// descriptor, live record count and no-primary-index flag.
inline constexpr std::size_t IndexEndOfFileAt = 9;
inline constexpr std::size_t SecondaryCountAt = 13;
constexpr std::size_t IndexSlotAt(std::size_t k) {
    return 14 + 120 * k;
}
inline constexpr std::size_t DescKeyLengthAt = 31;
inline constexpr std::size_t DescUniqueAt = 35;
inline constexpr std::size_t DescCompressionAt = 36;
inline constexpr std::size_t DescFieldCountAt = 37;
inline constexpr std::size_t DescFieldNumbersAt = 54;
inline constexpr std::size_t DescRootAt = 86;
inline constexpr std::size_t DescFreeHeadAt = 90;
inline constexpr std::size_t RecordCountAt = 3974;
inline constexpr std::size_t NoPrimaryAt = 3978;

// The index file beside a record file.
inline std::filesystem::path IndexFileOf(const std::filesystem::path& dataFile) {
    return std::filesystem::path(dataFile).replace_extension(".IDX");
}

// Record file layout the helpers below read: the field count, the descriptors after the header and, in each,
// the type, subtype, offset and calculated flag.
inline constexpr std::size_t FieldCountAt = 23;
inline constexpr std::size_t DescriptorsAt = 127;
inline constexpr std::size_t DescriptorSize = 768;
inline constexpr std::size_t DescTypeAt = 84;
inline constexpr std::size_t DescSubTypeAt = 85;
inline constexpr std::size_t DescOffsetAt = 90;
inline constexpr std::size_t DescCalculatedAt = 247;

inline std::size_t SlotsStart(const std::string& dataBytes) {
    return DescriptorsAt + DescriptorSize * GetLE(dataBytes, FieldCountAt, 2);
}

// Brings the index entries of the slots up to date with the record file, as the record layer does when it
// writes a slot: the keys of each slot as it was in before (none when not given) go, the keys of the slot as
// the file holds it come, and the live record count follows its status. A key goes into the primary and every
// secondary index for an active slot, into "Sys Deleted" for every slot of a table with a primary index. The
// table is opened shared through the engine, and its pages and index header are written before it closes.
inline void UpdateSlotKeys(const std::filesystem::path& path, const std::vector<std::uint32_t>& slots,
                           const std::string* before) {
    const std::string after = ReadBytes(path);
    const std::size_t recordSize = GetLE(after, RecordSizeAt, 2);
    const std::size_t start = SlotsStart(after);
    const auto image = [&](const std::string& bytes, std::uint32_t slot) {
        return std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(bytes.data()) + start + (slot - 1) * recordSize,
            recordSize);
    };
    engine::TDataFile table;
    table.SetFileName(path.string());
    table.SetExclusive(false);
    table.Open();
    engine::TIndexFile& index = table.IndexFile();
    const bool primary = !index.HasNoPrimaryIndex();
    engine::TIndexKey key;
    const auto change = [&](std::span<const std::uint8_t> record, std::uint32_t slot, bool insert) {
        for (int n = primary ? 0 : 1; n <= index.GetIndexCount(); ++n) {
            if (record[0] != 0) break;
            index.SelectIndex(n);
            table.BuildKey(record, key);
            if (insert) {
                index.InsertKey(key.View(), engine::SlotNumber(slot));
            } else {
                index.DeleteKey(key.View());
            }
        }
        if (primary) {
            index.SelectIndex(engine::SysDeletedSlot);
            table.BuildPhysicalKey(record, key, record);
            if (insert) {
                index.InsertKey(key.View(), engine::SlotNumber(slot));
            } else {
                index.DeleteKey(key.View());
            }
        }
    };
    for (const std::uint32_t slot : slots) {
        const std::span<const std::uint8_t> is = image(after, slot);
        if (before != nullptr) {
            const std::span<const std::uint8_t> was = image(*before, slot);
            change(was, slot, false);
            if (was[0] == 0 && is[0] != 0) index.DecRecordCount();
            if (was[0] != 0 && is[0] == 0) index.IncRecordCount();
        }
        change(is, slot, true);
    }
    // The cursor's current page is pinned, and a flush writes no pinned page.
    table.UnpinAll();
    index.FlushPages();
    index.WriteHeader(false);
}

// Brings the index file up to date with the slots whose bytes a test changed in the record file
// (UpdateSlotKeys); before is the record file's bytes before the change. Nothing is opened when no slot
// differs.
inline void ReindexChangedSlots(const std::filesystem::path& path, const std::string& before) {
    const std::string after = ReadBytes(path);
    const std::size_t recordSize = GetLE(after, RecordSizeAt, 2);
    const std::size_t start = SlotsStart(after);
    std::vector<std::uint32_t> changed;
    for (std::uint32_t slot = 1; start + slot * recordSize <= std::min(before.size(), after.size()); ++slot) {
        const std::size_t at = start + (slot - 1) * recordSize;
        if (before.compare(at, recordSize, after, at, recordSize) != 0) changed.push_back(slot);
    }
    if (!changed.empty()) UpdateSlotKeys(path, changed, &before);
}

// Appends the slots to an unprotected record file and moves its next slot number on; the last record ID
// becomes the largest ID among them when that is higher. The index file, when there is one, counts the
// active slots among them as live records and gets their keys (UpdateSlotKeys).
inline void AppendSlots(const std::filesystem::path& path, const std::vector<std::string>& slots) {
    std::string bytes = ReadBytes(path);
    const std::uint32_t first = GetLE(bytes, NextSlotAt, 4);
    std::uint32_t lastId = GetLE(bytes, LastIdAt, 4);
    std::uint32_t active = 0;
    for (const std::string& slot : slots) {
        bytes += slot;
        if (slot[0] == 0) {
            lastId = std::max(lastId, GetLE(slot, 5, 4));
            ++active;
        }
    }
    PutLE(bytes, NextSlotAt, 4, first + slots.size());
    PutLE(bytes, LastIdAt, 4, lastId);
    WriteBytes(path, bytes);
    const std::filesystem::path index = IndexFileOf(path);
    if (std::filesystem::exists(index)) {
        std::string indexBytes = ReadBytes(index);
        PutLE(indexBytes, RecordCountAt, 4, GetLE(indexBytes, RecordCountAt, 4) + active);
        WriteBytes(index, indexBytes);
        std::vector<std::uint32_t> added(slots.size());
        for (std::size_t i = 0; i < slots.size(); ++i) added[i] = first + static_cast<std::uint32_t>(i);
        UpdateSlotKeys(path, added, nullptr);
    }
}

// n active slots numbered on from the file's next slot, with record IDs equal to their slot numbers and every
// stored integer field holding the slot number too, so that keys of integer fields differ.
inline void AppendActiveSlots(const std::filesystem::path& path, int count) {
    const std::string bytes = ReadBytes(path);
    const std::uint32_t recordSize = GetLE(bytes, RecordSizeAt, 2);
    const std::uint32_t first = GetLE(bytes, NextSlotAt, 4);
    std::vector<std::size_t> integers;
    for (std::size_t f = 0; f < GetLE(bytes, FieldCountAt, 2); ++f) {
        const std::size_t desc = DescriptorsAt + f * DescriptorSize;
        const bool stored = bytes.at(desc + DescSubTypeAt) != 29 && bytes.at(desc + DescCalculatedAt) == 0;
        if (bytes.at(desc + DescTypeAt) == 6 && stored)
            integers.push_back(GetLE(bytes, desc + DescOffsetAt, 2));
    }
    std::vector<std::string> slots;
    for (int i = 0; i < count; ++i) {
        std::string slot = SlotImage(recordSize, 0, first + i, first + i);
        for (const std::size_t offset : integers) {
            slot.at(offset) = 1;
            PutLE(slot, offset + 1, 4, first + i);
        }
        slots.push_back(slot);
    }
    AppendSlots(path, slots);
}

}  // namespace enginetest
