// The byte fields: TBytesField and TVarBytesField, Size raw bytes each.
#pragma once

#include "db/Field.h"

namespace db {

// The value in a record buffer is Size raw bytes (a variable byte field has no length prefix either: the
// table engine keeps both kinds as Size bytes). As text and as a variant the bytes are a string of Size
// characters; a shorter string is padded with zeros, a longer one cut.
class TBinaryField : public TField {
public:
    std::size_t DataSize() const override { return static_cast<std::size_t>(Size()); }

protected:
    TBinaryField(rtl::TComponent* owner, TFieldType type);

    void CheckTypeSize(int size) const override;
    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;
};

class TBytesField : public TBinaryField {
public:
    explicit TBytesField(rtl::TComponent* owner);
};

class TVarBytesField : public TBinaryField {
public:
    explicit TVarBytesField(rtl::TComponent* owner);
};

}  // namespace db
