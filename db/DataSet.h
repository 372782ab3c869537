// TDataSet: the abstract dataset, a window of record buffers over a cursor that its descendants implement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/FieldDefs.h"
#include "db/Fields.h"
#include "rtl/Component.h"
#include "rtl/Stream.h"
#include "rtl/Variant.h"

namespace db {

class TDataSource;
class TDataLink;
class TField;

enum TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening,
};

// What a dataset tells its data sources and, through them, their links.
enum TDataEvent {
    deFieldChange,      // Field: the field whose value changed
    deRecordChange,     // the current record's values changed (editing began, fields cleared)
    deDataSetChange,    // the records in the window changed
    deDataSetScroll,    // Distance: how far the buffers moved (negative when they moved towards the start)
    deLayoutChange,     // the fields changed
    deUpdateRecord,     // controls are to put their pending input into the fields
    deUpdateState,      // the dataset's state changed
    deCheckBrowseMode,  // the dataset is about to leave editing or move
    dePropertyChange,   // a property the field or index definitions depend on changed
    deFieldListChange,  // fields were added or removed
    deFocusControl,     // FocusField: a control bound to *FocusField is to take the focus (and clear it)
};

struct TDataEventInfo {
    TField* Field = nullptr;
    int Distance = 0;
    TField** FocusField = nullptr;
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
// Where a buffer's record stands: a record of the cursor, before the first, after the last, or a new one.
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

// Options, combined with |.
enum TResyncOption : unsigned { rmExact = 1u << 0, rmCenter = 1u << 1 };
using TResyncMode = unsigned;
enum TLocateOption : unsigned { loCaseInsensitive = 1u << 0, loPartialKey = 1u << 1 };
using TLocateOptions = unsigned;
enum TFilterOption : unsigned { foCaseInsensitive = 1u << 0, foNoPartialCompare = 1u << 1 };
using TFilterOptions = unsigned;

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

// A record buffer: one block of GetRecordBufferSize bytes owned by the dataset. Descendants lay out their
// record in it and move values with memcpy. No pointer into a buffer survives SetBufListSize.
using TRecordBuffer = std::byte*;
// A copy of a record's bookmark, BookmarkSize bytes; empty for none.
using TBookmark = std::vector<std::byte>;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

// A dataset keeps BufferCount record buffers (as many as the largest window a link asks for, at least
// one) plus one temporary buffer. The active record is the one fields read and write. Eof turns true when
// a forward move finds no record (the last record stays active) and after Last; Bof when a backward move
// finds none, after First and after Open. Both hold on an empty dataset.
//
// Every move, Insert, Append and Refresh starts with CheckBrowseMode, which posts a modified record and
// cancels an unmodified one. Close never posts. Each concrete dataset closes itself in its own destructor:
// the base destructor cannot reach overrides.
class TDataSet : public rtl::TComponent {
public:
    explicit TDataSet(rtl::TComponent* owner);
    ~TDataSet() override;

    // Opening and closing.
    bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
    // Virtual so that a dataset can refuse to open or close while it cannot (a query running its statement).
    virtual void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }
    bool CanModify() { return GetCanModify(); }
    // The fields were made from the field definitions at open (no fields were made in code).
    bool DefaultFields() const { return defaultFields_; }
    void Loaded() override;

    // Navigation.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves the active record; returns the number of records moved (negative backwards).
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return activeRecord_ >= recordCount_; }
    int RecNo() { return GetRecNo(); }
    virtual void SetRecNo(int value);
    int RecordCount() { return GetRecordCount(); }
    TBookmark Bookmark();
    void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkAvailable();
    void Refresh();
    // Reads the window again around the cursor's record: rmExact raises when that record is gone,
    // rmCenter puts it in the middle of the window.
    void Resync(TResyncMode mode);
    void CheckBrowseMode();
    // Asks the controls to put their pending input into the fields.
    void UpdateRecord();
    // Puts the cursor on the active record / notes that the cursor may have moved away from it.
    void UpdateCursorPos();
    void CursorPosChanged() { currentRecord_ = -1; }

    // Editing.
    void Edit();
    void Insert();
    void Append();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    void ClearFields();
    // Values for the fields in order; Unassigned leaves a field as it is.
    void SetFields(const std::vector<rtl::Variant>& values);
    void InsertRecord(const std::vector<rtl::Variant>& values);
    void AppendRecord(const std::vector<rtl::Variant>& values);

    // While the count is above 0 nothing reaches the links; returning to 0 sends one dataset change (and an
    // active change, if the dataset opened or closed meanwhile). Enabling at 0 does nothing.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Fields.
    TFields& Fields() { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    // Names compare without regard to letter case.
    TField* FindField(std::string_view name) const { return fields_.FindField(name); }
    TField& FieldByName(std::string_view name) const { return fields_.FieldByName(name); }
    TField* FieldByNumber(int fieldNo) const { return fields_.FieldByNumber(fieldNo); }
    std::vector<std::string> GetFieldNames();
    // The fields named in a ";"-separated list, in its order; "Field '%s' not found" for a name missing.
    std::vector<TField*> GetFieldList(std::string_view fieldNames) const;
    // One field's value, or an array of the values of several ";"-separated fields.
    rtl::Variant FieldValues(std::string_view fieldNames) const;
    void SetFieldValues(std::string_view fieldNames, const rtl::Variant& value);
    std::size_t CalcFieldsSize() const { return calcFieldsSize_; }
    std::size_t BookmarkSize() const { return bookmarkSize_; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }

    // Searching; the defaults find nothing.
    virtual bool Locate(std::string_view keyFields, const rtl::Variant& keyValues, TLocateOptions options);
    virtual rtl::Variant Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                                std::string_view resultFields);
    bool FindFirst();
    bool FindLast();
    bool FindNext();
    bool FindPrior();
    bool Found() const { return found_; }

    // Filtering: the setters only store here; descendants apply them.
    const std::string& Filter() const { return filterText_; }
    void SetFilter(std::string text) { SetFilterText(std::move(text)); }
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool value);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions options);
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);

    // Data sources.
    TDataSource* DataSource() { return GetDataSource(); }
    // True when the source's chain of datasets and their own sources leads back to this dataset.
    bool IsLinkedTo(const TDataSource* dataSource);
    // The one path to the links: adjusts the dataset (Modified, calculated fields) and passes the event to
    // every data source unless controls are disabled or a temporary state is in force.
    virtual void DataEvent(TDataEvent event, const TDataEventInfo& info = {});

    // Record access.
    // The field's value in the buffer of the present state, in the cursor's form: true when it has one.
    virtual bool GetFieldData(TField* field, void* buffer) = 0;
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    // The same, converting from or to the field's form with DataConvert when nativeFormat is false.
    bool GetFieldData(TField* field, void* buffer, bool nativeFormat);
    void SetFieldData(TField* field, const void* buffer, bool nativeFormat);
    // A stream over a large-object field's value; the default has none.
    virtual std::unique_ptr<rtl::TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
    // Reads the active record from the cursor into the buffer; the default cannot.
    virtual bool GetCurrentRecord(TRecordBuffer buffer);
    // Text between the dataset's character set and the OEM one; the default copies.
    virtual std::string Translate(std::string_view source, bool toOem);
    virtual bool BookmarkValid(const std::byte* bookmark);
    // -1, 0 or 1; a missing bookmark orders after any other.
    virtual int CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2);
    int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2);
    virtual bool IsSequenced() { return true; }

    // Field and index definitions: InitFieldDefs reads them from the cursor (opening it for the purpose
    // when closed); UpdateIndexDefs does nothing here.
    virtual void InitFieldDefs();
    virtual void UpdateIndexDefs() {}

    // Events.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;

protected:
    // Enters a state for the length of a scope without telling anyone: the state is back, and Modified as
    // it was, when the guard ends, also by an exception. Events raised meanwhile reach nobody.
    class TempState {
    public:
        TempState(TDataSet& dataSet, TDataSetState state);
        ~TempState();
        TempState(const TempState&) = delete;
        TempState& operator=(const TempState&) = delete;

    private:
        TDataSet& dataSet_;
        TDataSetState savedState_;
        bool savedModified_;
    };

    // Hooks of the cursor, which descendants implement.
    // Size of one whole record buffer (the record, the calculated area and what else the descendant keeps).
    virtual std::size_t GetRecordBufferSize() = 0;
    // Size of the record as the cursor reads it; calculated fields are kept after it.
    virtual std::size_t GetRecordSize() = 0;
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    // InternalInitRecord, ClearCalcFields, then the buffer marked as a new record.
    virtual void InitRecord(TRecordBuffer buffer);
    virtual void ClearCalcFields(TRecordBuffer buffer);
    virtual void GetBookmarkData(TRecordBuffer buffer, std::byte* data) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const std::byte* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    // An info query only reads the field definitions (InternalInitFieldDefs); otherwise the cursor opens
    // (InternalOpen).
    virtual void OpenCursor(bool infoQuery);
    virtual void CloseCursor();
    virtual bool IsCursorOpen() = 0;
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalGotoBookmark(const std::byte* bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual void InternalRefresh();
    // Passes the exception to the application's exception handler.
    virtual void InternalHandleException(std::exception_ptr error);
    virtual void InternalEdit();
    virtual void InternalInsert();
    virtual void InternalPost() = 0;
    virtual void InternalCancel();
    virtual void InternalDelete() = 0;
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
    virtual void DoOnNewRecord();
    virtual bool GetCanModify();
    virtual int GetRecordCount();
    virtual int GetRecNo();
    virtual TDataSource* GetDataSource();
    virtual bool GetIsIndexField(TField* field);
    virtual rtl::Variant GetStateFieldValue(TDataSetState state, TField* field);
    virtual void SetStateFieldValue(TDataSetState state, TField* field, const rtl::Variant& value);
    virtual void CloseBlob(TField* field);
    // Between the cursor's form of a value and the field's own; the default copies the field's DataSize.
    virtual void DataConvert(TField* field, const void* source, void* destination, bool toNative);
    virtual bool FindRecord(bool restart, bool goForward);
    virtual void SetFilterText(std::string text);
    virtual void CalculateFields(TRecordBuffer buffer);

    // For descendants.
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer TempBuffer() const;
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }
    int BufferCount() const { return bufferCount_; }
    int ActiveRecord() const { return activeRecord_; }
    // Makes the buffer list hold count buffers of GetRecordBufferSize bytes, zero-filled when new. No
    // buffer user may be registered then (asserted).
    void SetBufListSize(int count);
    // An object that keeps a pointer into a record buffer (a large-object stream) registers for its life.
    void AddBufferUser() noexcept { ++bufferUsers_; }
    void RemoveBufferUser() noexcept { --bufferUsers_; }
    int BufferUsers() const noexcept { return bufferUsers_; }
    void ClearBuffers();
    void SetState(TDataSetState state);
    void SetModified(bool modified) { modified_ = modified; }
    void SetBookmarkSize(std::size_t size) { bookmarkSize_ = size; }
    void SetFound(bool found) { found_ = found; }
    void GetCalcFields(TRecordBuffer buffer);
    void CreateFields();
    void DestroyFields();
    // Binding gives each data field its cursor number from the field definitions and each calculated or
    // lookup field its place in the calculated area (CalcFieldsSize).
    virtual void BindFields(bool binding);
    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify();
    // Each large-object field with a pending value closes it.
    void FreeFieldBuffers();

    void DoBeforeScroll();
    void DoAfterScroll();

private:
    friend class TField;
    friend class TBlobField;
    friend class TFields;
    friend class TDataLink;
    friend class TDataSource;

    void DoInternalOpen();
    void FailOpen() noexcept;
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    void UpdateBufferCount();
    void SetBufferCount(int count);
    void AdjustLinkWindows(int delta);
    void MoveBuffer(int from, int to);
    void SetCurrentRecord(int index);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void ActivateBuffers();
    void BeginInsertAppend();
    void EndInsertAppend();
    void CheckRequiredFields();
    void UpdateCalcFields();
    void Notify(const TDataSetNotifyEvent& event);

    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool bof_ = true;
    bool eof_ = true;
    bool found_ = false;
    bool defaultFields_ = false;
    bool internalOpenComplete_ = false;
    bool streamedActive_ = false;
    bool autoCalcFields_ = true;
    bool internalCalcFields_ = false;
    int tempStateDepth_ = 0;

    std::vector<std::vector<std::byte>> buffers_;  // bufferCount_ record buffers, then the temporary one
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;  // the buffer the cursor is on, -1 when unknown
    TRecordBuffer calcBuffer_ = nullptr;
    std::size_t calcFieldsSize_ = 0;
    std::size_t bookmarkSize_ = 0;
    int bufferUsers_ = 0;

    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;

    TFields fields_;
    TFieldDefs fieldDefs_;
    std::vector<TDataSource*> dataSources_;

    std::string filterText_;
    bool filtered_ = false;
    TFilterOptions filterOptions_ = 0;
    TFilterRecordEvent onFilterRecord_;
};

}  // namespace db
