#include "db/widgets/Confirm.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

#include "db/DataSet.h"
#include "db/widgets/QtText.h"
#include "db/widgets/WidgetTexts.h"

namespace db::widgets {

namespace {

bool AskInMessageBox(const QString& question) {
    QMessageBox box(QMessageBox::Question, ToQString(kConfirmCaption), question,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

// The controls live on the GUI thread only, and so does the handler.
TConfirmHandler& InstalledHandler() {
    static TConfirmHandler handler;
    return handler;
}

}  // namespace

TConfirmHandler SetConfirmHandler(TConfirmHandler handler) {
    return std::exchange(InstalledHandler(), std::move(handler));
}

bool Confirm(const QString& question) {
    const TConfirmHandler handler = InstalledHandler();  // a copy: the handler may install another
    return handler ? handler(question) : AskInMessageBox(question);
}

void ConfirmAndDelete(db::TDataSet& dataSet) {
    if (!dataSet.Active() || dataSet.IsEmpty() || !dataSet.CanModify()) return;
    if (Confirm(ToQString(kDeleteRecordQuestion))) dataSet.Delete();
}

}  // namespace db::widgets
