// CheckJournalFile: tarnis-check's check of a table's rollback journal (".JNL").
#pragma once

#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// An error when the journal holds a change left open: the table's files are then half-written until the next
// program that opens the table puts the change back. A table without a journal, and a journal whose header
// does not read (a first write cut short), hold nothing to put back.
void CheckJournalFile(TableCheck& check);

}  // namespace tarnischeck
