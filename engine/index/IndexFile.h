// TIndexFile: a table's index file (".IDX"): its header with the index definitions, the current index with
// the settings that keys and pages of it use, its page cache and locks, and the counted B+-tree of every
// index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/file/FileHandler.h"
#include "engine/file/SharedFileLock.h"
#include "engine/index/IndexCursor.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/index/IndexFileOwner.h"
#include "engine/index/IndexKey.h"
#include "engine/index/KeyOrder.h"
#include "engine/index/Page.h"
#include "engine/index/PageCache.h"
#include "engine/index/VisibleRecords.h"
#include "engine/records/IndexDescriptor.h"
#include "engine/records/RecordNumbers.h"
#include "engine/records/TableFileOwner.h"

namespace engine {

// The current index's settings, copied from its descriptor when it is selected (all empty in natural order).
struct TIndexSettings {
    std::string Name;
    std::uint16_t KeyLength = 0;
    std::uint8_t FieldCount = 0;
    std::uint8_t Compression = 0;
    std::uint8_t Descending = 0;
    std::uint8_t Unique = 0;
    std::uint8_t CaseInsensitive = 0;
};

// No page is appended at an offset beyond this: the file stays below 2 GB.
inline constexpr std::uint32_t MaxIndexAppendOffset = 2000000000;
// A descent never passes this many levels. A root splits only when full, so every level of a tree at least
// doubles the pages below it when it is added; 2,000,000,000 bytes hold fewer than 2^19 pages, so a sound
// tree has at most 20 levels. A descent that goes deeper follows a damaged link.
inline constexpr std::size_t MaxTreeDepth = 32;

// One per table handle, created and freed with it; the handle gives it its file name, sharing, read-only and
// in-memory settings before it opens or creates the file. Every failure raises an engine error naming the
// index file, except 9479 (the table is full), which names the record file.
class TIndexFile : public TFileHandler {
public:
    // The owner answers for the table's fields and locale, the table owner for its files' sharing and
    // change checks; the visible records are the table's filters, which the cursor follows. All three are
    // the owning table handle, which outlives the index file.
    TIndexFile(IndexFileOwner& owner, TableFileOwner& tableOwner, TVisibleRecords& visible);
    // Closes the file: the base destructor would run only the base Close.
    ~TIndexFile() override;

    IndexFileOwner& Owner() const noexcept { return owner_; }
    // What the page cache and the tree ask of the table (TableFileOwner.h): the owning table, unless a test
    // puts a double in its place.
    TableFileOwner& TableOwner() const noexcept { return *tableOwner_; }
    void SetTableOwner(TableFileOwner& owner) noexcept { tableOwner_ = &owner; }

    // The name trimmed, with the extension of its last part (or none) replaced by ".IDX".
    std::string TranslateFileName(std::string_view name) const override;
    // Opens the file and reads its header (ReadHeader's checks), resets the cursor (ordinal 1, both flags
    // clear, range inactive with first 1 and last the record count) and selects index 0 (in bitmap mode when
    // the table has no primary index, whose range ordinals and bitmaps are then built); unless the table is
    // open for repair the cursor then goes to the first key. A failed open leaves the file closed. Does
    // nothing when open.
    void Open() override;
    // Frees what Open made, every cached page included (unwritten ones too), forgets the locks, frees the
    // filters and every record bitmap, clears the cursor and its range, and closes the file; the header image
    // goes back to that of no file. Raises nothing.
    void Close() override;
    // Creates the file (10031 when open, 10253 when not exclusive) and a new header in memory, marked
    // changed: the next header write gives the file its first page.
    void CreateFile() override;

    // Reads the header page at offset 0 (9217 when short), unscrambled for a protected table, and checks it
    // before anything uses it: version 3 (12035); then (8961) at most 30 secondary indexes; for each defined
    // descriptor (slot 0 with a key length above 0, slots 1..count, slot 31) a name within its room, at most
    // 16 key fields numbered within the table's fields, compression 0..3 and a key length of at most 1040
    // equal to what its fields give (stored size + 1 each, 4 more for a non-unique secondary index; 5 for
    // slot 31); an end of file that is a multiple of 4096 and at least 4096; roots and free-list heads of
    // every slot 0 or a page offset below the end of file. A refused header leaves the one in memory as it
    // was. Clears the header-changed flag.
    void ReadHeader();
    // When forced or changed: the change counter moves on and the 4096-byte image is written at offset 0 (a
    // scrambled copy for a protected table); the flag is cleared.
    void WriteHeader(bool force);
    // Reads the change counter at offset 0; when it differs from the one in memory the whole header is read
    // again (ReadHeader) and the answer is true.
    bool HeaderChanged();
    // Cuts the file to its header page and empties every index (slots 0..count and 31): end of file 4096,
    // record count 0, roots and free-list heads 0; the header is written at once, the current index's
    // settings are loaded again, and every cached page is emptied (the current page with them). The cursor is
    // cleared: no position, range ordinals 0, visible count 0.
    void Truncate();

    // The live record count in the header; both mark the header changed. The count never goes below 0.
    void IncRecordCount() noexcept;
    void DecRecordCount() noexcept;
    std::uint32_t GetRecordCount() const noexcept { return header_.RecordCount; }

    // The current index's root page and free-list head (none in natural order), and the end of file. A setter
    // marks the header changed only when the value changes; it changes nothing in natural order.
    // GetFreePagePosition answers the end of file when the free list is empty: the page to take next.
    PageOffset GetRootPosition() const noexcept;
    void SetRootPosition(PageOffset offset) noexcept;
    PageOffset GetFreePagePosition() const noexcept;
    void SetFreeListHead(PageOffset offset) noexcept;
    PageOffset GetEndOfFile() const noexcept { return header_.EndOfFile; }

    bool HasNoPrimaryIndex() const noexcept { return header_.NoPrimaryIndex != 0; }
    // The number of secondary indexes.
    std::uint8_t GetIndexCount() const noexcept { return header_.SecondaryCount; }
    // Descriptor n: 0, 1..count or 31; 10022 naming the number otherwise.
    const TIndexDescriptor& GetIndexDescriptor(int n) const;
    std::uint8_t GetIndexFieldCount(int n) const { return GetIndexDescriptor(n).FieldCount; }
    bool GetIndexUnique(int n) const { return GetIndexDescriptor(n).Unique != 0; }
    std::array<std::uint16_t, MaxIndexFields> GetIndexFields(int n) const {
        return GetIndexDescriptor(n).FieldNumbers;
    }
    // Whether n names an index that can be made current: 0, 1..count, 31 or 255 (natural order).
    bool IsSelectableIndex(int n) const noexcept;
    // The index a name selects: an empty name the primary index 0, another name the first secondary index
    // whose name equals it without regard to case (NameCompareKey); none for an unknown name.
    std::optional<std::uint8_t> FindIndexByName(std::string_view name) const;

    // Makes index n current (10022 naming the number unless IsSelectableIndex) and loads its settings
    // (LoadIndexSettings); natural order (255), and index 0 of a table without a primary index, set bitmap
    // mode. Nothing happens when n is current already.
    void SelectIndex(int n);
    // Selects the index FindIndexByName finds and answers true; an unknown name changes nothing and answers
    // false.
    bool SelectIndexByName(std::string_view name);
    // Copies the current index's settings from its descriptor (empty ones in natural order) and sets the
    // bitmap-mode flag by the current index and the filter state.
    void LoadIndexSettings();

    std::uint8_t CurrentIndex() const noexcept { return current_; }
    const TIndexSettings& CurrentSettings() const noexcept { return settings_; }
    // The current index's descriptor; none in natural order.
    const TIndexDescriptor* CurrentDescriptor() const noexcept;
    // Set in natural order, on index 0 of a table without a primary index, and while a filter is active.
    bool BitmapMode() const noexcept { return bitmaps_.BitmapMode(); }
    // Natural order: index 255, or index 0 of a table without a primary index. Records are then visited in
    // slot order through the visible-record bitmap.
    bool NaturalOrder() const noexcept;
    // The format of pages of the current index, and of index slot n (0..31).
    TPageFormat CurrentPageFormat() const noexcept;
    TPageFormat PageFormat(std::uint8_t n) const noexcept;
    // The order of the keys of index slot n (0..31), built when the header is read or an index defined.
    const TKeyOrder& KeyOrderOf(std::uint8_t n) const noexcept;
    // A protected table's header and pages are scrambled on disk.
    bool Scrambled() const noexcept;

    // Index definitions, only while the file is open exclusively (10253 otherwise); each failure leaves the
    // header as it was. The descriptors come as a table definition normalised them (TableDefinition.h).
    //
    // The primary index: 9993 when slot 0 is defined already, 9487 for more than 16 fields; no fields at all
    // make a table without a primary index (the flag set, slot 0 cleared); else 12292 for a large-object key
    // field, then slot 0 takes an empty name, key length, options, field numbers and descending flags (root
    // and free-list head stay). Errors name "Primary".
    void AddPrimaryIndex(const TIndexDescriptor& descriptor);
    // A secondary index in the next slot: 9487 with 30 defined or more than 16 fields, 10010 for an empty
    // name, 10022 for a name not starting with a letter, 10027 for a name another secondary index has
    // (trimmed, without regard to case), 12292 for a large-object key field; the slot takes the name (at most
    // 30 characters), key length, options, field numbers, descending flags and root 0 (free-list head and
    // bytes 94..119 stay). Errors name the new index.
    //
    // Both also refuse what the header check of the next open would: key fields numbered outside the table's
    // fields (10023), compression above 3 and a key length other than what the fields give (10026).
    void AddSecondaryIndex(const TIndexDescriptor& descriptor);

    const TIndexFileHeader& Header() const noexcept { return header_; }

    // ---- Page cache (PageCache.h) ----
    //
    // Pages of the current index are fetched into its list and pinned until the pin goes. A position is a
    // page of the file when it is a multiple of 4096, at least 4096 and below the end of file; only
    // AllocatePage appends.

    bool IsPagePosition(PageOffset position) const noexcept;
    // The page at the position, pinned. Position 0 gives no page and false. A position that is not a page of
    // the file raises 8965, and so does a page that cannot be read whole (a short read is accepted as zeros
    // on a table open exclusively or under the transaction lock, else 9217). A miss first begins a read
    // (unless the table detects changes strictly); when that reports another program's change the answer is
    // false with no page and every cached page emptied, and the caller starts its operation again.
    bool GetPage(PageOffset position, PagePin& page);
    // GetPage for updates and key checks, which run under the write lock, where a read never reports another
    // program's change: such a report, like position 0, is 8965.
    PagePin FetchPage(PageOffset position);
    void ReleasePage(PagePin& page) noexcept { page.Release(); }
    // Reads the page at a page position into the current index's list, making room first; an empty pin when
    // the file holds no whole page there.
    PagePin ReadPage(PageOffset position);
    // The current index's least recently used dirty unpinned page written on its own; false when none is.
    bool WriteOldestDirtyPage();
    // Makes room in the current index's list (the cache's eviction, which every read and append of a page
    // runs when the list is full): the least recently used clean unpinned page is emptied for reuse, else a
    // write or growth frees one. Nothing in natural order.
    void EvictPage();
    // Every dirty unpinned page written in ascending file order, adjacent ones with one write; true when
    // anything was written.
    bool FlushPages();
    // Frees every cached page, the current page among them.
    void FreeAllPages() noexcept;
    // After another program changed the file: every cached page emptied in place, the current page
    // forgotten.
    void InvalidatePages();
    // Clears every page's pins; the current page keeps the one pin it is held by.
    void UnpinAllPages() noexcept;
    // Clears every page's pins, the current page's too, so that a flush writes it; the current page stays
    // remembered, and RepinCurrentPage pins it again while it is still cached. Another current page, and
    // emptying or freeing the cache, forget it.
    void UnpinEveryPage() noexcept;
    void RepinCurrentPage() noexcept;
    // Frees the pages beyond the 31 most recently used of each list, the current page kept, and sets every
    // list's capacity back to 31.
    void TrimPageCaches() noexcept;
    // On an exclusive table, lets the page lists hold as many pages as the file has (TPageCache::FitToFile);
    // a shared one keeps 31.
    void FitPageCaches() noexcept;
    TPageCache& Pages() noexcept { return pages_; }
    const TPageCache& Pages() const noexcept { return pages_; }
    // The index cursor's current page, held pinned while it is current.
    PagePin& CurrentPage() noexcept { return currentPage_; }
    void SetCurrentPage(PagePin page) noexcept {
        currentAside_ = {};
        currentPage_ = std::move(page);
    }

    // The page cache's file access: page images at their offsets, read with the short-read rule of GetPage.
    std::size_t ReadPageImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                               std::size_t required);
    void WritePageImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length);
    // 8965 naming the file.
    [[noreturn]] void RaisePagesCorrupt() const;

    // ---- Locks (SharedFileLock.h) ----

    // The reader and writer locks, each answering success; the caller raises 10249 on failure. None is taken
    // on a file open exclusively.
    bool LockWrite() { return locks_.LockWrite(); }
    bool UnlockWrite() { return locks_.UnlockWrite(); }
    bool LockRead() { return locks_.LockRead(); }
    bool UnlockRead() { return locks_.UnlockRead(); }
    TSharedFileLock& Locks() noexcept { return locks_; }

    // ---- The counted B+-tree of the current index (IndexTree.cpp) ----
    //
    // Keys shorter than the key length are taken zero-extended, longer ones cut. Updates and key checks run
    // under the table's write lock; they raise 8965 for a damaged tree (a link that names no page of the
    // file, a root not of type 0 or 3, a child not of type 1 or 2, a page without entries where entries are
    // needed, a descent deeper than MaxTreeDepth or back to a page it passed, a sibling that does not match
    // its parent). A failure part-way leaves the pages in the cache as they are, for the record layer's
    // write frame to discard.

    // -1, 0 or 1: the entry key before, equal to or after the search key over the compare length, in the
    // order of the descriptor given, else the current index's (TKeyOrder), reversed by descending.
    int CompareKeys(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> search,
                    std::uint16_t compareLength, bool descending,
                    const TIndexDescriptor* descriptor = nullptr) const;
    // The root of the current index, pinned, with its update cursor (or its navigation cursor) on entry 1.
    // False for an empty index, and when the fetch reports another program's change.
    bool GetRootPage(PagePin& page, bool navigation = false);
    // Whether the key is in the current index (false in natural order).
    bool KeyExists(std::span<const std::uint8_t> key);
    // The record the key's entry names; none when the key is not in the current index (or in natural order).
    std::optional<SlotNumber> KeyRecord(std::span<const std::uint8_t> key);
    // The keys of every entry of the current index that names the record, in key order, found by walking
    // all its leaves: what repairs a record whose keys a change cut short left out of step with its fields,
    // never part of an ordinary change.
    std::vector<TIndexKey> KeysOfRecord(SlotNumber record);
    // 9729 naming the index ("Primary" for index 0) when the key exists in the primary index, whatever its
    // unique byte says, or in a unique secondary index; nothing is checked for other indexes.
    void CheckDuplicateKey(std::span<const std::uint8_t> key);
    // Inserts the key with the record's slot, splitting pages up to a new root as needed; no existence check
    // (callers run CheckDuplicateKey first). Before anything changes, 9479 naming the table when the pages a
    // worst-case insert needs (tree height + 1) are neither on the index's free list nor appendable at
    // offsets up to 2,000,000,000.
    void InsertKey(std::span<const std::uint8_t> key, SlotNumber record);
    // The old key must exist (8708 naming the index otherwise, also in natural order); 9479 as for
    // InsertKey is raised before anything changes. The old key is deleted and the new one inserted.
    void ModifyKey(std::span<const std::uint8_t> oldKey, std::span<const std::uint8_t> newKey,
                   SlotNumber record);
    // The key must exist (8708 naming the index otherwise); it is deleted, merging, redistributing, freeing
    // and collapsing pages as needed.
    void DeleteKey(std::span<const std::uint8_t> key);
    // What an insert into the current index may take, for a change that checks its room before it changes
    // anything: tree height + 1 pages (1 for an empty index), of which FreePagesAvailable come from its free
    // list (at most the pages wanted are walked; 8965 for a damaged list) and the rest must be appended.
    std::uint32_t PagesForInsert();
    std::uint32_t FreePagesAvailable(std::uint32_t wanted);
    // Whether this many pages can be appended, the last at an offset up to 2,000,000,000.
    bool CanAppendPages(std::uint64_t pages) const noexcept;
    // A page for the current index: the head of its free list (which must be a page of the file without
    // entries, held nowhere else, whose next link is 0 or another page of the file), else a page appended
    // at the end of file (9479 naming the table beyond 2,000,000,000). Empty and clean; pinned.
    PagePin AllocatePage();
    // Puts the page at the head of the current index's free list: its next link the old head, written with
    // no entries. A page already free is refused (8965).
    void FreePage(TPage& page);
    // The name errors give the current index: "Primary" for index 0.
    std::string_view CurrentIndexLabel() const noexcept;

    // ---- The index cursor and its range (IndexCursor.cpp) ----
    //
    // Three modes: natural order moves through the visible-record bitmap by slot number, never through
    // pages; index order through the current index's leaves along their sibling links, limited by an active
    // range; index order in bitmap mode (a filter active) steps over keys whose records are hidden, counting
    // them in the ordinals. A record number is visible when its bit is set and it lies within 1 .. H, H the
    // physical record count. The relative ordinal of a key is its ordinal - range first + 1.
    //
    // A page fetch that reports another program's change has dropped the caches and re-found the position
    // (RestoreCursorPosition); the operation then drops what it did and runs again from there. An operation
    // writes the cursor only at its end. Searches and moves report absence through their results and flags;
    // 8965 names the file for a damaged tree, a sibling walk passing more pages than the file holds, or a
    // leaf without entries.

    const TIndexCursor& Cursor() const noexcept { return cursor_; }
    const TCursorPosition& Position() const noexcept { return cursor_.Position; }
    bool BeforeFirst() const noexcept { return cursor_.Position.BeforeFirst; }
    bool AfterLast() const noexcept { return cursor_.Position.AfterLast; }
    // The physical record count, the highest record number a bit search may reach.
    std::uint32_t PhysicalRecordCount() const noexcept;
    // Keys reachable: in index order without bitmap mode the record count, or under an active range range last
    // - range first + 1 (0 when either is below 1); in bitmap mode and natural order the visible count.
    std::uint32_t GetKeyCount() const noexcept;
    // No position: the current page released, ordinal 0, both flags set, natural-order record number 0.
    void ClearPosition() noexcept;
    // The first or last reachable key (in a range, within it; in bitmap mode, visible) or visible record,
    // flags clear; none reachable: ClearPosition.
    void First();
    void Last();
    // Moves n keys forward (n > 0) or back. A step clears both flags. At the end of the index (or the
    // records) the after-last flag (before-first going back) is set and the cursor stays on the last key it
    // reached; with a range a step beyond a bound stops on the key beyond it with that flag. In bitmap mode
    // only visible keys count, and at an end the cursor walks back to the nearest visible key. Without a
    // current page, a move forward starts with First, one back with Last.
    void MoveBy(std::int32_t n);
    // Positions on the key over the compare length (nothing in natural order: false); true when an equal
    // (in bitmap mode also visible) key is current. Not found: without nearest the position stays; with
    // nearest the first key above it (after the last: the after-last flag). With an active range a key
    // below its start gives First, one above its end Last (both false). Keep end flags re-establishes an end
    // flag that was set on entry by one step out and back.
    bool FindKey(std::span<const std::uint8_t> key, bool nearest, bool keepEndFlags,
                 std::uint16_t compareLength);
    // Index order: an equal leaf entry becomes the current key (true); ordinal and flags stay. Otherwise
    // false and the position stays.
    bool LocateKey(std::span<const std::uint8_t> key, std::uint16_t compareLength);
    // The n-th reachable key (relative to the range); n below the first gives it with the before-first flag,
    // above the last the last with the after-last flag. Natural order: the n-th visible record with ordinal
    // n; below 1 the first with the before-first flag, above the count the last with the after-last flag.
    void GotoOrdinal(std::int32_t n);
    // Natural order only: the nearest visible record at or after n (clamped to 1 .. H), else before it, with
    // its rank among the visible records as ordinal; flags clear.
    void GotoRecordNumber(std::uint32_t n);
    // Natural order: the nearest visible record at or after the natural-order record number, else before it,
    // with its rank as ordinal; flags clear. None visible: ClearPosition.
    void StepNaturalOrder();
    // How many records, the current one first, follow one another in slot order from the cursor's position,
    // at most max (at least 1). Index order: the entries of the current leaf from the current one on whose
    // record numbers rise (direction 1) or fall (any other) by exactly 1 each, never past the page; 1 without
    // a current page; 8965 for a current page without entries. Natural order: the current record and the
    // following (preceding) record numbers while they are visible.
    std::uint32_t GetContiguousRunLength(std::uint32_t max, int direction);
    // How many slots a record read-ahead from the cursor's position takes, at most max (at least 1). Index
    // order: GetContiguousRunLength. Natural order: the slots up to the last visible one among the next
    // (preceding) max - 1, so that a filter that keeps scattered records is read a span at a time rather
    // than a record at a time.
    std::uint32_t GetReadAheadSpan(std::uint32_t max, int direction);
    // Index order: the record numbers of the entries after (direction 1) or before (any other) the current
    // one on the cursor's leaf page, at most max, in the order a walk meets them, leaving out records not
    // visible and stopping at the range's bound: the records a walk reads next, for one read-ahead that
    // fetches them together. Empty in natural order and without a current leaf page.
    void GetRecordsAheadOnPage(std::uint32_t max, int direction, std::vector<std::uint32_t>& records);

    // Ranges: index order only; nothing in natural order. The bounds take the key length of bytes, zero
    // beyond. ApplyRange makes the range active; its ordinals come from ComputeRangeOrdinals, which the table
    // runs when it rebuilds its bitmaps. CancelRange fills the bounds with the collation's lowest and highest
    // character and makes the range inactive with first 1 and last the record count.
    void SetRangeStart(std::span<const std::uint8_t> key);
    void SetRangeEnd(std::span<const std::uint8_t> key);
    void ApplyRange();
    void CancelRange();
    // Not active (or natural order): first 1, last the record count. A start above the end, or an empty
    // index: 0 and 0. Otherwise the ordinals of the first key not below the start and of the last key not
    // above the end (0 when there is none). Nothing while the range-ordinal flag is set.
    void ComputeRangeOrdinals();

    // The key at the current page's update cursor; empty without a current page of the current index.
    std::span<const std::uint8_t> GetCurrentKey() const;
    // 0 when nothing is reachable; index order: the current leaf entry's record number (none without a
    // current page); natural order: the natural-order record number.
    SlotNumber GetCurrentRecordNumber() const;
    // Natural order: the ordinal. Index order: 0 below 1, else the relative ordinal.
    std::int32_t GetOrdinal() const noexcept;

    // The change check's pair: the position before the caches are dropped, and after the headers are read
    // again (and the bitmaps rebuilt) the range ordinals computed and the position taken up again: no
    // position stays none, before-first is First and a step back, after-last Last and a step forward, a key
    // is found again with nearest (the following key when it is gone), a record number by GotoRecordNumber.
    // Nothing is loaded.
    TSavedCursorPosition SaveCursorPosition() const;
    void RestoreCursorPosition(const TSavedCursorPosition& saved);

    // A visible bitmap taken as it is, counted up to the physical record count; filter-active keeps bitmap
    // mode on in index order as an active filter would. For tests of the cursor.
    void SetVisibleRecords(std::vector<std::uint8_t> bitmap, bool filterActive);

    // ---- The visible records (VisibleRecords.h) ----
    //
    // The visible-record bitmap the cursor walks; the table's filters build it and keep it current.

    TVisibleRecords& Bitmaps() noexcept { return bitmaps_; }
    const TVisibleRecords& Bitmaps() const noexcept { return bitmaps_; }
    // Makes the index current for a bitmap build, loading its settings but leaving the bitmap mode and the
    // bitmaps as they are.
    void SelectIndexForBuild(std::uint8_t n) noexcept;
    // Makes the first index that can answer a comparison of the field current (SelectIndexForBuild, so the
    // caller restores its own index with a TBuildIndex) and answers true; false, the current index unchanged,
    // when none can. Never on a table without a primary index. Index 0, then 1 .. the secondary count, each
    // whose first key field is the field, and, for a string field, whose case-insensitive flag is the one
    // asked for unless any case will do. An ascending index whose first field is descending on its own is
    // skipped: its key bytes are inverted, the has-value byte with them, so no interval of it is a
    // comparison.
    bool SelectIndexForField(std::uint16_t fieldNumber, bool caseInsensitive, bool anyCase) noexcept;

private:
    friend class TCursorWalk;
    // First (last false) and Last.
    void GoToEnd(bool last);
    [[noreturn]] void Raise(std::uint16_t code, std::string_view indexName = {}) const;
    void MarkHeaderChanged() noexcept { header_.HeaderChanged = 1; }
    // The header checks of ReadHeader after its version check, with the file's size: the end of file on the
    // page grid and within the file (pages reach the file before the header that counts them); every root
    // and free-list head a page below it; an index slot that is not defined without root or free pages; the
    // primary slot keyless exactly when the table is defined without a primary index; and each defined
    // index's key length the one its fields give.
    bool HeaderIsSound(const TIndexFileHeader& header, std::int64_t fileSize) const;
    // The key length an index's fields give, or none when a field number lies outside the table's fields.
    std::optional<std::uint32_t> KeyLengthOfFields(const TIndexDescriptor& descriptor, bool suffix) const;
    // The checks a new definition shares with the next open's header check, and its large-object check.
    void CheckDefinition(const TIndexDescriptor& descriptor, bool suffix, std::string_view label) const;
    // Builds the key order of every slot from the header's descriptors.
    void RefreshKeyOrders();

    IndexFileOwner& owner_;
    TableFileOwner* tableOwner_;
    TIndexFileHeader header_;
    std::uint8_t current_ = PrimaryIndexSlot;
    TIndexSettings settings_;
    // The cursor and its range.
    TIndexCursor cursor_;
    std::array<TKeyOrder, IndexSlotCount> keyOrders_{};
    TSharedFileLock locks_{*this};
    // The pages, then the pin of the cursor's current page, which goes first.
    TPageCache pages_{*this};
    PagePin currentPage_;
    // The current page and its list while UnpinEveryPage has left it unpinned, until RepinCurrentPage.
    TCache<TPage>::SetAside currentAside_;
    std::uint8_t currentAsideSlot_ = 0;
    // The visible records the cursor reads, kept by the table's filters.
    TVisibleRecords& bitmaps_;
};

}  // namespace engine
