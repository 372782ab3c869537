#include "db/Fields.h"

#include <algorithm>

#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "rtl/Text.h"

namespace db {

TField& TFields::Fields(int index) const {
    if (index < 0 || index >= Count()) DatabaseError(kFieldIndexError, &dataSet_);
    return *list_[static_cast<std::size_t>(index)];
}

int TFields::IndexOf(const TField* field) const {
    const auto it = std::find(list_.begin(), list_.end(), field);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

TField* TFields::FindField(std::string_view name) const {
    for (TField* f : list_)
        if (rtl::AnsiSameText(f->FieldName(), name)) return f;
    return nullptr;
}

TField& TFields::FieldByName(std::string_view name) const {
    TField* f = FindField(name);
    if (f == nullptr) DatabaseErrorFmt(kFieldNotFound, {name}, &dataSet_);
    return *f;
}

TField* TFields::FieldByNumber(int fieldNo) const {
    for (TField* f : list_)
        if (f->FieldNo() == fieldNo) return f;
    return nullptr;
}

void TFields::Add(TField* field) {
    if (!field->FieldName().empty() && FindField(field->FieldName()) != nullptr)
        DatabaseErrorFmt(kDuplicateFieldName, {field->FieldName()}, &dataSet_);
    list_.push_back(field);
}

void TFields::Remove(TField* field) {
    list_.erase(std::remove(list_.begin(), list_.end(), field), list_.end());
}

void TFields::Move(int from, int to) {
    if (from < 0 || from >= Count()) return;
    to = std::clamp(to, 0, Count() - 1);
    TField* f = list_[static_cast<std::size_t>(from)];
    list_.erase(list_.begin() + from);
    list_.insert(list_.begin() + to, f);
}

void TFields::Clear() {
    // Taken out of the list before deletion, so that the field does not look for itself here.
    while (!list_.empty()) {
        TField* f = list_.back();
        list_.pop_back();
        f->dataSet_ = nullptr;
        delete f;
    }
}

}  // namespace db
