// TDataSetWalk: visits every record of a dataset, in its order and under its filter, and leaves it as found.
#pragma once

#include <functional>

#include "db/DataSet.h"

namespace report {

// While it lives the dataset's controls are disabled; at its end the dataset is back on the record that
// was current and its controls are enabled again, also when the walk fails. Finish() ends the walk and lets
// a failure of that return reach the caller; the destructor swallows it, for it runs while another failure
// unwinds.
class TDataSetWalk {
public:
    explicit TDataSetWalk(db::TDataSet& dataSet);
    ~TDataSetWalk();
    TDataSetWalk(const TDataSetWalk&) = delete;
    TDataSetWalk& operator=(const TDataSetWalk&) = delete;

    // Calls `visit` on each record from the first to the last; nothing on an empty or closed dataset.
    void ForEach(const std::function<void(db::TDataSet&)>& visit);
    void Finish();

private:
    db::TDataSet& dataSet_;
    db::TBookmark bookmark_;
    bool finished_ = false;
};

}  // namespace report
