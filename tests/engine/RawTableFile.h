// Raw bytes of table files for tests: reading, patching and extending a file the way damage, or operations
// built later, would leave it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace enginetest {

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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

// Appends the slots to an unprotected record file and moves its next slot number on; the last record ID
// becomes the largest ID among them when that is higher. The index file, when there is one, counts the
// active slots among them as live records (their keys are not inserted).
inline void AppendSlots(const std::filesystem::path& path, const std::vector<std::string>& slots) {
    std::string bytes = ReadBytes(path);
    std::uint32_t lastId = GetLE(bytes, LastIdAt, 4);
    std::uint32_t active = 0;
    for (const std::string& slot : slots) {
        bytes += slot;
        if (slot[0] == 0) {
            lastId = std::max(lastId, GetLE(slot, 5, 4));
            ++active;
        }
    }
    PutLE(bytes, NextSlotAt, 4, GetLE(bytes, NextSlotAt, 4) + slots.size());
    PutLE(bytes, LastIdAt, 4, lastId);
    WriteBytes(path, bytes);
    const std::filesystem::path index = IndexFileOf(path);
    if (std::filesystem::exists(index)) {
        std::string indexBytes = ReadBytes(index);
        PutLE(indexBytes, RecordCountAt, 4, GetLE(indexBytes, RecordCountAt, 4) + active);
        WriteBytes(index, indexBytes);
    }
}

// n active slots numbered on from the file's next slot, with record IDs equal to their slot numbers.
inline void AppendActiveSlots(const std::filesystem::path& path, int count) {
    const std::string bytes = ReadBytes(path);
    const std::uint32_t recordSize = GetLE(bytes, RecordSizeAt, 2);
    const std::uint32_t first = GetLE(bytes, NextSlotAt, 4);
    std::vector<std::string> slots;
    for (int i = 0; i < count; ++i) slots.push_back(SlotImage(recordSize, 0, first + i, first + i));
    AppendSlots(path, slots);
}

}  // namespace enginetest
