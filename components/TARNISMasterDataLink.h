// TTARNISMasterDataLink: a detail table's link to its master's data source, which tells the table when the
// master's key fields change or the master goes away.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/DataLink.h"

namespace db {
class TDataSet;
class TField;
}  // namespace db

namespace components {

// The field names (";"-separated) name the master's key fields, in the order of the detail's index fields.
// OnMasterChange fires when the link becomes active with fields, and when one of them (or the whole master
// record) changes; OnMasterDisable when the link goes inactive or holds no fields. Neither fires while the
// detail is closed or being destroyed.
class TTARNISMasterDataLink : public db::TDataLink {
public:
    explicit TTARNISMasterDataLink(db::TDataSet& detail);

    const std::string& FieldNames() const noexcept { return fieldNames_; }
    // A new value takes effect at once (ActiveChanged).
    void SetFieldNames(std::string_view names);
    // The master's fields the names name; empty while the link is inactive.
    const std::vector<db::TField*>& Fields() const noexcept { return fields_; }

    std::function<void()> OnMasterChange;
    std::function<void()> OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override;
    void RecordChanged(db::TField* field) override;

private:
    db::TDataSet& detail_;
    std::string fieldNames_;
    std::vector<db::TField*> fields_;
};

}  // namespace components
