// TFieldControl: the binding of a control that shows, and may edit, one field of a data source.
#pragma once

#include <string>

#include "db/FieldDataLink.h"

namespace db {
class TDataSource;
class TField;
}  // namespace db

namespace db::widgets {

// A control derives from its Qt widget and from this, sets the link's hooks in its constructor and works
// through the link. A new source or field name binds at once, also while the dataset is open.
class TFieldControl {
public:
    TFieldControl(const TFieldControl&) = delete;
    TFieldControl& operator=(const TFieldControl&) = delete;

    db::TDataSource* DataSource() const { return link_.DataSource(); }
    // A source whose dataset lacks the field raises "Field '%s' not found" and keeps the binding as it was.
    void SetDataSource(db::TDataSource* dataSource);
    // The field's name in the framework's bytes.
    const std::string& DataField() const { return link_.FieldName(); }
    // "" unbinds; a name the dataset lacks raises and keeps the binding as it was.
    void SetDataField(std::string name);
    // The bound field, nullptr without one or while the dataset is closed.
    db::TField* Field() const { return link_.Field(); }
    db::TFieldDataLink& DataLink() { return link_; }

protected:
    TFieldControl() = default;
    // Silences the hooks and leaves the source before the control's widget goes.
    ~TFieldControl();

    db::TFieldDataLink link_;
};

}  // namespace db::widgets
