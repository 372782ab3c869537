// TDBMemoView: a read-only view of a text field of the current record, memos included.
#pragma once

#include <QPlainTextEdit>
#include <QString>

#include "db/widgets/FieldControl.h"

namespace db::widgets {

// Shows the field's AsString (a memo's DisplayText is only "(Memo)") with "\r\n" and "\n" as line breaks,
// unwrapped, with both scroll bars; empty without a record. Renewed on every move, change and opening or
// closing of the dataset. A value that cannot be read is reported and shows as empty.
class TDBMemoView : public QPlainTextEdit, public TFieldControl {
    Q_OBJECT

public:
    explicit TDBMemoView(QWidget* parent = nullptr);

private:
    void ShowField();

    QString shown_;
};

}  // namespace db::widgets
