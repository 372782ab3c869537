#include "app/forms/showitForm.h"

#include <QFont>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextDocument>

#include "app/core/MessageService.h"
#include "app/core/Texts.h"
#include "app/services/PrintService.h"
#include "db/widgets/QtText.h"
#include "ui_showitForm.h"

namespace app {

using db::widgets::ToQString;

namespace {

// The report's columns line up only in a fixed-pitch face; Courier, or the system's fixed face in its place.
// The name alone: a style hint or a fixed-pitch request makes the font matching prefer the generic
// monospace face over the one the machine's font configuration substitutes for Courier.
QFont ReportFont() {
    QFont font(QStringLiteral("Courier"));
    if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return font;
}

}  // namespace

TshowitForm::TshowitForm(MessageService& messages, PrintService& print, QWidget* parent)
    : TForm(parent), ui_(std::make_unique<Ui::TshowitForm>()), messages_(messages), print_(print) {
    ui_->setupUi(this);
    setWindowTitle(ToQString(kReportHeading));
    ui_->RichEdit1->setFont(ReportFont());
    ui_->BitBtn1->setText(ToQString(kClose));
    ui_->BitBtn2->setText(ToQString(kPrintButton));
    SetHelpContext(kNameHelpContext);
    SetCentred(true);
    SetFixedBorder(true);
    ConnectModalButton(*ui_->BitBtn1, mrCancel);
    ConnectClick(*ui_->BitBtn2, [this] { BitBtn2Click(); });
}

TshowitForm::~TshowitForm() = default;

void TshowitForm::SetLines(const std::vector<std::string>& lines) {
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) text.push_back(ToQString(line));
    ui_->RichEdit1->setPlainText(text.join(QLatin1Char('\n')));
}

std::vector<std::string> TshowitForm::Lines() const {
    std::vector<std::string> lines;
    const QString text = ui_->RichEdit1->toPlainText();
    if (text.isEmpty()) return lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(db::widgets::ToBytes(line));
    return lines;
}

void TshowitForm::BitBtn2Click() {
    QTextDocument document;
    document.setDefaultFont(ui_->RichEdit1->font());
    document.setPlainText(ui_->RichEdit1->toPlainText());
    if (print_.PrintDocument(document, kReportJobTitle) == PrintOutcome::Failed) messages_.ShowError(kPrintingFailed);
}

QPlainTextEdit& TshowitForm::RichEdit1() const {
    return *ui_->RichEdit1;
}

QPushButton& TshowitForm::BitBtn1() const {
    return *ui_->BitBtn1;
}

QPushButton& TshowitForm::BitBtn2() const {
    return *ui_->BitBtn2;
}

}  // namespace app
