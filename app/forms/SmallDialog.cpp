#include "app/forms/SmallDialog.h"

#include <QPushButton>

#include "app/core/Texts.h"
#include "app/forms/Form.h"
#include "db/widgets/QtText.h"

namespace app {

void SetFormFont(QWidget& widget) {
    QFont font = widget.font();
    font.setFamily(QString::fromLatin1(kFormFontFamily));
    widget.setFont(font);
}

void SetSmallDialogStyle(TForm& form) {
    form.SetCentred(true);
    form.SetFixedBorder(true);
    form.SetNoSystemButtons();
    SetFormFont(form);
}

void SetOkCancelButtons(QPushButton& ok, QPushButton& cancel) {
    ok.setText(db::widgets::ToQString(kOk));
    cancel.setText(db::widgets::ToQString(kCancel));
    ok.setDefault(true);
}

}  // namespace app
