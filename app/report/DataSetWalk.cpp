#include "app/report/DataSetWalk.h"

namespace report {

TDataSetWalk::TDataSetWalk(db::TDataSet& dataSet) : dataSet_(dataSet) {
    dataSet_.DisableControls();
    try {
        if (dataSet_.Active() && !dataSet_.IsEmpty()) bookmark_ = dataSet_.Bookmark();
    } catch (...) {
        dataSet_.EnableControls();
        throw;
    }
}

TDataSetWalk::~TDataSetWalk() {
    if (finished_) return;
    try {
        Finish();
    } catch (...) {
        // Another failure is on its way out; this one would only hide it.
    }
}

void TDataSetWalk::ForEach(const std::function<void(db::TDataSet&)>& visit) {
    if (!dataSet_.Active()) return;
    for (dataSet_.First(); !dataSet_.Eof(); dataSet_.Next()) visit(dataSet_);
}

void TDataSetWalk::Finish() {
    if (finished_) return;
    finished_ = true;
    struct Enable {
        db::TDataSet& dataSet;
        ~Enable() { dataSet.EnableControls(); }
    } enable{dataSet_};
    if (!bookmark_.empty() && dataSet_.Active()) dataSet_.GotoBookmark(bookmark_);
}

}  // namespace report
