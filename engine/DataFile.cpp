#include "engine/DataFile.h"

#include <algorithm>
#include <array>
#include <exception>
#include <string>

#include "engine/Collation.h"
#include "engine/EngineError.h"
#include "engine/EngineState.h"
#include "engine/EngineStrings.h"
#include "engine/FieldTypes.h"
#include "engine/FileBytes.h"
#include "engine/FreeSlotChain.h"
#include "engine/Scramble.h"
#include "engine/TableDefinition.h"
#include "rtl/DateTime.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The record file's extension; the index and large-object files replace it with theirs.
constexpr std::string_view DataFileExtension = ".DAT";

// A protected table's password is in the current session's list while the table is created, so that the
// reopen finds it; one the list lacked leaves it again at the end, also on failure.
class SessionPasswordGrant {
public:
    explicit SessionPasswordGrant(const std::string& password) : password_(password) {
        if (password_.empty()) return;
        TFileSession& session = GetEngineSession();
        if (session.FindPassword(password_)) return;
        session.AddPassword(password_);
        session_ = &session;
    }
    ~SessionPasswordGrant() {
        if (session_ != nullptr) session_->RemovePassword(password_);
    }
    SessionPasswordGrant(const SessionPasswordGrant&) = delete;
    SessionPasswordGrant& operator=(const SessionPasswordGrant&) = delete;

private:
    std::string password_;
    TFileSession* session_ = nullptr;
};

bool HasValidityCheck(const TFieldDesc& field) noexcept {
    return field.Required != 0 || !field.MinValue.empty() || !field.MaxValue.empty();
}

// Cleans up after a failure: a failure of the cleanup neither raises nor replaces the error context of the
// failure being reported.
template <class Cleanup>
void CleanUpKeepingError(Cleanup cleanup) noexcept {
    try {
        const ErrorContext saved = CurrentErrorContext();
        try {
            cleanup();
        } catch (...) {
        }
        CurrentErrorContext() = saved;
    } catch (...) {
    }
}

bool AnyCalculated(std::span<const TFieldDesc> fields) noexcept {
    return std::any_of(fields.begin(), fields.end(), [](const TFieldDesc& f) { return f.IsCalculated(); });
}

// A size the field's type can hold in the engine's 251-byte value areas.
bool SizeFitsType(const TFieldDesc& field) noexcept {
    return RetainsFieldSize(field.FieldType) ? field.Size <= MaxRetainedFieldSize : field.Size == 0;
}

}  // namespace

TDataFile::TDataFile() = default;

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
    hasValidityChecks_ = hasDefaults_ = hasCalculatedFields_ = false;
    // Later (table handle): the lock-state and transaction flags and the read-ahead limit are cleared here.

    TFileHandler::Open();
    try {
        ReadHeader();
        if (header_.Version != DataFileVersion) RaiseTableError(ErrWrongVersion);
        if (header_.LanguageId != 0 && !IsLocaleInstalled(header_.LanguageId, header_.SortId)) {
            RaiseTableError(ErrLanguageDriver);
        }
        // Everything below trusts these counts: each is checked before it is used.
        if (header_.FieldCount > MaxFieldCount || header_.LastRecordId > MaxRecordId) {
            RaiseTableError(ErrHeaderCorrupt);
        }
        recordSize_ = header_.RecordSize;
        // Later (table handle): a protected table asks for its password here, until the session's list holds
        // it or the password callback gives up (10498).
        ReadFieldDescs();
        CheckFieldLayout();
        ResetWorkingFields();
        BuildCollationTable(collationTable_, header_.LanguageId, header_.SortId, FileName());
        // Later (table handle): the record cache gets its capacity.
        ConfigureIndexFile();
        indexFile_.Open();
        if (header_.BlobFieldCount != 0) {
            ConfigureBlobFile();
            blobFile_.Open();
        }
        // Later (locks): the slot area is checked under BeginRead, with EndRead in a guard.
        CheckSlotArea();
    } catch (...) {
        CloseFiles();
        throw;
    }
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

void TDataFile::CheckSlotArea() {
    const std::int64_t start = SlotAreaStart(header_.FieldCount);
    const std::int64_t size = GetSize();
    if (size < 0) RaiseTableError(ErrRead);
    // The record size is at least 9 here: it equals the fields' running offset.
    const std::int64_t area = size - start;
    if (area < 0 || area % recordSize_ != 0 || area / recordSize_ + 1 != header_.NextSlotNumber.Value) {
        RaiseTableError(ErrHeaderCorrupt);
    }
}

void TDataFile::Close() {
    if (!IsOpen()) return;
    DoClose(true);
}

void TDataFile::DoClose(bool deleteTemporary) {
    std::exception_ptr failure;
    // Later (locks): in a transaction Rollback runs instead, its failures dropped.
    // Later (table handle): UnpinAll; the flush below becomes FlushBuffers (trim, headers not forced), which
    // writes the dirty records, index pages and large-object blocks too.
    if (Exclusive() && !ReadOnly()) {
        try {
            WriteHeader(false);
        } catch (...) {
            failure = std::current_exception();
        }
        // The index file's pages before its header, which names them.
        try {
            if (indexFile_.IsOpen()) {
                indexFile_.CurrentPage().Release();
                indexFile_.UnpinAllPages();
                indexFile_.FlushPages();
                indexFile_.WriteHeader(false);
            }
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        try {
            if (blobFile_.IsOpen()) {
                blobFile_.UnpinAllBlocks();
                blobFile_.FlushBlocks();
                blobFile_.WriteHeader(false);
            }
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    // Later (locks): ReleaseReadLock, UnlockTable, UnlockAllRecords, EndRead, EndWrite.
    // The large-object file is closed first, then the index file, then the record file.
    CloseFiles();
    if (deleteTemporary && temporary_) {
        try {
            DeleteFiles();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    // Later (table handle): the password callback and the other event references are cleared.
    if (failure) std::rethrow_exception(failure);
}

void TDataFile::CloseFiles() noexcept {
    fields_.clear();
    workingFields_.clear();
    workingCount_ = 0;
    // Later (table handle): every cached record is freed, the current record first.
    blobFile_.Close();
    indexFile_.Close();
    TFileHandler::Close();
}

void TDataFile::ConfigureBlobFile() {
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
    // A write of no bytes sets the end of the file.
    WriteAt(SlotAreaStart(header_.FieldCount), nullptr, 0);
    header_.ChangeCounter = 0;
    header_.FreeSlotHead = NoSlot;
    header_.NextSlotNumber = SlotNumber(1);
    header_.LastRecordId = RecordId(0);
    // Later (table handle): the current record is released.
    MarkHeaderChanged();
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
        // The exclusive close writes the header; the reopen runs every check of Open on the new file.
        DoClose(false);
        Open();
        // No descriptor at all is a primary index without fields: a table without a primary index.
        indexFile_.AddPrimaryIndex(indexes.empty() ? TIndexDescriptor{} : indexes.front());
        for (std::size_t k = 1; k < indexes.size(); ++k) indexFile_.AddSecondaryIndex(indexes[k]);
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
}

void TDataFile::EmptyTable() {
    if (!IsOpen()) return;
    if (!Exclusive()) RaiseTableError(ErrMustBeExclusive);
    if (ReadOnly()) RaiseTableError(ErrAccessDenied);
    TruncateFile();
    // Later (table handle): the record cache empties every cached record in place (slot number 0, buffer
    // cleared, pins reset).
    // Emptying the index file empties its cached pages.
    indexFile_.Truncate();
    if (blobFile_.IsOpen()) {
        blobFile_.InvalidateBlocks();
        blobFile_.ResetFile();
    }
    // Later: the cursor is set before the first record.
}

void TDataFile::SetTemporary(bool temporary) {
    if (IsOpen()) RaiseTableError(ErrFileInUse);
    temporary_ = temporary;
}

// ---- What the large-object file asks of its table ----

bool TDataFile::StrictChangeDetection() const {
    // Later (table handle): the setting made before open.
    return false;
}

bool TDataFile::TransactionLockHeld() const {
    // Later (locks): set while a transaction holds the write semaphore.
    return false;
}

bool TDataFile::BeginRead() {
    // Later (locks): takes the read locks and compares the change counters (CheckForChanges), which drops the
    // index file's pages (InvalidatePages, with the header read again) and the large-object file's blocks
    // when their counters moved.
    return false;
}

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
    // Later (table handle): the record cache is emptied; its images change size with the calculated area.
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
