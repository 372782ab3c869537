// TDataLink: a control's or a detail dataset's connection to a data source, told of every change.
#pragma once

#include "db/DataSet.h"

namespace db {

class TDataSource;
class TField;

// A link sees a window of BufferCount records of the dataset (the dataset keeps at least as many
// buffers as its largest link asks for). Descendants override the notifications they need; the defaults
// forward a scroll to DataSetChanged, a layout change to DataSetChanged and DataSetChanged to
// RecordChanged(nullptr).
class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* dataSource);
    TDataSet* DataSet() const;
    // The source has an open dataset.
    bool Active() const { return active_; }
    // The dataset is being edited and the link is not read-only.
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    // The active record's place in the link's window, and moving it there to read another record.
    int ActiveRecord() const;
    void SetActiveRecord(int record);
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);
    // Records of the link's window that hold a record.
    int RecordCount() const;
    bool Bof() const;
    bool Eof() const;
    int MoveBy(int distance);

    // Puts the dataset into the edit state (through the source's AutoEdit); true when it is editing.
    bool Edit();
    // Has the control put its pending input into the fields (UpdateData) without hearing of its own change.
    void UpdateRecord();

    // The source's events.
    virtual void DataEvent(TDataEvent event, const TDataEventInfo& info);

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    // How far the link's window moved over the records (positive: towards the end).
    virtual void DataSetScrolled(int distance);
    virtual void EditingChanged() {}
    // A control bound to *field takes the focus and clears *field so that no other does.
    virtual void FocusControl(TField** field);
    virtual void LayoutChanged() { DataSetChanged(); }
    // field: the field whose value changed, or nullptr for the whole record.
    virtual void RecordChanged(TField* field);
    virtual void UpdateData() {}

private:
    friend class TDataSource;
    friend class TDataSet;

    void UpdateState();
    void SetActive(bool active);
    void SetEditing(bool editing);
    void UpdateRange();

    TDataSource* dataSource_ = nullptr;
    int firstRecord_ = 0;
    int bufferCount_ = 1;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
};

}  // namespace db
