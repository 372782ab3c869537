// TDataSource: connects a dataset to the links of the controls that show and edit its records.
#pragma once

#include <functional>
#include <vector>

#include "db/DataSet.h"
#include "rtl/Component.h"

namespace db {

class TDataLink;
class TField;

class TDataSource : public rtl::TComponent {
public:
    explicit TDataSource(rtl::TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    // A dataset whose own source leads back to this one raises "Circular datalinks are not allowed".
    void SetDataSet(TDataSet* dataSet);
    // The dataset's state as the links know it; inactive without a dataset or while disabled.
    TDataSetState State() const { return state_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Whether a control's Edit may put the dataset into the edit state.
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
    // Puts a browsing dataset into the edit state when AutoEdit allows it.
    void Edit();
    // True when the dataset's chain of sources leads back to this source.
    bool IsLinkedTo(TDataSet* dataSet) const;

    std::function<void(TDataSource&)> OnStateChange;
    // The field whose value changed, or nullptr when the record or the window changed.
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnUpdateData;

    // Passes a dataset's event to the links.
    void DataEvent(TDataEvent event, const TDataEventInfo& info);

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    friend class TDataSet;
    friend class TDataLink;

    void AddDataLink(TDataLink* link);
    void RemoveDataLink(TDataLink* link);
    void UpdateState();
    void SetState(TDataSetState state);
    void NotifyDataLinks(TDataEvent event, const TDataEventInfo& info);

    TDataSet* dataSet_ = nullptr;
    std::vector<TDataLink*> dataLinks_;
    TDataSetState state_ = dsInactive;
    bool enabled_ = true;
    bool autoEdit_ = true;
};

}  // namespace db
