// TshowitForm: the text report window: a test's report, or a stored result's, to read, print and close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/forms/Form.h"

namespace Ui {
class TshowitForm;
}

class QPlainTextEdit;
class QPushButton;

namespace app {

class MessageService;
class PrintService;

// Shown modally by whoever filled its lines; Close (BitBtn1) closes it, Print (BitBtn2) prints the lines
// at once as the job "Test results".
class TshowitForm : public TForm {
    Q_OBJECT

public:
    TshowitForm(MessageService& messages, PrintService& print, QWidget* parent = nullptr);
    ~TshowitForm() override;

    // Replaces the report's lines (Windows-1252 bytes).
    void SetLines(const std::vector<std::string>& lines);
    std::vector<std::string> Lines() const;

    // Print: a device that refuses shows "Printing failed."; a cancelled choice shows nothing.
    void BitBtn2Click();

    QPlainTextEdit& RichEdit1() const;
    QPushButton& BitBtn1() const;
    QPushButton& BitBtn2() const;

private:
    std::unique_ptr<Ui::TshowitForm> ui_;
    MessageService& messages_;
    PrintService& print_;
};

}  // namespace app
