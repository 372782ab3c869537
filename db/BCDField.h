// TBCDField: a decimal amount of Size decimals, read and written as currency.
#pragma once

#include "db/Field.h"

namespace db {

// The field's own form of the value is a currency value (8 bytes). The cursor may keep another form (the
// table engine's scaled integer); the dataset's DataConvert turns one into the other, rounding to Size
// decimals on the way in. Precision is the number of digits in all.
class TBCDField : public TField {
public:
    explicit TBCDField(rtl::TComponent* owner);

    std::size_t DataSize() const override { return sizeof(std::int64_t); }
    bool GetValue(rtl::Currency& value) const;
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }

protected:
    void CheckTypeSize(int size) const override;
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
    int precision_ = 0;
};

}  // namespace db
