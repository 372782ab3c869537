#include "db/DataSource.h"

#include <algorithm>

#include "db/DataLink.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"

namespace db {

TDataSource::TDataSource(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TDataSource::~TDataSource() {
    Destroying();
    OnStateChange = nullptr;
    OnDataChange = nullptr;
    OnUpdateData = nullptr;
    SetDataSet(nullptr);
    while (!dataLinks_.empty()) RemoveDataLink(dataLinks_.back());
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (IsLinkedTo(dataSet)) DatabaseError(kCircularDataLink);
    if (dataSet_ != nullptr) dataSet_->RemoveDataSource(this);
    if (dataSet != nullptr) dataSet->AddDataSource(this);
}

void TDataSource::SetEnabled(bool enabled) {
    enabled_ = enabled;
    UpdateState();
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == dsBrowse && dataSet_ != nullptr) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* dataSet) const {
    std::vector<const TDataSet*> seen;  // a chain that loops back on itself ends the walk
    while (dataSet != nullptr) {
        if (std::find(seen.begin(), seen.end(), dataSet) != seen.end()) return false;
        seen.push_back(dataSet);
        const TDataSource* source = dataSet->GetDataSource();
        if (source == nullptr) return false;
        if (source == this) return true;
        dataSet = source->dataSet_;
    }
    return false;
}

void TDataSource::Notification(rtl::TComponent* component, rtl::TOperation operation) {
    rtl::TComponent::Notification(component, operation);
    if (operation == rtl::opRemove && component == dataSet_) SetDataSet(nullptr);
}

void TDataSource::DataEvent(TDataEvent event, const TDataEventInfo& info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive) return;
    NotifyDataLinks(event, info);
    switch (event) {
        case deFieldChange:
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) OnDataChange(*this, event == deFieldChange ? info.Field : nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(*this);
            break;
        default:
            break;
    }
}

void TDataSource::AddDataLink(TDataLink* link) {
    dataLinks_.push_back(link);
    link->dataSource_ = this;
    if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
    link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
    link->dataSource_ = nullptr;
    dataLinks_.erase(std::remove(dataLinks_.begin(), dataLinks_.end(), link), dataLinks_.end());
    link->UpdateState();
    if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::UpdateState() {
    SetState(enabled_ && dataSet_ != nullptr ? dataSet_->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState state) {
    if (state == state_) return;
    state_ = state;
    NotifyDataLinks(deUpdateState, {});
    if (OnStateChange) OnStateChange(*this);
}

void TDataSource::NotifyDataLinks(TDataEvent event, const TDataEventInfo& info) {
    // A copy: a link's handler may attach or detach links.
    const std::vector<TDataLink*> links = dataLinks_;
    for (TDataLink* link : links)
        if (std::find(dataLinks_.begin(), dataLinks_.end(), link) != dataLinks_.end())
            link->DataEvent(event, info);
}

}  // namespace db
