// TDBComboBox: a fixed-list combo box over a field, showing the item whose text is the field's value.
#pragma once

#include <QComboBox>
#include <QString>

#include "db/widgets/FieldControl.h"

namespace db::widgets {

// The form gives the items. The shown item is the one whose text equals the field's Text exactly, else
// none (index -1). Only the user's choice writes: it puts the dataset into the edit state, then the item's
// text into the field at once; a refused edit shows the stored value again. Showing values never edits.
class TDBComboBox : public QComboBox, public TFieldControl {
    Q_OBJECT

public:
    explicit TDBComboBox(QWidget* parent = nullptr);
    ~TDBComboBox() override;

private:
    void ShowField();
    void Choose(int index);
    int IndexOfText(const QString& text) const;
};

}  // namespace db::widgets
