#include "db/widgets/DBEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemDataSet.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db::widgets::TDBEdit;
using db_test::TMemDataSet;
using db_widgets_test::HookSpy;

// A dialog with the edit over VAL and a plain edit after it in the tab order, over one record.
class Edit : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"ID", ftInteger}, {"VAL", ftInteger}, {"NAME", ftString, 10}});
        table_.Open();
        table_.AppendRecord({1, 12, "one"});
        table_.AppendRecord({2, 20, "two"});
        table_.First();
        table_.BeforeEdit = [this](TDataSet&) { ++edits_; };
        source_.SetDataSet(&table_);
        auto* layout = new QVBoxLayout(&dialog_);
        edit_ = new TDBEdit(&dialog_);
        next_ = new QLineEdit(&dialog_);
        layout->addWidget(edit_);
        layout->addWidget(next_);
        edit_->SetDataSource(&source_);
        edit_->SetDataField("VAL");
        db_widgets_test::ShowActive(dialog_);
        edit_->setFocus(Qt::TabFocusReason);
    }
    TField& Val() { return table_.FieldByName("VAL"); }
    // The caret to the end without selection, as after a click behind the text.
    void CaretToEnd() { QTest::keyClick(edit_, Qt::Key_End); }

    TMemDataSet table_;
    TDataSource source_;
    QDialog dialog_;
    TDBEdit* edit_ = nullptr;
    QLineEdit* next_ = nullptr;
    int edits_ = 0;
};

TEST_F(Edit, TheFirstKeyEditsTheRecordAsStoredNowAndTabCommitsBeforeExited) {
    EXPECT_EQ(edit_->text(), "12");
    table_.SetStoredValue(0, "VAL", 40);  // another program changed the row
    EXPECT_EQ(edit_->text(), "12");

    // Every text the edit shows, with the dataset's state at that moment.
    std::vector<std::pair<QString, TDataSetState>> shown;
    QObject::connect(edit_, &QLineEdit::textChanged,
                     [&](const QString& text) { shown.emplace_back(text, table_.State()); });
    std::vector<std::string> atExit;
    QObject::connect(edit_, &TDBEdit::exited, [&] { atExit.push_back(Val().AsString()); });

    CaretToEnd();
    EXPECT_EQ(table_.State(), dsBrowse);  // moving the caret edits nothing
    QTest::keyClick(edit_, '5');
    EXPECT_EQ(edit_->text(), "405");
    EXPECT_EQ(table_.State(), dsEdit);
    const std::vector<std::pair<QString, TDataSetState>> expected = {{"40", dsEdit}, {"405", dsEdit}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(Val().AsInteger(), 40);  // not in the field before leaving

    QTest::keyClick(edit_, Qt::Key_Tab);
    EXPECT_TRUE(next_->hasFocus());
    EXPECT_EQ(atExit, (std::vector<std::string>{"405"}));
    table_.Post();  // reads the stored row back
    EXPECT_EQ(Val().AsInteger(), 405);
    EXPECT_EQ(edits_, 1);
}

TEST_F(Edit, ARefusedEditDropsTheKeyAndReportsOnce) {
    HookSpy hook;
    table_.FailNextEdit();
    CaretToEnd();
    QTest::keyClick(edit_, '5');
    EXPECT_EQ(edit_->text(), "12");
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Messages(), (std::vector<std::string>{"Record locked by another user"}));

    // Once the lock is gone, the same key goes in.
    QTest::keyClick(edit_, '5');
    EXPECT_EQ(edit_->text(), "125");
    EXPECT_EQ(hook.Count(), 1);
}

TEST_F(Edit, TextThatDoesNotConvertKeepsFocusAndTextAndSendsNoExit) {
    HookSpy hook;
    QSignalSpy exits(edit_, &TDBEdit::exited);
    edit_->selectAll();
    QTest::keyClicks(edit_, "abc");
    ASSERT_EQ(edit_->text(), "abc");
    QTest::keyClick(edit_, Qt::Key_Tab);
    db_widgets_test::RunPending();
    EXPECT_EQ(hook.Count(), 1);
    EXPECT_EQ(exits.count(), 0);
    EXPECT_TRUE(edit_->hasFocus());
    EXPECT_EQ(edit_->text(), "abc");
    EXPECT_EQ(edit_->selectedText(), "abc");
    EXPECT_EQ(Val().AsInteger(), 12);

    // Mended, it goes in and the exit follows.
    edit_->selectAll();
    QTest::keyClicks(edit_, "7");
    QTest::keyClick(edit_, Qt::Key_Tab);
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(Val().AsInteger(), 7);
    EXPECT_EQ(hook.Count(), 1);
}

TEST_F(Edit, EveryFocusOutCommitsButOnlyMovesWithinTheWindowExit) {
    struct Case {
        Qt::FocusReason reason;
        bool exits;
    };
    const Case cases[] = {
        {Qt::TabFocusReason, true},   {Qt::BacktabFocusReason, true}, {Qt::MouseFocusReason, true},
        {Qt::OtherFocusReason, true}, {Qt::PopupFocusReason, false},  {Qt::ActiveWindowFocusReason, false},
    };
    int value = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        QSignalSpy exits(edit_, &TDBEdit::exited);
        edit_->selectAll();
        QTest::keyClicks(edit_, QString::number(++value));
        QFocusEvent out(QEvent::FocusOut, c.reason);
        QApplication::sendEvent(edit_, &out);
        EXPECT_EQ(Val().AsInteger(), value);
        EXPECT_EQ(exits.count(), c.exits ? 1 : 0);
    }
}

TEST_F(Edit, LeavingWithoutAChangeWritesNothing) {
    QSignalSpy exits(edit_, &TDBEdit::exited);
    for (Qt::Key key : {Qt::Key_Home, Qt::Key_Right, Qt::Key_End, Qt::Key_Left}) QTest::keyClick(edit_, key);
    QTest::keyClick(edit_, 'a', Qt::ControlModifier);  // select all
    QTest::keyClick(edit_, 'c', Qt::ControlModifier);  // copy
    QTest::keyClick(edit_, Qt::Key_Tab);
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_FALSE(table_.Modified());
    EXPECT_EQ(edits_, 0);
    EXPECT_EQ(edit_->text(), "12");
}

TEST_F(Edit, KeysThatChangeNothingStartNoEdit) {
    CaretToEnd();
    QTest::keyClick(edit_, Qt::Key_Delete);  // nothing after the caret
    QTest::keyClick(edit_, Qt::Key_Home);
    QTest::keyClick(edit_, Qt::Key_Backspace);         // nothing before it
    QTest::keyClick(edit_, 'z', Qt::ControlModifier);  // nothing to undo
    QTest::keyClick(edit_, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(edits_, 0);
    EXPECT_EQ(edit_->text(), "12");
}

TEST_F(Edit, AnUndoAfterPostingCannotChangeABrowsingEdit) {
    CaretToEnd();
    QTest::keyClick(edit_, '3');
    table_.Post();
    EXPECT_EQ(edit_->text(), "123");
    QTest::keyClick(edit_, 'z', Qt::ControlModifier);
    EXPECT_EQ(edit_->text(), "123");
    EXPECT_EQ(table_.State(), dsBrowse);
}

TEST_F(Edit, PasteEditsFirst) {
    QApplication::clipboard()->setText("77");
    edit_->selectAll();
    QTest::keyClick(edit_, 'v', Qt::ControlModifier);
    EXPECT_EQ(edit_->text(), "77");
    EXPECT_EQ(table_.State(), dsEdit);
    table_.Post();
    EXPECT_EQ(Val().AsInteger(), 77);
}

// Opens the edit's context menu and chooses the action whose text starts so.
void ChooseFromContextMenu(QLineEdit* edit, const QString& action) {
    const QPoint at = edit->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, edit->mapToGlobal(at));
    QApplication::sendEvent(edit, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
        if (a->text().remove('&').startsWith(action)) a->trigger();
    menu->close();
    db_widgets_test::RunPending();
}

TEST_F(Edit, TheContextMenusPasteEditsFirst) {
    QApplication::clipboard()->setText("77");
    edit_->selectAll();
    ChooseFromContextMenu(edit_, "Paste");
    EXPECT_EQ(edit_->text(), "77");
    EXPECT_EQ(table_.State(), dsEdit);
    table_.Post();
    EXPECT_EQ(Val().AsInteger(), 77);

    // When editing brings another stored value, the paste is dropped and the fresh value shows.
    table_.SetStoredValue(0, "VAL", 40);
    QApplication::clipboard()->setText("55");
    edit_->selectAll();
    ChooseFromContextMenu(edit_, "Paste");
    EXPECT_EQ(edit_->text(), "40");
    EXPECT_EQ(table_.State(), dsEdit);
    EXPECT_FALSE(edit_->DataLink().IsModified());

    // A refused edit drops it too.
    HookSpy hook;
    table_.Cancel();
    table_.FailNextEdit();
    edit_->selectAll();
    ChooseFromContextMenu(edit_, "Paste");
    EXPECT_EQ(edit_->text(), "40");
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Count(), 1);
}

TEST_F(Edit, SaveWithoutLeavingPostsWhatWasTyped) {
    CaretToEnd();
    QTest::keyClick(edit_, '0');
    ASSERT_TRUE(edit_->hasFocus());
    source_.DataSet()->Post();
    EXPECT_EQ(Val().AsInteger(), 120);
    EXPECT_TRUE(edit_->hasFocus());

    // A move asks for the text too.
    QTest::keyClick(edit_, '1');
    table_.Next();
    table_.First();
    EXPECT_EQ(Val().AsInteger(), 1201);
}

TEST_F(Edit, EscapeRestoresAChangedEditAndOtherwiseReachesTheDialog) {
    CaretToEnd();
    QTest::keyClick(edit_, '9');
    ASSERT_EQ(edit_->text(), "129");
    QTest::keyClick(edit_, Qt::Key_Escape);
    EXPECT_EQ(edit_->text(), "12");
    EXPECT_TRUE(dialog_.isVisible());
    table_.Post();
    EXPECT_EQ(Val().AsInteger(), 12);

    QTest::keyClick(edit_, Qt::Key_Escape);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
}

TEST_F(Edit, ReadOnlyLengthAndBinding) {
    EXPECT_FALSE(edit_->isReadOnly());
    EXPECT_EQ(edit_->maxLength(), 32767);
    edit_->SetDataField("NAME");
    EXPECT_EQ(edit_->text(), "one");
    EXPECT_EQ(edit_->maxLength(), 10);

    EXPECT_THROW(edit_->SetDataField("NOPE"), rtl::EDatabaseError);
    EXPECT_EQ(edit_->DataField(), "NAME");
    EXPECT_EQ(edit_->Field(), &table_.FieldByName("NAME"));

    table_.FieldByName("NAME").SetReadOnly(true);
    edit_->SetDataField("VAL");
    edit_->SetDataField("NAME");
    EXPECT_TRUE(edit_->isReadOnly());
    QTest::keyClick(edit_, 'x');
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(edit_->text(), "one");

    edit_->SetDataField("");
    EXPECT_TRUE(edit_->isReadOnly());
    EXPECT_EQ(edit_->text(), "");
    edit_->SetDataField("VAL");
    table_.Close();
    EXPECT_TRUE(edit_->isReadOnly());
    EXPECT_EQ(edit_->text(), "");
}

TEST_F(Edit, CharactersTheCodePageLacksAreRefusedAtEntry) {
    edit_->SetDataField("NAME");
    CaretToEnd();
    db_widgets_test::TypeText(edit_, QString::fromUtf16(u"\u0100"));
    EXPECT_EQ(edit_->text(), "one");
    EXPECT_EQ(table_.State(), dsBrowse);
    db_widgets_test::TypeText(edit_, QString::fromUtf16(u"\u00e9\u20ac"));
    EXPECT_EQ(edit_->text(), QString::fromUtf16(u"one\u00e9\u20ac"));
    table_.Post();
    EXPECT_EQ(table_.FieldByName("NAME").AsString(), "one\xE9\x80");
}

}  // namespace
