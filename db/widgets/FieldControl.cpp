#include "db/widgets/FieldControl.h"

#include <utility>

#include "db/DataSource.h"
#include "db/widgets/Guarded.h"

namespace db::widgets {

TFieldControl::~TFieldControl() {
    link_.OnDataChange = nullptr;
    link_.OnEditingChange = nullptr;
    link_.OnUpdateData = nullptr;
    link_.OnActiveChange = nullptr;
    link_.OnFocusControl = nullptr;
    // Leaving may shrink the dataset's window, which reads records.
    Guarded([this] { link_.SetDataSource(nullptr); });
}

void TFieldControl::SetDataSource(db::TDataSource* dataSource) {
    db::TDataSource* const previous = link_.DataSource();
    try {
        link_.SetDataSource(dataSource);
    } catch (...) {
        // The first failure is the one to report; going back cannot fail where binding had succeeded.
        try {
            link_.SetDataSource(previous);
        } catch (...) {
        }
        throw;
    }
}

void TFieldControl::SetDataField(std::string name) {
    std::string previous = link_.FieldName();
    try {
        link_.SetFieldName(std::move(name));
    } catch (...) {
        try {
            link_.SetFieldName(std::move(previous));
        } catch (...) {
        }
        throw;
    }
}

}  // namespace db::widgets
