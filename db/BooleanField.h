// TBooleanField: a truth value, shown as "True" or "False".
#pragma once

#include "db/Field.h"

namespace db {

// The value in a record buffer is a 16-bit word, 0 for false and any other value for true (1 when
// written). Its text is "True" or "False"; either word is read back in any letter case, any other text
// raises the runtime's conversion error.
class TBooleanField : public TField {
public:
    explicit TBooleanField(rtl::TComponent* owner);

    std::size_t DataSize() const override { return sizeof(std::uint16_t); }
    bool GetValue(bool& value) const;

protected:
    int DefaultDisplayWidth() const override { return 5; }
    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;
};

}  // namespace db
