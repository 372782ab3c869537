// TFieldDefs: the definitions of the fields a dataset's cursor offers, from which its default fields are
// made.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/FieldType.h"

namespace rtl {
class TComponent;
}

namespace db {

class TDataSet;
class TField;
class TFieldDefs;

// Makes a field component of one class, owned by the given component.
using TFieldFactory = TField* (*)(rtl::TComponent* owner);

// The field class of a field type: nullptr for the types that no field class serves (ftUnknown, ftADT,
// ftArray, ftReference, ftDataSet and the kinds only the query parameters name).
TFieldFactory DefaultFieldFactory(TFieldType type) noexcept;

class TFieldDef {
public:
    TFieldDef(TFieldDefs& owner, std::string name, TFieldType dataType, int size, bool required, int fieldNo);

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    // Characters of a string, bytes of a byte field, decimals of a BCD value; 0 for the others.
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    // Total digits of a BCD value.
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // The number by which the dataset's cursor knows the field (from 1).
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int fieldNo) { fieldNo_ = fieldNo; }
    // A value the cursor computes itself, kept in the record like stored data.
    bool InternalCalcField() const { return internalCalcField_; }
    void SetInternalCalcField(bool value) { internalCalcField_ = value; }
    int Index() const;

    // A new field of the definition's class for the dataset, owned by the owner and joined to the dataset,
    // or nullptr when no field class serves the type.
    TField* CreateField(rtl::TComponent* owner, TDataSet& dataSet) const;

private:
    TFieldDefs& owner_;
    std::string name_;
    TFieldType dataType_ = ftUnknown;
    int size_ = 0;
    int precision_ = 0;
    bool required_ = false;
    bool readOnly_ = false;
    int fieldNo_ = 0;
    bool internalCalcField_ = false;
};

class TFieldDefs {
public:
    // The dataset that Update asks for its definitions; nullptr for a list of its own.
    explicit TFieldDefs(TDataSet* dataSet = nullptr);
    TFieldDefs(const TFieldDefs&) = delete;
    TFieldDefs& operator=(const TFieldDefs&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    TFieldDef& Items(int index) const;
    TFieldDef& operator[](int index) const { return Items(index); }
    // A new definition at the end, numbered by its position when fieldNo is 0; a name already in the list
    // (compared without regard to case) raises "Duplicate field name".
    TFieldDef& Add(std::string name, TFieldType dataType, int size = 0, bool required = false,
                   int fieldNo = 0);
    void Clear();
    // Position of the definition with the name (compared without regard to case), or -1.
    int IndexOf(std::string_view name) const;
    TFieldDef* FindDef(std::string_view name) const;
    // The definition with the name; "Field '%s' not found" when there is none.
    TFieldDef& Find(std::string_view name) const;
    // Copies the other list's definitions.
    void Assign(const TFieldDefs& source);

    // Whether the list reflects the dataset; Update reads the definitions from the dataset when not.
    bool Updated() const { return updated_; }
    void SetUpdated(bool updated) { updated_ = updated; }
    void Update();
    TDataSet* DataSet() const { return dataSet_; }

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
    bool updated_ = false;
};

}  // namespace db
