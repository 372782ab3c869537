#include "engine/index/Page.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/index/KeyOrder.h"
#include "engine/values/KeyEncoding.h"

namespace engine {

namespace {

// Node and leaf entries carry u32 pointers (and a node its u32 subtree count) after the key; compressed
// entries also a u16 L or T, or a u8 L and a u8 T.
constexpr std::size_t PointerSize = 4;
constexpr std::size_t NodeEntryExtra = 8;
constexpr std::size_t LeafEntryExtra = 4;
constexpr std::size_t CompressedHeaderSize = 2;
constexpr std::size_t CompressedEntryExtra = CompressedHeaderSize + PointerSize;
// The capacity formulas keep two bytes per entry spare: nodes split above 4083 div (K + 10), uncompressed
// leaves above 4083 div (K + 6).
constexpr std::size_t NodeCapacityExtra = 10;
constexpr std::size_t LeafCapacityExtra = 6;
// Mode 3 stores L and T in one byte each.
constexpr std::size_t MaxByteCount = 255;
// T is counted over at most (length of the area mod 256) bytes: the count of the scan is one byte.
constexpr std::size_t TrailingScanModulus = 256;

// Where the trailing zeros of a compressed key are looked for: the bytes from `start`, `length` of them.
struct TrailingArea {
    std::size_t start = 0;
    std::size_t length = 0;
};

// The area of mode 2 (bytes 0..K-1, or 0..K-5 before a suffix) and of mode 3 (bytes L..K-1, or L..K-5 when
// K - L >= 5 before a suffix, else none).
TrailingArea AreaOf(std::uint8_t mode, std::size_t keyLength, std::size_t leading, bool suffix) noexcept {
    if (mode == CompressionTrailing) return {0, suffix ? keyLength - RecordIdSuffixLength : keyLength};
    if (mode != CompressionBoth) return {};
    if (!suffix) return {leading, keyLength - leading};
    if (keyLength - leading < RecordIdSuffixLength + 1) return {leading, 0};
    return {leading, keyLength - leading - RecordIdSuffixLength};
}

// Whether the stored bytes end with the suffix kept apart from the dropped zeros.
bool SplitsSuffix(std::uint8_t mode, std::size_t keyLength, std::size_t leading, bool suffix) noexcept {
    if (!suffix) return false;
    if (mode == CompressionTrailing) return true;
    return mode == CompressionBoth && keyLength - leading >= RecordIdSuffixLength + 1;
}

}  // namespace

void EncodePageHeader(const TPageHeader& header, std::span<std::uint8_t, PageHeaderSize> bytes) noexcept {
    std::uint8_t* const b = bytes.data();
    b[PageTypeOffset] = header.PageType;
    StoreU16(b + PageCountOffset, header.Count);
    StoreU32(b + PagePriorOffset, header.Prior.Value);
    StoreU32(b + PageNextOffset, header.Next.Value);
    StoreU16(b + PageEncodedSizeOffset, header.EncodedSize);
}

TPageHeader DecodePageHeader(std::span<const std::uint8_t, PageHeaderSize> bytes) noexcept {
    const std::uint8_t* const b = bytes.data();
    TPageHeader header;
    header.PageType = b[PageTypeOffset];
    header.Count = LoadU16(b + PageCountOffset);
    header.Prior = PageOffset(LoadU32(b + PagePriorOffset));
    header.Next = PageOffset(LoadU32(b + PageNextOffset));
    header.EncodedSize = LoadU16(b + PageEncodedSizeOffset);
    return header;
}

bool TPageFormat::HasSuffix() const noexcept {
    return IndexNumber >= 1 && IndexNumber <= MaxSecondaryIndexes && Unique == 0 &&
           KeyLength >= RecordIdSuffixLength;
}

TPage::TPage(const TIndexFile& owner, std::uint8_t index) : owner_(&owner), index_(index) {
    LoadFormat();
}

TPage::TPage(const TIndexFile& owner) : TPage(owner, owner.CurrentIndex()) {}

TPage::TPage(const TPageFormat& format, const TKeyOrder* order)
    : index_(format.IndexNumber), format_(format), order_(order) {}

void TPage::LoadFormat() {
    if (owner_ == nullptr) return;
    format_ = owner_->PageFormat(index_);
    order_ = &owner_->KeyOrderOf(index_);
}

void TPage::RaiseCorrupt() const {
    RaiseEngineError(ErrIndexPagesCorrupt, owner_ != nullptr ? std::string_view(owner_->FileName()) : "");
}

void TPage::CheckPosition(std::size_t index) const {
    if (index >= entries_.size()) RaiseCorrupt();
}

void TPage::Reset() {
    LoadFormat();
    pageType_ = PageTypeRootNode;
    prior_ = next_ = parent_ = NoPage;
    encodedSize_ = 0;
    free_ = false;
    UpdateCursor = 1;
    NavCursor = 0;
    entries_.clear();
    keys_.clear();
    compressedTotal_ = 0;
    MarkClean();
}

void TPage::Load(std::span<const std::uint8_t> image) {
    if (image.size() != PageSize) RaiseCorrupt();
    LoadFromBuffer(std::span<const std::uint8_t, PageSize>(image.data(), PageSize), false);
}

void TPage::Store(std::span<std::uint8_t> image) {
    if (image.size() != PageSize) RaiseCorrupt();
    SaveToBuffer(std::span<std::uint8_t, PageSize>(image.data(), PageSize));
}

void TPage::SetFree(bool free) noexcept {
    if (free_ == free) return;
    free_ = free;
    MarkDirty();
}

std::uint16_t TPage::Capacity() const noexcept {
    const std::size_t k = format_.KeyLength;
    if (!IsLeaf()) return static_cast<std::uint16_t>(PageEntryRoom / (k + NodeCapacityExtra));
    if (format_.Compression == CompressionNone) {
        return static_cast<std::uint16_t>(PageEntryRoom / (k + LeafCapacityExtra));
    }
    return static_cast<std::uint16_t>(PageEntryRoom / CompressedEntryExtra);
}

std::size_t TPage::EntrySize(std::size_t index) const noexcept {
    const std::size_t k = format_.KeyLength;
    if (!IsLeaf()) return k + NodeEntryExtra;
    if (format_.Compression == CompressionNone) return k + LeafEntryExtra;
    return CompressedEntrySize(index);
}

std::size_t TPage::EntriesSize() const noexcept {
    if (IsCompressedLeaf()) return encodedSize_;
    return entries_.size() * EntrySize(0);
}

bool TPage::Overfull() const noexcept {
    if (IsCompressedLeaf()) return encodedSize_ > PageEntryRoom;
    return Count() > Capacity();
}

void TPage::ComputeCompression() {
    ComputeCompression(0, entries_.size());
}

void TPage::ComputeCompression(std::size_t first, std::size_t last) {
    if (!IsCompressedLeaf()) {
        encodedSize_ = 0;
        return;
    }
    const std::uint8_t mode = format_.Compression;
    const std::size_t k = format_.KeyLength;
    const bool suffix = format_.HasSuffix();
    for (std::size_t i = first; i <= last && i < entries_.size(); ++i) {
        TPageEntry& entry = entries_[i];
        std::size_t leading = 0;
        if (i > 0 && (mode == CompressionLeading || mode == CompressionBoth)) {
            leading = CommonPrefixLength(KeyAt(i - 1), KeyAt(i), k);
            if (mode == CompressionBoth) leading = std::min(leading, MaxByteCount);
        }
        std::size_t trailing = 0;
        const TrailingArea area = AreaOf(mode, k, leading, suffix);
        if (area.length > 0) {
            trailing = CountTrailingZeroBytes(KeyAt(i) + area.start + area.length - 1,
                                              area.length % TrailingScanModulus);
        }
        compressedTotal_ -= CompressedEntrySize(i);
        entry.Leading = static_cast<std::uint16_t>(leading);
        entry.Trailing = static_cast<std::uint16_t>(trailing);
        compressedTotal_ += CompressedEntrySize(i);
    }
    // A leaf of more than 65535 bytes never reaches an image: SaveToBuffer refuses anything above 4083.
    encodedSize_ = static_cast<std::uint16_t>(std::min<std::size_t>(compressedTotal_, UINT16_MAX));
}

std::size_t TPage::CompressedEntrySize(std::size_t index) const noexcept {
    const TPageEntry& entry = entries_[index];
    const std::size_t leading = index == 0 ? 0 : entry.Leading;
    return format_.KeyLength - leading - entry.Trailing + CompressedEntryExtra;
}

std::size_t TPage::CompressedSizes(std::size_t first, std::size_t last) const noexcept {
    std::size_t total = 0;
    for (std::size_t i = first; i < last && i < entries_.size(); ++i) total += CompressedEntrySize(i);
    return total;
}

// ---- Entries ----

const TPageEntry& TPage::Entry(std::size_t index) const {
    CheckPosition(index);
    return entries_[index];
}

std::span<const std::uint8_t> TPage::Key(std::size_t index) const {
    CheckPosition(index);
    return {KeyAt(index), format_.KeyLength};
}

void TPage::SetEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                     std::uint32_t count) {
    CheckPosition(index);
    std::uint8_t* const out = KeyAt(index);
    const std::size_t length = std::min<std::size_t>(key.size(), format_.KeyLength);
    std::copy_n(key.begin(), length, out);
    std::fill(out + length, out + format_.KeyLength, 0);
    entries_[index].Pointer = pointer;
    entries_[index].Count = count;
    MarkDirty();
}

void TPage::SetEntryKey(std::size_t index, std::span<const std::uint8_t> key) {
    CheckPosition(index);
    std::uint8_t* const out = KeyAt(index);
    const std::size_t length = std::min<std::size_t>(key.size(), format_.KeyLength);
    if (std::equal(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(length), out) &&
        std::all_of(out + length, out + format_.KeyLength, [](std::uint8_t b) { return b == 0; })) {
        return;
    }
    std::copy_n(key.begin(), length, out);
    std::fill(out + length, out + format_.KeyLength, 0);
    MarkDirty();
}

void TPage::SetEntrySubtreeCount(std::size_t index, std::uint32_t count) {
    CheckPosition(index);
    if (entries_[index].Count == count) return;
    entries_[index].Count = count;
    MarkDirty();
}

std::uint32_t TPage::KeyTotal() const noexcept {
    if (IsLeaf()) return Count();
    std::uint32_t total = 0;
    for (const TPageEntry& entry : entries_) total += entry.Count;
    return total;
}

void TPage::InsertEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                        std::uint32_t count) {
    if (index > entries_.size()) RaiseCorrupt();
    // Only the new entry and the one it moves on (which may stop being the first) change their sizes.
    const std::size_t before = CompressedSizes(index, index + 1);
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), TPageEntry{});
    keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(index * format_.KeyLength), format_.KeyLength,
                 0);
    compressedTotal_ += CompressedSizes(index, index + 2) - before;
    SetEntry(index, key, pointer, count);
}

void TPage::RemoveEntry(std::size_t index) {
    CheckPosition(index);
    // Only the entry removed and the one that takes its place (which may become the first) change sizes.
    const std::size_t before = CompressedSizes(index, index + 2);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    const auto first = keys_.begin() + static_cast<std::ptrdiff_t>(index * format_.KeyLength);
    keys_.erase(first, first + format_.KeyLength);
    compressedTotal_ = compressedTotal_ + CompressedSizes(index, index + 1) - before;
    MarkDirty();
}

void TPage::TakeEntries(TPage& from, std::size_t first, std::size_t count, std::size_t at) {
    if (&from == this || from.format_.KeyLength != format_.KeyLength ||
        first + count > from.entries_.size() || at > entries_.size()) {
        RaiseCorrupt();
    }
    if (count == 0) return;
    const std::size_t k = format_.KeyLength;
    const auto fromEntries = from.entries_.begin() + static_cast<std::ptrdiff_t>(first);
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), fromEntries,
                    fromEntries + static_cast<std::ptrdiff_t>(count));
    from.entries_.erase(fromEntries, fromEntries + static_cast<std::ptrdiff_t>(count));
    const auto fromKeys = from.keys_.begin() + static_cast<std::ptrdiff_t>(first * k);
    keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(at * k), fromKeys,
                 fromKeys + static_cast<std::ptrdiff_t>(count * k));
    from.keys_.erase(fromKeys, fromKeys + static_cast<std::ptrdiff_t>(count * k));
    compressedTotal_ = CompressedSizes(0, entries_.size());
    from.compressedTotal_ = from.CompressedSizes(0, from.entries_.size());
    MarkDirty();
    from.MarkDirty();
}

void TPage::SetCount(std::uint16_t count) {
    if (count == entries_.size()) return;
    entries_.resize(count);
    keys_.resize(std::size_t{count} * format_.KeyLength, 0);
    compressedTotal_ = CompressedSizes(0, entries_.size());
    MarkDirty();
}

void TPage::SetPrior(PageOffset prior) noexcept {
    if (prior_ == prior) return;
    prior_ = prior;
    MarkDirty();
}

void TPage::SetNext(PageOffset next) noexcept {
    if (next_ == next) return;
    next_ = next;
    MarkDirty();
}

void TPage::SetPageType(std::uint8_t pageType) {
    if (pageType > PageTypeRootLeaf) RaiseCorrupt();
    if (pageType_ == pageType) return;
    pageType_ = pageType;
    MarkDirty();
}

// ---- Images ----

void TPage::EncodeEntries(std::span<std::uint8_t, PageEntryRoom> room) const {
    // An image the decoder would refuse is never written.
    if (EntriesSize() > PageEntryRoom || (!IsCompressedLeaf() && Count() > Capacity())) RaiseCorrupt();
    std::fill(room.begin(), room.end(), 0);
    const std::size_t k = format_.KeyLength;
    const std::uint8_t mode = IsLeaf() ? format_.Compression : CompressionNone;
    const bool suffix = format_.HasSuffix();
    std::uint8_t* out = room.data();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const TPageEntry& entry = entries_[i];
        const std::uint8_t* const key = KeyAt(i);
        if (mode == CompressionNone) {
            std::memcpy(out, key, k);
            out += k;
            StoreU32(out, entry.Pointer);
            out += PointerSize;
            if (!IsLeaf()) {
                StoreU32(out, entry.Count);
                out += PointerSize;
            }
            continue;
        }
        const std::size_t leading = i == 0 || mode == CompressionTrailing ? 0 : entry.Leading;
        const std::size_t trailing = mode == CompressionLeading ? 0 : entry.Trailing;
        if (mode == CompressionBoth) {
            *out++ = static_cast<std::uint8_t>(leading);
            *out++ = static_cast<std::uint8_t>(trailing);
        } else {
            StoreU16(out, static_cast<std::uint16_t>(mode == CompressionLeading ? leading : trailing));
            out += CompressedHeaderSize;
        }
        if (SplitsSuffix(mode, k, leading, suffix)) {
            const std::size_t front = k - RecordIdSuffixLength - leading - trailing;
            std::memcpy(out, key + leading, front);
            std::memcpy(out + front, key + k - RecordIdSuffixLength, RecordIdSuffixLength);
            out += front + RecordIdSuffixLength;
        } else {
            const std::size_t stored = k - leading - trailing;
            std::memcpy(out, key + leading, stored);
            out += stored;
        }
        StoreU32(out, entry.Pointer);
        out += PointerSize;
    }
}

void TPage::DecodeEntries(std::span<const std::uint8_t, PageEntryRoom> room, std::uint16_t count,
                          std::uint16_t encodedSize) {
    const std::size_t k = format_.KeyLength;
    const bool compressed = IsCompressedLeaf();
    if (encodedSize > PageEntryRoom) RaiseCorrupt();
    // Checked before anything is sized by the count: no page holds more entries than these.
    if (!compressed && count > Capacity()) RaiseCorrupt();
    if (compressed && std::size_t{count} * CompressedEntryExtra > encodedSize) RaiseCorrupt();

    std::vector<TPageEntry> entries(count);
    std::vector<std::uint8_t> keys(std::size_t{count} * k, 0);
    const std::uint8_t* in = room.data();
    if (!compressed) {
        for (std::size_t i = 0; i < count; ++i) {
            std::memcpy(keys.data() + i * k, in, k);
            in += k;
            entries[i].Pointer = LoadU32(in);
            in += PointerSize;
            if (!IsLeaf()) {
                entries[i].Count = LoadU32(in);
                in += PointerSize;
            }
        }
    } else {
        const std::uint8_t mode = format_.Compression;
        const bool suffix = format_.HasSuffix();
        const std::uint8_t* const end = room.data() + encodedSize;
        for (std::size_t i = 0; i < count; ++i) {
            if (static_cast<std::size_t>(end - in) < CompressedHeaderSize) RaiseCorrupt();
            std::size_t leading = 0;
            std::size_t trailing = 0;
            if (mode == CompressionBoth) {
                leading = in[0];
                trailing = in[1];
            } else if (mode == CompressionLeading) {
                leading = LoadU16(in);
            } else {
                trailing = LoadU16(in);
            }
            in += CompressedHeaderSize;
            // The first entry shares nothing, whatever is stored.
            if (i == 0) leading = 0;
            if (leading > k) RaiseCorrupt();
            const TrailingArea area = AreaOf(mode, k, leading, suffix);
            if (trailing > area.length) RaiseCorrupt();
            const std::size_t stored = k - leading - trailing;
            if (static_cast<std::size_t>(end - in) < stored + PointerSize) RaiseCorrupt();
            std::uint8_t* const key = keys.data() + i * k;
            if (leading > 0) std::memcpy(key, key - k, leading);
            if (SplitsSuffix(mode, k, leading, suffix)) {
                const std::size_t front = stored - RecordIdSuffixLength;
                std::memcpy(key + leading, in, front);
                std::memcpy(key + k - RecordIdSuffixLength, in + front, RecordIdSuffixLength);
            } else {
                std::memcpy(key + leading, in, stored);
            }
            in += stored;
            entries[i].Pointer = LoadU32(in);
            in += PointerSize;
            entries[i].Leading = static_cast<std::uint16_t>(leading);
            entries[i].Trailing = static_cast<std::uint16_t>(trailing);
        }
        if (in != end) RaiseCorrupt();
    }
    entries_ = std::move(entries);
    keys_ = std::move(keys);
    compressedTotal_ = CompressedSizes(0, entries_.size());
    encodedSize_ = compressed ? encodedSize : 0;
}

void TPage::LoadFromBuffer(std::span<const std::uint8_t, PageSize> image, bool headerOnly) {
    std::array<std::uint8_t, PageSize> plain;
    std::copy(image.begin(), image.end(), plain.begin());
    if (format_.Scrambled) UnscrambleBuffer(plain.data(), plain.size(), DataSeed);
    const TPageHeader header =
        DecodePageHeader(std::span<const std::uint8_t, PageHeaderSize>(plain.data(), PageHeaderSize));
    if (header.PageType > PageTypeRootLeaf || header.EncodedSize > PageEntryRoom) RaiseCorrupt();

    const std::uint8_t oldType = pageType_;
    pageType_ = header.PageType;
    if (headerOnly) {
        entries_.clear();
        keys_.clear();
        compressedTotal_ = 0;
        encodedSize_ = 0;
    } else {
        try {
            DecodeEntries(
                std::span<const std::uint8_t, PageEntryRoom>(plain.data() + PageHeaderSize, PageEntryRoom),
                header.Count, header.EncodedSize);
        } catch (...) {
            pageType_ = oldType;
            throw;
        }
    }
    prior_ = header.Prior;
    next_ = header.Next;
    UpdateCursor = 1;
    parent_ = NoPage;
    free_ = false;
    MarkClean();
}

void TPage::SaveToBuffer(std::span<std::uint8_t, PageSize> image) {
    ComputeCompression();
    std::fill(image.begin(), image.end(), 0);
    TPageHeader header;
    header.PageType = pageType_;
    header.Prior = prior_;
    header.Next = next_;
    if (!free_) {
        EncodeEntries(std::span<std::uint8_t, PageEntryRoom>(image.data() + PageHeaderSize, PageEntryRoom));
        header.Count = Count();
        header.EncodedSize = encodedSize_;
    }
    EncodePageHeader(header, std::span<std::uint8_t, PageHeaderSize>(image.data(), PageHeaderSize));
    if (format_.Scrambled) ScrambleBuffer(image.data(), image.size(), DataSeed);
    MarkClean();
}

}  // namespace engine
