// IndexFileOwner: what the index file asks of the table that owns it beyond TableFileOwner's questions: the
// table's field set and locale, from which keys and their order are built, and its record count.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/records/FieldDesc.h"
#include "engine/values/Collation.h"

namespace engine {

class IndexFileOwner {
public:
    // The stored fields, which index definitions number.
    virtual const std::vector<TFieldDesc>& PhysicalFields() const = 0;
    virtual std::uint16_t GetLanguageId() const = 0;
    virtual std::uint16_t GetSortId() const = 0;
    // The table locale's collation table, whose lowest and highest characters pad range bounds.
    virtual const CollationTable& GetLocaleInfo() const = 0;
    // Opened for repair: the cursor does not go to the first key at open.
    virtual bool RepairMode() const = 0;
    // The table's physical record count (its slots), 0 while the table is closed: the highest record number a
    // bitmap walk may reach.
    virtual std::uint32_t OpenPhysicalRecordCount() const = 0;

protected:
    ~IndexFileOwner() = default;
};

}  // namespace engine
