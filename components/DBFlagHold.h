// DBFlagHold: holds a dataset's database for one reason for the length of a scope.
#pragma once

#include "components/TARNISDBDataSet.h"
#include "rtl/ExceptionHook.h"

namespace components {

// Holds the dataset's database for one reason while in scope; a reason held already stays with its holder.
class DBFlagHold {
public:
    DBFlagHold(TTARNISDBDataSet& dataSet, int flag) : dataSet_(dataSet), flag_(flag) {
        if (dataSet_.DBFlag(flag_)) return;
        dataSet_.SetDBFlag(flag_, true);
        held_ = true;
    }
    // After a failure: the database goes, and a failure of that goes to the application's handler, so
    // that it does not hide the first.
    ~DBFlagHold() {
        if (!held_) return;
        try {
            dataSet_.SetDBFlag(flag_, false);
        } catch (...) {
            rtl::HandleCurrentException();
        }
    }
    DBFlagHold(const DBFlagHold&) = delete;
    DBFlagHold& operator=(const DBFlagHold&) = delete;

    // The reason stays held beyond the scope, its holder's to clear.
    void Keep() noexcept { held_ = false; }

    // The success path, whose failure is raised.
    void Release() {
        if (!held_) return;
        held_ = false;
        dataSet_.SetDBFlag(flag_, false);
    }

private:
    TTARNISDBDataSet& dataSet_;
    int flag_;
    bool held_ = false;
};

}  // namespace components
