// TChangeUnit: many record changes of one shared table made as one change of its files, written and marked
// whole once at the end, or put back all together.
#pragma once

#include "engine/table/DataFile.h"

namespace engine {

// Made by a caller that changes many records at once (an SQL UPDATE or DELETE) and holds them together:
//
//   TChangeUnit unit(table);   // the write locks, held until the unit ends
//   ... InsertRecord, ModifyRecord, DeleteRecord ...
//   unit.Commit();             // every change written, the journal's change marked whole
//
// Inside the unit a record change takes no lock of its own and writes nothing when it returns: its pages
// and records stay in the caches (a full cache writes them early, through the journal), and the journal
// keeps what every write overwrites. Other programs neither read nor write the table meanwhile, as they
// wait for the write locks. A unit that ends without Commit, or whose Commit fails, puts back every write
// from the journal and drops every cached change, so that the table is as it was when the unit began; the
// failure that ended it is the caller's to raise. A killed program's unit is put back by the next program,
// as a single change is.
//
// Only a shared table with its rollback journal, outside a transaction, has units; elsewhere (an exclusive,
// in-memory or temporary table) the unit is inactive and every change goes its own way as without it.
class TChangeUnit {
public:
    explicit TChangeUnit(TDataFile& table);
    ~TChangeUnit();
    TChangeUnit(const TChangeUnit&) = delete;
    TChangeUnit& operator=(const TChangeUnit&) = delete;

    // Whether the changes are held together: without a unit each change is whole when it returns.
    bool Active() const noexcept { return active_; }
    // Writes everything the unit changed, marks it whole and gives up the write locks. A failure raises and
    // leaves the unit to be put back when it ends. Nothing on an inactive unit.
    void Commit();

private:
    TDataFile& table_;
    bool active_ = false;
};

}  // namespace engine
