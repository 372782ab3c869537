#include "db/BlobField.h"

#include <string>

#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"

namespace db {

TBlobField::TBlobField(rtl::TComponent* owner) : TBlobField(owner, ftBlob) {}

TBlobField::TBlobField(rtl::TComponent* owner, TFieldType type) : TField(owner) {
    SetDataType(type);
}

TMemoField::TMemoField(rtl::TComponent* owner) : TBlobField(owner, ftMemo) {}

TGraphicField::TGraphicField(rtl::TComponent* owner) : TBlobField(owner, ftGraphic) {}

void TBlobField::SetBlobType(TFieldType type) {
    if (!IsBlobType(type)) DatabaseErrorFmt(kFieldTypeMismatch, {DisplayName()});
    CheckInactive();
    SetDataType(type);
}

void TBlobField::CheckTypeSize(int size) const {
    if (size < 0) DatabaseError(kInvalidFieldSize);
}

std::unique_ptr<rtl::TStream> TBlobField::OpenStream(int mode) const {
    if (DataSet() == nullptr) DatabaseErrorFmt(kFieldHasNoDataSet, {DisplayName()});
    auto stream =
        DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), static_cast<TBlobStreamMode>(mode));
    // A dataset without large-object streams can hold no value, and cannot take one.
    if (stream == nullptr && mode != bmRead) DatabaseErrorFmt(kFieldReadOnly, {DisplayName()});
    return stream;
}

std::int64_t TBlobField::BlobSize() const {
    auto stream = OpenStream(bmRead);
    return stream == nullptr ? 0 : stream->Size();
}

void TBlobField::LoadFromStream(rtl::TStream& source) {
    auto stream = OpenStream(bmWrite);
    stream->CopyFrom(source, 0);
}

void TBlobField::SaveToStream(rtl::TStream& destination) const {
    auto stream = OpenStream(bmRead);
    if (stream != nullptr) destination.CopyFrom(*stream, 0);
}

bool TBlobField::IsNull() const {
    // A value written during the edit is not in the record yet: its length tells.
    if (modified_) return BlobSize() == 0;
    return TField::IsNull();
}

void TBlobField::Clear() {
    OpenStream(bmWrite);
}

void TBlobField::FreeBuffers() {
    if (!modified_) return;
    modified_ = false;
    if (DataSet() != nullptr) DataSet()->CloseBlob(this);
}

std::string TBlobField::GetAsString() const {
    auto stream = OpenStream(bmRead);
    if (stream == nullptr) return {};
    std::string text(static_cast<std::size_t>(stream->Size()), '\0');
    stream->SetPosition(0);
    text.resize(static_cast<std::size_t>(stream->Read(text.data(), static_cast<std::int64_t>(text.size()))));
    return text;
}

void TBlobField::SetAsStringValue(std::string_view value) {
    auto stream = OpenStream(bmWrite);
    stream->WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
}

rtl::Variant TBlobField::GetAsVariant() const {
    return rtl::Variant(GetAsString());
}

void TBlobField::SetVarValue(const rtl::Variant& value) {
    SetAsString(rtl::VarToStr(value));
}

void TBlobField::GetText(std::string& text, bool displayText) const {
    if (!displayText) {
        text = GetAsString();
        return;
    }
    const bool isText = DataType() == ftMemo || DataType() == ftFmtMemo;
    text = std::string(isText ? kMemoText : kBlobText);
}

}  // namespace db
