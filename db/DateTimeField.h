// The date and time fields: TDateField (a day), TTimeField (a time of day), TDateTimeField (both).
#pragma once

#include "db/Field.h"

namespace db {

// The value in a record buffer is the table engine's form: a date is the 32-bit day number (1 January of
// year 1 is day 1), a time the 32-bit milliseconds since midnight, a date-time the double day number x
// 86,400,000 + milliseconds. Texts: dates in the short date format, times in the long time format,
// date-times in both (without the time at midnight). A value outside the years 1 to 9999 raises the
// runtime's conversion error.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(rtl::TComponent* owner);

    std::size_t DataSize() const override;
    bool GetValue(rtl::TDateTime& value) const;

protected:
    TDateTimeField(rtl::TComponent* owner, TFieldType type);

    int DefaultDisplayWidth() const override { return 18; }
    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(rtl::TDateTime value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(rtl::TComponent* owner);
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(rtl::TComponent* owner);
};

}  // namespace db
