#include "app/services/QtHelpService.h"

#include <QApplication>
#include <QFile>

#include "app/core/MessageService.h"
#include "app/core/Texts.h"
#include "app/services/HelpWindow.h"
#include "db/widgets/QtText.h"

namespace app {

namespace {

using db::widgets::ToQString;

// Whether the HTML text names the anchor, by a name or an id attribute.
bool HasAnchor(const QString& html, const QString& anchor) {
    return html.contains(QStringLiteral("name=\"%1\"").arg(anchor)) ||
           html.contains(QStringLiteral("id=\"%1\"").arg(anchor));
}

}  // namespace

QtHelpService::QtHelpService(std::string helpFile, MessageService& messages)
    : helpFile_(std::move(helpFile)), messages_(messages) {}

QString QtHelpService::ContextAnchor(int context) {
    return QStringLiteral("context-%1").arg(context);
}

void QtHelpService::ShowTopic(std::string_view topic) {
    if (const std::optional<QString> html = ReadFile()) Show(*html, ToQString(topic));
}

void QtHelpService::ShowContext(int context) {
    const std::optional<QString> html = ReadFile();
    if (!html) return;
    const QString anchor = ContextAnchor(context);
    Show(*html, HasAnchor(*html, anchor) ? anchor : ToQString(kHelpContentsTopic));
}

std::optional<QString> QtHelpService::ReadFile() const {
    QFile file(ToQString(helpFile_));
    if (!file.open(QIODevice::ReadOnly)) {
        messages_.ShowError(std::string(kHelpFileMissing) + helpFile_);
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

void QtHelpService::Show(const QString& html, const QString& anchor) const {
    QWidget* over = QApplication::activeModalWidget();
    if (over == nullptr) over = QApplication::activeWindow();
    HelpWindow window(over);
    window.ShowAt(html, anchor);
    window.exec();
}

}  // namespace app
