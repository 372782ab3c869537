// RestructureDefs: the field and index definitions a table is to be restructured to, lists of their own
// that the table keeps for its whole life.
#pragma once

#include "db/FieldDefs.h"
#include "db/IndexDefs.h"

namespace components {

// No operation of this system restructures a table; the lists are kept so that a caller may fill them, and
// the table marks them out of date with its own index definitions at each property change. Neither asks a
// dataset for its definitions: they describe a layout the table does not have yet.
class TRestructureFieldDefs : public db::TFieldDefs {
public:
    TRestructureFieldDefs() : db::TFieldDefs(nullptr) {}
};

class TRestructureIndexDefs : public db::TIndexDefs {
public:
    TRestructureIndexDefs() : db::TIndexDefs(nullptr) {}
};

}  // namespace components
