// The large-object fields: TBlobField (bytes of any length), TMemoField (text), TGraphicField (a picture).
#pragma once

#include <memory>

#include "db/Field.h"
#include "rtl/Stream.h"

namespace db {

// The value lives outside the record buffer and moves through the dataset's blob streams
// (CreateBlobStream). A value written during an edit stays open, and the field Modified, until the record
// is posted or cancelled; then the dataset closes it (CloseBlob) and clears the flag. DisplayText shows
// "(Memo)" for text kinds and "(Blob)" for the others; Text and AsString are the contents.
class TBlobField : public TField {
public:
    explicit TBlobField(rtl::TComponent* owner);

    bool IsBlob() const override { return true; }
    // The large-object kind: ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftTypedBinary, ...
    TFieldType BlobType() const { return DataType(); }
    void SetBlobType(TFieldType type);
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    std::int64_t BlobSize() const;
    void LoadFromStream(rtl::TStream& source);
    void SaveToStream(rtl::TStream& destination) const;

    bool IsNull() const override;
    // Writes an empty value.
    void Clear() override;
    void FreeBuffers() override;

protected:
    TBlobField(rtl::TComponent* owner, TFieldType type);

    void CheckTypeSize(int size) const override;
    std::string GetAsString() const override;
    void SetAsStringValue(std::string_view value) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant& value) override;
    void GetText(std::string& text, bool displayText) const override;

private:
    std::unique_ptr<rtl::TStream> OpenStream(int mode) const;

    bool modified_ = false;
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(rtl::TComponent* owner);
};

class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(rtl::TComponent* owner);
};

}  // namespace db
