// TDataFile: an engine table, opened through its record file (".DAT"): header, field descriptors, slot area,
// free-slot chain and working field set; creating, emptying and deleting tables.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlobFile.h"
#include "engine/DataFileHeader.h"
#include "engine/FieldDesc.h"
#include "engine/FileHandler.h"
#include "engine/IndexDescriptor.h"

namespace engine {

// One open table and, later, one cursor on it. Every failure raises an engine error naming the record file.
// The index file, the record cache, locks and the cursor join this class in their own steps; the places where
// they act are marked "Later:" in DataFile.cpp. A table with large-object fields keeps their values in its
// large-object file, which it creates, opens, empties, closes and deletes with the record file.
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
    // them, and a record size equal to the fields' sum (8961 for each); then a slot area of whole slots, as
    // many as the next slot number says (8961). Does nothing when open; a failed open leaves the handle
    // closed.
    void Open() override;
    // An exclusive, writable table writes its changed header first; a temporary table's files are deleted.
    // The files are closed also when that write fails, which is then raised. Does nothing when closed.
    void Close() override;
    // Creates the record file (10031 when open, 10253 when not exclusive) and leaves it open.
    void CreateFile() override;

    // Creates a new table under the handle's file name: the handle must be closed (10031), exclusive (10253)
    // and writable (11013). The definition is validated (TableDefinition.h), normalised in the caller's
    // descriptors, written and opened again through every check of Open; when anything after the file's
    // creation fails, the files are deleted again. A password the session's list lacked is there only for the
    // call. The handle is closed when it returns.
    void CreateTable(std::uint16_t languageId, std::uint16_t sortId, std::uint16_t reservedA,
                     std::uint16_t reservedB, bool isProtected, std::string_view password,
                     std::string_view description, std::uint32_t blockSize, std::span<TFieldDesc> fields,
                     std::span<TIndexDescriptor> indexes, bool allowNoPrimary);
    // Deletes the table's files (9220 when a delete fails).
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
    std::uint32_t BlobBlockSize() const override { return EffectiveBlobBlockSize(header_); }
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
    // Whether deleted slots are reused.
    bool HasPrimaryIndex() const noexcept;
    void MarkHeaderChanged() noexcept { header_.ImageChanged = 1; }
    [[noreturn]] void RaiseTableError(std::uint16_t code, std::string_view fieldName = {}) const;
    void ReadAt(std::int64_t offset, void* buffer, std::int32_t count);
    void WriteAt(std::int64_t offset, const void* buffer, std::int32_t count);

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
    bool repairMode_ = false;
    std::function<void(std::string_view)> repairLog_;
    TBlobFile blobFile_{*this};
};

}  // namespace engine
