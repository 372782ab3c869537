#include "MemDataSet.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "db/BlobField.h"
#include "db/DataSource.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace db_test {

using namespace db;

namespace {

std::int64_t PowerOfTen(int n) {
    std::int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// The table engine's scaled integer of a currency value at `scale` decimals: the digits, then the scale
// digit, the sign on the whole; halves round away from zero.
std::int64_t CurrencyToScaled(std::int64_t raw, int scale) {
    const bool negative = raw < 0;
    std::int64_t magnitude = negative ? -raw : raw;
    if (scale < 4) {
        const std::int64_t divisor = PowerOfTen(4 - scale);
        magnitude = (magnitude + divisor / 2) / divisor;
    } else {
        magnitude *= PowerOfTen(scale - 4);
    }
    const std::int64_t scaled = magnitude * 10 + scale;
    return negative ? -scaled : scaled;
}

std::int64_t ScaledToCurrency(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::int64_t magnitude = negative ? -scaled : scaled;
    const int scale = static_cast<int>(magnitude % 10);
    std::int64_t digits = magnitude / 10;
    digits = scale <= 4 ? digits * PowerOfTen(4 - scale) : digits / PowerOfTen(scale - 4);
    return negative ? -digits : digits;
}

}  // namespace

// The stream over one large-object field of the record buffer of the dataset's state at creation.
class MemBlobStream : public rtl::TStream {
public:
    MemBlobStream(TMemDataSet& dataSet, TBlobField& field, TBlobStreamMode mode)
        : dataSet_(dataSet), field_(field), buffer_(dataSet.GetActiveRecBuf()), writable_(mode != bmRead) {
        if (buffer_ == nullptr) return;
        if (!field.Modified() && mode != bmRead) {
            if (field.ReadOnly()) DatabaseErrorFmt(kFieldReadOnly, {field.DisplayName()});
            if (dataSet.State() != dsEdit && dataSet.State() != dsInsert) DatabaseError(kNotEditing);
            // Written into a copy, so that the stored record keeps its value until the post.
            const std::uint32_t old = dataSet.BlobId(buffer_, field.FieldNo());
            dataSet.SetBlobId(buffer_, field.FieldNo(),
                              dataSet.NewBlob(old == 0 ? "" : dataSet.BlobValue(old)));
        }
        opened_ = true;
        if (mode == bmWrite) Truncate();
    }

    ~MemBlobStream() override {
        if (!opened_ || !modified_) return;
        field_.SetModified(true);
        try {
            dataSet_.DataEvent(deFieldChange, {.Field = &field_});
        } catch (...) {
            dataSet_.InternalHandleException(std::current_exception());
        }
    }

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (!opened_ || count <= 0 || position_ < 0) return 0;
        const std::string& value = Value();
        const auto size = static_cast<std::int64_t>(value.size());
        if (position_ >= size) return 0;
        const std::int64_t n = std::min(count, size - position_);
        std::memcpy(buffer, value.data() + position_, static_cast<std::size_t>(n));
        position_ += n;
        return n;
    }

    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (!opened_ || !writable_ || count <= 0 || position_ < 0) return 0;
        std::string& value = Value();
        if (static_cast<std::int64_t>(value.size()) < position_ + count)
            value.resize(static_cast<std::size_t>(position_ + count));
        std::memcpy(value.data() + position_, buffer, static_cast<std::size_t>(count));
        position_ += count;
        modified_ = true;
        return count;
    }

    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override {
        switch (origin) {
            case rtl::soBeginning:
                position_ = offset;
                break;
            case rtl::soCurrent:
                position_ += offset;
                break;
            case rtl::soEnd:
                position_ = offset + (opened_ ? static_cast<std::int64_t>(Value().size()) : 0);
                break;
        }
        return position_;
    }

private:
    // The value in the store; a record without one reads as empty (only write modes write, and they made
    // one).
    std::string& Value() {
        const std::uint32_t id = dataSet_.BlobId(buffer_, field_.FieldNo());
        if (id == 0) {
            empty_.clear();
            return empty_;
        }
        return dataSet_.BlobValue(id);
    }

    void Truncate() {
        Value().resize(static_cast<std::size_t>(std::max<std::int64_t>(position_, 0)));
        modified_ = true;
    }

    TMemDataSet& dataSet_;
    TBlobField& field_;
    TRecordBuffer buffer_;
    bool writable_;
    bool opened_ = false;
    bool modified_ = false;
    std::int64_t position_ = 0;
    std::string empty_;
};

TMemDataSet::TMemDataSet(rtl::TComponent* owner) : TDataSet(owner) {}

TMemDataSet::~TMemDataSet() {
    Destroying();
    Close();
}

void TMemDataSet::SetColumns(std::vector<MemColumn> columns) {
    CheckInactive();
    columns_ = std::move(columns);
    rows_.clear();
    blobs_.clear();
    offsets_.clear();
    recordSize_ = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        offsets_.push_back(recordSize_);
        recordSize_ += 1 + ValueSize(i);
    }
    FieldDefs().SetUpdated(false);
}

void TMemDataSet::SetReadOnly(bool readOnly) {
    CheckInactive();
    readOnly_ = readOnly;
}

void TMemDataSet::SetMasterSource(TDataSource* source) {
    if (IsLinkedTo(source)) DatabaseError(kCircularDataLink);
    masterSource_ = source;
}

void TMemDataSet::SetStoredValue(int row, std::string_view fieldName, const rtl::Variant& value) {
    CheckActive();
    if (row < 0 || row >= StoredRowCount())
        throw std::out_of_range("SetStoredValue: no stored row " + std::to_string(row));
    TField& field = FieldByName(fieldName);
    if (field.FieldNo() < 1 || IsBlobType(field.DataType()))
        throw std::invalid_argument("SetStoredValue: field '" + field.FieldName() +
                                    "' is not a stored value");
    // The filter state writes into the filter buffer without telling anyone; the row takes it back.
    std::vector<std::byte>& image = rows_[static_cast<std::size_t>(row)].Image;
    filterBuffer_.assign(GetRecordBufferSize(), std::byte{0});
    std::memcpy(filterBuffer_.data(), image.data(), recordSize_);
    {
        TempState writing(*this, dsFilter);
        field.SetValue(value);
    }
    std::memcpy(image.data(), filterBuffer_.data(), recordSize_);
}

std::size_t TMemDataSet::ValueSize(std::size_t column) const {
    const MemColumn& c = columns_[column];
    switch (c.Type) {
        case ftString:
            return static_cast<std::size_t>(c.Size) + 1;
        case ftBytes:
        case ftVarBytes:
            return static_cast<std::size_t>(c.Size);
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftDateTime:
        case ftLargeint:
            return 8;
        default:
            return IsBlobType(c.Type) ? sizeof(std::uint32_t) : 0;
    }
}

std::size_t TMemDataSet::GetRecordBufferSize() {
    return BookmarkOffset() + sizeof(std::uint32_t);
}

// Opening and closing.

void TMemDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const MemColumn& c = columns_[i];
        TFieldDef& def = FieldDefs().Add(c.Name, c.Type, c.Size, c.Required, static_cast<int>(i) + 1);
        if (c.Type == ftBCD) def.SetPrecision(20);
    }
}

void TMemDataSet::InternalOpen() {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    open_ = true;
    SetBookmarkSize(sizeof(std::uint32_t));
    cursor_ = -1;
    if (failNextOpen_) {
        failNextOpen_ = false;
        throw rtl::EDatabaseError("Table is locked");
    }
}

void TMemDataSet::InternalClose() {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    open_ = false;
    cursor_ = -1;
    DropUnusedBlobs();
}

// Records.

void TMemDataSet::SetRecordNumber(TRecordBuffer buffer, std::int32_t number) {
    std::memcpy(buffer + InfoOffset(), &number, sizeof number);
}

std::ptrdiff_t TMemDataSet::FindRow(std::uint32_t id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Id == id) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::uint32_t TMemDataSet::BufferRowId(TRecordBuffer buffer) {
    std::uint32_t id;
    std::memcpy(&id, buffer + BookmarkOffset(), sizeof id);
    return id;
}

bool TMemDataSet::Accepts(std::ptrdiff_t index) {
    if (!Filtered() || !OnFilterRecord()) return true;
    filterBuffer_.assign(GetRecordBufferSize(), std::byte{0});
    std::memcpy(filterBuffer_.data(), rows_[static_cast<std::size_t>(index)].Image.data(), recordSize_);
    bool accept = true;
    TempState filtering(*this, dsFilter);
    try {
        OnFilterRecord()(*this, accept);
    } catch (...) {
        InternalHandleException(std::current_exception());
    }
    return accept;
}

int TMemDataSet::VisiblePosition(std::ptrdiff_t index) {
    if (!Filtered() || !OnFilterRecord()) return static_cast<int>(index) + 1;
    int position = 0;
    for (std::ptrdiff_t i = 0; i <= index; ++i)
        if (Accepts(i)) ++position;
    return position;
}

void TMemDataSet::FillBuffer(TRecordBuffer buffer, std::ptrdiff_t index) {
    const Row& row = rows_[static_cast<std::size_t>(index)];
    std::memcpy(buffer, row.Image.data(), recordSize_);
    SetRecordNumber(buffer, VisiblePosition(index));
    SetBookmarkFlag(buffer, bfCurrent);
    std::memcpy(buffer + BookmarkOffset(), &row.Id, sizeof row.Id);
    GetCalcFields(buffer);
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
    const auto count = static_cast<std::ptrdiff_t>(rows_.size());
    switch (mode) {
        case gmCurrent:
            if (cursor_ < 0) return grBOF;
            if (cursor_ >= count) return grEOF;
            if (!Accepts(cursor_)) return grError;
            break;
        case gmNext: {
            std::ptrdiff_t i = std::max<std::ptrdiff_t>(cursor_ + 1, 0);
            while (i < count && !Accepts(i)) ++i;
            cursor_ = std::min(i, count);
            if (cursor_ >= count) return grEOF;
            break;
        }
        case gmPrior: {
            std::ptrdiff_t i = std::min(cursor_, count) - 1;
            while (i >= 0 && !Accepts(i)) --i;
            cursor_ = std::max<std::ptrdiff_t>(i, -1);
            if (cursor_ < 0) return grBOF;
            break;
        }
    }
    FillBuffer(buffer, cursor_);
    return grOK;
}

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
    std::memset(buffer, 0, recordSize_);
}

void TMemDataSet::InitRecord(TRecordBuffer buffer) {
    TDataSet::InitRecord(buffer);
    SetRecordNumber(buffer, -1);
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
    std::memset(buffer + recordSize_, 0, CalcFieldsSize());
}

void TMemDataSet::GetBookmarkData(TRecordBuffer buffer, std::byte* data) {
    std::memcpy(data, buffer + BookmarkOffset(), sizeof(std::uint32_t));
}

void TMemDataSet::SetBookmarkData(TRecordBuffer buffer, const std::byte* data) {
    std::memcpy(buffer + BookmarkOffset(), data, sizeof(std::uint32_t));
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
    return static_cast<TBookmarkFlag>(buffer[InfoOffset() + 4]);
}

void TMemDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
    buffer[InfoOffset() + 4] = static_cast<std::byte>(flag);
}

void TMemDataSet::InternalGotoBookmark(const std::byte* bookmark) {
    std::uint32_t id;
    std::memcpy(&id, bookmark, sizeof id);
    cursor_ = FindRow(id);  // a row gone is no record: -1
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer buffer) {
    InternalGotoBookmark(buffer + BookmarkOffset());
}

int TMemDataSet::GetRecordCount() {
    CheckActive();
    if (!Filtered() || !OnFilterRecord()) return static_cast<int>(rows_.size());
    int count = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (Accepts(static_cast<std::ptrdiff_t>(i))) ++count;
    return count;
}

int TMemDataSet::GetRecNo() {
    CheckActive();
    const TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    if (buffer == nullptr || (State() != dsCalcFields && IsEmpty())) return -1;
    std::int32_t number;
    std::memcpy(&number, buffer + InfoOffset(), sizeof number);
    return number;
}

void TMemDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    if (value == RecNo()) return;
    DoBeforeScroll();
    // The row at the visible position, or the nearest end.
    int position = 0;
    std::ptrdiff_t target = static_cast<std::ptrdiff_t>(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!Accepts(static_cast<std::ptrdiff_t>(i))) continue;
        target = static_cast<std::ptrdiff_t>(i);
        if (++position >= value) break;
    }
    cursor_ = target;
    Resync(rmCenter);
    DoAfterScroll();
}

bool TMemDataSet::GetCurrentRecord(TRecordBuffer buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    if (cursor_ < 0 || cursor_ >= static_cast<std::ptrdiff_t>(rows_.size())) return false;
    std::memcpy(buffer, rows_[static_cast<std::size_t>(cursor_)].Image.data(), recordSize_);
    return true;
}

bool TMemDataSet::BookmarkValid(const std::byte* bookmark) {
    if (bookmark == nullptr || !open_) return false;
    std::uint32_t id;
    std::memcpy(&id, bookmark, sizeof id);
    return FindRow(id) >= 0;
}

int TMemDataSet::CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) {
    if (bookmark1 == nullptr || bookmark2 == nullptr) return TDataSet::CompareBookmarks(bookmark1, bookmark2);
    std::uint32_t id1, id2;
    std::memcpy(&id1, bookmark1, sizeof id1);
    std::memcpy(&id2, bookmark2, sizeof id2);
    const std::ptrdiff_t a = FindRow(id1);
    const std::ptrdiff_t b = FindRow(id2);
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Field values.

TRecordBuffer TMemDataSet::GetActiveRecBuf() {
    switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            return ActiveBuffer();
        case dsCalcFields:
            return CalcBuffer();
        case dsFilter:
            return filterBuffer_.empty() ? nullptr : filterBuffer_.data();
        case dsOldValue: {
            if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return nullptr;
            const std::ptrdiff_t row = FindRow(BufferRowId(ActiveBuffer()));
            if (row < 0) return nullptr;
            oldBuffer_.assign(GetRecordBufferSize(), std::byte{0});
            std::memcpy(oldBuffer_.data(), rows_[static_cast<std::size_t>(row)].Image.data(), recordSize_);
            return oldBuffer_.data();
        }
        default:
            return nullptr;
    }
}

bool TMemDataSet::GetFieldData(TField* field, void* buffer) {
    const TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) return false;
    if (field->FieldNo() < 1) {
        const TDataSetState s = State();
        if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields) return false;
        const std::byte* slot = record + recordSize_ + field->Offset();
        if (slot[0] == std::byte{0}) return false;
        if (buffer != nullptr) std::memcpy(buffer, slot + 1, field->DataSize());
        return true;
    }
    const auto column = static_cast<std::size_t>(field->FieldNo() - 1);
    if (IsBlobType(columns_[column].Type)) {
        const std::uint32_t id = BlobId(record, field->FieldNo());
        return id != 0 && !blobs_[id].empty();
    }
    const std::byte* slot = record + offsets_[column];
    if (slot[0] == std::byte{0}) return false;
    if (buffer != nullptr) std::memcpy(buffer, slot + 1, ValueSize(column));
    return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
    const TDataSetState s = State();
    if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter &&
        s != dsNewValue && s != dsInternalCalc)
        DatabaseError(kNotEditing);
    if (s == dsSetKey && field->FieldNo() < 0) DatabaseErrorFmt(kNotIndexField, {field->DisplayName()});
    const TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) DatabaseError(kNotEditing);
    if (field->FieldNo() < 1) {
        std::byte* slot = record + recordSize_ + field->Offset();
        slot[0] = buffer != nullptr ? std::byte{1} : std::byte{0};
        if (buffer != nullptr) std::memcpy(slot + 1, buffer, field->DataSize());
    } else {
        if (s == dsCalcFields) DatabaseError(kNotEditing);
        if (field->ReadOnly() && s != dsSetKey && s != dsFilter)
            DatabaseErrorFmt(kFieldReadOnly, {field->DisplayName()});
        field->Validate(buffer);
        if (field->FieldKind() != fkInternalCalc) {
            const auto column = static_cast<std::size_t>(field->FieldNo() - 1);
            std::byte* slot = record + offsets_[column];
            slot[0] = buffer != nullptr ? std::byte{1} : std::byte{0};
            if (buffer != nullptr)
                std::memcpy(slot + 1, buffer, ValueSize(column));
            else
                std::memset(slot + 1, 0, ValueSize(column));
        }
    }
    if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, {.Field = field});
}

void TMemDataSet::DataConvert(TField* field, const void* source, void* destination, bool toNative) {
    if (field->DataType() != ftBCD) {
        TDataSet::DataConvert(field, source, destination, toNative);
        return;
    }
    std::int64_t value;
    std::memcpy(&value, source, sizeof value);
    value = toNative ? CurrencyToScaled(value, field->Size()) : ScaledToCurrency(value);
    std::memcpy(destination, &value, sizeof value);
}

// Editing.

void TMemDataSet::InternalEdit() {
    if (failNextEdit_) {
        failNextEdit_ = false;
        throw rtl::EDatabaseError("Record locked by another user");
    }
    if (!GetCurrentRecord(ActiveBuffer())) DatabaseError(kRecordChanged);
}

void TMemDataSet::InternalPost() {
    if (failNextPost_) {
        failNextPost_ = false;
        throw rtl::EDatabaseError("Key violation");
    }
    const TRecordBuffer buffer = ActiveBuffer();
    if (State() == dsEdit) {
        const std::ptrdiff_t row = FindRow(BufferRowId(buffer));
        if (row < 0) DatabaseError(kRecordChanged);
        std::memcpy(rows_[static_cast<std::size_t>(row)].Image.data(), buffer, recordSize_);
        return;
    }
    std::ptrdiff_t at = static_cast<std::ptrdiff_t>(rows_.size());
    if (GetBookmarkFlag(buffer) == bfBOF) {
        at = 0;
    } else if (GetBookmarkFlag(buffer) == bfInserted) {
        const std::ptrdiff_t before = FindRow(BufferRowId(buffer));
        if (before >= 0) at = before;
    }
    AddRow(buffer, at);
}

void TMemDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
    const auto count = static_cast<std::ptrdiff_t>(rows_.size());
    AddRow(buffer, append ? count : std::clamp<std::ptrdiff_t>(cursor_, 0, count));
}

void TMemDataSet::AddRow(TRecordBuffer buffer, std::ptrdiff_t at) {
    Row row;
    row.Id = nextRowId_++;
    row.Image.assign(buffer, buffer + recordSize_);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].Type != ftAutoInc) continue;
        const auto number = static_cast<std::int32_t>(row.Id);
        row.Image[offsets_[i]] = std::byte{1};
        std::memcpy(row.Image.data() + offsets_[i] + 1, &number, sizeof number);
    }
    rows_.insert(rows_.begin() + at, std::move(row));
    cursor_ = at;
}

void TMemDataSet::InternalDelete() {
    if (cursor_ < 0 || cursor_ >= static_cast<std::ptrdiff_t>(rows_.size())) DatabaseError(kRecordChanged);
    rows_.erase(rows_.begin() + cursor_);  // the cursor now stands on the row that followed
    DropUnusedBlobs();
}

// Large objects.

std::uint32_t TMemDataSet::BlobId(TRecordBuffer buffer, int fieldNo) const {
    std::uint32_t id;
    std::memcpy(&id, buffer + offsets_[static_cast<std::size_t>(fieldNo - 1)] + 1, sizeof id);
    return id;
}

void TMemDataSet::SetBlobId(TRecordBuffer buffer, int fieldNo, std::uint32_t id) {
    std::byte* slot = buffer + offsets_[static_cast<std::size_t>(fieldNo - 1)];
    slot[0] = std::byte{1};
    std::memcpy(slot + 1, &id, sizeof id);
}

std::uint32_t TMemDataSet::NewBlob(std::string value) {
    const std::uint32_t id = nextBlobId_++;
    blobs_[id] = std::move(value);
    return id;
}

void TMemDataSet::DropUnusedBlobs() {
    if (open_) return;  // open record buffers may still hold values of their own
    std::map<std::uint32_t, std::string> kept;
    for (const Row& row : rows_) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (!IsBlobType(columns_[i].Type)) continue;
            std::uint32_t id;
            std::memcpy(&id, row.Image.data() + offsets_[i] + 1, sizeof id);
            if (auto it = blobs_.find(id); it != blobs_.end()) kept.insert(*it);
        }
    }
    blobs_ = std::move(kept);
}

std::unique_ptr<rtl::TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    auto* blob = dynamic_cast<TBlobField*>(field);
    if (blob == nullptr || blob->FieldNo() < 1) DatabaseErrorFmt(kFieldAccessError, {field->DisplayName()});
    return std::make_unique<MemBlobStream>(*this, *blob, mode);
}

void TMemDataSet::CloseBlob(TField*) {
    ++closeBlobCount_;
}

// Searching: a scan of the rows in the filter state.

std::ptrdiff_t TMemDataSet::FindMatch(std::string_view keyFields, const rtl::Variant& keyValues,
                                      TLocateOptions options) {
    const std::vector<TField*> fields = GetFieldList(keyFields);
    const auto keyValue = [&](std::size_t i) -> const rtl::Variant& {
        return fields.size() == 1 && !keyValues.IsArray() ? keyValues : keyValues[i];
    };
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (!Accepts(static_cast<std::ptrdiff_t>(row))) continue;
        filterBuffer_.assign(GetRecordBufferSize(), std::byte{0});
        std::memcpy(filterBuffer_.data(), rows_[row].Image.data(), recordSize_);
        TempState reading(*this, dsFilter);
        bool match = true;
        for (std::size_t i = 0; i < fields.size() && match; ++i) {
            const rtl::Variant& wanted = keyValue(i);
            if (fields[i]->DataType() == ftString && !wanted.IsNull()) {
                std::string have = fields[i]->AsString();
                std::string want = rtl::VarToStr(wanted);
                if ((options & loPartialKey) != 0 && i + 1 == fields.size())
                    have = have.substr(0, want.size());
                match = (options & loCaseInsensitive) != 0 ? rtl::AnsiSameText(have, want) : have == want;
            } else {
                match = fields[i]->Value() == wanted;
            }
        }
        if (match) return static_cast<std::ptrdiff_t>(row);
    }
    return -1;
}

bool TMemDataSet::Locate(std::string_view keyFields, const rtl::Variant& keyValues, TLocateOptions options) {
    DoBeforeScroll();
    CheckBrowseMode();
    CursorPosChanged();
    const std::ptrdiff_t row = FindMatch(keyFields, keyValues, options);
    if (row < 0) return false;
    cursor_ = row;
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
}

rtl::Variant TMemDataSet::Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                                 std::string_view resultFields) {
    CheckBrowseMode();
    const std::ptrdiff_t row = FindMatch(keyFields, keyValues, 0);
    if (row < 0) return rtl::Variant::Null();
    filterBuffer_.assign(GetRecordBufferSize(), std::byte{0});
    std::memcpy(filterBuffer_.data(), rows_[static_cast<std::size_t>(row)].Image.data(), recordSize_);
    TempState reading(*this, dsFilter);
    return FieldValues(resultFields);
}

}  // namespace db_test
