#include "db/widgets/DBEdit.h"

#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include "db/Field.h"
#include "db/FieldType.h"
#include "db/widgets/CodePageValidator.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/ExceptionHook.h"

namespace db::widgets {

namespace {

// QLineEdit's own maximum length, for fields whose kind sets none.
constexpr int kNoLengthLimit = 32767;

}  // namespace

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new TCodePageValidator(this));
    setReadOnly(true);  // until a field that can be modified is bound
    link_.OnDataChange = [this] { ShowField(); };
    link_.OnEditingChange = [this] { EditingChanged(); };
    link_.OnActiveChange = [this] { EditingChanged(); };
    link_.OnUpdateData = [this] { WriteField(); };
    link_.OnFocusControl = [this] { setFocus(); };
    // Only the user's changes come here (setText does not).
    connect(this, &QLineEdit::textEdited, this, [this] { TextEdited(); });
}

// Showing the field.

void TDBEdit::ShowField() {
    const db::TField* field = link_.Field();
    setReadOnly(!link_.CanModify());
    const bool sized = field != nullptr && field->DataType() == db::ftString && field->Size() > 0;
    // Setting the length sets the text again, which would lose the caret and the selection.
    const int length = sized ? field->Size() : kNoLengthLimit;
    if (length != maxLength()) setMaxLength(length);
    ShowText(field == nullptr ? QString() : ToQString(field->Text()));
}

void TDBEdit::ShowText(const QString& value) {
    shown_ = value;
    // The same text stays untouched, so the caret and the selection stay where the user put them.
    if (value == text()) return;
    const bool allSelected = hasSelectedText() && selectedText() == text();
    setText(value);
    if (allSelected) selectAll();
}

void TDBEdit::EditingChanged() {
    setReadOnly(!link_.CanModify());
    if (!link_.Editing()) ForgetUndo();
}

void TDBEdit::ForgetUndo() {
    if (!isUndoAvailable() && !isRedoAvailable()) return;
    const EditorState state = SaveState();
    const QSignalBlocker quiet(this);
    setText(state.text);  // setText starts a new undo history
    RestoreState(state);
}

void TDBEdit::WriteField() {
    link_.Field()->SetText(ToBytes(text()));
}

// Changes by the user.

TDBEdit::EditorState TDBEdit::SaveState() const {
    return {text(), cursorPosition(), selectionStart(), selectionLength()};
}

void TDBEdit::RestoreState(const EditorState& state) {
    const QSignalBlocker quiet(this);
    if (text() != state.text) setText(state.text);
    if (state.selectionStart < 0 || state.selectionLength == 0) {
        setCursorPosition(state.cursor);
    } else if (state.cursor == state.selectionStart) {
        // The caret stands at the selection's start: select backwards from its end.
        setSelection(state.selectionStart + state.selectionLength, -state.selectionLength);
    } else {
        setSelection(state.selectionStart, state.selectionLength);
    }
}

bool TDBEdit::BeginEdit() {
    bool editing = false;
    return Guarded([&] { editing = link_.Edit(); }) && editing;
}

template <class Action>
void TDBEdit::UserChange(Action&& action) {
    if (isReadOnly() || link_.Editing()) {
        action();
        return;
    }
    // Whether the action changes the text shows only by running it: run it quietly, then undo it.
    const EditorState before = SaveState();
    {
        const QSignalBlocker quiet(this);
        action();
    }
    const bool changes = text() != before.text;
    RestoreState(before);
    const QPointer<TDBEdit> self(this);
    if (changes && !BeginEdit()) return;  // refused: the change is dropped
    if (self != nullptr) action();        // unless editing closed the form
}

void TDBEdit::TextEdited() {
    if (link_.Editing()) {
        link_.Modified();
        return;
    }
    // A change that came past the events (a context menu's action) while browsing: it is taken back, and
    // typed over the shown text once editing has begun, unless editing brought another value.
    const EditorState changed = SaveState();
    const QString before = shown_;
    RestoreState({before, static_cast<int>(before.size()), -1, 0});
    if (!BeginEdit() || text() != before) return;
    selectAll();
    insert(changed.text);  // a user's change once more, now of an editing edit
    setCursorPosition(changed.cursor);
}

bool TDBEdit::event(QEvent* event) {
    // Esc in a changed edit is the edit's, not a shortcut's.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && link_.IsModified()) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (!link_.IsModified()) {
            event->ignore();  // the dialog's
            return;
        }
        Guarded([this] { link_.Reset(); });
        selectAll();
        event->accept();
        return;
    }
    UserChange([&] { QLineEdit::keyPressEvent(event); });
}

void TDBEdit::inputMethodEvent(QInputMethodEvent* event) {
    UserChange([&] { QLineEdit::inputMethodEvent(event); });
}

void TDBEdit::dropEvent(QDropEvent* event) {
    UserChange([&] { QLineEdit::dropEvent(event); });
}

void TDBEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection where the platform has one.
    if (event->button() == Qt::MiddleButton)
        UserChange([&] { QLineEdit::mouseReleaseEvent(event); });
    else
        QLineEdit::mouseReleaseEvent(event);
}

// Leaving the edit.

void TDBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A report's message box takes the focus away once more: that is no second exit.
    if (leaving_) return;
    const Qt::FocusReason reason = event->reason();
    const QPointer<TDBEdit> self(this);
    leaving_ = true;
    try {
        link_.UpdateRecord();
    } catch (...) {
        // The text stays for the user to mend: the edit takes the focus back with the text selected, once the
        // focus has finished moving away.
        QTimer::singleShot(0, this, [this] {
            setFocus();
            selectAll();
        });
        rtl::HandleCurrentException();
        if (self != nullptr) leaving_ = false;
        return;
    }
    leaving_ = false;
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) emit exited();
}

}  // namespace db::widgets
