// TIndexDefs: the indexes of a dataset's table, with the search for an index that serves given fields.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class TDataSet;

// Index options, combined with |.
enum TIndexOption : unsigned {
    ixPrimary = 1u << 0,
    ixUnique = 1u << 1,
    ixDescending = 1u << 2,
    ixCaseInsensitive = 1u << 3,
    ixExpression = 1u << 4,
};
using TIndexOptions = unsigned;

class TIndexDef {
public:
    TIndexDef(std::string name, std::string fields, TIndexOptions options)
        : name_(std::move(name)), fields_(std::move(fields)), options_(options) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    // The key fields' names in order, separated by ";".
    const std::string& Fields() const { return fields_; }
    void SetFields(std::string fields) { fields_ = std::move(fields); }
    TIndexOptions Options() const { return options_; }
    void SetOptions(TIndexOptions options) { options_ = options; }
    const std::string& Expression() const { return expression_; }
    void SetExpression(std::string expression) { expression_ = std::move(expression); }

private:
    std::string name_;
    std::string fields_;
    TIndexOptions options_;
    std::string expression_;
};

class TIndexDefs {
public:
    // The dataset whose UpdateIndexDefs Update calls; nullptr for a list of its own.
    explicit TIndexDefs(TDataSet* dataSet = nullptr) : dataSet_(dataSet) {}
    TIndexDefs(const TIndexDefs&) = delete;
    TIndexDefs& operator=(const TIndexDefs&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    TIndexDef& Items(int index) const;
    TIndexDef& operator[](int index) const { return Items(index); }
    TIndexDef& Add(std::string name, std::string fields, TIndexOptions options);
    void Clear();
    void Assign(const TIndexDefs& source);

    // Names compare without regard to case.
    int IndexOf(std::string_view name) const;
    TIndexDef* FindIndex(std::string_view name) const;
    // "Index '%s' not found" when there is none.
    TIndexDef& Find(std::string_view name) const;

    // The index that serves a search on the fields (";"-separated). Only indexes that are neither descending
    // nor expression indexes serve, and, when caseInsensitive is asked, only case-insensitive ones. The
    // first whose field list equals the fields (without regard to case) wins; failing that, the first whose
    // field list begins with them and goes on with ";" or ends there. nullptr when none serves. Brings the
    // list up to date first.
    TIndexDef* GetIndexForFields(std::string_view fields, bool caseInsensitive);
    // GetIndexForFields(fields, false), or "No index for fields '%s'".
    TIndexDef& FindIndexForFields(std::string_view fields);

    bool Updated() const { return updated_; }
    void SetUpdated(bool updated) { updated_ = updated; }
    // Asks the dataset for its index definitions unless the list is up to date.
    void Update();

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TIndexDef>> items_;
    bool updated_ = false;
};

}  // namespace db
