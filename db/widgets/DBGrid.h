// TDBGrid: a read-only table of a dataset's records, one row per record of its window.
#pragma once

#include <QColor>
#include <QFont>
#include <QTableView>

#include <vector>

#include "db/widgets/DBGridModel.h"

class QScrollBar;

namespace db {
class TDataLink;
class TDataSource;
}  // namespace db

namespace db::widgets {

// The grid holds as many records as rows fit (its window, renewed on resize) and moves the dataset, never
// its own rows: Up and Down are Prior and Next, Page Up and Page Down move by the rows shown, Ctrl+Home and
// Ctrl+End go to the first and last record, the wheel moves like the arrows, a click on a row moves to its
// record, and Delete (with or without Ctrl) asks "Delete record?" and deletes the current one. Whole rows are
// selected, the active one highlighted and marked in the indicator column; columns can be resized (each
// opening of the dataset fits them to the records shown); nothing is edited in place.
//
// Its vertical scroll bar is its own: for a sequenced dataset it runs from 1 to the record count and stands
// at the record number, and a released thumb goes to that record; otherwise (a filter is on) it has three
// positions, start, middle and end, and the thumb at either end goes to the first or the last record.
class TDBGrid : public QTableView {
    Q_OBJECT

public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    db::TDataSource* DataSource() const { return model_->DataSource(); }
    void SetDataSource(db::TDataSource* dataSource);
    const std::vector<TDBGridColumn>& Columns() const { return model_->Columns(); }
    void SetColumns(std::vector<TDBGridColumn> columns);

    // The cells' background.
    QColor Color() const;
    void SetColor(const QColor& color);
    // The background of the title row and of the indicator column.
    QColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& color);
    QFont TitleFont() const { return titleFont_; }
    void SetTitleFont(const QFont& font);
    QColor TitleFontColor() const { return titleFontColor_; }
    void SetTitleFontColor(const QColor& color);

    // The rows shown: the records the grid's window holds at most.
    int VisibleRowCount() const { return model_->RowCapacity(); }
    db::TDataLink& DataLink() { return model_->Link(); }
    TDBGridModel& GridModel() { return *model_; }
    // The scroll bar that stands for the record position.
    QScrollBar& RecordScrollBar() { return *recordBar_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitRows();
    // Selects the active row and sets the scroll bar; after every change of the window.
    void FollowWindow();
    void UpdateScrollBar();
    void ScrollBarAction(int action);
    void ScrollBarReleased();
    void MoveBy(int distance);
    void ClickRow(const QPoint& position);

    TDBGridModel* model_;
    QScrollBar* recordBar_;
    QColor fixedColor_;
    QFont titleFont_;
    QColor titleFontColor_;
    int column_ = 0;          // the current column, kept across model resets
    int wheelRemainder_ = 0;  // wheel turn short of a whole step
};

}  // namespace db::widgets
