// TChangeUnit: the record changes of one caller held together as one change of a shared table's files
// (ChangeUnit.h).
#include "engine/table/ChangeUnit.h"

#include "engine/base/EngineError.h"

namespace engine {

TChangeUnit::TChangeUnit(TDataFile& table) : table_(table) {
    if (!table_.SharesTable() || table_.ReadOnly() || !table_.journal_.IsOpen() ||
        table_.transactionStarted_ || table_.marks_.Write || table_.changeUnit_)
        return;
    table_.BeginWrite();
    table_.changeUnit_ = true;
    active_ = true;
}

TChangeUnit::~TChangeUnit() {
    if (!active_) return;
    // Whatever reached the files goes back before the caches are read again, and the write locks go last:
    // nobody reads the table until it is as it was.
    CleanUpKeepingError([this] { table_.journal_.RollBack(); });
    CleanUpKeepingError([this] {
        table_.PinCurrentRecord();
        table_.DropCachesAndReposition(TDataFile::CacheDrop::Everything);
    });
    table_.changeUnit_ = false;
    CleanUpKeepingError([this] { table_.EndWrite(); });
}

void TChangeUnit::Commit() {
    if (!active_) return;
    // Pinned entries are not written: every cache is unpinned for the flush, as a single change does.
    table_.UnpinAll();
    try {
        table_.FlushChange(TDataFile::WriteOrder::RecordFirst, true);
    } catch (...) {
        table_.PinCurrentRecord();
        throw;
    }
    table_.PinCurrentRecord();
    active_ = false;
    table_.changeUnit_ = false;
    table_.EndWrite();
}

}  // namespace engine
