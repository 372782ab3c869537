#include "db/FieldType.h"

#include <array>

namespace db {

std::string_view FieldTypeName(TFieldType type) noexcept {
    static constexpr std::array<std::string_view, ftGuid + 1> kNames = {
        "Unknown",    "String",     "Smallint", "Integer",     "Word",      "Boolean",
        "Float",      "Currency",   "BCD",      "Date",        "Time",      "DateTime",
        "Bytes",      "VarBytes",   "AutoInc",  "Blob",        "Memo",      "Graphic",
        "FmtMemo",    "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor",    "FixedChar",
        "WideString", "Largeint",   "ADT",      "Array",       "Reference", "DataSet",
        "OraBlob",    "OraClob",    "Variant",  "Interface",   "IDispatch", "Guid",
    };
    return type < kNames.size() ? kNames[type] : kNames[ftUnknown];
}

}  // namespace db
