#include "db/DataLink.h"

#include <algorithm>

#include "db/DataSource.h"

namespace db {

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (dataSource_ != nullptr) dataSource_->RemoveDataLink(this);
}

void TDataLink::SetDataSource(TDataSource* dataSource) {
    if (dataSource == dataSource_) return;
    if (dataSource_ != nullptr) dataSource_->RemoveDataLink(this);
    if (dataSource != nullptr) dataSource->AddDataLink(this);
}

TDataSet* TDataLink::DataSet() const {
    return dataSource_ == nullptr ? nullptr : dataSource_->DataSet();
}

void TDataLink::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    readOnly_ = readOnly;
    UpdateState();
}

int TDataLink::ActiveRecord() const {
    if (!active_ || dataSource_->State() == dsSetKey) return 0;
    return DataSet()->activeRecord_ - firstRecord_;
}

void TDataLink::SetActiveRecord(int record) {
    if (!active_ || dataSource_->State() == dsSetKey) return;
    TDataSet* dataSet = DataSet();
    dataSet->activeRecord_ = std::clamp(record + firstRecord_, 0, std::max(dataSet->recordCount_ - 1, 0));
}

void TDataLink::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == bufferCount_) return;
    bufferCount_ = count;
    if (active_) {
        UpdateRange();
        DataSet()->UpdateBufferCount();
        UpdateRange();
    }
}

int TDataLink::RecordCount() const {
    if (!active_) return 0;
    if (dataSource_->State() == dsSetKey) return 1;
    return std::clamp(DataSet()->recordCount_ - firstRecord_, 0, bufferCount_);
}

bool TDataLink::Bof() const {
    return !active_ || DataSet()->Bof();
}

bool TDataLink::Eof() const {
    return !active_ || DataSet()->Eof();
}

int TDataLink::MoveBy(int distance) {
    return active_ ? DataSet()->MoveBy(distance) : 0;
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{updating_};
    updating_ = true;
    UpdateData();
}

void TDataLink::DataEvent(TDataEvent event, const TDataEventInfo& info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(info.Field);
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange: {
            // Keep the link's window over the same records, then move it just enough to show the active one.
            int moved = 0;
            if (dataSource_->State() != dsSetKey) {
                const int active = DataSet()->activeRecord_;
                const int first = firstRecord_ + info.Distance;
                const int last = first + bufferCount_ - 1;
                if (active > last)
                    moved = active - last;
                else if (active < first)
                    moved = active - first;
                firstRecord_ = std::max(first + moved, 0);
            }
            if (event == deDataSetChange)
                DataSetChanged();
            else if (event == deDataSetScroll)
                DataSetScrolled(moved);
            else
                LayoutChanged();
            break;
        }
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case deFocusControl:
            FocusControl(info.FocusField);
            break;
        default:
            break;
    }
}

void TDataLink::DataSetScrolled(int) {
    DataSetChanged();
}

void TDataLink::FocusControl(TField**) {}

void TDataLink::RecordChanged(TField*) {}

void TDataLink::UpdateState() {
    SetActive(dataSource_ != nullptr && dataSource_->State() != dsInactive);
    const TDataSetState state = dataSource_ == nullptr ? dsInactive : dataSource_->State();
    SetEditing((state == dsEdit || state == dsInsert || state == dsSetKey) && !readOnly_);
}

void TDataLink::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active)
        UpdateRange();
    else
        firstRecord_ = 0;
    ActiveChanged();
}

void TDataLink::SetEditing(bool editing) {
    if (editing == editing_) return;
    editing_ = editing;
    EditingChanged();
}

void TDataLink::UpdateRange() {
    const TDataSet* dataSet = DataSet();
    if (dataSet == nullptr) return;
    const int lowest = std::max(dataSet->activeRecord_ - bufferCount_ + 1, 0);
    const int highest = std::min(std::max(dataSet->bufferCount_ - bufferCount_, 0), dataSet->activeRecord_);
    firstRecord_ = std::clamp(firstRecord_, lowest, std::max(lowest, highest));
}

}  // namespace db
