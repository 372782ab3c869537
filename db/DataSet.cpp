#include "db/DataSet.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "db/BlobField.h"
#include "db/DataLink.h"
#include "db/DataSource.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Text.h"

namespace db {

namespace {

bool IsEditMode(TDataSetState state) {
    return state == dsEdit || state == dsInsert || state == dsSetKey;
}

// The names of a ";"-separated list, without the blanks around each.
std::vector<std::string> SplitFieldNames(std::string_view names) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string_view::npos) end = names.size();
        std::string name = rtl::Trim(names.substr(start, end - start));
        if (!name.empty()) result.push_back(std::move(name));
        start = end + 1;
    }
    return result;
}

// A field may serve a definition of its own kind; any large-object field serves any large-object kind.
bool FieldServesDef(const TField& field, const TFieldDef& def) {
    if (IsBlobType(field.DataType()) && IsBlobType(def.DataType())) return true;
    if (field.DataType() != def.DataType()) return false;
    switch (def.DataType()) {
        case ftString:
        case ftBytes:
        case ftVarBytes:
        case ftBCD:
            return field.Size() == def.Size();  // the size fixes the value's layout
        default:
            return true;
    }
}

}  // namespace

TDataSet::TempState::TempState(TDataSet& dataSet, TDataSetState state)
    : dataSet_(dataSet), savedState_(dataSet.state_), savedModified_(dataSet.modified_) {
    dataSet_.state_ = state;
    ++dataSet_.tempStateDepth_;
}

TDataSet::TempState::~TempState() {
    dataSet_.state_ = savedState_;
    dataSet_.modified_ = savedModified_;
    --dataSet_.tempStateDepth_;
}

TDataSet::TDataSet(rtl::TComponent* owner) : rtl::TComponent(owner), fields_(*this), fieldDefs_(this) {}

TDataSet::~TDataSet() {
    Destroying();
    // The concrete dataset has closed its cursor; what is left are the sources and the fields.
    state_ = dsInactive;
    while (!dataSources_.empty()) RemoveDataSource(dataSources_.back());
    fields_.Clear();
}

// Opening and closing.

void TDataSet::SetActive(bool active) {
    if (IsLoading()) {
        streamedActive_ = active;
        return;
    }
    if (active == Active()) return;
    if (active) {
        Notify(BeforeOpen);
        try {
            OpenCursor(false);
            SetState(dsBrowse);
            Notify(AfterOpen);
            if (!IsEmpty()) DoAfterScroll();
        } catch (...) {
            FailOpen();
            throw;
        }
    } else {
        if (!IsDestroying()) Notify(BeforeClose);
        SetState(dsInactive);
        CloseCursor();
        if (!IsDestroying()) Notify(AfterClose);
    }
}

void TDataSet::FailOpen() noexcept {
    // Whatever the failed open built, the dataset ends closed; a second failure must not hide the first.
    try {
        SetState(dsInactive);
    } catch (...) {
        state_ = dsInactive;
    }
    try {
        CloseCursor();
    } catch (...) {
    }
}

void TDataSet::Loaded() {
    rtl::TComponent::Loaded();
    if (streamedActive_) {
        streamedActive_ = false;
        SetActive(true);
    }
}

void TDataSet::OpenCursor(bool infoQuery) {
    if (infoQuery)
        InternalInitFieldDefs();
    else
        DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = fields_.Count() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    fieldDefs_.SetUpdated(true);
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::CloseCursor() {
    internalOpenComplete_ = false;
    // Closing never fails for a pending edit: a large object written for it is dropped with the cursor.
    for (TField* f : fields_) {
        if (auto* blob = dynamic_cast<TBlobField*>(f); blob != nullptr && blob->Modified()) {
            blob->SetModified(false);
            try {
                CloseBlob(blob);
            } catch (...) {
                InternalHandleException(std::current_exception());
            }
        }
    }
    ClearBuffers();
    SetBufListSize(0);
    InternalClose();
    bufferCount_ = 0;
    defaultFields_ = false;
}

void TDataSet::InitFieldDefs() {
    if (IsCursorOpen()) {
        InternalInitFieldDefs();
        return;
    }
    try {
        OpenCursor(true);
    } catch (...) {
        try {
            CloseCursor();
        } catch (...) {
        }
        throw;
    }
    CloseCursor();
}

// Buffers.

TRecordBuffer TDataSet::ActiveBuffer() const {
    if (buffers_.empty()) return nullptr;
    return const_cast<std::byte*>(buffers_[static_cast<std::size_t>(activeRecord_)].data());
}

TRecordBuffer TDataSet::TempBuffer() const {
    if (buffers_.empty()) return nullptr;
    return const_cast<std::byte*>(buffers_.back().data());
}

void TDataSet::SetBufListSize(int count) {
    // Resizing moves or frees the buffers that a registered user points into.
    assert(bufferUsers_ == 0);
    count = std::max(count, 0);
    const std::size_t size = count > 0 ? GetRecordBufferSize() : 0;
    buffers_.resize(static_cast<std::size_t>(count));
    bool reshaped = false;
    for (auto& buffer : buffers_) {
        if (buffer.size() != size) {
            reshaped = reshaped || !buffer.empty();
            buffer.assign(size, std::byte{0});
        }
    }
    // Records whose buffers are gone or were reshaped are no longer in the window.
    const int usable = std::max(count - 1, 0);
    if (reshaped) recordCount_ = 0;
    if (recordCount_ > usable) recordCount_ = usable;
    if (activeRecord_ >= std::max(recordCount_, 1)) activeRecord_ = std::max(recordCount_ - 1, 0);
    if (reshaped || currentRecord_ >= recordCount_) currentRecord_ = -1;
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::UpdateBufferCount() {
    if (!internalOpenComplete_) return;
    int largest = 1;
    for (const TDataSource* source : dataSources_)
        for (const TDataLink* link : source->dataLinks_) largest = std::max(largest, link->bufferCount_);
    SetBufferCount(largest);
}

void TDataSet::SetBufferCount(int count) {
    if (count == bufferCount_) return;
    if (recordCount_ > count) {
        // Drop records from the front so that the active one stays in the smaller window.
        const int dropped = std::max(activeRecord_ - count + 1, 0);
        if (dropped > 0) {
            std::rotate(buffers_.begin(), buffers_.begin() + dropped, buffers_.begin() + recordCount_);
            recordCount_ -= dropped;
            activeRecord_ -= dropped;
            currentRecord_ = currentRecord_ >= dropped ? currentRecord_ - dropped : -1;
            AdjustLinkWindows(-dropped);
        }
        recordCount_ = std::min(recordCount_, count);
        if (currentRecord_ >= recordCount_) currentRecord_ = -1;
    }
    SetBufListSize(count + 1);
    bufferCount_ = count;
    GetNextRecords();
    AdjustLinkWindows(GetPriorRecords());
}

void TDataSet::AdjustLinkWindows(int delta) {
    if (delta == 0) return;
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->dataLinks_)
            if (link->active_) link->firstRecord_ = std::max(link->firstRecord_ + delta, 0);
}

void TDataSet::MoveBuffer(int from, int to) {
    if (from == to) return;
    const auto b = buffers_.begin();
    if (from < to)
        std::rotate(b + from, b + from + 1, b + to + 1);
    else
        std::rotate(b + to, b + from, b + from + 1);
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) return;
    const TRecordBuffer buffer = buffers_[static_cast<std::size_t>(index)].data();
    switch (GetBookmarkFlag(buffer)) {
        case bfCurrent:
        case bfInserted:
            InternalSetToRecord(buffer);
            break;
        case bfBOF:
            InternalFirst();
            break;
        case bfEOF:
            InternalLast();
            break;
    }
    currentRecord_ = index;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

bool TDataSet::GetNextRecord() {
    TGetMode mode = gmNext;
    if (recordCount_ > 0) {
        SetCurrentRecord(recordCount_ - 1);
        // A record inserted at the end of the window has put the cursor on the record that follows it.
        if (state_ == dsInsert && currentRecord_ == activeRecord_ &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            mode = gmCurrent;
    }
    if (GetRecord(buffers_[static_cast<std::size_t>(recordCount_)].data(), mode, true) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0)
        ActivateBuffers();
    else if (recordCount_ < bufferCount_)
        ++recordCount_;
    else
        MoveBuffer(0, recordCount_);
    currentRecord_ = recordCount_ - 1;
    return true;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    if (GetRecord(buffers_[static_cast<std::size_t>(recordCount_)].data(), gmPrior, true) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
    } else {
        MoveBuffer(recordCount_, 0);
        if (recordCount_ < bufferCount_) {
            ++recordCount_;
            ++activeRecord_;
        }
    }
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords() {
    int count = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++count;
    return count;
}

int TDataSet::GetPriorRecords() {
    int count = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++count;
    return count;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

// Navigation.

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        // How far the buffers moved: a fetch into a full window shifts every record by one.
        int scrolled = 0;
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    const bool full = recordCount_ >= bufferCount_;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    if (full)
                        --scrolled;
                    else
                        activeRecord_ = recordCount_ - 1;
                }
                --distance;
                ++moved;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    const bool full = recordCount_ >= bufferCount_;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    if (full)
                        ++scrolled;
                    else
                        activeRecord_ = 0;
                }
                ++distance;
                --moved;
            }
        } catch (...) {
            DataEvent(deDataSetScroll, {.Distance = scrolled});
            throw;
        }
        DataEvent(deDataSetScroll, {.Distance = scrolled});
        DoAfterScroll();
    }
    return moved;
}

void TDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    const int current = RecNo();
    if (current > 0 && value != current) MoveBy(value - current);
}

bool TDataSet::BookmarkAvailable() {
    return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
           GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::Bookmark() {
    TBookmark bookmark;
    if (BookmarkAvailable() && bookmarkSize_ > 0) {
        bookmark.resize(bookmarkSize_);
        GetBookmarkData(ActiveBuffer(), bookmark.data());
    }
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    // A bookmark of another layout (another dataset, another index) would be read past its end.
    if (bookmark.size() != bookmarkSize_) DatabaseError(kRecordChanged);
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.data());
    Resync(rmExact | rmCenter);
    DoAfterScroll();
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    UpdateCursorPos();
    InternalRefresh();
    Resync(0);
}

void TDataSet::Resync(TResyncMode mode) {
    if (buffers_.empty()) return;  // closed: no window to read
    const TRecordBuffer spare = buffers_[static_cast<std::size_t>(recordCount_)].data();
    if ((mode & rmExact) != 0) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(kRecordChanged);
    } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int before = (mode & rmCenter) != 0 ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (before > 0 && GetPriorRecord()) --before;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_)
                Post();
            else
                Cancel();
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::UpdateRecord() {
    if (!IsEditMode(state_)) DatabaseError(kNotEditing);
    DataEvent(deUpdateRecord);
}

// Editing.

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    Notify(BeforeEdit);
    UpdateCursorPos();
    InternalEdit();
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    Notify(AfterEdit);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    Notify(BeforeInsert);
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        // The new record is abandoned: the window shows the records as before the insert.
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    Notify(AfterInsert);
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    const TBookmark oldCurrent = Bookmark();
    MoveBuffer(recordCount_, activeRecord_);
    CursorPosChanged();
    const TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (recordCount_ == 0 || oldCurrent.empty())
        SetBookmarkFlag(buffer, bfBOF);
    else
        SetBookmarkData(buffer, oldCurrent.data());
    if (recordCount_ < bufferCount_) ++recordCount_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    const TRecordBuffer buffer = buffers_[0].data();
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    recordCount_ = 1;
    bof_ = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Post() {
    UpdateRecord();
    switch (state_) {
        case dsEdit:
        case dsInsert:
            DataEvent(deCheckBrowseMode);
            Notify(BeforePost);
            CheckRequiredFields();
            UpdateCursorPos();
            InternalPost();
            FreeFieldBuffers();
            SetState(dsBrowse);
            Resync(0);
            Notify(AfterPost);
            break;
        default:
            break;
    }
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    Notify(BeforeCancel);
    const bool wasInsert = state_ == dsInsert;
    if (wasInsert) DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    Notify(AfterCancel);
    if (wasInsert) DoAfterScroll();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0) DatabaseError(kDataSetEmpty);
    CheckCanModify();
    DataEvent(deCheckBrowseMode);
    Notify(BeforeDelete);
    DoBeforeScroll();
    UpdateCursorPos();
    InternalDelete();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    Notify(AfterDelete);
    DoAfterScroll();
}

void TDataSet::ClearFields() {
    if (!IsEditMode(state_)) DatabaseError(kNotEditing);
    DataEvent(deCheckBrowseMode);
    FreeFieldBuffers();
    InternalInitRecord(ActiveBuffer());
    if (state_ != dsSetKey) GetCalcFields(ActiveBuffer());
    DataEvent(deRecordChange);
}

void TDataSet::SetFields(const std::vector<rtl::Variant>& values) {
    if (!IsEditMode(state_)) DatabaseError(kNotEditing);
    const std::size_t count = std::min(values.size(), static_cast<std::size_t>(fields_.Count()));
    DisableControls();
    try {
        for (std::size_t i = 0; i < count; ++i)
            if (!values[i].IsEmpty()) fields_[static_cast<int>(i)].SetValue(values[i]);
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TDataSet::InsertRecord(const std::vector<rtl::Variant>& values) {
    Insert();
    SetFields(values);
    Post();
}

void TDataSet::AppendRecord(const std::vector<rtl::Variant>& values) {
    Append();
    SetFields(values);
    Post();
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fields_) {
        // The cursor numbers an autoincrement field itself.
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->DataType() != ftAutoInc &&
            f->IsNull()) {
            f->FocusControl();
            DatabaseErrorFmt(kFieldRequired, {f->DisplayName()});
        }
    }
}

void TDataSet::FreeFieldBuffers() {
    for (TField* f : fields_) f->FreeBuffers();
}

// Controls.

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ > 0) return;
    if (disableState_ != state_) DataEvent(deUpdateState);
    if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_);
}

// Fields.

std::vector<std::string> TDataSet::GetFieldNames() {
    std::vector<std::string> names;
    if (fields_.Count() > 0) {
        for (const TField* f : fields_) names.push_back(f->FieldName());
    } else {
        fieldDefs_.Update();
        for (int i = 0; i < fieldDefs_.Count(); ++i) names.push_back(fieldDefs_[i].Name());
    }
    return names;
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view fieldNames) const {
    std::vector<TField*> list;
    for (const std::string& name : SplitFieldNames(fieldNames)) list.push_back(&FieldByName(name));
    return list;
}

rtl::Variant TDataSet::FieldValues(std::string_view fieldNames) const {
    if (fieldNames.find(';') == std::string_view::npos) return FieldByName(rtl::Trim(fieldNames)).Value();
    std::vector<rtl::Variant> values;
    for (const TField* f : GetFieldList(fieldNames)) values.push_back(f->Value());
    return rtl::VarArrayOf(std::move(values));
}

void TDataSet::SetFieldValues(std::string_view fieldNames, const rtl::Variant& value) {
    if (fieldNames.find(';') == std::string_view::npos) {
        FieldByName(rtl::Trim(fieldNames)).SetValue(value);
        return;
    }
    const std::vector<TField*> list = GetFieldList(fieldNames);
    if (!value.IsArray() || value.ArrayLength() != list.size()) DatabaseError(kInvalidVarCast);
    for (std::size_t i = 0; i < list.size(); ++i) list[i]->SetValue(value[i]);
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) fieldDefs_[i].CreateField(this, *this);
}

void TDataSet::DestroyFields() {
    fields_.Clear();
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    internalCalcFields_ = false;
    for (TField* f : fields_) {
        if (!binding) {
            f->Bind(false, 0, 0);
            continue;
        }
        if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
            f->Bind(true, -1, calcFieldsSize_);
            calcFieldsSize_ += f->DataSize() + 1;  // a not-null byte, then the value
            continue;
        }
        const TFieldDef& def = fieldDefs_.Find(f->FieldName());
        if (!FieldServesDef(*f, def)) DatabaseErrorFmt(kFieldTypeMismatch, {f->DisplayName()});
        if (def.InternalCalcField()) internalCalcFields_ = true;
        f->Bind(true, def.FieldNo(), 0);
    }
}

bool TDataSet::GetFieldData(TField* field, void* buffer, bool nativeFormat) {
    if (nativeFormat || buffer == nullptr) return GetFieldData(field, buffer);
    std::vector<std::byte> native(field->DataSize());
    const bool hasValue = GetFieldData(field, native.data());
    if (hasValue) DataConvert(field, native.data(), buffer, false);
    return hasValue;
}

void TDataSet::SetFieldData(TField* field, const void* buffer, bool nativeFormat) {
    if (nativeFormat || buffer == nullptr) {
        SetFieldData(field, buffer);
        return;
    }
    std::vector<std::byte> native(field->DataSize());
    DataConvert(field, buffer, native.data(), true);
    SetFieldData(field, native.data());
}

void TDataSet::DataConvert(TField* field, const void* source, void* destination, bool) {
    std::memcpy(destination, source, field->DataSize());
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    if (calcFieldsSize_ == 0 && !internalCalcFields_) return;
    TempState calculating(*this, dsCalcFields);
    CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
    calcBuffer_ = buffer;
    ClearCalcFields(buffer);
    for (TField* f : fields_)
        if (f->FieldKind() == fkLookup) f->CalcLookupValue();
    Notify(OnCalcFields);
}

void TDataSet::UpdateCalcFields() {
    if (state_ == dsSetKey || !autoCalcFields_ || (calcFieldsSize_ == 0 && !internalCalcFields_)) return;
    if (ActiveBuffer() != nullptr) GetCalcFields(ActiveBuffer());
}

rtl::Variant TDataSet::GetStateFieldValue(TDataSetState state, TField* field) {
    if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc) return rtl::Variant::Null();
    TempState reading(*this, state);
    return field->Value();
}

void TDataSet::SetStateFieldValue(TDataSetState state, TField* field, const rtl::Variant& value) {
    TempState writing(*this, state);
    field->SetValue(value);
}

// Events and links.

void TDataSet::SetState(TDataSetState state) {
    if (state_ == state) return;
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState);
}

void TDataSet::DataEvent(TDataEvent event, const TDataEventInfo& info) {
    if (tempStateDepth_ > 0) return;
    switch (event) {
        case deFieldChange:
            if (info.Field != nullptr &&
                (info.Field->FieldKind() == fkData || info.Field->FieldKind() == fkInternalCalc))
                modified_ = true;
            UpdateCalcFields();
            if (info.Field != nullptr) info.Field->Change();
            break;
        case dePropertyChange:
            fieldDefs_.SetUpdated(false);
            break;
        default:
            break;
    }
    if (disableCount_ > 0) {
        if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange)
            enableEvent_ = deLayoutChange;
        return;
    }
    // A copy: a source's handler may detach sources.
    const std::vector<TDataSource*> sources = dataSources_;
    for (TDataSource* source : sources)
        if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end())
            source->DataEvent(event, info);
}

void TDataSet::AddDataSource(TDataSource* source) {
    dataSources_.push_back(source);
    source->dataSet_ = this;
    UpdateBufferCount();
    source->UpdateState();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    source->dataSet_ = nullptr;
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
    source->UpdateState();
    UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(const TDataSource* dataSource) {
    std::vector<const TDataSource*> seen;  // a chain that loops back on itself ends the walk
    while (dataSource != nullptr) {
        if (std::find(seen.begin(), seen.end(), dataSource) != seen.end()) return false;
        seen.push_back(dataSource);
        TDataSet* dataSet = dataSource->DataSet();
        if (dataSet == nullptr) return false;
        if (dataSet == this) return true;
        dataSource = dataSet->GetDataSource();
    }
    return false;
}

// Defaults of the hooks.

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::ClearCalcFields(TRecordBuffer) {}
void TDataSet::InternalRefresh() {}
void TDataSet::InternalEdit() {}
void TDataSet::InternalInsert() {}
void TDataSet::InternalCancel() {}
void TDataSet::CloseBlob(TField*) {}

void TDataSet::InternalHandleException(std::exception_ptr error) {
    rtl::HandleException(std::move(error));
}

void TDataSet::DoOnNewRecord() {
    Notify(OnNewRecord);
}

bool TDataSet::GetCanModify() {
    return true;
}

int TDataSet::GetRecordCount() {
    return -1;
}

int TDataSet::GetRecNo() {
    return -1;
}

TDataSource* TDataSet::GetDataSource() {
    return nullptr;
}

bool TDataSet::GetIsIndexField(TField*) {
    return false;
}

bool TDataSet::FindRecord(bool, bool) {
    return false;
}

bool TDataSet::Locate(std::string_view, const rtl::Variant&, TLocateOptions) {
    return false;
}

rtl::Variant TDataSet::Lookup(std::string_view, const rtl::Variant&, std::string_view) {
    return rtl::Variant::Null();
}

bool TDataSet::FindFirst() {
    return FindRecord(true, true);
}

bool TDataSet::FindLast() {
    return FindRecord(true, false);
}

bool TDataSet::FindNext() {
    return FindRecord(false, true);
}

bool TDataSet::FindPrior() {
    return FindRecord(false, false);
}

void TDataSet::SetFiltered(bool value) {
    filtered_ = value;
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
    filterOptions_ = options;
}

void TDataSet::SetFilterText(std::string text) {
    filterText_ = std::move(text);
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    onFilterRecord_ = std::move(handler);
}

std::unique_ptr<rtl::TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) {
    return nullptr;
}

bool TDataSet::GetCurrentRecord(TRecordBuffer) {
    return false;
}

std::string TDataSet::Translate(std::string_view source, bool) {
    return std::string(source);
}

bool TDataSet::BookmarkValid(const std::byte*) {
    return false;
}

int TDataSet::CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) {
    if (bookmark1 == nullptr && bookmark2 == nullptr) return 0;
    if (bookmark1 == nullptr) return 1;
    if (bookmark2 == nullptr) return -1;
    return 0;
}

int TDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
    return CompareBookmarks(bookmark1.empty() ? nullptr : bookmark1.data(),
                            bookmark2.empty() ? nullptr : bookmark2.data());
}

// Checks.

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) DatabaseError(kDataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (Active()) DatabaseError(kDataSetOpen);
}

void TDataSet::CheckCanModify() {
    if (!CanModify()) DatabaseError(kDataSetReadOnly);
}

void TDataSet::Notify(const TDataSetNotifyEvent& event) {
    if (event) event(*this);
}

void TDataSet::DoBeforeScroll() {
    Notify(BeforeScroll);
}

void TDataSet::DoAfterScroll() {
    Notify(AfterScroll);
}

}  // namespace db
