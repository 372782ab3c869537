// Stands in for the index cursor's answer until the cursor is built: no record under the cursor.
#include "engine/IndexFile.h"

namespace engine {

SlotNumber TIndexFile::GetCurrentRecordNumber() {
    return NoSlot;
}

}  // namespace engine
