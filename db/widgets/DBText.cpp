#include "db/widgets/DBText.h"

#include "db/Field.h"
#include "db/widgets/QtText.h"

namespace db::widgets {

TDBText::TDBText(QWidget* parent) : QLabel(parent) {
    // A value is never markup: "<b>" shows as typed.
    setTextFormat(Qt::PlainText);
    link_.OnDataChange = [this] { ShowField(); };
}

void TDBText::ShowField() {
    const db::TField* field = link_.Field();
    setText(field == nullptr ? QString() : ToQString(field->DisplayText()));
}

}  // namespace db::widgets
