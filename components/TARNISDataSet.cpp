#include "components/TARNISDataSet.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "components/ComponentTexts.h"
#include "components/TARNISBlobStream.h"
#include "db/BlobField.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/Currency.h"
#include "rtl/ExceptionHook.h"
#include "rtl/FloatFormat.h"

namespace components {

namespace {

// The record-information block: the record number, then the bookmark flag; 8 bytes in all.
constexpr std::size_t kRecInfoSize = 8;
constexpr std::size_t kRecNumberAt = 0;
constexpr std::size_t kBookmarkFlagAt = 4;

// The framework's precision of every engine BCD field: the digits a 64-bit scaled integer holds.
constexpr int kBcdPrecision = 20;

// Results of the engine's record fetches that are positions, not failures.
constexpr std::uint16_t kBeforeFirst = 8705;
constexpr std::uint16_t kAfterLast = 8706;

}  // namespace

FieldDefShape FieldDefShapeOf(const engine::TFieldDesc& desc) noexcept {
    using namespace db;
    switch (desc.FieldType) {
        case engine::FieldTypeString:
            return {ftString, desc.Size};
        case engine::FieldTypeDate:
            return {ftDate, 0};
        case engine::FieldTypeBlob:
            switch (desc.SubType) {
                case 22:
                    return {ftMemo, 0};
                case 24:
                    return {ftFmtMemo, 0};
                case 26:
                    return {ftGraphic, 0};
                case 28:
                    return {ftTypedBinary, 0};
                default:  // 23, 25, 27 and any other kind are plain binary
                    return {ftBlob, 0};
            }
        case engine::FieldTypeBoolean:
            return {ftBoolean, 0};
        case engine::FieldTypeSmallInt:
            return {ftSmallint, 0};
        case engine::FieldTypeInteger:
            return {desc.SubType == engine::FieldSubTypeAutoInc ? ftAutoInc : ftInteger, 0};
        case engine::FieldTypeFloat:
            return {desc.SubType == engine::FieldSubTypeMoney ? ftCurrency : ftFloat, 0};
        case engine::FieldTypeBcd:
            return {ftBCD, desc.Scale};
        case engine::FieldTypeBytes:
            return {ftBytes, desc.Size};
        case engine::FieldTypeTime:
            return {ftTime, 0};
        case engine::FieldTypeDateTime:
            return {ftDateTime, 0};
        case engine::FieldTypeWord:
            return {ftWord, 0};
        case engine::FieldTypeLongWord:
            return {ftInteger, 0};
        case engine::FieldTypeVarBytes:
            return {ftVarBytes, desc.Size};
        // Codes beyond the engine's own types, kept for tables written by other tools.
        case 18:
        case 19:
            return {ftLargeint, 0};
        case 20:
            return {ftADT, 0};
        case 21:
            return {ftArray, 0};
        case 22:
            return {ftReference, 0};
        case 23:
            return {ftDataSet, 0};
        default:  // 0, the 10-byte float (14), 16, 17 and 24 on have no framework type
            return {ftUnknown, 0};
    }
}

TTARNISDataSet::TTARNISDataSet(rtl::TComponent* owner) : db::TDataSet(owner) {}

TTARNISDataSet::~TTARNISDataSet() {
    Destroying();
    try {
        Close();
    } catch (...) {
        rtl::HandleCurrentException();
    }
    // A close that failed part-way must not leak the handle.
    if (handle_ != nullptr) {
        try {
            DestroyHandle();
        } catch (...) {
            rtl::HandleCurrentException();
        }
        handle_ = nullptr;
    }
}

// ---- Opening and closing ----

void TTARNISDataSet::OpenCursor(bool infoQuery) {
    handle_ = CreateHandle();
    if (handle_ == nullptr) db::DatabaseError(kCreateHandleError);
    db::TDataSet::OpenCursor(infoQuery);
}

void TTARNISDataSet::CloseCursor() {
    // The handle goes whether or not the framework's close succeeds; when both fail, the first failure is
    // reported.
    std::exception_ptr failure;
    try {
        db::TDataSet::CloseCursor();
    } catch (...) {
        failure = std::current_exception();
    }
    if (handle_ != nullptr) {
        try {
            DestroyHandle();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        handle_ = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void TTARNISDataSet::DestroyHandle() {
    if (handle_ == nullptr || handle_->QueryOwned()) return;
    // Freed even when the close fails; the destructor closes what is left.
    std::unique_ptr<engine::TDataFile> handle(handle_);
    handle_->Close();
}

void TTARNISDataSet::InternalOpen() {
    ReadRecordSizes();
    canModify_ = !handle_->ReadOnly();
    InternalInitFieldDefs();
    GetIndexInfo();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    LayoutRecord();
    AllocKeyBuffers();
    handle_->SetToBegin();
    PrepareCursor();
    if (!Filter().empty()) exprFilter_ = CreateExprFilter(Filter(), FilterOptions());
    if (OnFilterRecord()) funcFilter_ = CreateFuncFilter();
    if (Filtered()) ActivateFilters();
}

void TTARNISDataSet::ReadRecordSizes() {
    recordSize_ = handle_->GetRecordBufferSize();
    SetBookmarkSize(handle_->GetKeySize());
}

void TTARNISDataSet::LayoutRecord() {
    recInfoOffset_ = recordSize_ + CalcFieldsSize();
    bookmarkOffset_ = recInfoOffset_ + kRecInfoSize;
    bufferSize_ = bookmarkOffset_ + BookmarkSize();
    oldValueBuffer_.assign(bufferSize_, std::byte{0});
}

void TTARNISDataSet::InternalClose() {
    // Runs also after an open that failed half-way, with or without a handle. The engine drops the filters
    // with the handle.
    exprFilter_ = nullptr;
    funcFilter_ = nullptr;
    FreeKeyBuffers();
    oldValueBuffer_.clear();
    oldValueBuffer_.shrink_to_fit();
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    indexFieldCount_ = 0;
    keySize_ = 0;
    caseInsensitiveIndex_ = false;
    canModify_ = false;
    filterBuffer_ = nullptr;
}

void TTARNISDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    const std::uint16_t count = handle_->GetFieldCount();
    for (std::uint16_t n = 1; n <= count; ++n) {
        const engine::TFieldDesc& desc = handle_->GetFieldDesc(true, n);
        AddFieldDesc(desc, desc.Required != 0, n);
    }
}

void TTARNISDataSet::AddFieldDesc(const engine::TFieldDesc& desc, bool required, int fieldNo) {
    const FieldDefShape shape = FieldDefShapeOf(desc);
    if (shape.type == db::ftUnknown) return;
    std::string name = desc.Name;
    for (int n = 1; FieldDefs().IndexOf(name) >= 0; ++n) name = desc.Name + "_" + std::to_string(n);
    db::TFieldDef& def = FieldDefs().Add(name, shape.type, shape.size, required, fieldNo);
    def.SetInternalCalcField(false);
    if (shape.type == db::ftBCD) def.SetPrecision(kBcdPrecision);
}

// ---- Buffers ----

std::span<std::uint8_t> TTARNISDataSet::Image(db::TRecordBuffer buffer) const {
    if (buffer == nullptr) return {};
    return {reinterpret_cast<std::uint8_t*>(buffer), recordSize_};
}

std::span<std::uint8_t> TTARNISDataSet::BookmarkSpan(std::byte* bookmark) const {
    return {reinterpret_cast<std::uint8_t*>(bookmark), BookmarkSize()};
}

std::span<const std::uint8_t> TTARNISDataSet::BookmarkSpan(const std::byte* bookmark) const {
    return {reinterpret_cast<const std::uint8_t*>(bookmark), BookmarkSize()};
}

std::int32_t TTARNISDataSet::RecordNumber(db::TRecordBuffer buffer) const {
    std::int32_t number = 0;
    std::memcpy(&number, buffer + recInfoOffset_ + kRecNumberAt, sizeof number);
    return number;
}

void TTARNISDataSet::SetRecordNumber(db::TRecordBuffer buffer, std::int32_t number) const {
    std::memcpy(buffer + recInfoOffset_ + kRecNumberAt, &number, sizeof number);
}

void TTARNISDataSet::CheckResult(std::uint16_t code) const {
    engine::CheckEngineResult(code, handle_->FileName());
}

void TTARNISDataSet::InternalInitRecord(db::TRecordBuffer buffer) {
    handle_->InitRecord(Image(buffer));
}

void TTARNISDataSet::InitRecord(db::TRecordBuffer buffer) {
    db::TDataSet::InitRecord(buffer);
    SetBookmarkFlag(buffer, db::bfInserted);
    SetRecordNumber(buffer, -1);
}

void TTARNISDataSet::ClearCalcFields(db::TRecordBuffer buffer) {
    std::fill_n(buffer + recordSize_, CalcFieldsSize(), std::byte{0});
}

db::TGetResult TTARNISDataSet::GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) {
    const std::span<std::uint8_t> image = Image(buffer);
    std::uint16_t code = 0;
    switch (mode) {
        case db::gmCurrent:
            code = handle_->GetCurrentRecord(image, false);
            break;
        case db::gmNext:
            code = handle_->GetNextRecord(image);
            break;
        case db::gmPrior:
            code = handle_->GetPriorRecord(image);
            break;
    }
    switch (code) {
        case 0:
            SetBookmarkFlag(buffer, db::bfCurrent);
            SetRecordNumber(buffer, handle_->GetRecNo());
            GetCalcFields(buffer);
            handle_->GetBookmark(BookmarkSpan(buffer + bookmarkOffset_));
            return db::grOK;
        case kBeforeFirst:
            return db::grBOF;
        case kAfterLast:
            return db::grEOF;
        default:
            if (doCheck) CheckResult(code);
            return db::grError;
    }
}

db::TRecordBuffer TTARNISDataSet::GetActiveRecBuf() {
    switch (State()) {
        case db::dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case db::dsEdit:
        case db::dsInsert:
        case db::dsNewValue:
            return ActiveBuffer();
        case db::dsCalcFields:
            return CalcBuffer();
        case db::dsFilter:
            return filterBuffer_;
        case db::dsOldValue:
            return GetOldRecord();
        case db::dsSetKey:
            return keyBuffer_ == nullptr ? nullptr
                                         : reinterpret_cast<db::TRecordBuffer>(KeyBufferImage(*keyBuffer_).data());
        default:
            return nullptr;
    }
}

db::TRecordBuffer TTARNISDataSet::GetOldRecord() {
    UpdateCursorPos();
    CheckResult(handle_->GetCurrentRecord(Image(oldValueBuffer_.data()), false));
    return oldValueBuffer_.data();
}

// ---- Navigation ----

void TTARNISDataSet::InternalFirst() {
    handle_->SetToBegin();
}

void TTARNISDataSet::InternalLast() {
    handle_->SetToEnd();
}

void TTARNISDataSet::InternalRefresh() {
    handle_->Refresh();
}

int TTARNISDataSet::GetRecordCount() {
    CheckActive();
    return handle_->GetRecordCount();
}

int TTARNISDataSet::GetRecNo() {
    CheckActive();
    const db::TRecordBuffer buffer = State() == db::dsCalcFields ? CalcBuffer() : ActiveBuffer();
    return buffer == nullptr ? 0 : RecordNumber(buffer);
}

void TTARNISDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    if (value == RecNo()) return;
    DoBeforeScroll();
    handle_->GotoRecNo(value);
    Resync(db::rmCenter);
    DoAfterScroll();
}

bool TTARNISDataSet::GetCurrentRecord(db::TRecordBuffer buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != db::bfCurrent) return false;
    UpdateCursorPos();
    return handle_->GetCurrentRecord(Image(buffer), false) == 0;
}

// ---- Bookmarks ----

db::TBookmarkFlag TTARNISDataSet::GetBookmarkFlag(db::TRecordBuffer buffer) {
    return static_cast<db::TBookmarkFlag>(buffer[recInfoOffset_ + kBookmarkFlagAt]);
}

void TTARNISDataSet::SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) {
    buffer[recInfoOffset_ + kBookmarkFlagAt] = static_cast<std::byte>(flag);
}

void TTARNISDataSet::GetBookmarkData(db::TRecordBuffer buffer, std::byte* data) {
    std::memcpy(data, buffer + bookmarkOffset_, BookmarkSize());
}

void TTARNISDataSet::SetBookmarkData(db::TRecordBuffer buffer, const std::byte* data) {
    std::memcpy(buffer + bookmarkOffset_, data, BookmarkSize());
}

void TTARNISDataSet::InternalGotoBookmark(const std::byte* bookmark) {
    handle_->GotoBookmark(BookmarkSpan(bookmark), false);
}

void TTARNISDataSet::InternalSetToRecord(db::TRecordBuffer buffer) {
    InternalGotoBookmark(buffer + bookmarkOffset_);
}

int TTARNISDataSet::CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) {
    if (bookmark1 == nullptr && bookmark2 == nullptr) return 0;
    if (bookmark1 == nullptr) return 1;
    if (bookmark2 == nullptr) return -1;
    if (handle_ == nullptr) return 0;
    return handle_->CompareBookmarks(BookmarkSpan(bookmark1), BookmarkSpan(bookmark2));
}

bool TTARNISDataSet::BookmarkValid(const std::byte* bookmark) {
    if (handle_ == nullptr || bookmark == nullptr) return false;
    CursorPosChanged();
    handle_->GotoBookmark(BookmarkSpan(bookmark), false);
    if (handle_->GetCurrentRecord({}, false) != 0) return false;
    std::vector<std::uint8_t> landed(BookmarkSize());
    handle_->GetBookmark(landed);
    return std::equal(landed.begin(), landed.end(), BookmarkSpan(bookmark).begin());
}

// ---- Editing ----

void TTARNISDataSet::InternalEdit() {
    CheckResult(handle_->GetCurrentRecord(Image(ActiveBuffer()), true));
}

void TTARNISDataSet::InternalPost() {
    if (State() == db::dsEdit) {
        handle_->ModifyRecord(Image(ActiveBuffer()), true, true);
    } else {
        handle_->InsertRecord(Image(ActiveBuffer()), true);
    }
}

void TTARNISDataSet::InternalAddRecord(db::TRecordBuffer buffer, bool) {
    handle_->InsertRecord(Image(buffer), true);
}

void TTARNISDataSet::InternalDelete() {
    handle_->DeleteRecord(true);
}

void TTARNISDataSet::InternalCancel() {
    if (State() == db::dsEdit) handle_->UnlockRecord(engine::SlotNumber(0));
}

void TTARNISDataSet::Post() {
    db::TDataSet::Post();
    if (State() == db::dsSetKey) PostKeyBuffer(true);
}

void TTARNISDataSet::Cancel() {
    db::TDataSet::Cancel();
    if (State() == db::dsSetKey) PostKeyBuffer(false);
}

// ---- Fields ----

bool TTARNISDataSet::GetFieldData(db::TField* field, void* buffer) {
    const db::TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) return false;
    if (field->FieldNo() < 1) {
        const db::TDataSetState state = State();
        if (state != db::dsBrowse && state != db::dsEdit && state != db::dsInsert &&
            state != db::dsCalcFields)
            return false;
        const std::byte* slot = record + recordSize_ + field->Offset();
        if (slot[0] == std::byte{0}) return false;
        if (buffer != nullptr) std::memcpy(buffer, slot + 1, field->DataSize());
        return true;
    }
    std::span<std::uint8_t> destination;
    if (buffer != nullptr) destination = {static_cast<std::uint8_t*>(buffer), field->DataSize()};
    return !handle_->GetField(true, static_cast<std::uint16_t>(field->FieldNo()), Image(record), destination);
}

void TTARNISDataSet::SetFieldData(db::TField* field, const void* buffer) {
    const db::TDataSetState state = State();
    switch (state) {
        case db::dsEdit:
        case db::dsInsert:
        case db::dsSetKey:
        case db::dsCalcFields:
        case db::dsFilter:
        case db::dsNewValue:
        case db::dsInternalCalc:
            break;
        default:
            db::DatabaseError(db::kNotEditing);
    }
    // Without index information (index field count 0) every stored field may take a key value.
    if (state == db::dsSetKey && (field->FieldNo() < 0 || (indexFieldCount_ > 0 && !GetIsIndexField(field))))
        db::DatabaseErrorFmt(db::kNotIndexField, {field->DisplayName()});
    const db::TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) db::DatabaseError(db::kNotEditing);
    if (field->FieldNo() < 1) {
        std::byte* slot = record + recordSize_ + field->Offset();
        slot[0] = buffer != nullptr ? std::byte{1} : std::byte{0};
        if (buffer != nullptr) std::memcpy(slot + 1, buffer, field->DataSize());
    } else {
        if (state == db::dsCalcFields) db::DatabaseError(db::kNotEditing);
        if (field->ReadOnly() && state != db::dsSetKey && state != db::dsFilter)
            db::DatabaseErrorFmt(db::kFieldReadOnly, {field->DisplayName()});
        field->Validate(buffer);
        if (field->FieldKind() != db::fkInternalCalc) {
            engine::FieldSource source;
            if (buffer != nullptr)
                source = std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(buffer),
                                                       field->DataSize());
            handle_->SetField(true, static_cast<std::uint16_t>(field->FieldNo()), Image(record), source);
        }
    }
    if (state != db::dsCalcFields && state != db::dsFilter && state != db::dsNewValue)
        DataEvent(db::deFieldChange, {.Field = field});
}

void TTARNISDataSet::SetStateFieldValue(db::TDataSetState state, db::TField* field,
                                        const rtl::Variant& value) {
    if (state == db::dsOldValue) db::DatabaseErrorFmt(db::kFieldReadOnly, {field->DisplayName()});
    db::TDataSet::SetStateFieldValue(state, field, value);
}

std::unique_ptr<rtl::TStream> TTARNISDataSet::CreateBlobStream(db::TField* field, db::TBlobStreamMode mode) {
    auto* blob = dynamic_cast<db::TBlobField*>(field);
    if (blob == nullptr) db::DatabaseErrorFmt(db::kFieldTypeMismatch, {field->DisplayName()});
    return std::make_unique<TTARNISBlobStream>(*this, *blob, mode);
}

void TTARNISDataSet::CloseBlob(db::TField* field) {
    CheckResult(
        handle_->CloseBlob(true, static_cast<std::uint16_t>(field->FieldNo()), Image(ActiveBuffer())));
}

void TTARNISDataSet::DataConvert(db::TField* field, const void* source, void* destination, bool toNative) {
    if (field->DataType() != db::ftBCD) {
        db::TDataSet::DataConvert(field, source, destination, toNative);
        return;
    }
    std::int64_t raw = 0;
    std::memcpy(&raw, source, sizeof raw);
    std::int64_t converted = 0;
    if (toNative) {
        const rtl::Currency value = rtl::Currency::FromRaw(raw);
        const std::optional<std::int64_t> scaled = engine::CurrToScaledInt(field->Size(), value);
        if (!scaled)
            db::DatabaseErrorFmt(db::kFieldRangeError, {rtl::CurrToStr(value), field->DisplayName()});
        converted = *scaled;
    } else {
        // Beyond the currency's range this raises rtl::EOverflow rather than wrap.
        converted = engine::ScaledIntToCurr(raw).Raw();
    }
    std::memcpy(destination, &converted, sizeof converted);
}

}  // namespace components
