#include "db/widgets/DBMemoView.h"

#include <string>
#include <string_view>

#include "db/DataSet.h"
#include "db/Field.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"

namespace db::widgets {

namespace {

// The text with "\r\n" turned into "\n", the one line break the view knows.
std::string UnixLineBreaks(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') result += text[i];
    return result;
}

}  // namespace

TDBMemoView::TDBMemoView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    link_.OnDataChange = [this] { ShowField(); };
    link_.OnActiveChange = [this] { ShowField(); };
}

void TDBMemoView::ShowField() {
    QString text;
    // A large object is read from its own file: a failure there must not fail the move that showed it.
    Guarded([&] {
        const db::TField* field = link_.Field();
        if (field != nullptr && !field->DataSet()->IsEmpty())
            text = ToQString(UnixLineBreaks(field->AsString()));
    });
    // The same text keeps the reader's scroll position.
    if (text == shown_) return;
    shown_ = text;
    setPlainText(text);
}

}  // namespace db::widgets
