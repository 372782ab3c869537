#include "components/TARNISMasterDataLink.h"

#include <algorithm>

#include "db/DataSet.h"
#include "db/DataSource.h"

namespace components {

TTARNISMasterDataLink::TTARNISMasterDataLink(db::TDataSet& detail) : detail_(detail) {}

void TTARNISMasterDataLink::SetFieldNames(std::string_view names) {
    if (names == fieldNames_) return;
    fieldNames_ = std::string(names);
    ActiveChanged();
}

void TTARNISMasterDataLink::ActiveChanged() {
    fields_.clear();
    if (Active()) {
        try {
            fields_ = DataSet()->GetFieldList(fieldNames_);
        } catch (...) {
            fields_.clear();
            throw;
        }
    }
    if (!detail_.Active() || detail_.IsDestroying()) return;
    if (Active() && !fields_.empty()) {
        if (OnMasterChange) OnMasterChange();
    } else if (OnMasterDisable) {
        OnMasterDisable();
    }
}

void TTARNISMasterDataLink::CheckBrowseMode() {
    if (detail_.Active()) detail_.CheckBrowseMode();
}

void TTARNISMasterDataLink::LayoutChanged() {
    ActiveChanged();
}

void TTARNISMasterDataLink::RecordChanged(db::TField* field) {
    if (DataSource()->State() == db::dsSetKey || !detail_.Active() || fields_.empty()) return;
    if (field != nullptr && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
    if (OnMasterChange) OnMasterChange();
}

}  // namespace components
