// The float fields: TFloatField (a double) and TCurrencyField (a double that holds an amount of money).
#pragma once

#include "db/Field.h"

namespace db {

// The value in a record buffer is an 8-byte double. Its text is the general 15-digit form; it rounds half
// to even into integers. Not-a-number and the infinities are refused.
class TFloatField : public TField {
public:
    explicit TFloatField(rtl::TComponent* owner);

    std::size_t DataSize() const override { return sizeof(double); }
    bool GetValue(double& value) const;

protected:
    TFloatField(rtl::TComponent* owner, TFieldType type);

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
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(rtl::TComponent* owner);
};

}  // namespace db
