#include "db/widgets/FieldControl.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "db/widgets/DBCheckBox.h"
#include "db/widgets/DBComboBox.h"
#include "db/widgets/DBEdit.h"

namespace {

using namespace db;
using db::widgets::TDBCheckBox;
using db::widgets::TDBComboBox;
using db::widgets::TDBEdit;
using db_test::TMemDataSet;

// A settings dialog: an edit, a check box and a combo box over the one record of a table.
class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"realtime", ftInteger}, {"useuppercase", ftBoolean}, {"width", ftInteger}});
        table_.Open();
        table_.AppendRecord({5, false, 0});
        table_.First();
        source_.SetDataSet(&table_);

        auto* layout = new QVBoxLayout(&dialog_);
        edit_ = new TDBEdit(&dialog_);
        box_ = new TDBCheckBox(&dialog_);
        box_->setText("Use uppercase only");
        combo_ = new TDBComboBox(&dialog_);
        combo_->addItems({"0", "4", "5", "6", "7", "8"});
        layout->addWidget(edit_);
        layout->addWidget(box_);
        layout->addWidget(combo_);
        edit_->SetDataSource(&source_);
        edit_->SetDataField("realtime");
        box_->SetDataSource(&source_);
        box_->SetDataField("useuppercase");
        combo_->SetDataSource(&source_);
        combo_->SetDataField("width");
        db_widgets_test::ShowActive(dialog_);
    }

    // Click the check box, choose "6", then type 25 into the edit and stay there.
    void ChangeAll() {
        QTest::mouseClick(box_, Qt::LeftButton);
        QTest::keyClick(combo_, Qt::Key_Down);
        QTest::keyClick(combo_, Qt::Key_Down);
        QTest::keyClick(combo_, Qt::Key_Down);
        edit_->setFocus(Qt::TabFocusReason);  // selects the text
        QTest::keyClicks(edit_, "25");
        ASSERT_TRUE(edit_->hasFocus());
        ASSERT_EQ(edit_->text(), "25");
        ASSERT_TRUE(box_->isChecked());
        ASSERT_EQ(combo_->currentText(), "6");
        ASSERT_EQ(source_.State(), dsEdit);
    }

    TMemDataSet table_;
    TDataSource source_;
    QDialog dialog_;
    TDBEdit* edit_ = nullptr;
    TDBCheckBox* box_ = nullptr;
    TDBComboBox* combo_ = nullptr;
};

TEST_F(SettingsForm, PostWithoutLeavingTheEditStoresAllThree) {
    ChangeAll();
    source_.DataSet()->Post();
    EXPECT_TRUE(edit_->hasFocus());
    table_.Refresh();
    EXPECT_EQ(table_.FieldByName("realtime").AsInteger(), 25);
    EXPECT_TRUE(table_.FieldByName("useuppercase").AsBoolean());
    EXPECT_EQ(table_.FieldByName("width").AsInteger(), 6);
    EXPECT_EQ(edit_->text(), "25");
    EXPECT_TRUE(box_->isChecked());
    EXPECT_EQ(combo_->currentText(), "6");
}

TEST_F(SettingsForm, CancelLeavesWidgetsAndRecordAsBefore) {
    ChangeAll();
    source_.DataSet()->Cancel();
    EXPECT_EQ(source_.State(), dsBrowse);
    EXPECT_EQ(edit_->text(), "5");
    EXPECT_FALSE(box_->isChecked());
    EXPECT_EQ(combo_->currentText(), "0");
    table_.Refresh();
    EXPECT_EQ(table_.FieldByName("realtime").AsInteger(), 5);
    EXPECT_FALSE(table_.FieldByName("useuppercase").AsBoolean());
    EXPECT_EQ(table_.FieldByName("width").AsInteger(), 0);

    // Nothing is left pending: a later post writes nothing of it.
    table_.Edit();
    table_.Post();
    EXPECT_EQ(table_.FieldByName("realtime").AsInteger(), 5);
}

TEST_F(SettingsForm, ControlsOutliveTheirSourceAndTheSourceOutlivesThem) {
    {
        TDBEdit edit;
        edit.SetDataSource(&source_);
        edit.SetDataField("realtime");
    }
    table_.Next();
    auto* source = new TDataSource;
    source->SetDataSet(&table_);
    TDBEdit edit;
    edit.SetDataSource(source);
    edit.SetDataField("realtime");
    EXPECT_EQ(edit.text(), "5");
    delete source;
    EXPECT_EQ(edit.DataSource(), nullptr);
    EXPECT_EQ(edit.text(), "");
    table_.First();
}

}  // namespace
