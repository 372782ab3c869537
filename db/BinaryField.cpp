#include "db/BinaryField.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "db/DatabaseError.h"
#include "db/Messages.h"

namespace db {

namespace {

// The framework's limit on a byte field; the table engine's are far shorter.
constexpr int kMaxBytesSize = 8192;

}  // namespace

TBinaryField::TBinaryField(rtl::TComponent* owner, TFieldType type) : TField(owner) {
    SetDataType(type);
    SetSize(16);
}

TBytesField::TBytesField(rtl::TComponent* owner) : TBinaryField(owner, ftBytes) {}

TVarBytesField::TVarBytesField(rtl::TComponent* owner) : TBinaryField(owner, ftVarBytes) {}

void TBinaryField::CheckTypeSize(int size) const {
    if (size < 1 || size > kMaxBytesSize) DatabaseError(kInvalidFieldSize);
}

std::string TBinaryField::GetAsString() const {
    std::string bytes(DataSize(), '\0');
    if (!GetData(bytes.data())) return {};
    return bytes;
}

void TBinaryField::SetAsStringValue(std::string_view value) {
    std::vector<char> bytes(DataSize(), '\0');
    std::memcpy(bytes.data(), value.data(), std::min(value.size(), bytes.size()));
    SetData(bytes.data());
}

rtl::Variant TBinaryField::GetAsVariant() const {
    return rtl::Variant(GetAsString());
}

void TBinaryField::SetVarValue(const rtl::Variant& value) {
    SetAsString(rtl::VarToStr(value));
}

}  // namespace db
