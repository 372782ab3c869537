// TTARNISParams and TTARNISParam: a query's parameters, each a typed value or null, with the native form
// each value takes in the parameter block and the "Data" stream the list is saved in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/FieldType.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/Stream.h"
#include "rtl/Variant.h"

namespace db {
class TField;
}

namespace sql {

// What a parameter is for; the query makes ptUnknown ones. The ordinal is stored in the "Data" stream.
enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// The largest native value the "Data" stream saves, and reads back.
inline constexpr std::size_t kMaxStoredParamSize = 2048;

class TTARNISParams;

// Native forms by data type (little-endian), the bytes GetData writes and SetData reads:
//
// | data type             | size        | form                                                              |
// |-----------------------|-------------|-------------------------------------------------------------------|
// | ftString              | length + 1  | the characters and a zero byte                                    |
// | ftSmallint, ftWord    | 2           | i16, u16                                                          |
// | ftBoolean             | 2           | i16 0 or 1 (read back: above 0 is true)                           |
// | ftInteger, ftAutoInc  | 4           | i32 (SetData refuses ftAutoInc)                                   |
// | ftDate                | 4           | i32 day number, 1 January of year 1 being day 1                   |
// | ftTime                | 4           | i32 milliseconds since midnight (read back on 30 December 1899)   |
// | ftFloat, ftCurrency   | 8           | f64                                                               |
// | ftBCD                 | 8           | the engine's scaled integer of the currency value at scale 4      |
// | ftDateTime            | 8           | f64 milliseconds: day number x 86,400,000 + milliseconds of day   |
// | ftMemo                | length + 1  | none: GetData and SetData raise "Field '%s' is of an unsupported  |
// |                       |             | type"                                                             |
// | ftUnknown             | none        | "Field '%s' is of unknown type"                                   |
// | any other             | none        | "Field '%s' is of an unsupported type"                            |
//
// A parameter belongs to the list given at construction, which frees it; one made without a list is its
// maker's. Errors are the framework's database error (rtl::EDatabaseError).
class TTARNISParam {
public:
    explicit TTARNISParam(TTARNISParams* list = nullptr, TParamType paramType = ptUnknown);
    // Leaves its list.
    ~TTARNISParam();
    TTARNISParam(const TTARNISParam&) = delete;
    TTARNISParam& operator=(const TTARNISParam&) = delete;

    TTARNISParams* ParamList() const noexcept { return list_; }
    const std::string& Name() const noexcept { return name_; }
    void SetName(std::string_view name) { name_ = std::string(name); }
    db::TFieldType DataType() const noexcept { return dataType_; }
    // Clears the value (unassigned) and sets the type.
    void SetDataType(db::TFieldType type);
    TParamType ParamType() const noexcept { return paramType_; }
    void SetParamType(TParamType type) noexcept { paramType_ = type; }
    bool IsNull() const noexcept { return null_; }
    // A value was given explicitly, or taken from a field.
    bool Bound() const noexcept { return bound_; }
    void SetBound(bool bound) noexcept { bound_ = bound; }
    const rtl::Variant& Value() const noexcept { return data_; }
    const std::string& Text() const noexcept { return text_; }

    // Null, the value cleared (unassigned), the text cleared; the data type stays.
    void Clear();

    // Each setter makes the parameter bound and not null, and sets the type its name says.
    void SetAsString(std::string_view value);
    void SetAsSmallInt(std::int16_t value);
    void SetAsInteger(std::int32_t value);
    void SetAsWord(std::uint16_t value);
    void SetAsBoolean(bool value);
    void SetAsFloat(double value);
    // A money amount held as a float.
    void SetAsCurrency(double value);
    void SetAsBCD(rtl::Currency value);
    void SetAsDate(rtl::TDateTime value);
    void SetAsTime(rtl::TDateTime value);
    void SetAsDateTime(rtl::TDateTime value);

    // The value converted (rtl::VarTo...); AsBCD as currency; AsDateTime 0 when null.
    std::string AsString() const;
    std::int32_t AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    rtl::Currency AsBCD() const;
    rtl::TDateTime AsDateTime() const;

    // Another parameter's type, value, null and bound flags and name; its param type only while this one's
    // is unknown.
    void Assign(const TTARNISParam& source);
    // The field's type (a memo over 255 characters as ftString), value or null, and name; bound.
    void Assign(const db::TField& field);
    // The field takes the value.
    void AssignTo(db::TField& field) const;
    // Same variant kind and value, same name (letter case counts), type, null, bound and param type.
    bool IsEqual(const TTARNISParam& other) const;

    // The native form (table above).
    std::size_t GetDataSize() const;
    // Writes GetDataSize() bytes; the buffer must hold them.
    void GetData(std::span<std::uint8_t> buffer) const;
    // Takes the value from its native form, through the type's setter. A string ends at its first zero byte
    // or at the end of the bytes; a fixed-size type needs exactly its native size ("Unable to load bind
    // parameters" otherwise).
    void SetData(std::span<const std::uint8_t> bytes);
    // Whether the type has a native form the parameter block can carry.
    static bool HasNativeForm(db::TFieldType type) noexcept;
    // Raises the type's message when the parameter's type has no native form.
    void CheckNativeForm() const;

private:
    friend class TTARNISParams;

    // Bound, not null, the type and the value.
    void SetValue(db::TFieldType type, rtl::Variant value);

    TTARNISParams* list_ = nullptr;
    rtl::Variant data_;
    std::string text_;
    std::string name_;
    db::TFieldType dataType_ = db::ftUnknown;
    bool null_ = false;
    bool bound_ = false;
    TParamType paramType_ = ptUnknown;
};

// The "Data" stream of a list, little-endian:
//
// | item                    | width                     | content                                         |
// |-------------------------|---------------------------|-------------------------------------------------|
// | version                 | u16                       | 1 (2 when a name or the count outgrows 1's      |
// |                         |                           | widths); 0, 1 and 2 are read                    |
// | count                   | u16 (u32 in version 2)    | number of parameters                            |
// | per parameter: name len | u8 (u32 in version 2)     |                                                 |
// | name                    | name length bytes         |                                                 |
// | param type              | u8                        | TParamType                                      |
// | data type               | u8                        | the db::TFieldType ordinal                      |
// | value size              | u16 (u32 in version 2)    | only when the data type is not ftUnknown: the   |
// |                         |                           | native size, at most kMaxStoredParamSize        |
// | value                   | value size bytes          | only with the size: the native form             |
// | null                    | u8                        |                                                 |
// | bound                   | u8                        |                                                 |
//
// Parameters are written in the order of Items, so a second parameter of a name is written with the
// first one's values.
class TTARNISParams {
public:
    TTARNISParams() = default;
    // Frees every parameter.
    ~TTARNISParams();
    TTARNISParams(const TTARNISParams&) = delete;
    TTARNISParams& operator=(const TTARNISParams&) = delete;

    int Count() const noexcept { return static_cast<int>(items_.size()); }
    // The first parameter with the name of the index-th one: a value set on it reaches every parameter of
    // that name when the list is bound.
    TTARNISParam& Items(int index) const;
    // The index-th parameter itself.
    TTARNISParam& Param(int index) const;
    // The first parameter of the name, letter case ignored (rtl::AnsiCompareText); "Parameter '%s' not
    // found" when there is none.
    TTARNISParam& ParamByName(std::string_view name) const;
    TTARNISParam* FindParam(std::string_view name) const noexcept;

    // A new parameter of this list with the name and type, its value cleared.
    TTARNISParam& CreateParam(db::TFieldType type, std::string_view name, TParamType paramType);
    // Takes the parameter into this list (from the list it was in) / lets it go, the caller owning it.
    void AddParam(TTARNISParam* param);
    void RemoveParam(TTARNISParam* param);
    // Frees every parameter, the last first.
    void Clear();

    // A copy of the other list: new parameters of unknown param type that take each item's Assign.
    void Assign(const TTARNISParams& source);
    // Each parameter takes the values of the other list's first parameter of exactly its name (letter case
    // counts); one without a namesake keeps its values.
    void AssignValues(const TTARNISParams& source);
    bool IsEqual(const TTARNISParams& other) const;

    // The stream above. Writing raises "Parameter '%s', cannot save data larger than %s bytes" for a
    // native size over kMaxStoredParamSize, before anything is written.
    void WriteBinaryData(rtl::TStream& stream) const;
    // Replaces the list with the stream's. Anything the writer cannot have written (a version above 2, a
    // value size over kMaxStoredParamSize or other than a fixed-size type's native size, an unknown data or
    // param type, a name or value past the end) raises "Unable to load bind parameters", the list empty.
    void ReadBinaryData(rtl::TStream& stream);

private:
    friend class TTARNISParam;

    void ReadParams(rtl::TStream& stream);

    std::vector<TTARNISParam*> items_;  // owned, in creation order
};

}  // namespace sql
