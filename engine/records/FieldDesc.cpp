#include "engine/records/FieldDesc.h"

#include <algorithm>
#include <cstring>

#include "engine/base/FileBytes.h"
#include "engine/values/FieldTypes.h"

namespace engine {

bool TFieldDesc::IsAutoInc() const noexcept {
    return FieldType == FieldTypeInteger && SubType == FieldSubTypeAutoInc;
}

void EncodeFieldDesc(const TFieldDesc& desc, std::span<std::uint8_t, FieldDescSize> bytes) {
    std::uint8_t* const b = bytes.data();
    std::memset(b, 0, bytes.size());
    StoreU16(b + FieldNumberOffset, desc.FieldNumber);
    StoreShortString(b + FieldNameOffset, MaxFieldNameLength, desc.Name);
    std::copy(desc.Reserved1.begin(), desc.Reserved1.end(), b + FieldReserved1Offset);
    b[FieldTypeOffset] = desc.FieldType;
    b[FieldSubTypeOffset] = desc.SubType;
    b[FieldSizeOffset] = desc.Size;
    b[FieldScaleOffset] = desc.Scale;
    b[FieldStoredSizeOffset] = desc.StoredSize;
    b[FieldStoredScaleOffset] = desc.StoredScale;
    StoreU16(b + FieldOffsetOffset, desc.Offset);
    b[FieldRequiredOffset] = desc.Required;
    b[FieldReserved2Offset] = desc.Reserved2;
    StoreShortString(b + FieldMinimumOffset, MaxFieldTextLength, desc.MinValue);
    StoreShortString(b + FieldMaximumOffset, MaxFieldTextLength, desc.MaxValue);
    StoreShortString(b + FieldDefaultOffset, MaxFieldTextLength, desc.DefaultValue);
    b[FieldCalculatedOffset] = desc.Calculated;
    StoreShortString(b + FieldExpressionOffset, MaxExpressionLength, desc.Expression);
    // The compiled reference means nothing outside this process: the file holds 0 (left by the memset).
    std::copy(desc.Reserved3.begin(), desc.Reserved3.end(), b + FieldReserved3Offset);
}

bool DecodeFieldDesc(std::span<const std::uint8_t, FieldDescSize> bytes, TFieldDesc& desc) {
    const std::uint8_t* const b = bytes.data();
    desc.FieldNumber = LoadU16(b + FieldNumberOffset);
    desc.Name = LoadShortString(b + FieldNameOffset, MaxFieldNameLength);
    std::copy_n(b + FieldReserved1Offset, desc.Reserved1.size(), desc.Reserved1.begin());
    desc.FieldType = b[FieldTypeOffset];
    desc.SubType = b[FieldSubTypeOffset];
    desc.Size = b[FieldSizeOffset];
    desc.Scale = b[FieldScaleOffset];
    desc.StoredSize = b[FieldStoredSizeOffset];
    desc.StoredScale = b[FieldStoredScaleOffset];
    desc.Offset = LoadU16(b + FieldOffsetOffset);
    desc.Required = b[FieldRequiredOffset];
    desc.Reserved2 = b[FieldReserved2Offset];
    desc.MinValue = LoadShortString(b + FieldMinimumOffset, MaxFieldTextLength);
    desc.MaxValue = LoadShortString(b + FieldMaximumOffset, MaxFieldTextLength);
    desc.DefaultValue = LoadShortString(b + FieldDefaultOffset, MaxFieldTextLength);
    desc.Calculated = b[FieldCalculatedOffset];
    desc.Expression = LoadShortString(b + FieldExpressionOffset, MaxExpressionLength);
    desc.CompiledExpression = nullptr;
    std::copy_n(b + FieldReserved3Offset, desc.Reserved3.size(), desc.Reserved3.begin());
    return ShortStringFits(b + FieldNameOffset, MaxFieldNameLength) &&
           ShortStringFits(b + FieldMinimumOffset, MaxFieldTextLength) &&
           ShortStringFits(b + FieldMaximumOffset, MaxFieldTextLength) &&
           ShortStringFits(b + FieldDefaultOffset, MaxFieldTextLength);
}

bool RetainsFieldSize(std::uint8_t fieldType) noexcept {
    return fieldType == FieldTypeString || fieldType == FieldTypeBytes || fieldType == FieldTypeVarBytes;
}

std::uint16_t StoredFieldSize(std::uint8_t fieldType, std::uint8_t size) noexcept {
    switch (fieldType) {
        case FieldTypeString:
            return static_cast<std::uint16_t>(size + 1);
        case FieldTypeDate:
        case FieldTypeBlob:
        case FieldTypeInteger:
        case FieldTypeTime:
        case FieldTypeLongWord:
            return 4;
        case FieldTypeBoolean:
        case FieldTypeSmallInt:
        case FieldTypeWord:
            return 2;
        case FieldTypeFloat:
        case FieldTypeBcd:
        case FieldTypeDateTime:
            return 8;
        case FieldTypeExtended:
            return 10;
        default:
            return size;
    }
}

void SetStoredSize(TFieldDesc& desc) noexcept {
    desc.StoredSize = static_cast<std::uint8_t>(StoredFieldSize(desc.FieldType, desc.Size));
}

void SetStoredScale(TFieldDesc& desc) noexcept {
    desc.StoredScale = desc.Scale;
}

}  // namespace engine
