#include "db/widgets/DBComboBox.h"

#include <QAbstractItemModel>

#include "db/Field.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"

namespace db::widgets {

TDBComboBox::TDBComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    link_.OnDataChange = [this] { ShowField(); };
    link_.OnFocusControl = [this] { setFocus(); };
    connect(this, &QComboBox::activated, this, &TDBComboBox::Choose);
    // QComboBox shows the first item that arrives in an empty list; the value decides instead.
    const auto reshow = [this] { Guarded([this] { ShowField(); }); };
    QAbstractItemModel* items = model();
    connect(items, &QAbstractItemModel::rowsInserted, this, reshow);
    connect(items, &QAbstractItemModel::rowsRemoved, this, reshow);
    connect(items, &QAbstractItemModel::modelReset, this, reshow);
    connect(items, &QAbstractItemModel::dataChanged, this, reshow);
}

TDBComboBox::~TDBComboBox() {
    // The item list goes with the QComboBox, after the binding: it must not ask for the value then.
    disconnect(model(), nullptr, this, nullptr);
}

int TDBComboBox::IndexOfText(const QString& text) const {
    for (int i = 0; i < count(); ++i)
        if (itemText(i) == text) return i;
    return -1;
}

void TDBComboBox::ShowField() {
    const db::TField* field = link_.Field();
    const int index = field == nullptr ? -1 : IndexOfText(ToQString(field->Text()));
    if (index != currentIndex()) setCurrentIndex(index);
}

void TDBComboBox::Choose(int index) {
    const QString chosen = itemText(index);
    const bool written = Guarded([&] {
        // Editing shows the stored value again; the field's change then shows the choice.
        if (!link_.Edit()) {
            ShowField();
            return;
        }
        if (db::TField* field = link_.Field()) field->SetText(ToBytes(chosen));
    });
    if (!written) Guarded([this] { ShowField(); });
}

}  // namespace db::widgets
