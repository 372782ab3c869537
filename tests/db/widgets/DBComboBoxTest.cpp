#include "db/widgets/DBComboBox.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

#include "MemDataSet.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"

namespace {

using namespace db;
using db::widgets::TDBComboBox;
using db_test::TMemDataSet;
using db_widgets_test::HookSpy;

QStringList WidthItems() {
    return {"0", "4", "5", "6", "7", "8"};
}

QStringList ScaleItems() {
    QStringList items;
    for (int scale = -10; scale <= 100; scale += 5) items << QString::number(scale);
    return items;
}

class ComboBox : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"WIDTH", ftInteger}, {"SCALE", ftInteger}, {"WORD", ftString, 10}});
        table_.Open();
        table_.AppendRecord({6, 20, "true"});
        table_.AppendRecord({3, 0, "5"});
        table_.AppendRecord({rtl::Variant::Null(), -10, ""});
        table_.First();
        table_.BeforeEdit = [this](TDataSet&) { ++edits_; };
        source_.SetDataSet(&table_);
        combo_.SetDataSource(&source_);
    }

    TMemDataSet table_;
    TDataSource source_;
    TDBComboBox combo_;
    int edits_ = 0;
};

TEST_F(ComboBox, ShowsTheItemOfTheStoredTextOrNone) {
    combo_.addItems(WidthItems());  // items given after binding
    combo_.SetDataField("WIDTH");
    struct Case {
        int index;
        const char* shown;
    };
    // 6, then 3 (no such item), then null.
    for (const Case& c : {Case{3, "6"}, Case{-1, ""}, Case{-1, ""}}) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(combo_.currentIndex(), c.index);
        EXPECT_EQ(combo_.currentText(), c.shown);
        table_.Next();
    }
    combo_.SetDataField("WORD");
    table_.First();
    EXPECT_EQ(combo_.currentIndex(), -1);  // "true" is no item
    table_.Next();
    EXPECT_EQ(combo_.currentIndex(), 2);  // "5"
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(edits_, 0);
}

TEST_F(ComboBox, ItemsArrivingLaterDoNotChooseTheFirst) {
    combo_.SetDataField("WIDTH");
    table_.Next();  // 3: no item
    combo_.addItems(WidthItems());
    EXPECT_EQ(combo_.currentIndex(), -1);
    combo_.clear();
    table_.First();
    combo_.addItems(WidthItems());
    EXPECT_EQ(combo_.currentIndex(), 3);
    EXPECT_EQ(edits_, 0);
}

TEST_F(ComboBox, OnlyTheUsersChoiceWrites) {
    combo_.addItems(ScaleItems());
    combo_.SetDataField("SCALE");
    EXPECT_EQ(combo_.currentText(), "20");
    combo_.setCurrentIndex(0);  // the program's choice is no user's
    EXPECT_EQ(table_.State(), dsBrowse);

    table_.Refresh();
    EXPECT_EQ(combo_.currentText(), "20");
    emit combo_.activated(0);  // the user chose "-10"
    EXPECT_EQ(table_.State(), dsEdit);
    EXPECT_EQ(table_.FieldByName("SCALE").AsInteger(), -10);
    EXPECT_EQ(combo_.currentText(), "-10");
    table_.Post();
    EXPECT_EQ(table_.FieldByName("SCALE").AsInteger(), -10);

    // The keyboard chooses too.
    QTest::keyClick(&combo_, Qt::Key_Down);
    EXPECT_EQ(table_.FieldByName("SCALE").AsInteger(), -5);
}

TEST_F(ComboBox, ARefusedEditShowsTheStoredValueAgain) {
    HookSpy hook;
    combo_.addItems(WidthItems());
    combo_.SetDataField("WIDTH");
    table_.FailNextEdit();
    QTest::keyClick(&combo_, Qt::Key_Down);
    EXPECT_EQ(combo_.currentText(), "6");
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Count(), 1);

    table_.FieldByName("WIDTH").SetReadOnly(true);
    QTest::keyClick(&combo_, Qt::Key_Down);
    EXPECT_EQ(combo_.currentText(), "6");
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Count(), 1);
}

}  // namespace
