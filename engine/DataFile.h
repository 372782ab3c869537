// TDataFile: an engine table, opened through its record file (".DAT"): header, field descriptors, slot area,
// free-slot chain and working field set; creating, emptying and deleting tables.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlobFile.h"
#include "engine/Collation.h"
#include "engine/DataFileHeader.h"
#include "engine/FieldDesc.h"
#include "engine/FileHandler.h"
#include "engine/IndexDescriptor.h"
#include "engine/IndexFile.h"
#include "engine/IndexKey.h"
#include "engine/RecordKey.h"

namespace engine {

struct ExprValue;
struct TExprNode;

// A value for SetField: the bytes to store, or none (std::nullopt) to blank the field.
using FieldSource = std::optional<std::span<const std::uint8_t>>;

// One open table and, later, one cursor on it. Every failure raises an engine error naming the record file.
// The record cache, locks and the cursor join this class in their own steps; the places where they act are
// marked "Later:" in DataFile.cpp. A table keeps its indexes in its index file and the values of its
// large-object fields in its large-object file, which it creates, opens, empties, closes and deletes with the
// record file.
class TDataFile : public TFileHandler, public BlobFileOwner {
public:
    TDataFile();
    // Closes the table: the base destructor would run only the base Close.
    ~TDataFile() override;

    // The name trimmed, with the extension of its last part (or none) replaced by ".DAT".
    std::string TranslateFileName(std::string_view name) const override;

    // Opens the record file and checks it before anything is used: a header of version 3 (12035) naming an
    // installed locale (15878); at most 1024 fields, strings within their rooms, a last record ID of at most
    // 0x7FFFFFFF, sizes of at most 250 on strings, bytes and variable bytes and 0 on other types, as many
    // large-object fields as the header counts, stored offsets and field numbers as the field list gives
    // them, and a record size equal to the fields' sum (8961 for each); then the index file with the checks
    // of its header (IndexFile.h); then a slot area of whole slots, as many as the next slot number says
    // (8961). Does nothing when open; a failed open leaves the handle closed with all its files.
    void Open() override;
    // An exclusive, writable table first writes what changed: the record file's header, the index file's
    // header, the large-object file's blocks and header. The large-object file and the index file are closed
    // before the record file; a temporary table's files are deleted. The files are closed also when a write
    // fails, which is then raised. Does nothing when closed.
    void Close() override;
    // Creates the record file (10031 when open, 10253 when not exclusive), then the index file and, with
    // large-object fields, the large-object file with this handle's name and settings, and leaves them open.
    // When a file cannot be created, the files this call created before it are deleted again; a file it did
    // not create is never touched.
    void CreateFile() override;

    // Creates a new table under the handle's file name: the handle must be closed (10031), exclusive (10253)
    // and writable (11013). The definition is validated (TableDefinition.h), normalised in the caller's
    // descriptors, written and opened again through every check of Open; then the primary index is defined
    // from the first descriptor (none: a table without a primary index) and the secondary ones in list order.
    // When anything after the files' creation fails, they are deleted again. A password the session's list
    // lacked is there only for the call. The handle is closed when it returns.
    void CreateTable(std::uint16_t languageId, std::uint16_t sortId, std::uint16_t reservedA,
                     std::uint16_t reservedB, bool isProtected, std::string_view password,
                     std::string_view description, std::uint32_t blockSize, std::span<TFieldDesc> fields,
                     std::span<TIndexDescriptor> indexes, bool allowNoPrimary);
    // Deletes the table's files, the record file first (9220 when a delete fails; the files after it stay).
    void DeleteFiles();
    // Removes every record of an open table; 10253 when it is not exclusive, 11013 when read-only. Does
    // nothing when closed.
    void EmptyTable();
    // A temporary table's files are deleted when it is closed. Only while closed (10031).
    void SetTemporary(bool temporary);
    bool Temporary() const noexcept { return temporary_; }

    // The header: ReadHeader reads it (9217 on a short read) and clears the image-changed mark; WriteHeader
    // writes it when forced or marked changed, with the change counter moved on and the write time stamped
    // from the clock (rtl::Now); HeaderChanged re-reads it when another program's change counter differs.
    void ReadHeader();
    void WriteHeader(bool force);
    bool HeaderChanged();
    // The descriptors of the physical set, in one read or write at offset 127; scrambled for a protected
    // table.
    void ReadFieldDescs();
    void WriteFieldDescs();
    // Cuts the file after its descriptors and resets the header's slot counters; the header is marked
    // changed.
    void TruncateFile();

    // The free-slot chain (FreeSlotChain.h): the slot a new record will take, and a new head.
    SlotNumber NextFreeSlot() const noexcept;
    void SetFreeSlotHead(SlotNumber slot) noexcept;
    // Later: TakeFreeSlot and FreeSlot come with the record cache, which fetches and marks the slots they
    // name; they apply SlotToTake, TakeSlot and FreeSlot of FreeSlotChain.h to this handle's header.

    // Slots in the file, deleted ones included.
    std::uint32_t GetPhysicalRecordCount() const noexcept { return header_.NextSlotNumber.Value - 1; }

    // The working field set: the descriptors record images and field access use.
    // A copy of the physical set, with no calculated-field area.
    void ResetWorkingFields();
    // The caller's list, its calculated fields placed after the stored record (offset = record size + the
    // area so far, which starts at 0 each time). Stored sizes and scales are derived from type and size.
    // 10000 for a string, bytes or variable-bytes size above 250, 9477 for an image above 65535 bytes; the
    // set is unchanged then.
    void DefineWorkingFields(std::span<const TFieldDesc> fields);
    // Expose or hide descriptors at the end of the defined set (the SQL engine's hidden count fields); never
    // more than the last definition holds, never fewer than none.
    void AddWorkingFields(std::uint16_t count);
    void RemoveWorkingFields(std::uint16_t count);

    // The large-object file; open while the table is, when the table has large-object fields.
    TBlobFile& BlobFile() noexcept { return blobFile_; }

    // What the large-object file asks of its table (TableFileOwner.h).
    const std::string& TableFileName() const override { return FileName(); }
    bool TableExclusive() const override { return Exclusive(); }
    bool StrictChangeDetection() const override;
    bool TransactionLockHeld() const override;
    bool TableProtected() const override { return header_.Protected != 0; }
    bool BeginRead() override;
    std::uint32_t BlobBlockSize() const override { return GetBlobBlockSize(); }
    // Repair mode and the repair log, which receives each repair message; nothing but tests sets them.
    bool RepairMode() const override { return repairMode_; }
    void LogRepair(std::string_view message) override;
    void SetRepairMode(bool repairMode) noexcept { repairMode_ = repairMode; }
    void SetRepairLog(std::function<void(std::string_view)> log) { repairLog_ = std::move(log); }

    const TDataFileHeader& Header() const noexcept { return header_; }
    const std::vector<TFieldDesc>& PhysicalFields() const noexcept { return fields_; }
    // The defined working set; the first WorkingFieldCount of them are in use.
    const std::vector<TFieldDesc>& WorkingFields() const noexcept { return workingFields_; }
    std::uint16_t WorkingFieldCount() const noexcept { return workingCount_; }
    std::uint16_t RecordSize() const noexcept { return recordSize_; }
    std::uint16_t CalcAreaSize() const noexcept { return calcAreaSize_; }
    // Computed whenever descriptors are read; the last one also for each working set.
    bool HasValidityChecks() const noexcept { return hasValidityChecks_; }
    bool HasDefaults() const noexcept { return hasDefaults_; }
    bool HasCalculatedFields() const noexcept { return hasCalculatedFields_; }

    // ---- Field access (FieldAccess.cpp) ----
    //
    // A record image is the slot's RecordSize bytes followed by the working set's calculated area
    // (GetRecordBufferSize in all):
    //
    // | Position      | Size        | Content                                                          |
    // |---------------|-------------|------------------------------------------------------------------|
    // | 0             | 9           | TRecordHeader (RecordHeader.h); the record ID at 5 is also the   |
    // |               |             | value of an autoincrement field, which has no room of its own    |
    // | field offset  | 1           | null flag of a field: 1 has a value, 0 blank                     |
    // | offset + 1    | stored size | the value, little-endian: a string's characters and a zero;      |
    // |               |             | booleans u16 0 or 1; dates, times, date-times and BCD values in  |
    // |               |             | the forms of FieldTypes.h; a large object's i32 first block (0   |
    // |               |             | empty) or, while open, its negated handle                        |
    // | RecordSize    | CalcArea    | the working set's calculated fields, laid out like the others    |
    //
    // Field numbers count from 1 in the set a flag names: false the physical set (the stored descriptors),
    // true the working set. A number of 0 or above the set's count raises 9985 naming the number; an image,
    // source or destination too short for the field raises 8962 and nothing is read or written outside it.
    // A calculated field with offset 0 (as stored descriptors hold them) has no room in the image: it reads
    // blank and takes no value.

    // Copies the field's stored bytes into the destination (none when empty; else at least the stored
    // size) and answers whether the field is blank. An autoincrement field is never blank.
    bool GetField(bool workingSet, std::uint16_t fieldNumber, std::span<const std::uint8_t> image,
                  std::span<std::uint8_t> destination = {}) const;
    // Stores at most the stored size of the source (a shorter source is zero-extended): strings without
    // trailing blanks, cut to their size and blank when empty; booleans as 0 or 1; the autoincrement field
    // as the record ID. Without a source the field is blanked and its bytes zeroed (the autoincrement field
    // stays). A calculated field changes only with allowCalculated; after any other field the calculated
    // fields are computed again.
    void SetField(bool workingSet, std::uint16_t fieldNumber, std::span<std::uint8_t> image,
                  FieldSource source, bool allowCalculated = false);

    // The next record ID: the header's last one + 1, 1 after 0x7FFFFFFF; the header is marked changed.
    RecordId NextAutoInc() noexcept;
    // The record header's record ID and slot number in an image (8962 for one under 9 bytes).
    RecordId GetRecordId(std::span<const std::uint8_t> image) const;
    void SetRecordId(std::span<std::uint8_t> image, RecordId id) const;
    SlotNumber GetSlotNumber(std::span<const std::uint8_t> image) const;

    // The descriptor of a field, by number or by name (without regard to case under the table's locale, the
    // first match in field order); 9985 naming the number or the name. The reference lasts until the set
    // changes (DefineWorkingFields, ResetWorkingFields, Close).
    const TFieldDesc& GetFieldDesc(bool workingSet, std::uint16_t fieldNumber) const;
    const TFieldDesc& GetFieldDescByName(bool workingSet, std::string_view name) const;

    std::uint16_t GetFieldCount() const noexcept { return workingCount_; }
    std::uint16_t GetPhysicalFieldCount() const noexcept { return header_.FieldCount; }
    std::uint16_t GetRecordSize() const noexcept { return recordSize_; }
    // The record image: the slot and the working set's calculated area.
    std::uint32_t GetRecordBufferSize() const noexcept { return std::uint32_t{recordSize_} + calcAreaSize_; }
    // The large-object block size; a stored 0 stands for 512.
    std::uint32_t GetBlobBlockSize() const noexcept;
    std::uint16_t GetLanguageId() const noexcept { return header_.LanguageId; }
    std::uint16_t GetSortId() const noexcept { return header_.SortId; }
    // The collation table built at open from the language id and sort id (identity for language id 0).
    const CollationTable& GetLocaleInfo() const noexcept { return collationTable_; }

    // Prepares an image (GetRecordBufferSize bytes) for a new record: all zero, then each working field's
    // default stored, read under the table's locale formats: "DATE", "TIME" and "NOW" (any letter case)
    // from the clock (rtl::Now), other texts as the type reads them; a text that does not read raises the
    // runtime's conversion error. The caller's format settings are back afterwards, also after a failure.
    void InitRecord(std::span<std::uint8_t> image);
    // Computes every calculated working field that has a compiled tree, reading the physical set.
    void CalcFields(std::span<std::uint8_t> image);
    // Raises 9732 for a required field that is blank, 9730 and 9731 for a value below its minimum or above
    // its maximum (blank values count as zero or the empty string), naming the field; the limits are read
    // under the table's locale formats, which are restored afterwards.
    void CheckValidity(std::span<const std::uint8_t> image);
    // Whether a field's value (its stored bytes, at least the stored size) lies within the limit text, read
    // in the current formats: not below a minimum, not above a maximum. Strings compare under the table's
    // collation, case significant; BCD values by their exact values; types without an order always lie
    // within.
    bool CheckLimit(std::string_view limit, bool isMaximum, const TFieldDesc& field,
                    std::span<const std::uint8_t> value) const;

    // The column procedure of calculated fields: data points to the image (a std::span<std::uint8_t>),
    // owner to this table; the column's physical field is read into the value, its blank flag into IsNull.
    static void GetCalcOperand(void* owner, void* data, const TExprNode& column, ExprValue& value);

    // ---- Indexes and keys (IndexAccess.cpp) ----

    // The index file, opened after the record file's checks and closed before the record file.
    TIndexFile& IndexFile() noexcept { return indexFile_; }
    const TIndexFile& IndexFile() const noexcept { return indexFile_; }
    // The number of secondary indexes, and the current index's number (255: natural order) and name.
    std::uint8_t GetIndexCount() const noexcept { return indexFile_.GetIndexCount(); }
    std::uint8_t GetIndexNumber() const noexcept { return indexFile_.CurrentIndex(); }
    const std::string& GetIndexName() const noexcept { return indexFile_.CurrentSettings().Name; }
    // Switch the current index: by number 0..count or 255 (natural order), by name "" (the primary index) or
    // a secondary index's name without regard to case. Anything else raises 10022 naming the number or the
    // name before anything changes; asking for the current index changes nothing.
    void SetIndexNumber(int number);
    void SetIndexName(std::string_view name);
    // Index n's 16 key field numbers and its descriptor; n is 0..count (10022 otherwise).
    std::array<std::uint16_t, MaxIndexFields> GetIndexFields(int number) const;
    TIndexDescriptor GetIndexDesc(int number) const;

    // The key of a record image for the descriptor given, else the current index's (an empty key in natural
    // order): per key field its has-value byte and its value encoded (EncodeKeyField), the field's own
    // descending flag applying unless the whole index is descending; then, when the current index is not 0
    // and the descriptor not unique, EncodeIntegerKey of the record ID. Key fields are read through the
    // physical field set. A key that would pass 1040 bytes raises 10026 naming the index.
    void BuildKey(std::span<const std::uint8_t> record, TIndexKey& key,
                  const TIndexDescriptor* descriptor = nullptr) const;
    // Encodes a field's stored bytes (at least its stored size) into the key after the has-value byte at
    // position, order-preserving by type; strings up to their zero and at most stored size - 1 characters,
    // upper-cased under the table's locale when case-insensitive. Descending, on a table without a language
    // id, inverts the has-value byte and the value (of a string all but its last byte); with a language id
    // the comparison orders descending keys instead.
    void EncodeKeyField(const TFieldDesc& field, std::span<const std::uint8_t> value, TIndexKey& key,
                        std::size_t position, bool caseInsensitive, bool descending) const;
    // The "Sys Deleted" key (5 bytes): the first byte of the status source (a record header) and
    // EncodeIntegerKey of the record's ID.
    void BuildPhysicalKey(std::span<const std::uint8_t> statusSource, TIndexKey& key,
                          std::span<const std::uint8_t> record) const;

    // What key building needs of the table: its stored fields and locale.
    TKeyContext KeyContext() const noexcept;

private:
    void DoOpen();
    // Writes what an exclusive, writable table changed, closes the files and, when asked, deletes a temporary
    // table's files.
    void DoClose(bool deleteTemporary);
    // The record-file checks of DoOpen once the descriptors are read.
    void CheckFieldLayout();
    void CheckSlotArea();
    // Closes every file and forgets the descriptors, writing nothing.
    void CloseFiles() noexcept;
    // Gives the large-object file this handle's name and settings; it must be closed.
    void ConfigureBlobFile();
    // Whether deleted slots are reused: the open index file's no-primary-index flag is clear.
    bool HasPrimaryIndex() const noexcept;
    // Gives the closed index file this handle's name, sharing, read-only, in-memory and write-through
    // settings.
    void ConfigureIndexFile();
    void MarkHeaderChanged() noexcept { header_.ImageChanged = 1; }
    [[noreturn]] void RaiseTableError(std::uint16_t code, std::string_view fieldName = {}) const;

    TDataFileHeader header_;
    std::vector<TFieldDesc> fields_;
    std::vector<TFieldDesc> workingFields_;
    std::uint16_t workingCount_ = 0;
    std::uint16_t recordSize_ = 0;
    std::uint16_t calcAreaSize_ = 0;
    bool hasValidityChecks_ = false;
    bool hasDefaults_ = false;
    bool hasCalculatedFields_ = false;
    bool temporary_ = false;
    // Field access.
    CollationTable collationTable_{};
    bool repairMode_ = false;
    std::function<void(std::string_view)> repairLog_;
    TIndexFile indexFile_{*this};
    TBlobFile blobFile_{*this};
};

}  // namespace engine
