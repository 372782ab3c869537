// TTARNISDataSet's current index, key buffers and ranges, filters, searches and lookups (declared in
// TARNISDataSet.h).
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "components/ExprParser.h"
#include "components/FilterExpr.h"
#include "components/TARNISDataSet.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "engine/expr/ExprNode.h"
#include "engine/index/IndexKey.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Messages.h"

namespace components {

namespace {

// The longest index name the engine takes: its short strings hold 255 characters.
constexpr std::size_t kMaxIndexNameLength = 255;
// FindKey's partial length is one byte.
constexpr std::size_t kMaxPartialLength = 255;

// A filter of the handle's list that goes again when the scope ends; Drop lets a failure of the drop pass
// on, the destructor (a failure already on its way) swallows it.
class DroppedFilter {
public:
    DroppedFilter(engine::TDataFile& table, engine::TFilter* filter) noexcept : table_(table), filter_(filter) {}
    ~DroppedFilter() {
        if (filter_ == nullptr) return;
        try {
            table_.DropFilter(filter_);
        } catch (...) {
        }
    }
    DroppedFilter(const DroppedFilter&) = delete;
    DroppedFilter& operator=(const DroppedFilter&) = delete;

    engine::TFilter* Get() const noexcept { return filter_; }
    void Drop() { table_.DropFilter(std::exchange(filter_, nullptr)); }

private:
    engine::TDataFile& table_;
    engine::TFilter* filter_;
};

// Counts a nesting level for the length of a scope.
class DepthScope {
public:
    explicit DepthScope(int& depth) noexcept : depth_(depth) { ++depth_; }
    ~DepthScope() { --depth_; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;

private:
    int& depth_;
};

}  // namespace

// The state the dataset reads its fields in while the scope lasts, with the buffer those reads use in the
// filter state; both come back when it ends, by an exception too, and no event reaches a link meanwhile.
class TTARNISDataSet::StateScope {
public:
    StateScope(TTARNISDataSet& dataSet, db::TDataSetState state, db::TRecordBuffer filterBuffer)
        : dataSet_(dataSet), state_(dataSet, state), savedFilterBuffer_(dataSet.filterBuffer_) {
        dataSet_.filterBuffer_ = filterBuffer;
    }
    ~StateScope() { dataSet_.filterBuffer_ = savedFilterBuffer_; }
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;

private:
    TTARNISDataSet& dataSet_;
    TempState state_;
    db::TRecordBuffer savedFilterBuffer_;
};

// The filters of an unfiltered dataset, active for one search: End deactivates them and lets a failure pass
// on; a search that fails leaves them inactive as well.
class TTARNISDataSet::SearchFilters {
public:
    explicit SearchFilters(TTARNISDataSet& dataSet) : dataSet_(dataSet), active_(!dataSet.Filtered()) {
        if (active_) dataSet_.ActivateFilters();
    }
    ~SearchFilters() {
        if (active_) dataSet_.DeactivateFiltersQuietly();
    }
    SearchFilters(const SearchFilters&) = delete;
    SearchFilters& operator=(const SearchFilters&) = delete;

    void End() {
        if (!std::exchange(active_, false)) return;
        dataSet_.DeactivateFilters();
    }

private:
    TTARNISDataSet& dataSet_;
    bool active_;
};

// ---- The current index ----

void TTARNISDataSet::GetIndexInfo() {
    indexFieldMap_.fill(0);
    indexFieldCount_ = 0;
    keySize_ = 0;
    caseInsensitiveIndex_ = false;
    if (handle_->QueryOwned() || handle_->IndexFile().NaturalOrder()) return;
    const engine::TIndexDescriptor desc = handle_->GetIndexDesc(handle_->GetIndexNumber());
    caseInsensitiveIndex_ = desc.CaseInsensitive != 0;
    indexFieldCount_ = std::min<int>(desc.FieldCount, engine::MaxIndexFields);
    indexFieldMap_ = desc.FieldNumbers;
    keySize_ = desc.KeyLength;
}

void TTARNISDataSet::SwitchToIndex(std::string_view indexName) {
    ResetCursorRange();
    UpdateCursorPos();
    const std::uint8_t before = handle_->GetIndexNumber();
    try {
        handle_->SetIndexName(indexName.substr(0, kMaxIndexNameLength));
    } catch (...) {
        // An unknown name changed nothing. A failure after the engine moved (while re-reading its bitmaps or
        // finding the record again) would leave the buffers sized for the old index's bookmarks.
        if (handle_->GetIndexNumber() != before) CloseAfterFailure(std::current_exception());
        throw;
    }
    keySize_ = 0;
    caseInsensitiveIndex_ = false;
    indexFieldCount_ = 0;
    SetBufListSize(0);
    ReadRecordSizes();
    LayoutRecord();
    try {
        SetBufListSize(BufferCount() + 1);
    } catch (...) {
        CloseAfterFailure(std::current_exception());
    }
    GetIndexInfo();
}

void TTARNISDataSet::CloseAfterFailure(std::exception_ptr failure) {
    // The close must not hide the failure that made it necessary.
    try {
        SetState(db::dsInactive);
    } catch (...) {
    }
    try {
        CloseCursor();
    } catch (...) {
    }
    std::rethrow_exception(failure);
}

db::TField& TTARNISDataSet::GetIndexField(int index) {
    if (index < 0 || index >= indexFieldCount_) db::DatabaseError(db::kFieldIndexError);
    const int number = indexFieldMap_[static_cast<std::size_t>(index)];
    db::TField* field = FieldByNumber(number);
    if (field != nullptr) return *field;
    std::string name = std::to_string(number);
    for (int i = 0; i < FieldDefs().Count(); ++i) {
        if (FieldDefs()[i].FieldNo() == number) {
            name = FieldDefs()[i].Name();
            break;
        }
    }
    db::DatabaseErrorFmt(db::kIndexFieldMissing, {name});
}

void TTARNISDataSet::SetIndexField(int index, const db::TField& value) {
    GetIndexField(index).Assign(value);
}

bool TTARNISDataSet::GetIsIndexField(db::TField* field) {
    const int number = field->FieldNo();
    if (number <= 0) return false;
    const auto end = indexFieldMap_.begin() + indexFieldCount_;
    return std::find(indexFieldMap_.begin(), end, number) != end;
}

bool TTARNISDataSet::MapsToIndex(const std::vector<db::TField*>& fields, bool caseInsensitive) const {
    if (caseInsensitiveIndex_ != caseInsensitive) return false;
    if (fields.size() > static_cast<std::size_t>(indexFieldCount_)) return false;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i]->FieldNo() != indexFieldMap_[i]) return false;
    return true;
}

// ---- Key buffers and ranges ----

void TTARNISDataSet::AllocKeyBuffers() {
    for (TKeyBuffer& buffer : keyBuffers_) {
        buffer.assign(recordSize_ + KeyBufferHeaderSize, 0);
        InitKeyBuffer(buffer);
    }
}

void TTARNISDataSet::FreeKeyBuffers() {
    for (TKeyBuffer& buffer : keyBuffers_) {
        buffer.clear();
        buffer.shrink_to_fit();
    }
    keyBuffer_ = nullptr;
}

TKeyBuffer& TTARNISDataSet::InitKeyBuffer(TKeyBuffer& buffer) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    handle_->InitRecord(KeyBufferImage(buffer));
    return buffer;
}

void TTARNISDataSet::SetLinkRanges(const std::vector<db::TField*>& masterFields) {
    TKeyBuffer& start = keyBuffers_[kiRangeStart];
    {
        TempState setKey(*this, db::dsSetKey);
        TKeyBuffer* const saved = std::exchange(keyBuffer_, &InitKeyBuffer(start));
        try {
            EncodeKeyBufferHeader({.Modified = true}, start);
            for (std::size_t i = 0; i < masterFields.size(); ++i)
                GetIndexField(static_cast<int>(i)).Assign(*masterFields[i]);
        } catch (...) {
            keyBuffer_ = saved;
            throw;
        }
        keyBuffer_ = saved;
        EncodeKeyBufferHeader({.Modified = true, .FieldCount = static_cast<std::int32_t>(masterFields.size())},
                              start);
    }
    keyBuffers_[kiRangeEnd] = start;
}

bool TTARNISDataSet::SetCursorRange() {
    if (keyBuffers_[kiRangeStart] == keyBuffers_[kiCurRangeStart] &&
        keyBuffers_[kiRangeEnd] == keyBuffers_[kiCurRangeEnd])
        return false;
    std::vector<std::uint8_t> keys(2 * keySize_, 0);
    const std::span<std::uint8_t> area(keys);
    const auto bound = [&](const TKeyBuffer& buffer, std::span<std::uint8_t> half) {
        if (!DecodeKeyBufferHeader(buffer).Modified) return std::span<std::uint8_t>{};
        engine::TIndexKey key;
        handle_->BuildKey(KeyBufferImage(buffer), key);
        std::copy_n(key.Bytes.begin(), std::min<std::size_t>(key.Length, half.size()), half.begin());
        return half;
    };
    const std::span<std::uint8_t> start = bound(keyBuffers_[kiRangeStart], area.first(keySize_));
    const std::span<std::uint8_t> end = bound(keyBuffers_[kiRangeEnd], area.subspan(keySize_));
    handle_->SetRange(true, start, DecodeKeyBufferHeader(keyBuffers_[kiRangeStart]).FieldCount, end,
                      DecodeKeyBufferHeader(keyBuffers_[kiRangeEnd]).FieldCount);
    keyBuffers_[kiCurRangeStart] = keyBuffers_[kiRangeStart];
    keyBuffers_[kiCurRangeEnd] = keyBuffers_[kiRangeEnd];
    DestroyLookupCursor();
    return true;
}

bool TTARNISDataSet::ResetCursorRange() {
    if (!DecodeKeyBufferHeader(keyBuffers_[kiCurRangeStart]).Modified &&
        !DecodeKeyBufferHeader(keyBuffers_[kiCurRangeEnd]).Modified)
        return false;
    handle_->CancelRange();
    InitKeyBuffer(keyBuffers_[kiCurRangeStart]);
    InitKeyBuffer(keyBuffers_[kiCurRangeEnd]);
    DestroyLookupCursor();
    return true;
}

void TTARNISDataSet::PostKeyBuffer(bool commit) {
    DataEvent(db::deCheckBrowseMode);
    if (keyBuffer_ != nullptr) {
        if (commit) {
            TKeyBufferHeader header = DecodeKeyBufferHeader(*keyBuffer_);
            header.Modified = Modified();
            EncodeKeyBufferHeader(header, *keyBuffer_);
        } else {
            *keyBuffer_ = keyBuffers_[kiSave];
        }
    }
    SetState(db::dsBrowse);
    DataEvent(db::deDataSetChange);
}

// ---- Filters ----

void TTARNISDataSet::SetFilterText(std::string text) {
    SetFilterData(text, FilterOptions());
}

void TTARNISDataSet::SetFilterOptions(db::TFilterOptions options) {
    SetFilterData(Filter(), options);
}

void TTARNISDataSet::SetFilterData(const std::string& text, db::TFilterOptions options) {
    if (Active()) {
        CheckBrowseMode();
        if (text != Filter() || options != FilterOptions())
            SetFilterHandle(exprFilter_, text.empty() ? nullptr : CreateExprFilter(text, options));
    }
    // Copies: the arguments may be the stored values themselves.
    db::TDataSet::SetFilterText(std::string(text));
    db::TDataSet::SetFilterOptions(options);
    if (Active() && Filtered()) First();
}

void TTARNISDataSet::SetFiltered(bool value) {
    if (!Active()) {
        db::TDataSet::SetFiltered(value);
        return;
    }
    CheckBrowseMode();
    if (value != Filtered()) {
        DestroyLookupCursor();
        if (value) {
            ActivateFilters();
        } else {
            DeactivateFilters();
        }
        db::TDataSet::SetFiltered(value);
    }
    First();
}

void TTARNISDataSet::SetOnFilterRecord(db::TFilterRecordEvent handler) {
    if (!Active()) {
        db::TDataSet::SetOnFilterRecord(std::move(handler));
        return;
    }
    CheckBrowseMode();
    db::TDataSet::SetOnFilterRecord(std::move(handler));
    SetFilterHandle(funcFilter_, OnFilterRecord() ? CreateFuncFilter() : nullptr);
    if (Filtered()) First();
}

void TTARNISDataSet::SetFilterHandle(engine::TFilter*& variable, engine::TFilter* handle) {
    // The variable never names a dropped filter, whatever the drop raises.
    engine::TFilter* const old = std::exchange(variable, handle);
    if (Filtered()) {
        CursorPosChanged();
        DestroyLookupCursor();
        if (old != nullptr) handle_->DropFilter(old);
        if (handle != nullptr) handle_->ActivateFilter(handle);
    } else if (old != nullptr) {
        handle_->DropFilter(old);
    }
}

void TTARNISDataSet::ActivateFilters() {
    if (exprFilter_ != nullptr && handle_->ActivateFilter(exprFilter_) != 0) {
        // A handle the engine no longer knows is made anew from the stored text.
        handle_->DropFilter(std::exchange(exprFilter_, nullptr));
        exprFilter_ = CreateExprFilter(Filter(), FilterOptions());
        CheckResult(handle_->ActivateFilter(exprFilter_));
    }
    if (funcFilter_ == nullptr) return;
    try {
        if (handle_->ActivateFilter(funcFilter_) != 0) {
            handle_->DropFilter(std::exchange(funcFilter_, nullptr));
            funcFilter_ = CreateFuncFilter();
            CheckResult(handle_->ActivateFilter(funcFilter_));
        }
    } catch (...) {
        // All or nothing: the expression filter activated above goes inactive again.
        if (exprFilter_ != nullptr) {
            try {
                handle_->DeactivateFilter(exprFilter_);
            } catch (...) {
            }
        }
        throw;
    }
}

void TTARNISDataSet::DeactivateFilters() {
    if (funcFilter_ != nullptr) CheckResult(handle_->DeactivateFilter(funcFilter_));
    if (exprFilter_ != nullptr) CheckResult(handle_->DeactivateFilter(exprFilter_));
}

void TTARNISDataSet::DeactivateFiltersQuietly() noexcept {
    for (engine::TFilter* filter : {funcFilter_, exprFilter_}) {
        if (filter == nullptr) continue;
        try {
            handle_->DeactivateFilter(filter);
        } catch (...) {
        }
    }
}

engine::TFilter* TTARNISDataSet::CreateExprFilter(const std::string& text, db::TFilterOptions options) {
    const TExprParser parser(*this, text, options);
    engine::TFilter* filter = nullptr;
    CheckResult(handle_->AddFilter(nullptr, parser.Blob(), filter, false, nullptr, false, nullptr));
    return filter;
}

engine::TFilter* TTARNISDataSet::CreateFuncFilter() {
    engine::TFilter* filter = nullptr;
    CheckResult(handle_->AddFilter(this, {}, filter, false, &TTARNISDataSet::RecordFilter, false, nullptr));
    return filter;
}

bool TTARNISDataSet::RecordFilter(void* clientData, const std::uint8_t* image, engine::SlotNumber) {
    auto& dataSet = *static_cast<TTARNISDataSet*>(clientData);
    bool accept = true;
    try {
        // A handler that reads records of this dataset again (its record count) nests: its copy is its own.
        std::vector<std::byte> nested;
        std::vector<std::byte>& record = dataSet.filterDepth_ == 0 ? dataSet.filterRecord_ : nested;
        const DepthScope depth(dataSet.filterDepth_);
        const auto* bytes = reinterpret_cast<const std::byte*>(image);
        record.assign(bytes, bytes + dataSet.recordSize_);
        const StateScope filtering(dataSet, db::dsFilter, record.data());
        if (dataSet.OnFilterRecord()) dataSet.OnFilterRecord()(dataSet, accept);
    } catch (...) {
        // Nothing may unwind into the engine: the record keeps the answer given before the failure.
        rtl::HandleException(std::current_exception());
    }
    return accept;
}

engine::TFilter* TTARNISDataSet::CreateLookupFilter(const std::vector<db::TField*>& fields,
                                                    const std::vector<rtl::Variant>& values,
                                                    db::TLocateOptions options) {
    TFilterExpr expr(*this, (options & db::loCaseInsensitive) != 0 ? db::foCaseInsensitive | db::foNoPartialCompare
                                                                    : db::foNoPartialCompare);
    TFilterParseNode* root = nullptr;
    TFilterParseNode* last = nullptr;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        last = expr.NewFieldCompare(*fields[i], engine::opEqual, values[i]);
        root = root == nullptr ? last : expr.NewNode(nkOperator, engine::opAnd, {}, root, last);
    }
    if ((options & db::loPartialKey) != 0) last->Partial = 1;
    engine::TFilter* filter = nullptr;
    CheckResult(handle_->AddFilter(nullptr, expr.BuildBlob(*root), filter, false, nullptr, false, nullptr));
    return filter;
}

// ---- Searches ----

bool TTARNISDataSet::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    // Activating the filters finds the record again, and one they hide gives way to the nearest one they
    // keep, after it or (none after it) before it: a search that starts from a hidden record takes that one
    // when it lies in the search's direction, instead of stepping past it.
    std::vector<std::uint8_t> from;
    if (!restart && handle_->GetCurrentRecord({}, false) == 0) {
        from.resize(handle_->GetKeySize());
        handle_->GetBookmark(from);
    }
    std::uint16_t result = 0;
    {
        SearchFilters filters(*this);
        const int moved = from.empty() ? 0 : CursorMoved(from);
        if (goForward) {
            if (restart) handle_->SetToBegin();
            result = moved > 0 ? 0 : handle_->GetNextRecord();
        } else {
            if (restart) handle_->SetToEnd();
            result = moved < 0 ? 0 : handle_->GetPriorRecord();
        }
        filters.End();
    }
    if (result == 0) {
        Resync(db::rmExact | db::rmCenter);
        SetFound(true);
    }
    if (Found()) DoAfterScroll();
    return Found();
}

int TTARNISDataSet::CursorMoved(std::span<const std::uint8_t> bookmark) {
    if (handle_->GetCurrentRecord({}, false) != 0) return 0;
    std::vector<std::uint8_t> current(handle_->GetKeySize());
    handle_->GetBookmark(current);
    return handle_->CompareBookmarks(current, bookmark);
}

std::string TTARNISDataSet::FieldNameList(const std::vector<db::TField*>& fields) {
    std::string names;
    for (const db::TField* field : fields) names += (names.empty() ? "" : ";") + field->FieldName();
    return names;
}

std::vector<rtl::Variant> TTARNISDataSet::KeyValueList(std::size_t fieldCount, const rtl::Variant& keyValues) {
    if (fieldCount == 1 && !keyValues.IsArray()) return {keyValues};
    if (!keyValues.IsArray() || keyValues.ArrayLength() != fieldCount)
        throw rtl::EVariantError(std::string(rtl::kInvalidVariantConversion));
    return keyValues.Items();
}

bool TTARNISDataSet::LocateRecord(std::string_view keyFields, const rtl::Variant& keyValues,
                                  db::TLocateOptions options, bool syncCursor) {
    CheckBrowseMode();
    std::vector<db::TField*> fields = GetFieldList(keyFields);
    if (fields.empty()) return false;
    std::vector<rtl::Variant> values = KeyValueList(fields.size(), keyValues);
    std::string searchFields(keyFields);
    if ((options & db::loPartialKey) != 0 && fields.back()->DataType() == db::ftString &&
        !values.back().IsNull() && rtl::VarToStr(values.back()).empty()) {
        // Every text starts with the empty one: the field asks nothing, whether an index or a scan answers.
        fields.pop_back();
        values.pop_back();
        searchFields = FieldNameList(fields);
        options &= ~db::loPartialKey;
    }
    CursorPosChanged();
    const db::TRecordBuffer buffer = TempBuffer();
    if (fields.empty()) {
        handle_->SetToBegin();
        return handle_->GetNextRecord(Image(buffer)) == 0;
    }
    const bool caseInsensitive = (options & db::loCaseInsensitive) != 0;
    engine::TDataFile* cursor =
        MapsToIndex(fields, caseInsensitive) ? handle_ : GetLookupCursor(searchFields, caseInsensitive);
    if (cursor == nullptr) {
        // No index serves: a scan from the first record under a filter of the key values.
        handle_->SetToBegin();
        DroppedFilter lookup(*handle_, CreateLookupFilter(fields, values, options));
        handle_->ActivateFilter(lookup.Get());
        const bool found = handle_->GetNextRecord(Image(buffer)) == 0;
        lookup.Drop();
        return found;
    }
    const StateScope filtering(*this, db::dsFilter, buffer);
    handle_->InitRecord(Image(buffer));
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(values[i]);
    int fieldCount = static_cast<int>(fields.size());
    std::size_t partialLength = 0;
    if ((options & db::loPartialKey) != 0 && fields.back()->DataType() == db::ftString) {
        --fieldCount;
        partialLength = std::min(fields.back()->AsString().size(), kMaxPartialLength);
    }
    if (cursor != handle_) cursor->Refresh();
    const bool found = cursor->FindKey(false, Image(buffer), fieldCount, false,
                                       static_cast<std::uint8_t>(partialLength), Image(buffer));
    if (found && syncCursor && cursor != handle_) CheckResult(handle_->GotoCurrent(*cursor));
    return found;
}

bool TTARNISDataSet::Locate(std::string_view keyFields, const rtl::Variant& keyValues,
                            db::TLocateOptions options) {
    DoBeforeScroll();
    const bool found = LocateRecord(keyFields, keyValues, options, true);
    if (found) {
        Resync(db::rmExact | db::rmCenter);
        DoAfterScroll();
    }
    return found;
}

rtl::Variant TTARNISDataSet::Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                                    std::string_view resultFields) {
    if (!LocateRecord(keyFields, keyValues, 0, false)) return rtl::Variant::Null();
    const TempState calculating(*this, db::dsCalcFields);
    CalculateFields(TempBuffer());
    return FieldValues(resultFields);
}

engine::TDataFile* TTARNISDataSet::GetLookupCursor(std::string_view, bool) {
    return nullptr;
}

}  // namespace components
