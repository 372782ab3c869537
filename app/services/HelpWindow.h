// HelpWindow: the help viewer, a modal window over the asking one with the help file's text and Close.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class HelpWindow;
}

class QTextBrowser;

namespace app {

class HelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

    // Shows the HTML text at the anchor.
    void ShowAt(const QString& html, const QString& anchor);
    const QString& Anchor() const { return anchor_; }
    QTextBrowser& Browser() const;

private:
    std::unique_ptr<Ui::HelpWindow> ui_;
    QString anchor_;
};

}  // namespace app
