#include "db/widgets/Confirm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "WidgetTestSupport.h"

namespace {

using namespace db::widgets;

// Presses the button of the message box that will be open by then, and notes what the box said.
struct BoxAnswer {
    QString caption, text;
    bool yesIsDefault = false;
};

void AnswerBox(QMessageBox::StandardButton button, BoxAnswer& seen) {
    QTimer::singleShot(0, [button, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.yesIsDefault =
            static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::Yes);
        box->button(button)->click();
    });
}

TEST(Confirm, TheDefaultAsksYesOrNoInAMessageBox) {
    BoxAnswer seen;
    AnswerBox(QMessageBox::Yes, seen);
    EXPECT_TRUE(Confirm("Delete record?"));
    EXPECT_EQ(seen.caption, "Confirm");
    EXPECT_EQ(seen.text, "Delete record?");
    EXPECT_TRUE(seen.yesIsDefault);
    AnswerBox(QMessageBox::No, seen);
    EXPECT_FALSE(Confirm("Delete record?"));
}

TEST(Confirm, AnInstalledHandlerAnswersUntilItIsTakenAway) {
    {
        db_widgets_test::ConfirmDouble no(false);
        EXPECT_FALSE(Confirm("Delete record?"));
        EXPECT_EQ(no.Questions().size(), 1u);
    }
    BoxAnswer seen;
    AnswerBox(QMessageBox::Yes, seen);
    EXPECT_TRUE(Confirm("Delete record?"));  // the default is back
}

TEST(Confirm, NothingIsAskedOfADatasetWithNothingToDelete) {
    db_widgets_test::ConfirmDouble yes(true);
    db_test::TMemDataSet table;
    db_test::FillNumbers(table, 2);
    ConfirmAndDelete(table);  // closed
    table.SetReadOnly(true);
    table.Open();
    ConfirmAndDelete(table);
    table.Close();
    table.SetColumns({{"ID", db::ftInteger}});
    table.SetReadOnly(false);
    table.Open();
    ConfirmAndDelete(table);  // empty
    EXPECT_TRUE(yes.Questions().empty());
}

}  // namespace
