// TDBCheckBox: a check box over a field that holds "True" or "False".
#pragma once

#include <QCheckBox>

#include "db/widgets/FieldControl.h"

namespace db::widgets {

// Checked when the field's Text is "True" in any letter case; anything else, a null included, leaves it
// unchecked (there is no third state). A click or Space puts the dataset into the edit state, which reads
// the record again, and writes "True" or "False" for the toggled stored value at once; a refused edit
// changes nothing. Boolean and String fields serve alike.
class TDBCheckBox : public QCheckBox, public TFieldControl {
    Q_OBJECT

public:
    explicit TDBCheckBox(QWidget* parent = nullptr);

protected:
    // Every toggle by the user comes through here (a click, Space, click()).
    void nextCheckState() override;

private:
    void ShowField();
};

}  // namespace db::widgets
