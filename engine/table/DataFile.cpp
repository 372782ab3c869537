#include "engine/table/DataFile.h"

#include <algorithm>
#include <array>
#include <exception>
#include <string>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/TableDefinition.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/SessionPasswordGrant.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The record file's extension; the index and large-object files replace it with theirs.
constexpr std::string_view DataFileExtension = ".DAT";

bool HasValidityCheck(const TFieldDesc& field) noexcept {
    return field.Required != 0 || !field.MinValue.empty() || !field.MaxValue.empty();
}

bool AnyCalculated(std::span<const TFieldDesc> fields) noexcept {
    return std::any_of(fields.begin(), fields.end(), [](const TFieldDesc& f) { return f.IsCalculated(); });
}

// A size the field's type can hold in the engine's 251-byte value areas.
bool SizeFitsType(const TFieldDesc& field) noexcept {
    return RetainsFieldSize(field.FieldType) ? field.Size <= MaxRetainedFieldSize : field.Size == 0;
}

}  // namespace

TDataFile::TDataFile(void* owner) : owner_(owner) {}

TDataFile::~TDataFile() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close has closed the files before it raises.
    }
}

std::string TDataFile::TranslateFileName(std::string_view name) const {
    return StripExtension(rtl::Trim(name)) + std::string(DataFileExtension);
}

void TDataFile::RaiseTableError(std::uint16_t code, std::string_view fieldName) const {
    RaiseEngineError(code, FileName(), fieldName);
}

// ---- Open and close ----

void TDataFile::Open() {
    if (IsOpen()) return;
    DoOpen();
}

void TDataFile::DoOpen() {
    fields_.clear();
    workingFields_.clear();
    workingCount_ = 0;
    recordSize_ = 0;
    calcAreaSize_ = 0;
    readAheadLimit_ = 0;
    hasValidityChecks_ = hasDefaults_ = hasCalculatedFields_ = false;
    marks_ = LockMarks{};
    transactionStarted_ = firstWriteDone_ = false;
    lockedRecords_.clear();
    freeChainSkipped_ = false;

    // A change that a killed program left half-written is put back before anything is read: by a shared
    // handle under the write locks of descriptors of its own, by an exclusive one through its record file
    // (held exclusively, so that nobody can come between).
    const bool recoverThroughOwnFile = Exclusive() && !ReadOnly();
    if (!InMemory() && !recoverThroughOwnFile) RecoverTableJournal(FileName(), Exclusive(), lockPolicy_);
    TFileHandler::Open();
    try {
        if (!InMemory() && recoverThroughOwnFile) RecoverTableJournal(FileName(), true, lockPolicy_, this);
        OpenJournal();
        ReadHeader();
        if (header_.Version != DataFileVersion) RaiseTableError(ErrWrongVersion);
        if (header_.LanguageId != 0 && !IsLocaleInstalled(header_.LanguageId, header_.SortId)) {
            RaiseTableError(ErrLanguageDriver);
        }
        CheckHeaderFigures();
        recordSize_ = header_.RecordSize;
        // Records of 32,768 bytes and more still read one slot at a time.
        readAheadLimit_ = std::max<std::uint32_t>(1, RecordReadAheadBytes / recordSize_);
        RequirePassword();
        ReadFieldDescs();
        CheckFieldLayout();
        ResetWorkingFields();
        BuildCollationTable(collationTable_, header_.LanguageId, header_.SortId, FileName());
        records_.SetCapacity(RecordCacheCapacity());
        // The index file sizes its record bitmaps from the slot count: checked against the file first.
        CheckSlotCount();
        ConfigureIndexFile();
        {
            // The cursor's first key may need a read: the lock a miss takes ends with the open of the file.
            TReadGuard read(*this);
            indexFile_.Open();
            read.End();
        }
        if (header_.BlobFieldCount != 0) {
            ConfigureBlobFile();
            blobFile_.Open();
        }
        TReadGuard read(*this);
        read.Begin();
        // Under the read lock, on the header as another program's last change left it.
        CheckSlotCount();
        read.End();
    } catch (...) {
        AbandonOpen();
        throw;
    }
}

void TDataFile::CheckHeaderFigures() {
    // The sizes below divide and allocate, and the descriptors are read by the field count.
    if (header_.RecordSize < FirstFieldOffset || header_.FieldCount > MaxFieldCount ||
        std::uint32_t{header_.RecordSize} + header_.CalcAreaSize > MaxRecordImageSize ||
        header_.BlobFieldCount > MaxBlobFieldCount || header_.LastRecordId > MaxRecordId) {
        RaiseTableError(ErrHeaderCorrupt);
    }
    if (header_.BlockSize != 0 &&
        (header_.BlockSize < MinBlobBlockSize || header_.BlockSize > MaxBlobBlockSize))
        RaiseTableError(ErrHeaderCorrupt);
}

void TDataFile::RequirePassword() {
    if (header_.Protected == 0) return;
    // A callback that answers true without adding the password is asked again: that is a dialog asking until
    // it is cancelled.
    while (!GetEngineSession().FindPassword(header_.Password)) {
        if (!CallPasswordEvent()) RaiseTableError(ErrInsufficientRights);
    }
}

bool TDataFile::CallPasswordEvent() {
    return passwordEvent_ ? passwordEvent_() : false;
}

std::string TDataFile::GetStoredPassword() const {
    return GetEncrypted() ? header_.Password : std::string();
}

void TDataFile::CheckFieldLayout() {
    std::uint32_t offset = FirstFieldOffset;
    std::uint16_t blobFields = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        TFieldDesc& field = fields_[i];
        SetStoredSize(field);
        SetStoredScale(field);
        const std::uint32_t expected = field.IsAutoInc()      ? AutoIncFieldOffset
                                       : field.IsCalculated() ? 0
                                                              : offset;
        if (field.Offset != expected || field.FieldNumber != i + 1)
            RaiseTableError(ErrHeaderCorrupt, field.Name);
        if (field.IsStored()) offset += field.StoredSize + 1u;
        if (field.FieldType == FieldTypeBlob) ++blobFields;
    }
    if (offset != header_.RecordSize || blobFields != header_.BlobFieldCount)
        RaiseTableError(ErrHeaderCorrupt);
}

void TDataFile::CheckSlotCount() {
    // Slots are written before the header that counts them, so every slot the header counts is in the file,
    // whatever another program appends meanwhile. Only those slots are ever read: a program killed between
    // an appended slot and the header that counts it leaves the slot (or part of it) beyond the count, which
    // the next append writes over, and that is no reason to refuse the table to everybody.
    const std::int64_t size = GetSize();
    if (size < 0) RaiseTableError(ErrRead);
    const std::int64_t counted = std::int64_t{header_.NextSlotNumber.Value} - 1;
    if (counted < 0 || SlotAreaStart(header_.FieldCount) + counted * recordSize_ > size) {
        RaiseTableError(ErrHeaderCorrupt);
    }
}

void TDataFile::AbandonOpen() noexcept {
    // The open's own failure is the one to report: a release that fails too changes nothing of it.
    CleanUpKeepingError([this] {
        if (const std::exception_ptr failure = ReleaseLocks()) std::rethrow_exception(failure);
    });
    CloseFiles();
    // The owner gives its callbacks again before the next open.
    passwordEvent_ = nullptr;
    repairLog_ = nullptr;
}

void TDataFile::Close() {
    if (!IsOpen()) return;
    DoClose(true);
}

void TDataFile::DoClose(bool deleteTemporary) {
    std::exception_ptr failure;
    if (marks_.TransactionLock) {
        // Closing a table discards what its transaction buffered; a failure of the rollback is dropped, so
        // that the files are still closed, and their locks go with them.
        try {
            Rollback();
        } catch (...) {
        }
    } else {
        UnpinAll();
        if (Exclusive() && !ReadOnly()) {
            try {
                FlushBuffers(true, false, false);
            } catch (...) {
                failure = std::current_exception();
            }
        }
    }
    if (std::exception_ptr released = ReleaseLocks(); released && !failure) failure = released;
    // The large-object file is closed first, then the index file, then the record file.
    CloseFiles();
    if (deleteTemporary && temporary_) {
        try {
            DeleteFiles();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    // The owner gives its callbacks again before the next open.
    passwordEvent_ = nullptr;
    repairLog_ = nullptr;
    if (failure) std::rethrow_exception(failure);
}

std::exception_ptr TDataFile::ReleaseLocks() noexcept {
    std::exception_ptr failure;
    const auto release = [&failure](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    release([this] { ReleaseReadLock(); });
    release([this] { UnlockTable(); });
    release([this] { UnlockAllRecords(); });
    release([this] { EndRead(); });
    release([this] { EndWrite(); });
    return failure;
}

void TDataFile::CloseFiles() noexcept {
    // The current record goes first, then every cached record: their images are sized by the descriptors.
    currentAside_ = {};
    currentRecord_.Release();
    records_.FreeAll();
    fields_.clear();
    workingFields_.clear();
    workingCount_ = 0;
    // A change still open stays in the journal for the next program to put back.
    journal_.Unguard();
    journal_.Close();
    blobFile_.Close();
    indexFile_.Close();
    TFileHandler::Close();
    // The locks went with the files.
    marks_ = LockMarks{};
    lockedRecords_.clear();
    transactionStarted_ = firstWriteDone_ = false;
}

void TDataFile::ConfigureBlobFile() {
    blobFile_.SetWriteThrough(WriteThrough());
    blobFile_.SetFileName(FileName());
    blobFile_.SetInMemory(InMemory());
    blobFile_.SetExclusive(Exclusive());
    blobFile_.SetReadOnly(ReadOnly());
}

// ---- Header and descriptors ----

void TDataFile::ReadHeader() {
    std::array<std::uint8_t, DataFileHeaderSize> bytes{};
    ReadAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    if (!DecodeDataFileHeader(bytes, header_)) RaiseTableError(ErrHeaderCorrupt);
    header_.ImageChanged = 0;
}

void TDataFile::WriteHeader(bool force) {
    if (!force && header_.ImageChanged == 0) return;
    ++header_.ChangeCounter;
    header_.WriteTime = rtl::Now() - WriteTimeBias;
    std::array<std::uint8_t, DataFileHeaderSize> bytes{};
    EncodeDataFileHeader(header_, bytes);
    WriteAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    header_.ImageChanged = 0;
}

bool TDataFile::HeaderChanged() {
    std::array<std::uint8_t, sizeof(std::uint32_t)> counter{};
    ReadAt(HeaderChangeCounterOffset, counter.data(), static_cast<std::int32_t>(counter.size()));
    if (LoadU32(counter.data()) == header_.ChangeCounter) return false;
    ReadHeader();
    return true;
}

void TDataFile::ReadFieldDescs() {
    const std::size_t count = header_.FieldCount;
    // The one read below is sized by the header: its count must be checked first.
    if (count > MaxFieldCount) RaiseTableError(ErrHeaderCorrupt);
    std::vector<std::uint8_t> bytes(count * FieldDescSize);
    ReadAt(DataFileHeaderSize, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    if (header_.Protected != 0) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    fields_.assign(count, TFieldDesc{});
    for (std::size_t i = 0; i < count; ++i) {
        TFieldDesc& field = fields_[i];
        const std::span<const std::uint8_t, FieldDescSize> block(bytes.data() + i * FieldDescSize,
                                                                 FieldDescSize);
        // Field access copies values into 251-byte areas by these sizes.
        if (!DecodeFieldDesc(block, field) || !SizeFitsType(field))
            RaiseTableError(ErrHeaderCorrupt, field.Name);
    }
    hasValidityChecks_ = std::any_of(fields_.begin(), fields_.end(), HasValidityCheck);
    hasDefaults_ = std::any_of(fields_.begin(), fields_.end(),
                               [](const TFieldDesc& f) { return !f.DefaultValue.empty(); });
    hasCalculatedFields_ = AnyCalculated(fields_);
}

void TDataFile::WriteFieldDescs() {
    std::vector<std::uint8_t> bytes(fields_.size() * FieldDescSize);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        EncodeFieldDesc(fields_[i], std::span<std::uint8_t, FieldDescSize>(bytes.data() + i * FieldDescSize,
                                                                           FieldDescSize));
    }
    // A write of no bytes would cut the file: a table without fields has nothing to write.
    if (bytes.empty()) return;
    if (header_.Protected != 0) ScrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    WriteAt(DataFileHeaderSize, bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void TDataFile::TruncateFile() {
    // The emptied header goes to the file before the cut: a header that still counted the slots cut away
    // would make the file unreadable (8961) if the cut's close never came or failed its writes, while slots
    // beyond an emptied header are only an append cut short. A header that cannot be written leaves the
    // table as it was.
    const TDataFileHeader saved = header_;
    header_.ChangeCounter = 0;
    header_.FreeSlotHead = NoSlot;
    header_.NextSlotNumber = SlotNumber(1);
    header_.LastRecordId = RecordId(0);
    try {
        WriteHeader(true);
    } catch (...) {
        header_ = saved;
        throw;
    }
    // A write of no bytes sets the end of the file.
    WriteAt(SlotAreaStart(header_.FieldCount), nullptr, 0);
    ReleaseCurrentRecord();
}

// ---- Creating, emptying and deleting ----

void TDataFile::ConfigureIndexFile() {
    indexFile_.SetInMemory(InMemory());
    indexFile_.SetExclusive(Exclusive());
    indexFile_.SetReadOnly(ReadOnly());
    indexFile_.SetWriteThrough(WriteThrough());
    indexFile_.SetFileName(FileName());
}

void TDataFile::CreateFile() {
    TFileHandler::CreateFile();
    try {
        // A journal left by a table of the same name must never be put back into this one.
        DeleteJournal();
        ConfigureIndexFile();
        indexFile_.CreateFile();
    } catch (...) {
        // Only the record file is this call's to delete: an index file that could not be created may be
        // another handle's.
        TFileHandler::Close();
        CleanUpKeepingError([this] { TFileHandler::DeleteFile(); });
        throw;
    }
    if (header_.BlobFieldCount == 0) return;
    try {
        ConfigureBlobFile();
        blobFile_.CreateFile();
    } catch (...) {
        // The record and index files this call created go again; a large-object file it could not create
        // may be another handle's.
        indexFile_.Close();
        TFileHandler::Close();
        CleanUpKeepingError([this] { TFileHandler::DeleteFile(); });
        CleanUpKeepingError([this] { indexFile_.DeleteFile(); });
        throw;
    }
}

void TDataFile::CreateTable(std::uint16_t languageId, std::uint16_t sortId, std::uint16_t reservedA,
                            std::uint16_t reservedB, bool isProtected, std::string_view password,
                            std::string_view description, std::uint32_t blockSize,
                            std::span<TFieldDesc> fields, std::span<TIndexDescriptor> indexes,
                            bool allowNoPrimary) {
    if (IsOpen()) RaiseTableError(ErrFileInUse);
    if (!Exclusive()) RaiseTableError(ErrMustBeExclusive);
    if (ReadOnly()) RaiseTableError(ErrAccessDenied);
    ValidateDefinition(FileName(), languageId, sortId, isProtected, password, blockSize, fields, indexes,
                       allowNoPrimary);

    TDataFileHeader header;
    header.LanguageId = languageId;
    header.SortId = sortId;
    header.ReservedA = reservedA;
    header.ReservedB = reservedB;
    header.Protected = isProtected ? 1 : 0;
    header.Description = std::string(description.substr(0, MaxDescriptionLength));
    if (isProtected) header.Password = std::string(password.substr(0, MaxPasswordLength));
    const SessionPasswordGrant grant(header.Password);

    header.FieldCount = static_cast<std::uint16_t>(fields.size());
    header.BlockSize = blockSize;
    std::uint32_t recordSize = FirstFieldOffset;
    std::uint32_t calcArea = 0;
    for (const TFieldDesc& field : fields) {
        if (field.FieldType == FieldTypeBlob && ++header.BlobFieldCount > MaxBlobFieldCount) {
            RaiseTableError(ErrBlobFieldLimits);
        }
        if (field.IsCalculated()) {
            calcArea += field.StoredSize + 1u;
        } else if (!field.IsAutoInc()) {
            recordSize += field.StoredSize + 1u;
        }
    }
    if (recordSize + calcArea > MaxRecordImageSize) RaiseTableError(ErrRecordSizeExceeded);
    header.Version = DataFileVersion;
    header.FreeSlotHead = NoSlot;
    header.NextSlotNumber = SlotNumber(1);
    header.LastRecordId = RecordId(0);
    header.ChangeCounter = 0;
    header.RecordSize = static_cast<std::uint16_t>(recordSize);
    header.CalcAreaSize = static_cast<std::uint16_t>(calcArea);
    header.ImageChanged = 1;

    header_ = std::move(header);
    fields_.assign(fields.begin(), fields.end());
    try {
        CreateFile();
    } catch (...) {
        CloseFiles();
        throw;
    }
    try {
        WriteFieldDescs();
        // The indexes are defined before the first close writes the index header: no file is ever left with
        // a primary slot that is neither defined nor marked absent. No descriptor at all is a primary index
        // without fields: a table without a primary index.
        indexFile_.AddPrimaryIndex(indexes.empty() ? TIndexDescriptor{} : indexes.front());
        for (std::size_t k = 1; k < indexes.size(); ++k) indexFile_.AddSecondaryIndex(indexes[k]);
        // The exclusive close writes the headers; the reopen runs every check of Open on the new files.
        DoClose(false);
        Open();
    } catch (...) {
        CloseFiles();
        // The failure that stopped the creation is the one to report.
        CleanUpKeepingError([this] { DeleteFiles(); });
        throw;
    }
    Close();
}

void TDataFile::DeleteFiles() {
    TFileHandler::DeleteFile();
    ConfigureIndexFile();
    indexFile_.DeleteFile();
    ConfigureBlobFile();
    if (blobFile_.FileExists()) blobFile_.DeleteFile();
    DeleteJournal();
}

void TDataFile::DeleteJournal() {
    if (InMemory()) return;
    journal_.SetInMemory(false);
    journal_.SetFileName(FileName());
    if (journal_.FileExists()) journal_.DeleteFile();
}

void TDataFile::EmptyTable() {
    if (!IsOpen()) return;
    if (!Exclusive()) RaiseTableError(ErrMustBeExclusive);
    if (ReadOnly()) RaiseTableError(ErrAccessDenied);
    // What was changed before is written and made whole first: the emptying is a change of its own.
    UnpinAll();
    PinCurrentRecord();
    FlushBuffers(false, false, false);
    try {
        EmptyFiles();
    } catch (...) {
        // The table as it was before the call, in the files and in the caches.
        CleanUpKeepingError([this] {
            journal_.RollBack();
            DropCachesAndReposition(CacheDrop::Everything);
        });
        throw;
    }
    SetToBegin();
}

void TDataFile::EmptyFiles() {
    TruncateFile();
    // The slots cached from the file are gone with it, changed ones too.
    InvalidateRecordCache();
    // Emptying the index file empties its cached pages.
    indexFile_.Truncate();
    if (blobFile_.IsOpen()) {
        // An open value names blocks of the file as it was: none may be saved into the emptied one.
        blobFile_.FreeAllBuffers();
        blobFile_.InvalidateBlocks();
        blobFile_.ResetFile();
    }
    UnpinAll();
    PinCurrentRecord();
    FlushBuffers(false, false, false);
}

void TDataFile::SetTemporary(bool temporary) {
    if (IsOpen()) RaiseTableError(ErrFileInUse);
    temporary_ = temporary;
}

// ---- Settings ----

void TDataFile::SetStrictChangeDetection(bool strict) noexcept {
    if (!IsOpen()) strictChangeDetection_ = strict;
}

void TDataFile::SetForceBufferFlush(bool force) noexcept {
    if (IsOpen()) return;
    forceBufferFlush_ = force;
    // The index and large-object files take it from the record file when they are opened or created.
    SetWriteThrough(force);
}

// ---- What the large-object file asks of its table ----

void TDataFile::LogRepair(std::string_view message) {
    if (repairLog_) repairLog_(message);
}

// ---- Free-slot chain ----

bool TDataFile::HasPrimaryIndex() const noexcept {
    return indexFile_.IsOpen() && !indexFile_.HasNoPrimaryIndex();
}

SlotNumber TDataFile::NextFreeSlot() const noexcept {
    return engine::NextFreeSlot(header_, HasPrimaryIndex());
}

void TDataFile::SetFreeSlotHead(SlotNumber slot) noexcept {
    engine::SetFreeSlotHead(header_, slot);
}

// ---- Working field set ----

void TDataFile::ResetWorkingFields() {
    workingFields_ = fields_;
    workingCount_ = static_cast<std::uint16_t>(workingFields_.size());
    calcAreaSize_ = 0;
    hasCalculatedFields_ = AnyCalculated(workingFields_);
    FitRecordImages();
}

void TDataFile::DefineWorkingFields(std::span<const TFieldDesc> fields) {
    if (fields.size() > UINT16_MAX) RaiseTableError(ErrFieldLimits);
    std::vector<TFieldDesc> working(fields.begin(), fields.end());
    std::uint32_t area = 0;
    for (TFieldDesc& field : working) {
        // Only strings, bytes and variable bytes keep a size, as a validated definition does.
        if (!RetainsFieldSize(field.FieldType)) {
            field.Size = 0;
        } else if (field.Size > MaxRetainedFieldSize) {
            RaiseTableError(ErrInvalidFieldDefinition, field.Name);
        }
        SetStoredSize(field);
        SetStoredScale(field);
        if (field.IsCalculated()) {
            field.Offset = static_cast<std::uint16_t>(recordSize_ + area);
            area += field.StoredSize + 1u;
        } else if (field.IsStored() &&
                   (field.Offset < FirstFieldOffset || field.Offset + field.StoredSize + 1u > recordSize_)) {
            // Field access would read and write outside the stored record.
            RaiseTableError(ErrInvalidFieldDefinition, field.Name);
        }
    }
    if (recordSize_ + area > MaxRecordImageSize) RaiseTableError(ErrRecordSizeExceeded);
    workingFields_ = std::move(working);
    workingCount_ = static_cast<std::uint16_t>(workingFields_.size());
    calcAreaSize_ = static_cast<std::uint16_t>(area);
    hasCalculatedFields_ = AnyCalculated(workingFields_);
    FitRecordImages();
}

void TDataFile::AddWorkingFields(std::uint16_t count) {
    workingCount_ = static_cast<std::uint16_t>(
        std::min<std::size_t>(workingFields_.size(), static_cast<std::size_t>(workingCount_) + count));
    hasCalculatedFields_ = true;
}

void TDataFile::RemoveWorkingFields(std::uint16_t count) {
    workingCount_ = count > workingCount_ ? 0 : static_cast<std::uint16_t>(workingCount_ - count);
    hasCalculatedFields_ = false;
}

}  // namespace engine
