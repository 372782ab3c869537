// CheckRecordFile: tarnis-check's checks of a table's record file (".DAT"): header, field descriptors, slot
// area, slots and free-slot chain.
#pragma once

#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// Reads the record file shared and read-only, takes no locks and reads the slots in bounded chunks. A record
// file that cannot be opened makes the table unreadable; everything else becomes findings. Fills the record
// facts of the check.
void CheckRecordFile(TableCheck& check);

}  // namespace tarnischeck
