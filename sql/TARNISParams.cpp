#include "sql/TARNISParams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "engine/base/FileBytes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/Text.h"
#include "sql/SqlMessages.h"

namespace sql {

namespace {

// The scale a BCD parameter's native value carries: that of the currency it holds.
constexpr int kBcdParamScale = 4;

// The native size of a type of fixed size; nullopt for strings, memos and types without a native form.
std::optional<std::size_t> FixedNativeSize(db::TFieldType type) noexcept {
    switch (type) {
        case db::ftSmallint:
        case db::ftWord:
        case db::ftBoolean:
            return 2;
        case db::ftInteger:
        case db::ftAutoInc:
        case db::ftDate:
        case db::ftTime:
            return 4;
        case db::ftFloat:
        case db::ftCurrency:
        case db::ftBCD:
        case db::ftDateTime:
            return 8;
        default:
            return std::nullopt;
    }
}

[[noreturn]] void RaiseLoadError() {
    db::DatabaseError(kUnableToLoadParams);
}

// A value outside the range of the native form it must take.
template <typename T>
T CheckedNative(std::int64_t value, const std::string& name) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        db::DatabaseErrorFmt(db::kFieldRangeError, {std::to_string(value), name});
    return static_cast<T>(value);
}

}  // namespace

// ---- TTARNISParam ----

TTARNISParam::TTARNISParam(TTARNISParams* list, TParamType paramType) : paramType_(paramType) {
    if (list != nullptr) list->AddParam(this);
}

TTARNISParam::~TTARNISParam() {
    if (list_ != nullptr) list_->RemoveParam(this);
}

void TTARNISParam::SetDataType(db::TFieldType type) {
    data_ = rtl::Unassigned();
    dataType_ = type;
}

void TTARNISParam::Clear() {
    null_ = true;
    data_ = rtl::Unassigned();
    text_.clear();
}

void TTARNISParam::SetValue(db::TFieldType type, rtl::Variant value) {
    bound_ = true;
    null_ = false;
    dataType_ = type;
    data_ = std::move(value);
}

void TTARNISParam::SetAsString(std::string_view value) {
    SetValue(db::ftString, rtl::Variant(value));
}
void TTARNISParam::SetAsSmallInt(std::int16_t value) {
    SetValue(db::ftSmallint, rtl::Variant(std::int32_t{value}));
}
void TTARNISParam::SetAsInteger(std::int32_t value) {
    SetValue(db::ftInteger, rtl::Variant(value));
}
void TTARNISParam::SetAsWord(std::uint16_t value) {
    SetValue(db::ftWord, rtl::Variant(std::int32_t{value}));
}
void TTARNISParam::SetAsBoolean(bool value) {
    SetValue(db::ftBoolean, rtl::Variant(value));
}
void TTARNISParam::SetAsFloat(double value) {
    SetValue(db::ftFloat, rtl::Variant(value));
}
void TTARNISParam::SetAsCurrency(double value) {
    SetValue(db::ftCurrency, rtl::Variant(value));
}
void TTARNISParam::SetAsBCD(rtl::Currency value) {
    SetValue(db::ftBCD, rtl::Variant(value));
}
void TTARNISParam::SetAsDate(rtl::TDateTime value) {
    SetValue(db::ftDate, rtl::Variant::FromDateTime(value));
}
void TTARNISParam::SetAsTime(rtl::TDateTime value) {
    SetValue(db::ftTime, rtl::Variant::FromDateTime(value));
}
void TTARNISParam::SetAsDateTime(rtl::TDateTime value) {
    SetValue(db::ftDateTime, rtl::Variant::FromDateTime(value));
}

std::string TTARNISParam::AsString() const {
    return rtl::VarToStr(data_);
}
std::int32_t TTARNISParam::AsInteger() const {
    return rtl::VarToInt(data_);
}
double TTARNISParam::AsFloat() const {
    return rtl::VarToReal(data_);
}
bool TTARNISParam::AsBoolean() const {
    return rtl::VarToBool(data_);
}
rtl::Currency TTARNISParam::AsBCD() const {
    return rtl::VarToCurr(data_);
}
rtl::TDateTime TTARNISParam::AsDateTime() const {
    return null_ ? 0.0 : rtl::VarToDateTime(data_);
}

void TTARNISParam::Assign(const TTARNISParam& source) {
    if (&source == this) return;
    dataType_ = source.dataType_;
    if (source.null_) {
        Clear();
    } else {
        bound_ = true;
        null_ = false;
        data_ = source.data_;
    }
    bound_ = source.bound_;
    name_ = source.name_;
    if (paramType_ == ptUnknown) paramType_ = source.paramType_;
}

void TTARNISParam::Assign(const db::TField& field) {
    // A memo short enough for a string binds as one; the engine compares it as text.
    dataType_ = field.DataType() == db::ftMemo && field.Size() > 255 ? db::ftString : field.DataType();
    if (field.IsNull()) {
        Clear();
    } else {
        null_ = false;
        data_ = field.Value();
    }
    bound_ = true;
    name_ = field.FieldName();
}

void TTARNISParam::AssignTo(db::TField& field) const {
    field.SetValue(data_);
}

bool TTARNISParam::IsEqual(const TTARNISParam& other) const {
    return data_.Type() == other.data_.Type() && data_ == other.data_ && name_ == other.name_ &&
           dataType_ == other.dataType_ && null_ == other.null_ && bound_ == other.bound_ &&
           paramType_ == other.paramType_;
}

bool TTARNISParam::HasNativeForm(db::TFieldType type) noexcept {
    return type == db::ftString || FixedNativeSize(type).has_value();
}

void TTARNISParam::CheckNativeForm() const {
    if (!HasNativeForm(dataType_))
        db::DatabaseErrorFmt(dataType_ == db::ftUnknown ? kParamUnknownType : kParamUnsupportedType, {name_});
}

std::size_t TTARNISParam::GetDataSize() const {
    if (dataType_ == db::ftString || dataType_ == db::ftMemo) return AsString().size() + 1;
    CheckNativeForm();
    return *FixedNativeSize(dataType_);
}

void TTARNISParam::GetData(std::span<std::uint8_t> buffer) const {
    std::uint8_t* out = buffer.data();
    switch (dataType_) {
        case db::ftString: {
            const std::string text = AsString();
            std::memcpy(out, text.data(), text.size());
            out[text.size()] = 0;
            return;
        }
        case db::ftSmallint:
            engine::StoreU16(out, static_cast<std::uint16_t>(CheckedNative<std::int16_t>(rtl::VarToInt(data_), name_)));
            return;
        case db::ftWord:
            engine::StoreU16(out, CheckedNative<std::uint16_t>(rtl::VarToInt(data_), name_));
            return;
        case db::ftBoolean:
            engine::StoreU16(out, rtl::VarToBool(data_) ? 1 : 0);
            return;
        case db::ftInteger:
        case db::ftAutoInc:
            engine::StoreU32(out, static_cast<std::uint32_t>(rtl::VarToInt(data_)));
            return;
        case db::ftDate:
            engine::StoreU32(out, static_cast<std::uint32_t>(rtl::DateTimeToTimeStamp(rtl::VarToDateTime(data_)).Date));
            return;
        case db::ftTime:
            engine::StoreU32(out, static_cast<std::uint32_t>(rtl::DateTimeToTimeStamp(rtl::VarToDateTime(data_)).Time));
            return;
        case db::ftFloat:
        case db::ftCurrency:
            engine::StoreF64(out, rtl::VarToReal(data_));
            return;
        case db::ftBCD: {
            const rtl::Currency value = rtl::VarToCurr(data_);
            const std::optional<std::int64_t> scaled = engine::CurrToScaledInt(kBcdParamScale, value);
            if (!scaled) db::DatabaseErrorFmt(db::kFieldRangeError, {rtl::VarToStr(data_), name_});
            engine::StoreU64(out, static_cast<std::uint64_t>(*scaled));
            return;
        }
        case db::ftDateTime:
            engine::StoreF64(out, rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(rtl::VarToDateTime(data_))));
            return;
        default:
            CheckNativeForm();
            db::DatabaseErrorFmt(kParamUnsupportedType, {name_});
    }
}

void TTARNISParam::SetData(std::span<const std::uint8_t> bytes) {
    if (dataType_ == db::ftString) {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        SetAsString(std::string(bytes.begin(), end));
        return;
    }
    CheckNativeForm();
    const std::optional<std::size_t> size = FixedNativeSize(dataType_);
    if (dataType_ == db::ftAutoInc) db::DatabaseErrorFmt(kParamUnsupportedType, {name_});
    if (bytes.size() != *size) RaiseLoadError();
    const std::uint8_t* in = bytes.data();
    switch (dataType_) {
        case db::ftSmallint:
            SetAsSmallInt(static_cast<std::int16_t>(engine::LoadU16(in)));
            return;
        case db::ftWord:
            SetAsWord(engine::LoadU16(in));
            return;
        case db::ftBoolean:
            SetAsBoolean(static_cast<std::int16_t>(engine::LoadU16(in)) > 0);
            return;
        case db::ftInteger:
            SetAsInteger(static_cast<std::int32_t>(engine::LoadU32(in)));
            return;
        case db::ftDate:
            SetAsDate(rtl::TimeStampToDateTime({0, static_cast<std::int32_t>(engine::LoadU32(in))}));
            return;
        case db::ftTime:
            SetAsTime(rtl::TimeStampToDateTime({static_cast<std::int32_t>(engine::LoadU32(in)), rtl::DateDelta}));
            return;
        case db::ftFloat:
            SetAsFloat(engine::LoadF64(in));
            return;
        case db::ftCurrency:
            SetAsCurrency(engine::LoadF64(in));
            return;
        case db::ftBCD:
            SetAsBCD(engine::ScaledIntToCurr(static_cast<std::int64_t>(engine::LoadU64(in))));
            return;
        default:  // ftDateTime
            SetAsDateTime(rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(engine::LoadF64(in))));
            return;
    }
}

// ---- TTARNISParams ----

TTARNISParams::~TTARNISParams() {
    Clear();
}

TTARNISParam& TTARNISParams::Param(int index) const {
    return *items_.at(static_cast<std::size_t>(index));
}

TTARNISParam& TTARNISParams::Items(int index) const {
    return ParamByName(Param(index).Name());
}

TTARNISParam* TTARNISParams::FindParam(std::string_view name) const noexcept {
    for (TTARNISParam* param : items_)
        if (rtl::AnsiCompareText(param->Name(), name) == 0) return param;
    return nullptr;
}

TTARNISParam& TTARNISParams::ParamByName(std::string_view name) const {
    TTARNISParam* param = FindParam(name);
    if (param == nullptr) db::DatabaseErrorFmt(db::kParamNotFound, {name});
    return *param;
}

TTARNISParam& TTARNISParams::CreateParam(db::TFieldType type, std::string_view name, TParamType paramType) {
    auto* param = new TTARNISParam(this, paramType);
    param->SetName(name);
    param->SetDataType(type);
    return *param;
}

void TTARNISParams::AddParam(TTARNISParam* param) {
    if (param->list_ == this) return;
    if (param->list_ != nullptr) param->list_->RemoveParam(param);
    items_.push_back(param);
    param->list_ = this;
}

void TTARNISParams::RemoveParam(TTARNISParam* param) {
    if (param->list_ != this) return;
    items_.erase(std::find(items_.begin(), items_.end(), param));
    param->list_ = nullptr;
}

void TTARNISParams::Clear() {
    while (!items_.empty()) delete items_.back();
}

void TTARNISParams::Assign(const TTARNISParams& source) {
    if (&source == this) return;
    Clear();
    for (const TTARNISParam* item : source.items_) (new TTARNISParam(this, ptUnknown))->Assign(*item);
}

void TTARNISParams::AssignValues(const TTARNISParams& source) {
    for (TTARNISParam* param : items_) {
        const auto match = std::find_if(source.items_.begin(), source.items_.end(),
                                        [&](const TTARNISParam* other) { return other->Name() == param->Name(); });
        if (match != source.items_.end()) param->Assign(**match);
    }
}

bool TTARNISParams::IsEqual(const TTARNISParams& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i)
        if (!Items(i).IsEqual(other.Items(i))) return false;
    return true;
}

// ---- The "Data" stream ----

namespace {

// Version 1's widths: u16 count, u8 name length, u16 value size.
constexpr std::uint16_t kStreamVersion = 1;
// Version 2 widens the three to u32; the writer takes it only for what version 1 cannot hold.
constexpr std::uint16_t kWideStreamVersion = 2;

class StreamWriter {
public:
    explicit StreamWriter(bool wide) : wide_(wide) {}
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    void U16(std::uint16_t value) {
        U8(static_cast<std::uint8_t>(value));
        U8(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    // u16 or u32 by version; the callers checked version 1's limits.
    void Wide(std::uint32_t value) { wide_ ? U32(value) : U16(static_cast<std::uint16_t>(value)); }
    void Bytes(std::span<const std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    const std::vector<std::uint8_t>& Result() const noexcept { return bytes_; }
    bool IsWide() const noexcept { return wide_; }

private:
    bool wide_;
    std::vector<std::uint8_t> bytes_;
};

// Reads the stream's bytes from a copy of them; every read past the end is a load error.
class StreamReader {
public:
    explicit StreamReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> Take(std::size_t count) {
        if (count > bytes_.size() - position_) RaiseLoadError();
        const auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }
    std::uint8_t U8() { return Take(1)[0]; }
    std::uint16_t U16() { return engine::LoadU16(Take(2).data()); }
    std::uint32_t U32() { return engine::LoadU32(Take(4).data()); }
    std::uint32_t Wide(bool wide) { return wide ? U32() : U16(); }
    std::size_t Position() const noexcept { return position_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace

void TTARNISParams::WriteBinaryData(rtl::TStream& stream) const {
    bool wide = items_.size() > std::numeric_limits<std::uint16_t>::max();
    for (const TTARNISParam* param : items_) wide = wide || param->Name().size() > std::numeric_limits<std::uint8_t>::max();
    StreamWriter out(wide);
    out.U16(wide ? kWideStreamVersion : kStreamVersion);
    out.Wide(static_cast<std::uint32_t>(items_.size()));
    for (int i = 0; i < Count(); ++i) {
        const TTARNISParam& param = Items(i);
        const std::string& name = param.Name();
        wide ? out.U32(static_cast<std::uint32_t>(name.size())) : out.U8(static_cast<std::uint8_t>(name.size()));
        out.Bytes({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()});
        out.U8(param.ParamType());
        out.U8(param.DataType());
        if (param.DataType() != db::ftUnknown) {
            const std::size_t size = param.GetDataSize();
            if (size > kMaxStoredParamSize)
                db::DatabaseErrorFmt(kParamTooLargeToSave, {name, std::to_string(kMaxStoredParamSize)});
            std::vector<std::uint8_t> value(size);
            param.GetData(value);
            out.Wide(static_cast<std::uint32_t>(size));
            out.Bytes(value);
        }
        out.U8(param.IsNull() ? 1 : 0);
        out.U8(param.Bound() ? 1 : 0);
    }
    stream.WriteBuffer(out.Result().data(), static_cast<std::int64_t>(out.Result().size()));
}

void TTARNISParams::ReadBinaryData(rtl::TStream& stream) {
    Clear();
    try {
        ReadParams(stream);
    } catch (...) {
        Clear();
        RaiseLoadError();
    }
}

void TTARNISParams::ReadParams(rtl::TStream& stream) {
    // The rest of the stream, as long as it really is: no count read from it decides an allocation.
    const std::int64_t start = stream.Position();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, stream.Size() - start)));
    stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    StreamReader in(bytes);

    const std::uint16_t version = in.U16();
    if (version > kWideStreamVersion) RaiseLoadError();
    const bool wide = version == kWideStreamVersion;
    const std::uint32_t count = in.Wide(wide);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t nameLength = wide ? in.U32() : in.U8();
        const auto name = in.Take(nameLength);
        const std::uint8_t paramType = in.U8();
        const std::uint8_t dataType = in.U8();
        if (paramType > ptResult || dataType > db::ftGuid) RaiseLoadError();
        auto& param = CreateParam(static_cast<db::TFieldType>(dataType),
                                  std::string_view(reinterpret_cast<const char*>(name.data()), name.size()),
                                  static_cast<TParamType>(paramType));
        if (param.DataType() != db::ftUnknown) {
            const std::uint32_t size = in.Wide(wide);
            if (size > kMaxStoredParamSize) RaiseLoadError();
            const auto value = in.Take(size);
            if (param.DataType() == db::ftAutoInc) {
                // Written from an autoincrement field's value; read back as the integer it holds.
                if (size != 4) RaiseLoadError();
                param.SetAsInteger(static_cast<std::int32_t>(engine::LoadU32(value.data())));
                param.dataType_ = db::ftAutoInc;
            } else {
                param.SetData(value);
            }
        }
        const bool null = in.U8() != 0;
        const bool bound = in.U8() != 0;
        // A null parameter was written with the form of its cleared value: it reads back cleared.
        if (null) param.Clear();
        param.null_ = null;
        param.bound_ = bound;
    }
    stream.SetPosition(start + static_cast<std::int64_t>(in.Position()));
}

}  // namespace sql
