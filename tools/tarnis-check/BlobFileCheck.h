// CheckBlobFile: tarnis-check's checks of a table's large-object file (".BLB"): header, the chain of every
// large-object value of an active slot, the free list, and blocks that belong nowhere.
#pragma once

#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// Runs only for a table with large-object fields, after the record file's check, whose facts name the values.
// Reads the file shared and read-only, takes no locks and reads the blocks in bounded chunks; everything it
// finds becomes findings.
void CheckBlobFile(TableCheck& check);

}  // namespace tarnischeck
