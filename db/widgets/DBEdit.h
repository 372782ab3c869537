// TDBEdit: a one-line edit of a field of the current record.
#pragma once

#include <QLineEdit>
#include <QString>

#include "db/widgets/FieldControl.h"

namespace db::widgets {

// Shows the field's Text. The first change the user makes (typing, pasting, cutting, dropping, an input
// method, an undo) puts the dataset into the edit state before it is applied: editing reads the record again
// under its lock, so the change lands on the value as it is stored now, and a record locked elsewhere
// refuses the change. A change that comes another way (a context menu's action) is taken back and made again
// once editing has begun, unless editing brought another value, which then shows. The typed text goes into
// the field when the focus leaves and whenever the dataset asks its controls for their data (Post, a move);
// an unchanged edit writes nothing. Esc in a changed edit shows the field's value again. Characters that
// Windows-1252 lacks are refused at entry; a String field's size limits the length; the edit is read-only
// while its field cannot be modified.
class TDBEdit : public QLineEdit, public TFieldControl {
    Q_OBJECT

public:
    explicit TDBEdit(QWidget* parent = nullptr);

signals:
    // The focus left the edit and its text is in the field. Forms hang their exit checks here: an event
    // filter would see the focus leave before the text is in the field. Not sent when the focus went to a
    // popup or another window (the check's own message box would send it again), nor when the text could
    // not go into the field (the edit keeps the focus then).
    void exited();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // What a change may alter, to put it back.
    struct EditorState {
        QString text;
        int cursor = 0;
        int selectionStart = -1;
        int selectionLength = 0;
    };

    EditorState SaveState() const;
    // Quietly: no signal reaches anyone.
    void RestoreState(const EditorState& state);
    // Puts the dataset into the edit state; false when it refused (the failure reported) or may not edit.
    bool BeginEdit();
    // Runs a user action that may change the text: when it would, the dataset is put into the edit state
    // first (refreshing the text) and the action runs on the fresh text.
    template <class Action>
    void UserChange(Action&& action);
    // A user's change has been made; one that did not come through UserChange is dealt with here.
    void TextEdited();
    void ShowField();
    void ShowText(const QString& text);
    void EditingChanged();
    // Forgets the undo steps, so that a browsing edit cannot be changed by an undo.
    void ForgetUndo();
    void WriteField();

    // The field's text as last shown: what a browsing edit holds.
    QString shown_;
    // Set while the text goes into the field on leaving.
    bool leaving_ = false;
};

}  // namespace db::widgets
