#include "db/widgets/DBGrid.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "db/widgets/DBGridModel.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db::widgets::TDBGrid;
using db::widgets::TDBGridColumn;
using db::widgets::TDBGridModel;
using db_test::TMemDataSet;
using db_test::WindowIds;
using db_widgets_test::ConfirmDouble;
using db_widgets_test::HookSpy;
using Ids = std::vector<int>;

// Makes the grid as high as `rows` rows and half of another.
void ShowRows(TDBGrid& grid, int rows) {
    if (!grid.isVisible()) {
        grid.resize(400, 300);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }
    const int rowHeight = grid.verticalHeader()->defaultSectionSize();
    const int chrome = grid.height() - grid.viewport()->height();
    grid.resize(grid.width(), chrome + rows * rowHeight + rowHeight / 2);
    QCoreApplication::processEvents();
}

void Wheel(TDBGrid& grid, int angle) {
    const QPointF at(10, 10);
    QWheelEvent event(at, grid.viewport()->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &event);
}

// Twenty numbered rows in a grid that shows five.
class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        db_test::FillNumbers(table_, 20);
        source_.SetDataSet(&table_);
        grid_.SetColumns({{"ID", "Number", {}},
                          {"NAME", "", {}},
                          {"MISSING", "Gone", {}},
                          {"ID", "Centred", Qt::AlignHCenter}});
        grid_.SetDataSource(&source_);
        table_.Open();
        ShowRows(grid_, 5);
    }
    TDBGridModel& Model() { return grid_.GridModel(); }
    Ids ModelIds() {
        Ids ids;
        for (int row = 0; row < Model().rowCount(); ++row)
            ids.push_back(Model().data(Model().index(row, 0)).toString().toInt());
        return ids;
    }
    int Id() { return table_.FieldByName("ID").AsInteger(); }
    // The rows follow the link's window, the active one selected and marked.
    void ExpectFollowsTheWindow() {
        EXPECT_EQ(ModelIds(), WindowIds(grid_.DataLink()));
        const int active = grid_.DataLink().ActiveRecord();
        const QModelIndexList selected = grid_.selectionModel()->selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.front().row(), active);
        for (int row = 0; row < Model().rowCount(); ++row)
            EXPECT_EQ(Model().headerData(row, Qt::Vertical).toString().isEmpty(), row != active) << row;
    }

    TMemDataSet table_;
    TDataSource source_;
    TDBGrid grid_;
};

TEST_F(Grid, RowsAreTheWindowOfTheRowsThatFit) {
    EXPECT_EQ(grid_.VisibleRowCount(), 5);
    EXPECT_EQ(grid_.DataLink().BufferCount(), 5);
    EXPECT_EQ(ModelIds(), (Ids{1, 2, 3, 4, 5}));
    ExpectFollowsTheWindow();
    table_.MoveBy(7);
    EXPECT_EQ(Id(), 8);
    ExpectFollowsTheWindow();
    table_.Last();
    EXPECT_EQ(ModelIds(), (Ids{16, 17, 18, 19, 20}));
    ExpectFollowsTheWindow();
    for (int i = 0; i < 6; ++i) table_.Prior();
    ExpectFollowsTheWindow();
    table_.SetRecNo(11);
    ExpectFollowsTheWindow();

    ShowRows(grid_, 8);
    EXPECT_EQ(grid_.VisibleRowCount(), 8);
    EXPECT_EQ(Model().rowCount(), 8);
    EXPECT_EQ(Id(), 11);
    ExpectFollowsTheWindow();
    ShowRows(grid_, 3);
    EXPECT_EQ(Model().rowCount(), 3);
    ExpectFollowsTheWindow();
}

TEST_F(Grid, KeysMoveTheDataset) {
    struct Case {
        int from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int to;
    };
    const Case cases[] = {
        {1, Qt::Key_Down, Qt::NoModifier, 2},       {2, Qt::Key_Up, Qt::NoModifier, 1},
        {1, Qt::Key_Up, Qt::NoModifier, 1},         {20, Qt::Key_Down, Qt::NoModifier, 20},
        {1, Qt::Key_PageDown, Qt::NoModifier, 6},   {9, Qt::Key_PageUp, Qt::NoModifier, 4},
        {18, Qt::Key_PageDown, Qt::NoModifier, 20}, {7, Qt::Key_End, Qt::ControlModifier, 20},
        {7, Qt::Key_Home, Qt::ControlModifier, 1},  {7, Qt::Key_Home, Qt::NoModifier, 7},
        {7, Qt::Key_Right, Qt::NoModifier, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " key " << c.key << " -> " << c.to);
        table_.SetRecNo(c.from);
        QTest::keyClick(&grid_, c.key, c.modifiers);
        EXPECT_EQ(table_.RecNo(), c.to);
        ExpectFollowsTheWindow();
    }
}

TEST_F(Grid, TheWheelMovesLikeTheArrows) {
    Wheel(grid_, -120);
    EXPECT_EQ(Id(), 2);
    Wheel(grid_, -360);
    EXPECT_EQ(Id(), 5);
    Wheel(grid_, 240);
    EXPECT_EQ(Id(), 3);
    Wheel(grid_, -60);  // half a step waits for the other half
    EXPECT_EQ(Id(), 3);
    Wheel(grid_, -60);
    EXPECT_EQ(Id(), 4);
    ExpectFollowsTheWindow();
}

TEST_F(Grid, AClickMovesToTheRowsRecord) {
    table_.SetRecNo(9);
    for (int row : {0, 4, 2, 2}) {
        SCOPED_TRACE(row);
        const Ids window = WindowIds(grid_.DataLink());
        QTest::mouseClick(grid_.viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid_.visualRect(Model().index(row, 1)).center());
        EXPECT_EQ(Id(), window[static_cast<std::size_t>(row)]);
        ExpectFollowsTheWindow();
        EXPECT_EQ(grid_.currentIndex().column(), 1);
    }
}

TEST_F(Grid, TheScrollBarStandsForTheRecordNumber) {
    QScrollBar& bar = grid_.RecordScrollBar();
    EXPECT_TRUE(bar.isVisible());
    EXPECT_FALSE(grid_.verticalScrollBar()->isVisible());
    EXPECT_EQ(bar.minimum(), 1);
    EXPECT_EQ(bar.maximum(), 20);
    EXPECT_EQ(bar.value(), 1);

    bar.setSliderDown(true);
    bar.setSliderPosition(12);
    EXPECT_EQ(Id(), 1);  // nothing moves while the thumb is held
    bar.setSliderDown(false);
    EXPECT_EQ(table_.RecNo(), 12);
    EXPECT_EQ(bar.value(), 12);
    ExpectFollowsTheWindow();

    struct Case {
        QAbstractSlider::SliderAction action;
        int recNo;
    };
    for (const Case& c :
         {Case{QAbstractSlider::SliderSingleStepAdd, 13}, Case{QAbstractSlider::SliderPageStepSub, 8},
          Case{QAbstractSlider::SliderToMaximum, 20}, Case{QAbstractSlider::SliderSingleStepSub, 19},
          Case{QAbstractSlider::SliderToMinimum, 1}, Case{QAbstractSlider::SliderPageStepAdd, 6}}) {
        SCOPED_TRACE(c.action);
        bar.triggerAction(c.action);
        EXPECT_EQ(table_.RecNo(), c.recNo);
        EXPECT_EQ(bar.value(), c.recNo);
    }
    table_.Close();
    EXPECT_FALSE(bar.isEnabled());
}

TEST_F(Grid, AFilteredDatasetHasThreeThumbPositions) {
    table_.Close();
    table_.SetOnFilterRecord(
        [](TDataSet& d, bool& accept) { accept = d.FieldByName("ID").AsInteger() % 2 == 0; });
    table_.SetFiltered(true);
    table_.Open();
    QScrollBar& bar = grid_.RecordScrollBar();
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 2);
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(ModelIds(), (Ids{2, 4, 6, 8, 10}));
    table_.Next();
    EXPECT_EQ(bar.value(), 1);

    struct Case {
        int position;
        int id;
        int value;
    };
    for (const Case& c : {Case{2, 20, 2}, Case{1, 20, 2}, Case{0, 2, 0}}) {
        SCOPED_TRACE(c.position);
        bar.setSliderDown(true);
        bar.setSliderPosition(c.position);
        bar.setSliderDown(false);
        EXPECT_EQ(Id(), c.id);
        EXPECT_EQ(bar.value(), c.value);
    }
    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Id(), 12);
    EXPECT_EQ(bar.value(), 1);
    ExpectFollowsTheWindow();
}

TEST_F(Grid, TitlesAlignmentAndTheLookOfTheFixedCells) {
    const char* titles[] = {"Number", "NAME", "Gone", "Centred"};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(Model().headerData(column, Qt::Horizontal).toString(), titles[column]);
    const auto alignment = [&](int column) {
        return Model().data(Model().index(0, column), Qt::TextAlignmentRole).toInt() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(0), Qt::AlignRight);  // a number
    EXPECT_EQ(alignment(1), Qt::AlignLeft);
    EXPECT_EQ(alignment(3), Qt::AlignHCenter);  // the form's choice
    EXPECT_EQ(Model().data(Model().index(0, 1)).toString(), "row 1");
    EXPECT_EQ(Model().data(Model().index(0, 2)).toString(), "");  // no such field
    EXPECT_EQ(Model().data(Model().index(0, 3)).toString(), "1");
    EXPECT_FALSE(Model().flags(Model().index(0, 0)) & Qt::ItemIsEditable);

    QFont font("Arial");
    font.setBold(true);
    grid_.SetTitleFont(font);
    grid_.SetTitleFontColor(Qt::yellow);
    grid_.SetFixedColor(QColor(0x00, 0x80, 0x80));
    grid_.SetColor(QColor(0xC0, 0xDC, 0xC0));
    EXPECT_EQ(Model().headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>(), font);
    EXPECT_EQ(Model().headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), QColor(Qt::yellow));
    EXPECT_EQ(Model().headerData(0, Qt::Horizontal, Qt::BackgroundRole).value<QColor>(),
              QColor(0, 0x80, 0x80));
    EXPECT_EQ(Model().headerData(2, Qt::Vertical, Qt::BackgroundRole).value<QColor>(), QColor(0, 0x80, 0x80));
    EXPECT_EQ(grid_.palette().color(QPalette::Base), QColor(0xC0, 0xDC, 0xC0));
    EXPECT_EQ(grid_.TitleFont(), font);
    EXPECT_EQ(grid_.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid_.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
}

TEST_F(Grid, ADatasetChangeResetsTheModel) {
    QSignalSpy resets(&Model(), &QAbstractItemModel::modelReset);
    table_.Refresh();
    EXPECT_EQ(resets.count(), 1);
    table_.Close();
    EXPECT_GE(resets.count(), 2);
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_TRUE(grid_.selectionModel()->selectedRows().isEmpty());
    table_.Open();
    EXPECT_EQ(ModelIds(), (Ids{1, 2, 3, 4, 5}));
    ExpectFollowsTheWindow();

    // A record change renews the active row only.
    QSignalSpy changes(&Model(), &QAbstractItemModel::dataChanged);
    table_.Next();
    table_.Edit();
    const int resetsBefore = resets.count();
    table_.FieldByName("NAME").SetAsString("renamed");
    EXPECT_EQ(resets.count(), resetsBefore);
    ASSERT_FALSE(changes.isEmpty());
    EXPECT_EQ(changes.last().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(Model().data(Model().index(1, 1)).toString(), "renamed");
    table_.Cancel();
}

TEST_F(Grid, PaintingWhileControlsAreDisabledReadsNoFieldThatIsGone) {
    table_.DisableControls();
    table_.Close();
    grid_.grab();
    EXPECT_EQ(Model().data(Model().index(0, 0)).toString(), "");
    table_.Open();
    table_.Last();
    grid_.grab();
    table_.EnableControls();
    EXPECT_EQ(ModelIds(), (Ids{16, 17, 18, 19, 20}));
    ExpectFollowsTheWindow();
}

TEST_F(Grid, DeleteAsksAndDeletesExactlyTheActiveRecord) {
    struct Case {
        bool yes;
        Qt::KeyboardModifiers modifiers;
    };
    int rows = 20;
    for (const Case& c : {Case{false, Qt::NoModifier}, Case{true, Qt::NoModifier},
                          Case{false, Qt::ControlModifier}, Case{true, Qt::ControlModifier}}) {
        SCOPED_TRACE(testing::Message() << "yes " << c.yes << " ctrl " << (c.modifiers != Qt::NoModifier));
        ConfirmDouble confirm(c.yes);
        table_.SetRecNo(7);
        const int id = Id();
        QTest::keyClick(&grid_, Qt::Key_Delete, c.modifiers);
        ASSERT_EQ(confirm.Questions().size(), 1u);
        EXPECT_EQ(confirm.Questions().front(), "Delete record?");
        if (c.yes) --rows;
        EXPECT_EQ(table_.StoredRowCount(), rows);
        EXPECT_EQ(table_.Locate("ID", id, 0), !c.yes);
        ExpectFollowsTheWindow();
    }
}

TEST_F(Grid, AFailingDeleteReachesTheHook) {
    HookSpy hook;
    ConfirmDouble confirm(true);
    table_.BeforeDelete = [](TDataSet&) { throw rtl::EDatabaseError("Record locked by another user"); };
    QTest::keyClick(&grid_, Qt::Key_Delete);
    EXPECT_EQ(hook.Messages(), (std::vector<std::string>{"Record locked by another user"}));
    EXPECT_EQ(table_.StoredRowCount(), 20);

    // Nothing to ask about a read-only dataset.
    table_.BeforeDelete = nullptr;
    table_.Close();
    table_.SetReadOnly(true);
    table_.Open();
    QTest::keyClick(&grid_, Qt::Key_Delete);
    EXPECT_EQ(confirm.Questions().size(), 1u);
    EXPECT_EQ(hook.Count(), 1);
}

}  // namespace
