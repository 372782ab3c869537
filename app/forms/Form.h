// TForm: the base of every dialog form: modal result, show and close handlers, and the window's style.
#pragma once

#include <QDialog>

#include <exception>
#include <functional>

class QAbstractButton;
class QComboBox;

namespace app {

// A form's modal result: what exec() returns once the form closes.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Closing runs through done() whatever closes the form (accept, reject, its buttons, Esc, the window's
// close box), so FormClose runs once per closing. Handlers run guarded: a failure goes to the
// application's handler and the form stays as the failure left it.
class TForm : public QDialog {
    Q_OBJECT

public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    TModalResult ModalResult() const { return modalResult_; }
    // Any result but mrNone closes a shown form with it; mrNone keeps it open.
    void SetModalResult(TModalResult result);

    // ---- The window's style, as the forms' descriptions name it ----
    void SetHelpContext(int context);
    int HelpContext() const;
    // Centred on the screen at every showing.
    void SetCentred(bool centred) { centred_ = centred; }
    // A fixed border: the size the form has when shown, no resizing.
    void SetFixedBorder(bool fixed) { fixedBorder_ = fixed; }
    // A title bar without the system buttons.
    void SetNoSystemButtons();
    // No border and no title bar.
    void SetBorderless();
    // Shown maximised.
    void SetMaximised(bool maximised) { maximised_ = maximised; }

    void done(int result) override;

    // Wires an OK or Cancel button: a click sets `result` and runs `handler`; a handler that sets mrNone
    // keeps the form open.
    void ConnectModalButton(QAbstractButton& button, TModalResult result, std::function<void()> handler = {});
    // Wires a button to a handler without a modal result.
    void ConnectClick(QAbstractButton& button, std::function<void()> handler);
    // A combo box acts when the user picks an item, not when code sets one.
    void ConnectActivated(QComboBox& combo, std::function<void()> handler);

protected:
    // At every showing, before the form appears.
    virtual void FormShow() {}
    // Once per closing, before the form hides.
    virtual void FormClose() {}
    // Esc and the window's close box: by default the form closes with mrCancel.
    virtual void CloseRequested();
    // For a FormShow that cannot go on: the failure is shown, and the form closed with mrCancel, from the
    // form's own loop once it runs.
    void CloseAfterFailedShow(std::exception_ptr failure);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TModalResult modalResult_ = mrNone;
    bool closing_ = false;  // done() runs: FormClose has had its turn
    bool centred_ = false;
    bool fixedBorder_ = false;
    bool maximised_ = false;
    bool noSystemButtons_ = false;
};

}  // namespace app
