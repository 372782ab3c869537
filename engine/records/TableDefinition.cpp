#include "engine/records/TableDefinition.h"

#include <string>
#include <unordered_map>

#include "engine/base/EngineError.h"
#include "engine/base/EngineTexts.h"
#include "engine/records/DataFileHeader.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The most secondary indexes a definition may list (the index file itself holds 30).
constexpr std::size_t MaxSecondaryIndexDefs = 32;

// A name as the table stores it: blanks trimmed at both ends, cut to its room.
std::string StoredName(std::string_view name, std::size_t room) {
    std::string trimmed = rtl::Trim(name);
    if (trimmed.size() > room) trimmed.resize(room);
    return trimmed;
}

bool StartsWithLetter(std::string_view name) noexcept {
    return !name.empty() && IsLetterChar(name.front());
}

std::string IndexLabel(std::size_t k, const TIndexDescriptor& index) {
    return k == 0 ? std::string(texts::PrimaryIndexName) : index.Name;
}

}  // namespace

std::string NameCompareKey(std::string_view name, std::uint16_t languageId, std::uint16_t sortId,
                           std::string_view fileName) {
    std::string upper(name.size() + 1, '\0');
    LocaleUpperCase(languageId, sortId, name, upper, fileName);
    upper.resize(name.size());
    return upper;
}

void ValidateDefinition(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                        bool isProtected, std::string_view password, std::uint32_t blockSize,
                        std::span<TFieldDesc> fields, std::span<TIndexDescriptor> indexes,
                        bool allowNoPrimary) {
    if (isProtected) {
        const std::size_t length = rtl::Trim(password).size();
        if (length < 1 || length > MaxPasswordLength) RaiseEngineError(ErrInvalidPassword, fileName);
    }
    if (languageId != 0 && !IsLocaleInstalled(languageId, sortId))
        RaiseEngineError(ErrLanguageDriver, fileName);
    if (fields.size() > MaxFieldCount) RaiseEngineError(ErrFieldLimits, fileName);
    if (indexes.size() > MaxSecondaryIndexDefs + 1) RaiseEngineError(ErrIndexLimits, fileName);
    if (blockSize < MinBlobBlockSize || blockSize > MaxBlobBlockSize)
        RaiseEngineError(ErrBlobFieldLimits, fileName);
    ValidateFieldDefs(fileName, languageId, sortId, fields, true);
    ValidateIndexDefs(fileName, languageId, sortId, fields, indexes, allowNoPrimary);
}

void ValidateFieldDefs(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                       std::span<TFieldDesc> fields, bool assignOffsets) {
    // Defaults and limits are texts in the table's own number and date formats.
    const LocaleFormatSwap formats(languageId, sortId, fileName);

    // Every rule against "every other field" counts occurrences once, so that a long list stays linear.
    std::unordered_map<std::string, int> nameCounts;
    std::unordered_map<std::uint16_t, int> numberCounts;
    for (const TFieldDesc& field : fields) {
        ++nameCounts[NameCompareKey(StoredName(field.Name, MaxFieldNameLength), languageId, sortId,
                                    fileName)];
        ++numberCounts[field.FieldNumber];
    }

    // 32 bits: a list that passes 65535 is refused by the record size check, not wrapped here.
    std::uint32_t offset = FirstFieldOffset;
    for (TFieldDesc& field : fields) {
        field.Name = StoredName(field.Name, MaxFieldNameLength);
        if (!StartsWithLetter(field.Name) ||
            nameCounts[NameCompareKey(field.Name, languageId, sortId, fileName)] > 1) {
            RaiseEngineError(ErrInvalidFieldName, fileName, field.Name);
        }
        if (numberCounts[field.FieldNumber] > 1 || field.FieldType == FieldTypeNone) {
            RaiseEngineError(ErrInvalidFieldDefinition, fileName, field.Name);
        }
        if (!RetainsFieldSize(field.FieldType)) {
            field.Size = 0;
        } else if (field.Size > MaxRetainedFieldSize) {
            RaiseEngineError(ErrInvalidFieldDefinition, fileName, field.Name);
        }
        if (!IsValidFieldText(field.DefaultValue, field.FieldType) ||
            !IsValidFieldText(field.MinValue, field.FieldType) ||
            !IsValidFieldText(field.MaxValue, field.FieldType)) {
            RaiseEngineError(ErrInvalidValidityCheck, fileName, field.Name);
        }
        if (field.FieldType != FieldTypeBcd) field.Scale = 0;
        SetStoredSize(field);
        SetStoredScale(field);
        if (assignOffsets && !field.IsCalculated()) {
            if (field.IsAutoInc()) {
                field.Offset = AutoIncFieldOffset;
            } else {
                field.Offset = static_cast<std::uint16_t>(offset);
                offset += field.StoredSize + 1u;
            }
        }
    }
}

void ValidateIndexDefs(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                       std::span<const TFieldDesc> fields, std::span<TIndexDescriptor> indexes,
                       bool allowNoPrimary) {
    const LocaleFormatSwap formats(languageId, sortId, fileName);
    if (indexes.empty()) {
        // No descriptor at all is a primary index without fields.
        if (!allowNoPrimary) RaiseEngineError(ErrInvalidKeySize, fileName, {}, texts::PrimaryIndexName);
        return;
    }

    std::unordered_map<std::uint16_t, const TFieldDesc*> byNumber;
    for (const TFieldDesc& field : fields) byNumber.try_emplace(field.FieldNumber, &field);
    std::unordered_map<std::string, int> nameCounts;
    for (std::size_t k = 1; k < indexes.size(); ++k) {
        ++nameCounts[NameCompareKey(StoredName(indexes[k].Name, MaxIndexNameLength), languageId, sortId,
                                    fileName)];
    }

    for (std::size_t k = 0; k < indexes.size(); ++k) {
        TIndexDescriptor& index = indexes[k];
        const bool optionalPrimary = k == 0 && allowNoPrimary;
        std::uint32_t keyLength = 0;
        std::uint8_t walked = 0;
        for (std::uint16_t number : index.FieldNumbers) {
            if (number == 0) break;
            const auto found = byNumber.find(number);
            if (found == byNumber.end()) {
                if (optionalPrimary) break;
                RaiseEngineError(ErrInvalidIndexField, fileName, std::to_string(number),
                                 IndexLabel(k, index));
            }
            keyLength += found->second->StoredSize + 1u;
            ++walked;
        }
        if (keyLength > MaxKeyLength || (keyLength == 0 && !optionalPrimary)) {
            RaiseEngineError(ErrInvalidKeySize, fileName, {}, IndexLabel(k, index));
        }
        if (k == 0) {
            index.Name.clear();
        } else {
            index.Name = StoredName(index.Name, MaxIndexNameLength);
            if (!StartsWithLetter(NameCompareKey(index.Name, languageId, sortId, fileName))) {
                RaiseEngineError(ErrInvalidIndexName, fileName, {}, index.Name);
            }
            if (nameCounts[NameCompareKey(index.Name, languageId, sortId, fileName)] > 1) {
                RaiseEngineError(ErrIndexExists, fileName, {}, index.Name);
            }
            if (index.Unique == 0) keyLength += RecordIdSuffixLength;
        }
        index.FieldCount = walked;
        index.KeyLength = static_cast<std::uint16_t>(keyLength);
        index.RootPage = 0;
        index.FreePageHead = 0;
    }
}

}  // namespace engine
