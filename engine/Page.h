// TPage: one page of an index file in memory, with its entries decoded, and the codec of page images in all
// their layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/RecordNumbers.h"

namespace engine {

class TIndexFile;

// The index file is a sequence of pages of this size, addressed by their offsets.
inline constexpr std::size_t PageSize = 4096;

// Page header (TPageHeader), at the start of every page but page 0:
//
// | Offset | Width | Field                                                                          |
// |--------|-------|--------------------------------------------------------------------------------|
// | 0      | u8    | page type: 0 root node, 1 node, 2 leaf, 3 root leaf                            |
// | 1      | u16   | entry count; 0 in a free page                                                  |
// | 3      | u32   | offset of the previous page on the same level (0 none)                         |
// | 7      | u32   | offset of the next page on the same level (0 none); in a free page, the next    |
// |        |       | free page of the same index                                                    |
// | 11     | u16   | encoded size of a compressed leaf's entries; 0 for other pages                 |
//
// The entries follow from offset 13, back to back, then zero bytes to the end of the page. With K the key
// length:
//
// | Page                      | Entry                                                    | Size          |
// |---------------------------|----------------------------------------------------------|---------------|
// | node (types 0, 1)         | K key bytes, u32 child offset, u32 keys in its subtree   | K + 8         |
// | leaf, compression 0       | K key bytes, u32 record number (slot)                    | K + 4         |
// | leaf, 1 leading           | u16 L, key bytes L..K-1, u32 record number               | K - L + 6     |
// | leaf, 2 trailing          | u16 T, key bytes 0..K-T-1, u32 record number             | K - T + 6     |
// | leaf, 3 both              | u8 L, u8 T, key bytes L..K-T-1, u32 record number        | K - L - T + 6 |
//
// L counts the leading bytes a key shares with the previous key of the page (0 for the first entry, whatever
// is stored), T the trailing zero bytes dropped. Keys of a non-unique secondary index end in a 4-byte record
// ID that is never dropped: in modes 2 and 3 T counts zeros before it and the stored bytes end with it (in
// mode 3 only when K - L >= 5; otherwise T is 0 and bytes L..K-1 are stored whole).
inline constexpr std::size_t PageHeaderSize = 13;
inline constexpr std::size_t PageTypeOffset = 0;
inline constexpr std::size_t PageCountOffset = 1;
inline constexpr std::size_t PagePriorOffset = 3;
inline constexpr std::size_t PageNextOffset = 7;
inline constexpr std::size_t PageEncodedSizeOffset = 11;
// The room for entries after the page header.
inline constexpr std::size_t PageEntryRoom = PageSize - PageHeaderSize;

inline constexpr std::uint8_t PageTypeRootNode = 0;
inline constexpr std::uint8_t PageTypeNode = 1;
inline constexpr std::uint8_t PageTypeLeaf = 2;
inline constexpr std::uint8_t PageTypeRootLeaf = 3;

// Leaf compression modes of an index descriptor.
inline constexpr std::uint8_t CompressionNone = 0;
inline constexpr std::uint8_t CompressionLeading = 1;
inline constexpr std::uint8_t CompressionTrailing = 2;
inline constexpr std::uint8_t CompressionBoth = 3;

// A page may be pinned this many times at once; one more pin means a fetch that never released its page.
inline constexpr std::uint16_t MaxPagePins = 64;

struct TPageHeader {
    std::uint8_t PageType = PageTypeRootNode;
    std::uint16_t Count = 0;
    PageOffset Prior;
    PageOffset Next;
    std::uint16_t EncodedSize = 0;
};

void EncodePageHeader(const TPageHeader& header, std::span<std::uint8_t, PageHeaderSize> bytes) noexcept;
TPageHeader DecodePageHeader(std::span<const std::uint8_t, PageHeaderSize> bytes) noexcept;

// What the codec needs of a page's index, copied from the index current when the page is created or reset.
struct TPageFormat {
    std::uint16_t KeyLength = 0;
    std::uint8_t IndexNumber = 0;
    std::uint8_t Descending = 0;
    std::uint8_t Unique = 0;
    std::uint8_t Compression = CompressionNone;
    // A protected table's pages are scrambled on disk.
    bool Scrambled = false;

    // Keys of a non-unique secondary index end in the record-ID suffix.
    bool HasSuffix() const noexcept;
};

// One entry besides its key: the child page (nodes) or the record's slot (leaves), the keys in a child's
// subtree (nodes), and the leading and trailing counts of a compressed leaf's entry.
struct TPageEntry {
    std::uint32_t Pointer = 0;
    std::uint32_t Count = 0;
    std::uint16_t Leading = 0;
    std::uint16_t Trailing = 0;

    PageOffset Child() const noexcept { return PageOffset(Pointer); }
    SlotNumber Record() const noexcept { return SlotNumber(Pointer); }
};

// A page and its entries. Keys are held whole, back to back in one buffer of count x K bytes, so that a page
// of short keys costs no allocation per entry. Entry positions below count from 0; the update and navigation
// cursors of the tree and the index cursor count from 1, as they are stored in the cursor state.
//
// Damaged images raise 8965 (index page buffers corrupt) naming the owner's file (none without an owner),
// before anything is read outside the image.
class TPage {
public:
    // A page of the owner's current index.
    explicit TPage(const TIndexFile& owner);
    // A page of the given format without an index file (its errors name no file).
    explicit TPage(const TPageFormat& format);

    // Empty: type 0, no entries, links, parent and position 0, update cursor 1, navigation cursor 0, no pins,
    // not free, clean; the format of the owner's current index reloaded.
    void Reset();

    const TPageFormat& Format() const noexcept { return format_; }
    std::uint8_t PageType() const noexcept { return pageType_; }
    bool IsLeaf() const noexcept { return pageType_ == PageTypeLeaf || pageType_ == PageTypeRootLeaf; }
    bool IsRoot() const noexcept { return pageType_ == PageTypeRootNode || pageType_ == PageTypeRootLeaf; }
    // A leaf of an index with compression: its entries are stored in one of the compressed layouts.
    bool IsCompressedLeaf() const noexcept { return IsLeaf() && format_.Compression != CompressionNone; }
    std::uint16_t Count() const noexcept { return static_cast<std::uint16_t>(entries_.size()); }
    // The entries' encoded size of a compressed leaf (ComputeCompression, or as a loaded image stored it); 0
    // for other pages.
    std::uint16_t EncodedSize() const noexcept { return encodedSize_; }
    // The bytes the entries take in an image.
    std::size_t EntriesSize() const noexcept;

    PageOffset Prior() const noexcept { return prior_; }
    PageOffset Next() const noexcept { return next_; }
    PageOffset Position() const noexcept { return position_; }
    void SetPosition(PageOffset position) noexcept { position_ = position; }
    // The node a descent came from; 0 for the root or when unknown.
    PageOffset Parent() const noexcept { return parent_; }
    void SetParent(PageOffset parent) noexcept { parent_ = parent; }
    bool Dirty() const noexcept { return dirty_; }
    void MarkDirty() noexcept { dirty_ = true; }
    // A free page is written with count 0 and no entries.
    bool Free() const noexcept { return free_; }
    void SetFree(bool free) noexcept;
    std::uint16_t Pins() const noexcept { return pins_; }

    // The 1-based cursors of the tree's updates and of the index cursor.
    std::uint16_t UpdateCursor = 1;
    std::uint16_t NavCursor = 0;

    // How many entries the page holds before it must split: nodes 4083 div (K + 10), uncompressed leaves
    // 4083 div (K + 6). A compressed leaf splits by its encoded size instead; its figure is the most entries
    // 4083 bytes can hold at all (6 bytes each at least).
    std::uint16_t Capacity() const noexcept;
    // Computes L and T of every entry of a compressed leaf and the encoded size; any other page gets encoded
    // size 0.
    void ComputeCompression();

    // Entry i (from 0) and its K key bytes; 8965 for a position beyond the count.
    const TPageEntry& Entry(std::size_t index) const;
    std::span<const std::uint8_t> Key(std::size_t index) const;
    // Sets entry i: its key (a shorter key is zero-extended, a longer one cut to K), pointer and subtree
    // count. Marks the page dirty.
    void SetEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                  std::uint32_t count = 0);
    // Inserts an entry before position i (i = count appends) or removes entry i. Mark the page dirty.
    void InsertEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                     std::uint32_t count = 0);
    void RemoveEntry(std::size_t index);

    // The setters mark the page dirty only when the value changes. SetCount zero-fills the entries it adds;
    // SetPageType takes 0..3 (8965 otherwise).
    void SetCount(std::uint16_t count);
    void SetPrior(PageOffset prior) noexcept;
    void SetNext(PageOffset next) noexcept;
    void SetPageType(std::uint8_t pageType);

    // A pin more than MaxPagePins raises 8965; Unpin stops at 0.
    void Pin();
    void Unpin() noexcept;
    void ClearPins() noexcept { pins_ = 0; }

    // Takes a page image as read from the file (scrambled for a protected table; the caller's bytes stay as
    // they are): type, links and encoded size from its header, update cursor 1, parent 0, clean; the entries
    // decoded unless only the header is wanted (count 0 then). Raises 8965, with the page unchanged, for a
    // type above 3, an encoded size above 4083, or entries that the checks of DecodeEntries refuse.
    void LoadFromBuffer(std::span<const std::uint8_t, PageSize> image, bool headerOnly);
    // Writes the page image (a free page with count 0 and no entries), scrambled for a protected table; the
    // page in memory stays plain and becomes clean. The compression is computed afresh first, so the stored
    // L and T always match the keys. Raises 8965 for entries that would pass the page (more than 4083
    // bytes), with the image then undefined.
    void SaveToBuffer(std::span<std::uint8_t, PageSize> image);

    // The entries as laid out above into the room after the page header (zero beyond them); 8965 when they
    // take more than the room.
    void EncodeEntries(std::span<std::uint8_t, PageEntryRoom> room) const;
    // Rebuilds count entries from the room: each key from the L bytes the previous key shares, its stored
    // bytes, T zeros and the suffix. L and T are kept as stored. Raises 8965, with the page unchanged, for a
    // count above the capacity of a node or an uncompressed leaf, an encoded size above 4083, an L above K, a
    // T beyond its area, or a compressed leaf whose entries do not take exactly the encoded size.
    void DecodeEntries(std::span<const std::uint8_t, PageEntryRoom> room, std::uint16_t count,
                       std::uint16_t encodedSize);

private:
    [[noreturn]] void RaiseCorrupt() const;
    void CheckPosition(std::size_t index) const;
    std::uint8_t* KeyAt(std::size_t index) noexcept { return keys_.data() + index * format_.KeyLength; }
    const std::uint8_t* KeyAt(std::size_t index) const noexcept {
        return keys_.data() + index * format_.KeyLength;
    }
    // The size of entry i in an image.
    std::size_t EntrySize(std::size_t index) const noexcept;

    const TIndexFile* owner_ = nullptr;
    TPageFormat format_;
    std::uint8_t pageType_ = PageTypeRootNode;
    PageOffset prior_;
    PageOffset next_;
    PageOffset position_;
    PageOffset parent_;
    std::uint16_t encodedSize_ = 0;
    std::uint16_t pins_ = 0;
    bool dirty_ = false;
    bool free_ = false;
    std::vector<TPageEntry> entries_;
    std::vector<std::uint8_t> keys_;
};

}  // namespace engine
