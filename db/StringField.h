// TStringField: a text of at most Size characters.
#pragma once

#include "db/Field.h"

namespace db {

// The value in a record buffer: Size characters and a terminating zero. A longer text is cut to Size.
// The numeric, truth and date accessors read and write the text in the format settings' forms.
class TStringField : public TField {
public:
    explicit TStringField(rtl::TComponent* owner);

    std::size_t DataSize() const override { return static_cast<std::size_t>(Size()) + 1; }
    // The text, and whether the field has a value.
    bool GetValue(std::string& value) const;

protected:
    void CheckTypeSize(int size) const override;
    int DefaultDisplayWidth() const override { return Size(); }
    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    std::int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(std::int64_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool value) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(rtl::TDateTime value) override;
    rtl::Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(rtl::Currency value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;
};

}  // namespace db
