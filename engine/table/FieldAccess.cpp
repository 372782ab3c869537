// TDataFile's field access: fields read from and written into record images, new records with their
// defaults, calculated fields, validity checks, record IDs and descriptor lookup (declared in DataFile.h).
#include "engine/table/DataFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/index/RecordKey.h"
#include "engine/records/RecordHeader.h"
#include "engine/records/TableDefinition.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/LocaleSettings.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/DateTime.h"
#include "rtl/NumberConvert.h"

namespace engine {

namespace {

// A work area holds the largest stored value: a string of 250 characters and its zero.
using ValueArea = std::array<std::uint8_t, FieldValueBufferSize>;

// The characters of a stored string: up to its zero, within its stored size.
std::string_view StoredText(const std::uint8_t* value, std::size_t storedSize) noexcept {
    const auto* const chars = reinterpret_cast<const char*>(value);
    const void* const zero = std::memchr(chars, 0, storedSize);
    return {chars,
            zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : storedSize};
}

template <class T>
int Order(T a, T b) noexcept {
    return a < b ? -1 : b < a ? 1 : 0;
}

// Integers keep the low bytes of their stored size, as the type stores them.
void StoreInteger(std::int32_t value, std::size_t storedSize, std::uint8_t* out) noexcept {
    if (storedSize == sizeof(std::uint16_t)) {
        StoreU16(out, static_cast<std::uint16_t>(value));
    } else {
        StoreU32(out, static_cast<std::uint32_t>(value));
    }
}

}  // namespace

// ---- Single fields ----

bool TDataFile::GetField(bool workingSet, std::uint16_t fieldNumber, std::span<const std::uint8_t> image,
                         std::span<std::uint8_t> destination) const {
    const TFieldDesc& field = GetFieldDesc(workingSet, fieldNumber);
    const bool blank = ReadStoredField(field, image, destination, FileName());
    if (field.FieldType != FieldTypeBlob || field.LacksRoom()) return blank;
    // An open value is blank exactly when it is empty, whatever the flag says; a negative value that is no
    // open handle reads as a value (ReadStoredField).
    const auto value = static_cast<std::int32_t>(LoadU32(image.data() + field.Offset + 1));
    const TBlobBuffer* const open = blobFile_.FindFieldValue(value);
    return open != nullptr ? open->Size() == 0 : blank;
}

void TDataFile::SetField(bool workingSet, std::uint16_t fieldNumber, std::span<std::uint8_t> image,
                         FieldSource source, bool allowCalculated) {
    const TFieldDesc& field = GetFieldDesc(workingSet, fieldNumber);
    if (field.IsCalculated() && !allowCalculated) return;

    if (field.IsAutoInc()) {
        if (image.size() < RecordHeaderSize) RaiseTableError(ErrRecordBuffersCorrupt, field.Name);
        if (source) {
            std::array<std::uint8_t, sizeof(std::uint32_t)> id{};
            std::copy_n(source->begin(), std::min(source->size(), id.size()), id.begin());
            std::copy(id.begin(), id.end(), image.begin() + RecordIdOffset);
        }
    } else if (!field.LacksRoom()) {
        const std::size_t size = field.StoredSize;
        if (field.Offset + 1u + size > image.size()) RaiseTableError(ErrRecordBuffersCorrupt, field.Name);
        std::uint8_t* const flag = image.data() + field.Offset;
        std::uint8_t* const value = flag + 1;
        if (!source) {
            *flag = 0;
            std::memset(value, 0, size);
        } else {
            // A source shorter than the field is taken as far as it goes: never read past its end.
            ValueArea area{};
            std::copy_n(source->begin(), std::min(source->size(), size), area.begin());
            switch (field.FieldType) {
                case FieldTypeString: {
                    // A string is cut to its size and keeps its zero; trailing blanks go, and nothing left is
                    // blank.
                    area[size - 1] = 0;
                    std::string_view text = StoredText(area.data(), size);
                    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
                    std::memset(value, 0, size);
                    std::memcpy(value, text.data(), text.size());
                    *flag = text.empty() ? 0 : 1;
                    break;
                }
                case FieldTypeBlob: {
                    // A negative value is open and has a value exactly when it is not empty; one that is no
                    // open handle has one.
                    const auto stored = static_cast<std::int32_t>(LoadU32(area.data()));
                    const TBlobBuffer* const open = blobFile_.FindFieldValue(stored);
                    *flag = open != nullptr ? (open->Size() > 0 ? 1 : 0) : (stored != 0 ? 1 : 0);
                    std::memcpy(value, area.data(), size);
                    break;
                }
                case FieldTypeBoolean:
                    StoreU16(value, ClampToOne(LoadU16(area.data())));
                    *flag = 1;
                    break;
                default:
                    std::memcpy(value, area.data(), size);
                    *flag = 1;
                    break;
            }
        }
    }
    // Calculated fields store their own results, so computing them never starts over.
    if (!field.IsCalculated()) CalcFields(image);
}

// ---- Record IDs and record headers ----

RecordId TDataFile::PeekAutoInc() const noexcept {
    return RecordId(header_.LastRecordId == MaxRecordId ? 1 : header_.LastRecordId.Value + 1);
}

RecordId TDataFile::NextAutoInc() noexcept {
    header_.LastRecordId = PeekAutoInc();
    MarkHeaderChanged();
    return header_.LastRecordId;
}

RecordId TDataFile::GetRecordId(std::span<const std::uint8_t> image) const {
    if (image.size() < RecordHeaderSize) RaiseTableError(ErrRecordBuffersCorrupt);
    return RecordId(LoadU32(image.data() + RecordIdOffset));
}

void TDataFile::SetRecordId(std::span<std::uint8_t> image, RecordId id) const {
    if (image.size() < RecordHeaderSize) RaiseTableError(ErrRecordBuffersCorrupt);
    StoreU32(image.data() + RecordIdOffset, id.Value);
}

SlotNumber TDataFile::GetSlotNumber(std::span<const std::uint8_t> image) const {
    if (image.size() < RecordHeaderSize) RaiseTableError(ErrRecordBuffersCorrupt);
    return SlotNumber(LoadU32(image.data() + RecordLinkOffset));
}

// ---- Descriptors ----

const TFieldDesc& TDataFile::GetFieldDesc(bool workingSet, std::uint16_t fieldNumber) const {
    const std::size_t count = workingSet ? workingCount_ : fields_.size();
    if (fieldNumber == 0 || fieldNumber > count)
        RaiseTableError(ErrInvalidField, std::to_string(fieldNumber));
    return (workingSet ? workingFields_ : fields_)[fieldNumber - 1u];
}

const TFieldDesc& TDataFile::GetFieldDescByName(bool workingSet, std::string_view name) const {
    const std::vector<TFieldDesc>& set = workingSet ? workingFields_ : fields_;
    const std::size_t count = workingSet ? workingCount_ : fields_.size();
    const std::string key = NameCompareKey(name, header_.LanguageId, header_.SortId, FileName());
    for (std::size_t i = 0; i < count; ++i) {
        // Case mapping keeps the length, so names of another length cannot match.
        if (set[i].Name.size() != key.size()) continue;
        if (NameCompareKey(set[i].Name, header_.LanguageId, header_.SortId, FileName()) == key) return set[i];
    }
    RaiseTableError(ErrInvalidField, name);
}

std::uint32_t TDataFile::GetBlobBlockSize() const noexcept {
    return EffectiveBlobBlockSize(header_);
}

// ---- New records and calculated fields ----

void TDataFile::InitRecord(std::span<std::uint8_t> image) {
    const std::size_t size = GetRecordBufferSize();
    if (image.size() < size) RaiseTableError(ErrRecordBuffersCorrupt);
    std::fill_n(image.begin(), size, 0);
    if (!hasDefaults_) return;

    // Defaults are texts in the table's own formats, whatever the caller has installed.
    const LocaleFormatSwap formats(header_.LanguageId, header_.SortId, FileName());
    for (std::uint16_t i = 0; i < workingCount_; ++i) {
        const TFieldDesc& field = workingFields_[i];
        const std::string_view text = field.DefaultValue;
        if (text.empty()) continue;
        ValueArea area{};
        std::uint8_t* const out = area.data();
        switch (field.FieldType) {
            case FieldTypeString:
                std::copy_n(text.begin(), std::min(text.size(), area.size() - 1), area.begin());
                break;
            case FieldTypeDate:
                StoreU32(out, static_cast<std::uint32_t>(
                                  rtl::DateTimeToTimeStamp(FieldTextToMoment(text, field.FieldType)).Date));
                break;
            case FieldTypeTime:
                StoreU32(out, static_cast<std::uint32_t>(
                                  rtl::DateTimeToTimeStamp(FieldTextToMoment(text, field.FieldType)).Time));
                break;
            case FieldTypeDateTime:
                StoreF64(out, rtl::TimeStampToMSecs(
                                  rtl::DateTimeToTimeStamp(FieldTextToMoment(text, field.FieldType))));
                break;
            case FieldTypeFloat:
                StoreF64(out, rtl::StrToFloat(text));
                break;
            case FieldTypeBcd: {
                const std::optional<std::int64_t> scaled =
                    CurrToScaledInt(field.StoredScale, rtl::StrToCurr(text));
                // A value with more digits than the scale leaves room for has no stored form.
                if (!scaled) RaiseTableError(ErrInvalidValidityCheck, field.Name);
                StoreU64(out, static_cast<std::uint64_t>(*scaled));
                break;
            }
            case FieldTypeSmallInt:
            case FieldTypeInteger:
            case FieldTypeWord:
                StoreInteger(rtl::StrToInt(text), field.StoredSize, out);
                break;
            case FieldTypeBoolean:
                StoreU16(out, TextToBoolean(text) ? 1 : 0);
                break;
            default:
                // Large objects, bytes and the other types take the zero value: a large object stays
                // blank, bytes get a value of zeros.
                break;
        }
        SetField(true, static_cast<std::uint16_t>(i + 1), image, std::span<const std::uint8_t>(area), false);
    }
}

void TDataFile::CalcFields(std::span<std::uint8_t> image) {
    if (!hasCalculatedFields_) return;
    for (std::uint16_t i = 0; i < workingCount_; ++i) {
        const TFieldDesc& field = workingFields_[i];
        if (!field.IsCalculated() || field.CompiledExpression == nullptr) continue;
        // Only the expression layer compiles the trees the descriptors refer to.
        const TExprNode& tree = static_cast<const TExprNode&>(*field.CompiledExpression);
        ExprValue result = tree.Value;
        std::span<std::uint8_t> data = image;
        EvaluateExpr(tree, &data, this, GetCalcOperand, header_.LanguageId, header_.SortId, result);
        const auto number = static_cast<std::uint16_t>(i + 1);
        // A null result (an operand was blank) leaves the field blank, not a value of zeros.
        if (result.IsNull != 0) {
            SetField(true, number, image, std::nullopt, true);
        } else {
            SetField(true, number, image, std::span<const std::uint8_t>(result.Bytes), true);
        }
    }
}

void TDataFile::GetCalcOperand(void* owner, void* data, const TExprNode& column, ExprValue& value) {
    const auto& table = *static_cast<const TDataFile*>(owner);
    const auto& image = *static_cast<const std::span<std::uint8_t>*>(data);
    value.Bytes.fill(0);
    value.IsNull = table.GetField(false, column.FieldNo, image, value.Bytes) ? 1 : 0;
}

// ---- Validity checks ----

void TDataFile::CheckValidity(std::span<const std::uint8_t> image) {
    if (!hasValidityChecks_) return;
    const LocaleFormatSwap formats(header_.LanguageId, header_.SortId, FileName());
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const TFieldDesc& field = fields_[i];
        // A calculated field is not stored: the record holds nothing to check.
        if (field.IsCalculated()) continue;
        ValueArea value{};
        const bool blank = GetField(false, static_cast<std::uint16_t>(i + 1), image, value);
        if (field.Required != 0 && blank) RaiseTableError(ErrValueRequired, field.Name);
        if (!field.MinValue.empty() && !CheckLimit(field.MinValue, false, field, value)) {
            RaiseTableError(ErrBelowMinimum, field.Name);
        }
        if (!field.MaxValue.empty() && !CheckLimit(field.MaxValue, true, field, value)) {
            RaiseTableError(ErrAboveMaximum, field.Name);
        }
    }
}

bool TDataFile::CheckLimit(std::string_view limit, bool isMaximum, const TFieldDesc& field,
                           std::span<const std::uint8_t> value) const {
    if (value.size() < field.StoredSize) RaiseTableError(ErrRecordBuffersCorrupt, field.Name);
    const std::uint8_t* const v = value.data();
    const auto moment = [&] { return rtl::DateTimeToTimeStamp(FieldTextToMoment(limit, field.FieldType)); };
    int order = 0;  // the value against the limit
    switch (field.FieldType) {
        case FieldTypeString:
            order = CompareLocaleStrings(header_.LanguageId, header_.SortId, StoredText(v, field.StoredSize),
                                         limit, 0, false, FileName());
            break;
        case FieldTypeDate:
            order = Order(static_cast<std::int32_t>(LoadU32(v)), moment().Date);
            break;
        case FieldTypeTime:
            order = Order(static_cast<std::int32_t>(LoadU32(v)), moment().Time);
            break;
        case FieldTypeDateTime:
            order = Order(LoadF64(v), rtl::TimeStampToMSecs(moment()));
            break;
        case FieldTypeSmallInt:
            order = Order<std::int32_t>(static_cast<std::int16_t>(LoadU16(v)), rtl::StrToInt(limit));
            break;
        case FieldTypeInteger:
            order = Order(static_cast<std::int32_t>(LoadU32(v)), rtl::StrToInt(limit));
            break;
        case FieldTypeWord:
            order = Order<std::int32_t>(LoadU16(v), rtl::StrToInt(limit));
            break;
        case FieldTypeFloat:
            order = Order(LoadF64(v), rtl::StrToFloat(limit));
            break;
        case FieldTypeBcd:
            // By value, not by stored form: a blank field holds 0 at scale 0, which is 0 at any scale. The
            // limit is taken at the field's scale, as a value stored there would be.
            order = CompareScaledIntWithCurr(static_cast<std::int64_t>(LoadU64(v)),
                                             RoundCurrency(field.StoredScale, rtl::StrToCurr(limit)));
            break;
        default:
            return true;
    }
    return isMaximum ? order <= 0 : order >= 0;
}

}  // namespace engine
