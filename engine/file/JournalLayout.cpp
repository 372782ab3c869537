#include "engine/file/JournalLayout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string_view>

#include "engine/base/FileBytes.h"

namespace engine {

namespace {

constexpr std::string_view JournalMagic = "KVJRNL01";
// The header's checksum covers what precedes it.
constexpr std::size_t HeaderChecksumOffset = 20;
constexpr std::size_t EntryChecksumOffset = 29;
// A file is never longer than this (MaxFileSize in the file layer): a length or offset beyond it is damage.
constexpr std::int64_t LargestFileLength = 0x7FFFFFFF;

}  // namespace

std::uint32_t JournalChecksum(std::span<const std::uint8_t> bytes, std::uint32_t seed) noexcept {
    // Four lanes of eight bytes a step, each mixed by multiplication and rotation (the constants are the
    // 64-bit golden ratio and a large odd prime), folded at the end: a journal entry saves parts of pages,
    // and a byte-at-a-time sum would cost more than the page's writes.
    constexpr std::uint64_t Golden = 0x9E3779B97F4A7C15u;
    constexpr std::uint64_t Mixer = 0xC2B2AE3D27D4EB4Fu;
    std::array<std::uint64_t, 4> lanes{seed ^ (bytes.size() * Golden), Golden, Mixer, ~std::uint64_t{seed}};
    std::size_t at = 0;
    for (; at + 32 <= bytes.size(); at += 32) {
        for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
            lanes[lane] ^= LoadU64(bytes.data() + at + 8 * lane) * Mixer;
            lanes[lane] = std::rotl(lanes[lane], 31) * Golden;
        }
    }
    std::uint64_t hash =
        lanes[0] ^ std::rotl(lanes[1], 7) ^ std::rotl(lanes[2], 12) ^ std::rotl(lanes[3], 18);
    for (; at + 8 <= bytes.size(); at += 8) {
        hash ^= LoadU64(bytes.data() + at) * Mixer;
        hash = std::rotl(hash, 31) * Golden;
    }
    std::uint64_t tail = 0;
    for (std::size_t shift = 0; at < bytes.size(); ++at, shift += 8)
        tail |= std::uint64_t{bytes[at]} << shift;
    hash ^= tail * Mixer;
    hash ^= hash >> 29;
    hash *= Golden;
    hash ^= hash >> 32;
    return static_cast<std::uint32_t>(hash);
}

void EncodeJournalHeader(const JournalHeader& header,
                         std::span<std::uint8_t, JournalHeaderSize> bytes) noexcept {
    std::fill(bytes.begin(), bytes.end(), 0);
    std::copy(JournalMagic.begin(), JournalMagic.end(), bytes.begin());
    StoreU32(bytes.data() + 8, static_cast<std::uint32_t>(header.State));
    StoreU64(bytes.data() + 12, header.ChangeId);
    StoreU32(bytes.data() + HeaderChecksumOffset, JournalChecksum(bytes.first(HeaderChecksumOffset)));
}

std::optional<JournalHeader> DecodeJournalHeader(std::span<const std::uint8_t> bytes) noexcept {
    if (bytes.size() < JournalHeaderSize) return std::nullopt;
    if (!std::equal(JournalMagic.begin(), JournalMagic.end(), bytes.begin())) return std::nullopt;
    if (LoadU32(bytes.data() + HeaderChecksumOffset) != JournalChecksum(bytes.first(HeaderChecksumOffset)))
        return std::nullopt;
    const std::uint32_t state = LoadU32(bytes.data() + 8);
    if (state != static_cast<std::uint32_t>(JournalState::Finished) &&
        state != static_cast<std::uint32_t>(JournalState::Open))
        return std::nullopt;
    return JournalHeader{static_cast<JournalState>(state), LoadU64(bytes.data() + 12)};
}

void EncodeJournalEntry(const JournalEntry& entry, std::span<const std::uint8_t> saved,
                        std::span<std::uint8_t, JournalEntryHeaderSize> bytes) noexcept {
    StoreU64(bytes.data(), entry.ChangeId);
    bytes[8] = entry.Part;
    StoreU64(bytes.data() + 9, static_cast<std::uint64_t>(entry.StartLength));
    StoreU64(bytes.data() + 17, static_cast<std::uint64_t>(entry.Offset));
    StoreU32(bytes.data() + 25, entry.Count);
    StoreU32(bytes.data() + EntryChecksumOffset,
             JournalChecksum(saved, JournalChecksum(bytes.first(EntryChecksumOffset))));
}

std::optional<JournalEntry> DecodeJournalEntry(std::span<const std::uint8_t> bytes,
                                               std::uint64_t changeId) noexcept {
    if (bytes.size() < JournalEntryHeaderSize) return std::nullopt;
    JournalEntry entry;
    entry.ChangeId = LoadU64(bytes.data());
    entry.Part = bytes[8];
    entry.StartLength = static_cast<std::int64_t>(LoadU64(bytes.data() + 9));
    entry.Offset = static_cast<std::int64_t>(LoadU64(bytes.data() + 17));
    entry.Count = LoadU32(bytes.data() + 25);
    if (entry.ChangeId != changeId || entry.Part >= JournalParts) return std::nullopt;
    if (entry.Count > bytes.size() - JournalEntryHeaderSize) return std::nullopt;
    if (entry.StartLength < 0 || entry.StartLength > LargestFileLength || entry.Offset < 0 ||
        entry.Offset > LargestFileLength - std::int64_t{entry.Count} ||
        (entry.Count != 0 && entry.StartLength != 0))
        return std::nullopt;
    const auto saved = bytes.subspan(JournalEntryHeaderSize, entry.Count);
    if (LoadU32(bytes.data() + EntryChecksumOffset) !=
        JournalChecksum(saved, JournalChecksum(bytes.first(EntryChecksumOffset))))
        return std::nullopt;
    return entry;
}

}  // namespace engine
