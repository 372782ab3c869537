// TIndexFile: a table's index file (".IDX"): its header with the index definitions, and the current index
// with the settings that keys and pages of it use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/FileHandler.h"
#include "engine/IndexDescriptor.h"
#include "engine/IndexFileHeader.h"
#include "engine/IndexKey.h"
#include "engine/Page.h"

namespace engine {

class TDataFile;

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

// One per table handle, created and freed with it; the handle gives it its file name, sharing, read-only and
// in-memory settings before it opens or creates the file. Every failure raises an engine error naming the
// index file. The page cache, the tree, the cursor with its ranges, the filters and the locks join this class
// in their own steps; the places where they act are marked "Later" in IndexFile.cpp.
class TIndexFile : public TFileHandler {
public:
    explicit TIndexFile(TDataFile& owner);
    // Closes the file: the base destructor would run only the base Close.
    ~TIndexFile() override;

    TDataFile& Owner() const noexcept { return owner_; }

    // The name trimmed, with the extension of its last part (or none) replaced by ".IDX".
    std::string TranslateFileName(std::string_view name) const override;
    // Opens the file and reads its header (ReadHeader's checks), allocates the range key buffers and selects
    // index 0 (in bitmap mode when the table has no primary index). A failed open leaves the file closed.
    // Does nothing when open.
    void Open() override;
    // Frees what Open made and closes the file; the header image goes back to that of no file. Raises
    // nothing.
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
    // record count 0, roots and free-list heads 0; the header is marked changed and the current index's
    // settings are loaded again.
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
    // bitmap-mode flag by the current index.
    void LoadIndexSettings();

    std::uint8_t CurrentIndex() const noexcept { return current_; }
    const TIndexSettings& CurrentSettings() const noexcept { return settings_; }
    // The current index's descriptor; none in natural order.
    const TIndexDescriptor* CurrentDescriptor() const noexcept;
    // Set in natural order and on index 0 of a table without a primary index.
    bool BitmapMode() const noexcept { return bitmapMode_; }
    // The format of pages of the current index.
    TPageFormat CurrentPageFormat() const noexcept;
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

private:
    [[noreturn]] void Raise(std::uint16_t code, std::string_view indexName = {}) const;
    void MarkHeaderChanged() noexcept { header_.HeaderChanged = 1; }
    // The header checks of ReadHeader after its version check.
    bool HeaderIsSound(const TIndexFileHeader& header) const;
    // The key length an index's fields give, or none when a field number lies outside the table's fields.
    std::optional<std::uint32_t> KeyLengthOfFields(const TIndexDescriptor& descriptor, bool suffix) const;
    // The checks a new definition shares with the next open's header check, and its large-object check.
    void CheckDefinition(const TIndexDescriptor& descriptor, bool suffix, std::string_view label) const;
    void ReadAt(std::int64_t offset, void* buffer, std::int32_t count);
    void WriteAt(std::int64_t offset, const void* buffer, std::int32_t count);

    TDataFile& owner_;
    TIndexFileHeader header_;
    std::uint8_t current_ = PrimaryIndexSlot;
    TIndexSettings settings_;
    bool bitmapMode_ = false;
    // The range bounds of the cursor, from Open to Close.
    std::optional<TIndexKey> rangeStart_;
    std::optional<TIndexKey> rangeEnd_;
};

}  // namespace engine
