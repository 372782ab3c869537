// The query's parameter names in its text (CreateParams) and the parameter block its values are bound
// through (BuildParamBlock).
#include <algorithm>

#include "db/DatabaseError.h"
#include "engine/values/FieldTypes.h"
#include "sql/SqlMessages.h"
#include "sql/TARNISQuery.h"

namespace sql {

namespace {

bool IsQuote(char c) noexcept {
    return c == '\'' || c == '"';
}

// What ends a parameter name outside quotes; a tab and the operators do not.
bool EndsName(char c) noexcept {
    return c == '\n' || c == '\r' || c == ' ' || c == ')' || c == ',' || c == ';';
}

// One pair of the quote character around the name is taken off.
void StripQuotes(std::string& name, char quote) {
    if (name.size() >= 2 && name.front() == quote && name.back() == quote) name = name.substr(1, name.size() - 2);
}

}  // namespace

void CreateParams(TTARNISParams* list, std::string& text) {
    bool inQuote = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ':' && !inQuote) {
            if (i + 1 < text.size() && text[i + 1] == ':') {
                text.erase(i, 1);  // "::" is a colon of the text
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            const bool quoted = end < text.size() && IsQuote(text[end]);
            for (; end < text.size(); ++end) {
                if (IsQuote(text[end])) {
                    inQuote = !inQuote;
                } else if (!inQuote && EndsName(text[end])) {
                    break;
                }
            }
            std::string name = text.substr(i + 1, end - i - 1);
            if (quoted) {
                StripQuotes(name, '\'');
                StripQuotes(name, '"');
            }
            if (list != nullptr) list->CreateParam(db::ftUnknown, name, ptUnknown);
            // The name gives way to "?" in place (replace() draws GCC 12's false -Wrestrict from libstdc++).
            text[i] = '?';
            text.erase(i + 1, end - i - 1);
            ++i;
            continue;
        }
        if (IsQuote(c)) inQuote = !inQuote;
        ++i;
    }
}

std::uint8_t EngineParamType(db::TFieldType type) noexcept {
    using namespace db;
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftGuid:
            return engine::FieldTypeString;
        case ftSmallint:
            return engine::FieldTypeSmallInt;
        case ftInteger:
        case ftAutoInc:
            return engine::FieldTypeInteger;
        case ftWord:
            return engine::FieldTypeWord;
        case ftBoolean:
            return engine::FieldTypeBoolean;
        case ftFloat:
        case ftCurrency:
            return engine::FieldTypeFloat;
        case ftBCD:
            return engine::FieldTypeBcd;
        case ftDate:
            return engine::FieldTypeDate;
        case ftTime:
            return engine::FieldTypeTime;
        case ftDateTime:
            return engine::FieldTypeDateTime;
        case ftBytes:
            return engine::FieldTypeBytes;
        case ftVarBytes:
            return engine::FieldTypeVarBytes;
        case ftBlob:
        case ftMemo:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftOraBlob:
        case ftOraClob:
            return engine::FieldTypeBlob;
        // Codes of kinds the engine has no field type for; no parameter of them reaches a block.
        case ftCursor:
            return 17;
        case ftLargeint:
            return 18;
        case ftADT:
            return 20;
        case ftArray:
            return 21;
        case ftReference:
            return 22;
        case ftDataSet:
            return 23;
        default:  // ftUnknown, ftVariant, ftInterface, ftIDispatch
            return 0;
    }
}

TParamBlock BuildParamBlock(const TTARNISParams& params) {
    TParamBlock block;
    const int count = params.Count();
    std::vector<std::size_t> sizes(static_cast<std::size_t>(count));
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        const TTARNISParam& param = params.Items(i);
        param.CheckNativeForm();
        const std::size_t size = param.GetDataSize();
        total += size + 1;
        if (size > kMaxBoundStringSize || total > kMaxParamBlockSize)
            db::DatabaseErrorFmt(kParamTooLargeToBind, {param.Name()});
        sizes[static_cast<std::size_t>(i)] = size;
    }
    block.Buffer.assign(total, 0);
    block.Descriptors.resize(static_cast<std::size_t>(count));
    std::size_t offset = 0;
    for (int i = 0; i < count; ++i) {
        const TTARNISParam& param = params.Items(i);
        const std::size_t size = sizes[static_cast<std::size_t>(i)];
        engine::TFieldDesc& desc = block.Descriptors[static_cast<std::size_t>(i)];
        desc.FieldNumber = static_cast<std::uint16_t>(i + 1);
        desc.Name = param.Name().substr(0, engine::MaxFieldNameLength);
        desc.FieldType = EngineParamType(param.DataType());
        desc.Size = param.DataType() == db::ftString ? 255 : 0;
        desc.StoredSize = static_cast<std::uint8_t>(size);
        desc.StoredScale = param.DataType() == db::ftBCD ? 4 : 0;
        desc.Offset = static_cast<std::uint16_t>(offset);
        param.GetData(std::span(block.Buffer).subspan(offset + 1, size));
        block.Buffer[offset] = param.IsNull() ? 0 : 1;
        offset += size + 1;
    }
    return block;
}

}  // namespace sql
