#include "db/IndexDefs.h"

#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace db {

TIndexDef& TIndexDefs::Items(int index) const {
    if (index < 0 || index >= Count())
        throw rtl::EListError("Index definition " + std::to_string(index) + " out of bounds");
    return *items_[static_cast<std::size_t>(index)];
}

TIndexDef& TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
    items_.push_back(std::make_unique<TIndexDef>(std::move(name), std::move(fields), options));
    return *items_.back();
}

void TIndexDefs::Clear() {
    items_.clear();
}

void TIndexDefs::Assign(const TIndexDefs& source) {
    if (&source == this) return;
    Clear();
    for (const auto& def : source.items_)
        Add(def->Name(), def->Fields(), def->Options()).SetExpression(def->Expression());
}

int TIndexDefs::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (rtl::AnsiSameText(items_[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

TIndexDef* TIndexDefs::FindIndex(std::string_view name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

TIndexDef& TIndexDefs::Find(std::string_view name) const {
    TIndexDef* def = FindIndex(name);
    if (def == nullptr) DatabaseErrorFmt(kIndexNotFound, {name});
    return *def;
}

TIndexDef* TIndexDefs::GetIndexForFields(std::string_view fields, bool caseInsensitive) {
    Update();
    const auto serves = [caseInsensitive](const TIndexDef& def) {
        if ((def.Options() & (ixDescending | ixExpression)) != 0) return false;
        return !caseInsensitive || (def.Options() & ixCaseInsensitive) != 0;
    };
    for (const auto& def : items_)
        if (serves(*def) && rtl::AnsiSameText(def->Fields(), fields)) return def.get();
    for (const auto& def : items_) {
        const std::string& own = def->Fields();
        if (!serves(*def) || own.size() < fields.size()) continue;
        if (!rtl::AnsiSameText(std::string_view(own).substr(0, fields.size()), fields)) continue;
        if (own.size() == fields.size() || own[fields.size()] == ';') return def.get();
    }
    return nullptr;
}

TIndexDef& TIndexDefs::FindIndexForFields(std::string_view fields) {
    TIndexDef* def = GetIndexForFields(fields, false);
    if (def == nullptr) DatabaseErrorFmt(kNoIndexForFields, {fields});
    return *def;
}

void TIndexDefs::Update() {
    if (!updated_ && dataSet_ != nullptr) dataSet_->UpdateIndexDefs();
}

}  // namespace db
