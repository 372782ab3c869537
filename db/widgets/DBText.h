// TDBText: a label that shows a field of the current record, read-only.
#pragma once

#include <QLabel>

#include "db/widgets/FieldControl.h"

namespace db::widgets {

// Shows the field's DisplayText as plain text, "" without a field or a record, and follows every move and
// change. Only the text is the control's: font and colour stay the form's. While the dataset's controls are
// disabled the text keeps its last value.
class TDBText : public QLabel, public TFieldControl {
    Q_OBJECT

public:
    explicit TDBText(QWidget* parent = nullptr);

private:
    void ShowField();
};

}  // namespace db::widgets
