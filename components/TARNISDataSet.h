// TTARNISDataSet: the dataset over one open engine table handle: record buffers, navigation, bookmarks,
// editing, the field definitions read from the engine's descriptors, and (TARNISDataSetSelection.cpp) the
// current index, key buffers and ranges, filters, searches and lookups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "components/KeyBuffer.h"
#include "db/DataSet.h"
#include "engine/records/FieldDesc.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "rtl/Variant.h"

namespace components {

// Layout of one record buffer (sizes in bytes; all offsets size_t, since an engine image of up to 65,535
// bytes plus the calculated area and a key of up to 1,040 bytes outgrow 16 bits):
//
// | offset                 | size            | content                                                   |
// |------------------------|-----------------|-----------------------------------------------------------|
// | 0                      | record size     | the engine's record image, its calculated area included   |
// | record size            | CalcFieldsSize  | per calculated or lookup field at its Offset: a not-null  |
// |                        |                 | byte (1 has a value), then the value in its DataSize      |
// | record-info offset     | 8               | i32 record number (-1 for a new record), u8 bookmark flag |
// |                        |                 | (0 current, 1 before first, 2 after last, 3 inserted)     |
// | record-info offset + 8 | BookmarkSize    | the engine's bookmark of the record (GetKeySize bytes)     |
//
// Descendants provide the open handle (CreateHandle); the record layout, field definitions and bookmark
// size are rebuilt at each open, and the layout and bookmark size again at each index switch.
//
// Filters: the Filter text becomes an engine filter (the expression filter) and OnFilterRecord an engine
// record callback (the function filter). Both live in the handle's filter list from open (or from their
// setting while open) until they are replaced or the dataset closes, and are active only while Filtered is
// on. While closed, the filter setters only store their values; the open builds the filters from them.
class TTARNISDataSet : public db::TDataSet {
public:
    explicit TTARNISDataSet(rtl::TComponent* owner = nullptr);
    // Closes the dataset.
    ~TTARNISDataSet() override;

    // The open engine table; null while closed.
    engine::TDataFile* Handle() const noexcept { return handle_; }

    bool GetFieldData(db::TField* field, void* buffer) override;
    void SetFieldData(db::TField* field, const void* buffer) override;
    using db::TDataSet::GetFieldData;
    using db::TDataSet::SetFieldData;
    bool GetCurrentRecord(db::TRecordBuffer buffer) override;
    // True only when the record the bookmark names is still there: the engine lands on the nearest
    // following record for a deleted one, so the bookmark read after the move must equal the one given.
    bool BookmarkValid(const std::byte* bookmark) override;
    int CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) override;
    using db::TDataSet::CompareBookmarks;
    bool IsSequenced() override { return !Filtered(); }
    // A TTARNISBlobStream over a large-object field's value in the active buffer.
    std::unique_ptr<rtl::TStream> CreateBlobStream(db::TField* field, db::TBlobStreamMode mode) override;
    void SetRecNo(int value) override;
    // In the set-key state, the key buffer being edited is kept (Post) or restored (Cancel) as well.
    void Post() override;
    void Cancel() override;

    // ---- Filters ----
    // Replaces the expression filter when the text or the options differ from those stored (an empty text
    // drops it), then stores both; a filtered dataset goes to its first record. A text that does not parse
    // raises, and the filter in place stays.
    void SetFilterData(const std::string& text, db::TFilterOptions options);
    void SetFiltered(bool value) override;
    void SetFilterOptions(db::TFilterOptions options) override;
    void SetOnFilterRecord(db::TFilterRecordEvent handler) override;

    // ---- Searches ----
    // One field takes one value (or an array of one); several fields an array of as many values, else
    // rtl::EVariantError before anything moves. Fields that lead the current index (with its letter-case
    // rule) are searched through it, others through the lookup cursor or, without one, by a scan with a
    // temporary filter. Not found leaves the active record where it was.
    bool Locate(std::string_view keyFields, const rtl::Variant& keyValues, db::TLocateOptions options) override;
    // Null when no record matches; else the value of the result field, or an array for several. The active
    // record does not move.
    rtl::Variant Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                        std::string_view resultFields) override;

    // The six key buffers.
    enum TKeyIndex : std::size_t {
        kiLookup,
        kiRangeStart,
        kiRangeEnd,
        kiCurRangeStart,  // the range last given to the engine
        kiCurRangeEnd,
        kiSave,
        kiCount
    };

    // ---- The current index ----
    int IndexFieldCount() const noexcept { return indexFieldCount_; }
    std::size_t KeySize() const noexcept { return keySize_; }
    bool CaseInsensitiveIndex() const noexcept { return caseInsensitiveIndex_; }
    // The field of the position in the current index: "Field index out of range" for a position outside
    // it, "Cannot access index field '%s'" for a key field without a field component.
    db::TField& GetIndexField(int index);
    void SetIndexField(int index, const db::TField& value);

    // The layout of the present open.
    std::size_t RecordSize() const noexcept { return recordSize_; }
    std::size_t RecInfoOffset() const noexcept { return recInfoOffset_; }
    std::size_t BookmarkOffset() const noexcept { return bookmarkOffset_; }
    std::size_t BufferSize() const noexcept { return bufferSize_; }

protected:
    // An open handle for the dataset, or null; the dataset frees it in DestroyHandle unless the SQL engine
    // keeps it (QueryOwned).
    virtual engine::TDataFile* CreateHandle() { return nullptr; }
    // Closes and frees the handle, except one the SQL engine keeps; tolerates a half-opened handle.
    virtual void DestroyHandle();
    // Called at the end of the cursor set-up of InternalOpen.
    virtual void PrepareCursor() {}
    // Adds the definition of one engine field; a type with no framework type is skipped.
    void AddFieldDesc(const engine::TFieldDesc& desc, bool required, int fieldNo);

    // Searches on another index than the current one: a second handle on the table for the key fields and
    // letter-case rule, or null (here always: a dataset has none of its own).
    virtual engine::TDataFile* GetLookupCursor(std::string_view keyFields, bool caseInsensitive);
    virtual void DestroyLookupCursor() {}

    // ---- The current index ----
    // Reads the index information of the handle's current index (none in natural order or on a handle the
    // SQL engine owns).
    void GetIndexInfo();
    // Switches the handle to the named index (without regard to case), keeping the record, and lays the
    // record buffers out for the new bookmark size. An unknown name raises the engine's 10022 and changes
    // nothing; a switch that fails after the engine moved to the new index closes the dataset and raises.
    // The caller reads the window again (Resync).
    void SwitchToIndex(std::string_view indexName);
    // Whether the fields lead the current index, in order, and its letter-case rule is the one asked for.
    bool MapsToIndex(const std::vector<db::TField*>& fields, bool caseInsensitive) const;
    bool GetIsIndexField(db::TField* field) override;

    // ---- Key buffers and ranges ----
    TKeyBuffer& KeyBuffer(TKeyIndex index) { return keyBuffers_[index]; }
    // Empties the key buffer (header and image) and gives its image the fields' defaults.
    TKeyBuffer& InitKeyBuffer(TKeyBuffer& buffer);
    // The range-start key from the master fields' values, given in order to the index fields; the range end
    // is the same key.
    void SetLinkRanges(const std::vector<db::TField*>& masterFields);
    // Gives the range keys to the engine unless they are the range in force; true when it did.
    bool SetCursorRange();
    // Cancels the range in force; true when there was one.
    bool ResetCursorRange();
    // Ends the set-key state: commit keeps the key edited (modified when a field changed), else the saved
    // key comes back.
    void PostKeyBuffer(bool commit);

    // ---- Filters ----
    // Activate the expression filter, then the function filter; all or nothing.
    void ActivateFilters();
    // Deactivate the function filter, then the expression filter.
    void DeactivateFilters();
    engine::TFilter* CreateExprFilter(const std::string& text, db::TFilterOptions options);
    engine::TFilter* CreateFuncFilter();
    // Puts the new handle (or none) in place of the one in the variable, the old one dropped.
    void SetFilterHandle(engine::TFilter*& variable, engine::TFilter* handle);
    // A filter keeping the records whose fields equal the values; not active.
    engine::TFilter* CreateLookupFilter(const std::vector<db::TField*>& fields,
                                        const std::vector<rtl::Variant>& values, db::TLocateOptions options);
    void SetFilterText(std::string text) override;

    // ---- Searches ----
    bool FindRecord(bool restart, bool goForward) override;
    // Finds the record into the temporary buffer; with syncCursor the handle ends on it.
    bool LocateRecord(std::string_view keyFields, const rtl::Variant& keyValues, db::TLocateOptions options,
                      bool syncCursor);

    // The buffer field access uses in the present state; null when there is none.
    db::TRecordBuffer GetActiveRecBuf();
    // The current record as stored, read into the old-value buffer.
    db::TRecordBuffer GetOldRecord();

    // Hooks of the framework.
    std::size_t GetRecordBufferSize() override { return bufferSize_; }
    std::size_t GetRecordSize() override { return recordSize_; }
    db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    void InternalInitRecord(db::TRecordBuffer buffer) override;
    void InitRecord(db::TRecordBuffer buffer) override;
    void ClearCalcFields(db::TRecordBuffer buffer) override;
    void GetBookmarkData(db::TRecordBuffer buffer, std::byte* data) override;
    void SetBookmarkData(db::TRecordBuffer buffer, const std::byte* data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
    void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    void OpenCursor(bool infoQuery) override;
    void CloseCursor() override;
    bool IsCursorOpen() override { return handle_ != nullptr; }
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalGotoBookmark(const std::byte* bookmark) override;
    void InternalSetToRecord(db::TRecordBuffer buffer) override;
    void InternalRefresh() override;
    void InternalEdit() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalDelete() override;
    void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
    bool GetCanModify() override { return canModify_; }
    int GetRecordCount() override;
    int GetRecNo() override;
    void SetStateFieldValue(db::TDataSetState state, db::TField* field, const rtl::Variant& value) override;
    void CloseBlob(db::TField* field) override;
    void DataConvert(db::TField* field, const void* source, void* destination, bool toNative) override;

    // Field reads in the filter state come from here (set while a record filter runs).
    db::TRecordBuffer filterBuffer_ = nullptr;

private:
    friend class TTARNISBlobStream;
    class StateScope;
    class SearchFilters;

    std::span<std::uint8_t> Image(db::TRecordBuffer buffer) const;
    std::span<std::uint8_t> BookmarkSpan(std::byte* bookmark) const;
    std::span<const std::uint8_t> BookmarkSpan(const std::byte* bookmark) const;
    std::int32_t RecordNumber(db::TRecordBuffer buffer) const;
    void SetRecordNumber(db::TRecordBuffer buffer, std::int32_t number) const;
    void CheckResult(std::uint16_t code) const;
    // Step 1 of the open: the image size and bookmark size of the handle; and the buffer layout from them.
    void ReadRecordSizes();
    void LayoutRecord();
    void AllocKeyBuffers();
    void FreeKeyBuffers();
    // After a failure that leaves the handle and the buffers apart: closed, the failure passed on.
    [[noreturn]] void CloseAfterFailure(std::exception_ptr failure);
    // Deactivates the filters, ignoring what fails: the clean-up of a search that failed.
    void DeactivateFiltersQuietly() noexcept;
    // Where the handle's record lies from the one the bookmark names: 1 after it, -1 before it, 0 the same
    // record or none.
    int CursorMoved(std::span<const std::uint8_t> bookmark);
    // The values for the key fields, one per field (see Locate).
    static std::vector<rtl::Variant> KeyValueList(std::size_t fieldCount, const rtl::Variant& keyValues);
    // The fields' names as a key field list ("A;B").
    static std::string FieldNameList(const std::vector<db::TField*>& fields);
    // The engine's record callback of the function filter: the dataset is the client data.
    static bool RecordFilter(void* clientData, const std::uint8_t* image, engine::SlotNumber recordNumber);

    engine::TDataFile* handle_ = nullptr;
    engine::TFilter* exprFilter_ = nullptr;
    engine::TFilter* funcFilter_ = nullptr;
    // The current index: its key field numbers, count, key length and letter-case rule.
    std::array<std::uint16_t, engine::MaxIndexFields> indexFieldMap_{};
    int indexFieldCount_ = 0;
    std::size_t keySize_ = 0;
    bool caseInsensitiveIndex_ = false;
    std::array<TKeyBuffer, kiCount> keyBuffers_;
    // The key buffer being edited in the set-key state.
    TKeyBuffer* keyBuffer_ = nullptr;
    // Where the function filter's handler reads the record the engine evaluates: a copy, so that nothing
    // it does reaches the engine's cached image.
    std::vector<std::byte> filterRecord_;
    int filterDepth_ = 0;
    bool canModify_ = false;
    std::size_t recordSize_ = 0;
    std::size_t recInfoOffset_ = 0;
    std::size_t bookmarkOffset_ = 0;
    std::size_t bufferSize_ = 0;
    // The stored state of the current record, for OldValue.
    std::vector<std::byte> oldValueBuffer_;
};

// The framework's field type and definition size for an engine field; ftUnknown for a field that gets no
// definition.
struct FieldDefShape {
    db::TFieldType type = db::ftUnknown;
    int size = 0;
};
FieldDefShape FieldDefShapeOf(const engine::TFieldDesc& desc) noexcept;

}  // namespace components
