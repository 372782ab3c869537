// The integer fields: TIntegerField (32-bit), TSmallintField (16-bit), TWordField (16-bit unsigned),
// TAutoIncField (32-bit, numbered by the cursor) and TLargeintField (64-bit).
#pragma once

#include <cstdint>

#include "db/Field.h"

namespace db {

// The value in a record buffer is the integer in the width of the kind. Floats and currency round half to
// even; a value outside the kind's range raises "Value %s is out of range for field '%s'".
class TIntegerField : public TField {
public:
    explicit TIntegerField(rtl::TComponent* owner);

    std::size_t DataSize() const override;
    // The value, and whether the field has one.
    bool GetValue(std::int64_t& value) const;
    std::int64_t MinValue() const { return minValue_; }
    std::int64_t MaxValue() const { return maxValue_; }

protected:
    // For the narrower and wider kinds.
    TIntegerField(rtl::TComponent* owner, TFieldType type, std::int64_t minValue, std::int64_t maxValue);

    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    std::int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(std::int64_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    rtl::Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(rtl::Currency value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;

private:
    std::int64_t minValue_;
    std::int64_t maxValue_;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(rtl::TComponent* owner);
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(rtl::TComponent* owner);
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(rtl::TComponent* owner);
};

class TLargeintField : public TIntegerField {
public:
    explicit TLargeintField(rtl::TComponent* owner);
};

}  // namespace db
