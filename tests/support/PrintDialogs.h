// PrintDialogs: what a user does in Qt's print preview and print dialogs, for tests that script them.
#pragma once

#include <QString>

class QWidget;

namespace testsupport {

// Presses the preview dialog's Print button (the toolbar action of that text).
void TriggerPreviewPrint(QWidget& previewDialog);
// The printer chosen in Qt's print dialog, as its list of printers shows it.
QString PrintDialogPrinter(QWidget& printDialog);

}  // namespace testsupport
