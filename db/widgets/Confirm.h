// Confirm: the one question the data-aware controls ask ("Delete record?"), answered Yes or No.
#pragma once

#include <QString>

#include <functional>

namespace db {
class TDataSet;
}

namespace db::widgets {

// Answers the question: true for Yes.
using TConfirmHandler = std::function<bool(const QString& question)>;

// Installs the handler and returns the previous one; an empty handler restores the default, a Yes/No
// message box captioned "Confirm" over the active window. The program routes it to its message service and
// tests put a double in.
TConfirmHandler SetConfirmHandler(TConfirmHandler handler);

// Asks through the installed handler.
bool Confirm(const QString& question);

// Asks "Delete record?" and deletes the dataset's current record on Yes; asks nothing of a dataset that is
// closed, empty or cannot be modified.
void ConfirmAndDelete(db::TDataSet& dataSet);

}  // namespace db::widgets
