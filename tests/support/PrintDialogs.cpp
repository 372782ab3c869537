#include "tests/support/PrintDialogs.h"

#include <QAction>
#include <QComboBox>
#include <QWidget>

#include <gtest/gtest.h>

namespace testsupport {

void TriggerPreviewPrint(QWidget& previewDialog) {
    for (QAction* action : previewDialog.findChildren<QAction*>()) {
        if (action->text().remove(QLatin1Char('&')) == QStringLiteral("Print")) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "the preview has no Print action";
}

QString PrintDialogPrinter(QWidget& printDialog) {
    auto* printers = printDialog.findChild<QComboBox*>(QStringLiteral("printers"));
    if (printers == nullptr) {
        ADD_FAILURE() << "the print dialog has no list of printers";
        return {};
    }
    return printers->currentText();
}

}  // namespace testsupport
