// TFieldType: the kinds of value a dataset field holds.
#pragma once

#include <cstdint>
#include <string_view>

namespace db {

// The ordinals are stored (the query component writes them into its parameter stream): keep the order and
// add new kinds only at the end.
enum TFieldType : std::uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
};

// The large-object kinds, whose values are read and written through blob streams.
constexpr bool IsBlobType(TFieldType type) noexcept {
    return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}

// The name of the kind without its prefix ("String", "Integer"), for messages.
std::string_view FieldTypeName(TFieldType type) noexcept;

}  // namespace db
