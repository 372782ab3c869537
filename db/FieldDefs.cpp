#include "db/FieldDefs.h"

#include "db/BCDField.h"
#include "db/BinaryField.h"
#include "db/BlobField.h"
#include "db/BooleanField.h"
#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/DateTimeField.h"
#include "db/FloatField.h"
#include "db/IntegerField.h"
#include "db/Messages.h"
#include "db/StringField.h"
#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace db {

namespace {

template <class Field>
TField* Make(rtl::TComponent* owner) {
    return new Field(owner);
}

template <TFieldType Type>
TField* MakeBlob(rtl::TComponent* owner) {
    auto* field = new TBlobField(owner);
    field->SetBlobType(Type);
    return field;
}

}  // namespace

TFieldFactory DefaultFieldFactory(TFieldType type) noexcept {
    switch (type) {
        case ftString:
            return &Make<TStringField>;
        case ftSmallint:
            return &Make<TSmallintField>;
        case ftInteger:
            return &Make<TIntegerField>;
        case ftWord:
            return &Make<TWordField>;
        case ftBoolean:
            return &Make<TBooleanField>;
        case ftFloat:
            return &Make<TFloatField>;
        case ftCurrency:
            return &Make<TCurrencyField>;
        case ftBCD:
            return &Make<TBCDField>;
        case ftDate:
            return &Make<TDateField>;
        case ftTime:
            return &Make<TTimeField>;
        case ftDateTime:
            return &Make<TDateTimeField>;
        case ftBytes:
            return &Make<TBytesField>;
        case ftVarBytes:
            return &Make<TVarBytesField>;
        case ftAutoInc:
            return &Make<TAutoIncField>;
        case ftLargeint:
            return &Make<TLargeintField>;
        case ftBlob:
            return &Make<TBlobField>;
        case ftMemo:
            return &Make<TMemoField>;
        case ftGraphic:
            return &Make<TGraphicField>;
        case ftFmtMemo:
            return &MakeBlob<ftFmtMemo>;
        case ftTypedBinary:
            return &MakeBlob<ftTypedBinary>;
        default:
            return nullptr;
    }
}

TFieldDef::TFieldDef(TFieldDefs& owner, std::string name, TFieldType dataType, int size, bool required,
                     int fieldNo)
    : owner_(owner),
      name_(std::move(name)),
      dataType_(dataType),
      size_(size),
      required_(required),
      fieldNo_(fieldNo) {}

int TFieldDef::Index() const {
    for (int i = 0; i < owner_.Count(); ++i)
        if (&owner_.Items(i) == this) return i;
    return -1;
}

TField* TFieldDef::CreateField(rtl::TComponent* owner, TDataSet& dataSet) const {
    const TFieldFactory factory = DefaultFieldFactory(dataType_);
    if (factory == nullptr) return nullptr;
    TField* field = factory(owner);
    try {
        // Sizes mean something only to the kinds that check them.
        if (dataType_ == ftString || dataType_ == ftBytes || dataType_ == ftVarBytes || dataType_ == ftBCD ||
            IsBlobType(dataType_))
            field->SetSize(size_);
        if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetPrecision(precision_);
        field->SetFieldName(name_);
        field->SetRequired(required_);
        field->SetReadOnly(readOnly_);
        if (internalCalcField_) field->SetFieldKind(fkInternalCalc);
        field->SetDataSet(&dataSet);
    } catch (...) {
        delete field;
        throw;
    }
    return field;
}

TFieldDefs::TFieldDefs(TDataSet* dataSet) : dataSet_(dataSet) {}

TFieldDef& TFieldDefs::Items(int index) const {
    if (index < 0 || index >= Count())
        throw rtl::EListError("Field definition " + std::to_string(index) + " out of bounds");
    return *items_[static_cast<std::size_t>(index)];
}

TFieldDef& TFieldDefs::Add(std::string name, TFieldType dataType, int size, bool required, int fieldNo) {
    if (IndexOf(name) >= 0) DatabaseErrorFmt(kDuplicateFieldName, {name}, dataSet_);
    if (fieldNo == 0) fieldNo = Count() + 1;
    items_.push_back(std::make_unique<TFieldDef>(*this, std::move(name), dataType, size, required, fieldNo));
    return *items_.back();
}

void TFieldDefs::Clear() {
    items_.clear();
}

int TFieldDefs::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (rtl::AnsiSameText(items_[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

TFieldDef* TFieldDefs::FindDef(std::string_view name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

TFieldDef& TFieldDefs::Find(std::string_view name) const {
    TFieldDef* def = FindDef(name);
    if (def == nullptr) DatabaseErrorFmt(kFieldNotFound, {name}, dataSet_);
    return *def;
}

void TFieldDefs::Assign(const TFieldDefs& source) {
    if (&source == this) return;
    Clear();
    for (const auto& def : source.items_) {
        TFieldDef& copy = Add(def->Name(), def->DataType(), def->Size(), def->Required(), def->FieldNo());
        copy.SetPrecision(def->Precision());
        copy.SetReadOnly(def->ReadOnly());
        copy.SetInternalCalcField(def->InternalCalcField());
    }
}

void TFieldDefs::Update() {
    if (updated_ || dataSet_ == nullptr) return;
    dataSet_->InitFieldDefs();
    updated_ = true;
}

}  // namespace db
