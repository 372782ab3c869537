// TPage: one page of an index file in memory, with its entries decoded, and the codec of page images in all
// their layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/base/Cache.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

class TIndexFile;
class TKeyOrder;

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

// A page and its entries, as the index file's page cache holds it (the cache keeps its position, pins and
// dirty flag). Keys are held whole, back to back in one buffer of count x K bytes, so that a page of short
// keys costs no allocation per entry. Entry positions of the entry functions count from 0; the update and
// navigation cursors of the tree and the index cursor count from 1, as the cursor state stores them.
//
// Damaged images raise 8965 (index page buffers corrupt) naming the owner's file (none without an owner),
// before anything is read outside the image.
class TPage : public TCacheEntry<PageOffset> {
public:
    // A page of the owner's index slot; the second form takes the owner's current index.
    TPage(const TIndexFile& owner, std::uint8_t index);
    explicit TPage(const TIndexFile& owner);
    // A page of the given format without an index file (its errors name no file); its keys compare in the
    // order given, bytes when none is.
    explicit TPage(const TPageFormat& format, const TKeyOrder* order = nullptr);

    // Empty: type 0, no entries, links and parent 0, update cursor 1, navigation cursor 0, not free, clean;
    // the format of the page's index reloaded.
    void Reset();
    // The cache's image operations: Load takes a page image (LoadFromBuffer, whole), Store writes it
    // (SaveToBuffer). Both raise 8965 for an image that is not one page.
    void Load(std::span<const std::uint8_t> image);
    void Store(std::span<std::uint8_t> image);

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
    // More entries than the page may hold: a node or an uncompressed leaf above its capacity, a compressed
    // leaf whose encoded size (as last computed) passes the 4083 bytes of room.
    bool Overfull() const noexcept;

    PageOffset Prior() const noexcept { return prior_; }
    PageOffset Next() const noexcept { return next_; }
    // The node a descent came from; 0 for the root or when unknown. The tree's updates carry their path
    // themselves and never read it.
    PageOffset Parent() const noexcept { return parent_; }
    void SetParent(PageOffset parent) noexcept { parent_ = parent; }
    // A free page is written with count 0 and no entries.
    bool Free() const noexcept { return free_; }
    void SetFree(bool free) noexcept;

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
    // The same after a change at entries first..last only (an entry inserted at i changes i and i + 1, one
    // removed at i changes the entry that takes its place): the other entries keep their L and T.
    void ComputeCompression(std::size_t first, std::size_t last);

    // Entry i (from 0) and its K key bytes; 8965 for a position beyond the count.
    const TPageEntry& Entry(std::size_t index) const;
    std::span<const std::uint8_t> Key(std::size_t index) const;
    // The keys under the page: the sum of the entries' subtree counts in a node, the entry count in a leaf.
    std::uint32_t KeyTotal() const noexcept;
    // Sets entry i: its key (a shorter key is zero-extended, a longer one cut to K), pointer and subtree
    // count. Marks the page dirty.
    void SetEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                  std::uint32_t count = 0);
    // Set only the key, or only the subtree count, of entry i; mark the page dirty when they change it.
    void SetEntryKey(std::size_t index, std::span<const std::uint8_t> key);
    void SetEntrySubtreeCount(std::size_t index, std::uint32_t count);
    // Inserts an entry before position i (i = count appends) or removes entry i. Mark the page dirty.
    void InsertEntry(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t pointer,
                     std::uint32_t count = 0);
    void RemoveEntry(std::size_t index);
    // Moves count entries from position first of another page of the same index in front of position at of
    // this one, in their order; both pages are marked dirty.
    void TakeEntries(TPage& from, std::size_t first, std::size_t count, std::size_t at);

    // The setters mark the page dirty only when the value changes. SetCount zero-fills the entries it adds;
    // SetPageType takes 0..3 (8965 otherwise).
    void SetCount(std::uint16_t count);
    void SetPrior(PageOffset prior) noexcept;
    void SetNext(PageOffset next) noexcept;
    void SetPageType(std::uint8_t pageType);

    // Takes a page image as read from the file (scrambled for a protected table; the caller's bytes stay as
    // they are): type, links and encoded size from its header, update cursor 1, parent 0, clean; the entries
    // decoded unless only the header is wanted (count 0 then). Raises 8965, with the page unchanged, for a
    // type above 3, an encoded size above 4083, or entries that the checks of DecodeEntries refuse.
    void LoadFromBuffer(std::span<const std::uint8_t, PageSize> image, bool headerOnly);
    // Writes the page image (a free page with count 0 and no entries), scrambled for a protected table; the
    // page in memory stays plain and becomes clean. The compression is computed afresh first, so the stored
    // L and T always match the keys. Raises 8965 for entries that would pass the page (more than 4083
    // bytes) or outgrow its capacity, with the image then undefined.
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

    // ---- Cursors (PageSearch.cpp) ----
    //
    // The update cursor serves the tree's updates, the navigation cursor the index cursor; update: true
    // chooses the update cursor where both are offered. A cursor outside 1..count where an entry is needed
    // raises 8965.

    // The child offset or record number at the cursor; 0 in an empty page.
    std::uint32_t GetEntryPointer() const;
    std::uint32_t GetNavEntryPointer() const;
    // The subtree count at the cursor; 1 in a leaf; 0 in an empty node.
    std::uint32_t GetEntryCount() const;
    std::uint32_t GetNavEntryCount() const;
    // Set at the update cursor (the count only in nodes); mark the page dirty.
    void SetEntryPointer(std::uint32_t pointer);
    void SetEntryCount(std::uint32_t count);
    std::uint32_t GetKeyTotal() const noexcept { return KeyTotal(); }
    std::span<const std::uint8_t> GetEntryKey(bool update) const;
    // Inserts a new entry after the update cursor's entry (at the front when the cursor is 0) and makes it
    // current.
    void InsertKeyAt(std::span<const std::uint8_t> key);
    // Overwrites the key at the update cursor.
    void SetCurrentKey(std::span<const std::uint8_t> key);
    // Removes the entry at the update cursor, which is lowered to the new count when it passes it.
    void RemoveCurrentEntry();
    // Cursor moves; Next and Prior answer false, leaving the cursor, at the last and the first entry.
    void FirstEntry(bool update) noexcept;
    void LastEntry(bool update) noexcept;
    bool NextEntry(bool update) noexcept;
    bool PriorEntry(bool update) noexcept;
    // The update cursor takes the navigation cursor's place, and the other way round.
    void SyncUpdateCursor() noexcept { UpdateCursor = NavCursor; }
    void SyncNavCursor() noexcept { NavCursor = UpdateCursor; }
    // Keys before the cursor's entry within the page: the preceding entries' subtree counts in a node, the
    // position - 1 in a leaf.
    std::uint32_t CountKeysBefore(bool update) const;

    // ---- Searches (PageSearch.cpp) ----
    //
    // Binary searches over the entries, each entry compared with the key (at least the compare length of
    // bytes, K by default) in the page's key order with the whole index's descending flag; an entry equal to
    // the key ends a search at that entry. A page without entries raises 8965. Ordinals are the caller's
    // running ordinal, to which the keys before the position found are added.

    // Update cursor: the last entry not greater than the key, else 1; true when a leaf entry equals the key.
    bool Locate(std::span<const std::uint8_t> key);
    // The same on the navigation cursor, over the compare length.
    bool LocateNav(std::span<const std::uint8_t> key, std::size_t compareLength);
    // Update cursor: the last entry not greater than the key; 0 when every entry is greater. Answers it.
    std::uint16_t FindInsertPosition(std::span<const std::uint8_t> key);
    // Update cursor: the last entry not greater than the key, else 1. Answers it.
    std::uint16_t FindDeletePosition(std::span<const std::uint8_t> key);
    // Navigation cursor. Leaf: the first entry not less than the key (the last entry when all are less);
    // node: the last entry not greater than the key, else 1.
    void SeekRangeStart(std::span<const std::uint8_t> key, std::int32_t& ordinal);
    void SeekOrdinalStart(std::span<const std::uint8_t> key, std::int32_t& ordinal) {
        SeekRangeStart(key, ordinal);
    }
    // Navigation cursor: the last entry not greater than the key, else 1.
    void SeekRangeEnd(std::span<const std::uint8_t> key, std::int32_t& ordinal);
    void SeekOrdinalEnd(std::span<const std::uint8_t> key, std::int32_t& ordinal) {
        SeekRangeEnd(key, ordinal);
    }
    // Navigation cursor. Node: the last entry not greater than the key, else 1. Leaf with nearest: the first
    // entry not less than the key (the last when all are less); leaf without: the last entry not greater,
    // else 1. True when the entry reached equals the key over the compare length.
    bool SearchKey(std::span<const std::uint8_t> key, std::int32_t& ordinal, std::size_t compareLength,
                   bool nearest);
    // A linear scan from entry 1 on the navigation cursor, used while a range is active (both keys compared
    // over the compare length). Node: the last entry not above the key, else 1, scanning no further than the
    // stop key; false. Leaf: an entry equal to the key ends the scan with true; an entry above the stop key
    // makes the scan step back one entry unless it is entry 1; at the first entry above the key the scan
    // stops there with nearest or at entry 1, else steps back one; at the last entry it stops there. The
    // ordinal counts the keys before the entry reached.
    bool ScanForKey(std::span<const std::uint8_t> key, std::span<const std::uint8_t> stopKey,
                    std::size_t compareLength, bool nearest, std::int32_t& ordinal);
    // Navigation cursor on entry 1, ordinal 1; or on the last entry, the ordinal advanced by the keys before
    // it.
    void GoFirstCounted(std::int32_t& ordinal);
    void GoLastCounted(std::int32_t& ordinal);
    // From the navigation cursor's entry forward (backward) to the first whose record number is set in the
    // bitmap, the ordinal moving by 1 per entry passed; false, on the last (first) entry, when there is none.
    // Record numbers past the bitmap are not set.
    bool SkipToVisibleForward(std::int32_t& ordinal, std::span<const std::uint8_t> bitmap);
    bool SkipToVisibleBackward(std::int32_t& ordinal, std::span<const std::uint8_t> bitmap);
    // Sets the bit of the record number of each entry from the navigation cursor on while the entry is not
    // above the stop key (over the compare length), or below it when the stop key is not inclusive; a
    // compare length of 0 stops at no entry. True when the page's end was reached, false when an entry
    // beyond the stop key ended it (the navigation cursor then on that entry). A record number outside
    // 1 .. highest, or past the bitmap, raises 8965 before its bit is set.
    bool MarkRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength,
                         std::span<std::uint8_t> bitmap, std::uint32_t highest, bool inclusive = true);
    // The same walk, appending the record numbers instead (at most highest, else 8965).
    bool CollectRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength,
                            std::vector<std::uint32_t>& records, std::uint32_t highest, bool inclusive = true);
    // The number of entries that lie below the key over the compare length, or (orEqual) not above it: a
    // partition point, so that a run of entries equal to the key over a short compare length is counted
    // whole, whichever page it starts in. A compare length of 0 makes every entry equal to the key.
    std::uint16_t CountEntriesBelow(std::span<const std::uint8_t> key, std::size_t compareLength,
                                    bool orEqual) const;
    // From the update cursor's entry, the number of entries (that one counted, at most max, not beyond the
    // page) whose record numbers rise (direction 1) or else fall by exactly 1 from entry to entry.
    std::uint32_t GetContiguousRun(std::uint32_t max, int direction) const;

private:
    // The walk of MarkRecordsUpTo, handing each record number (checked against the limit) to the visit.
    template <typename Visit>
    bool VisitRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength, std::uint64_t limit,
                          bool inclusive, Visit visit);
    // Where a binary search over the entries ended: the last entry not greater than the key and the first
    // not less (1-based: 0 and count + 1 when there is none), and whether an entry equals it.
    struct SearchResult {
        std::uint16_t lastNotGreater = 0;
        std::uint16_t firstNotLess = 0;
        bool equal = false;
    };
    SearchResult BinarySearch(std::span<const std::uint8_t> key, std::size_t compareLength) const;
    int CompareEntry(std::size_t index, const std::uint8_t* key, std::size_t compareLength) const;
    // The key zero-extended to at least the compare length, in the buffer when it is shorter.
    static const std::uint8_t* Widened(std::span<const std::uint8_t> key, std::size_t compareLength,
                                       std::vector<std::uint8_t>& buffer);
    void RequireEntries() const;
    std::size_t CursorIndex(std::uint16_t cursor) const;

    [[noreturn]] void RaiseCorrupt() const;
    void CheckPosition(std::size_t index) const;
    std::uint8_t* KeyAt(std::size_t index) noexcept { return keys_.data() + index * format_.KeyLength; }
    const std::uint8_t* KeyAt(std::size_t index) const noexcept {
        return keys_.data() + index * format_.KeyLength;
    }
    // The size of entry i in an image.
    std::size_t EntrySize(std::size_t index) const noexcept;
    // The size entry i takes in a compressed leaf with its L and T as they stand, whatever the page type.
    std::size_t CompressedEntrySize(std::size_t index) const noexcept;
    // The sum of CompressedEntrySize over the entries i..j-1.
    std::size_t CompressedSizes(std::size_t first, std::size_t last) const noexcept;
    // The format and key order of the page's index, from the owner or as given.
    void LoadFormat();

    const TIndexFile* owner_ = nullptr;
    std::uint8_t index_ = 0;
    TPageFormat format_;
    const TKeyOrder* order_ = nullptr;
    std::uint8_t pageType_ = PageTypeRootNode;
    PageOffset prior_;
    PageOffset next_;
    PageOffset parent_;
    std::uint16_t encodedSize_ = 0;
    // CompressedSizes over every entry, kept up to date with each change of the entries, so that the encoded
    // size after one insert or removal costs the entries it touched rather than the whole leaf.
    std::size_t compressedTotal_ = 0;
    bool free_ = false;
    std::vector<TPageEntry> entries_;
    std::vector<std::uint8_t> keys_;
};

// A page the cache holds for a fetcher until the pin goes.
using PagePin = TCachePin<TPage>;

}  // namespace engine
