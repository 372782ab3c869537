// TFields: a dataset's fields in order, found by position, name or cursor number.
#pragma once

#include <string_view>
#include <vector>

namespace db {

class TDataSet;
class TField;

// The list does not own the fields (their owner component does); the dataset deletes its default fields.
class TFields {
public:
    explicit TFields(TDataSet& dataSet) : dataSet_(dataSet) {}
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    int Count() const { return static_cast<int>(list_.size()); }
    TField& Fields(int index) const;
    TField& operator[](int index) const { return Fields(index); }
    int IndexOf(const TField* field) const;
    // Names compare without regard to letter case.
    TField* FindField(std::string_view name) const;
    // "Field '%s' not found" when there is none.
    TField& FieldByName(std::string_view name) const;
    // The field with the cursor number, or nullptr.
    TField* FieldByNumber(int fieldNo) const;

    auto begin() const { return list_.begin(); }
    auto end() const { return list_.end(); }

private:
    friend class TField;
    friend class TDataSet;

    // A name already in the list raises "Duplicate field name".
    void Add(TField* field);
    void Remove(TField* field);
    void Move(int from, int to);
    // Deletes every field in the list.
    void Clear();

    TDataSet& dataSet_;
    std::vector<TField*> list_;
};

}  // namespace db
