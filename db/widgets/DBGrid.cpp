#include "db/widgets/DBGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

#include "db/DataSet.h"
#include "db/widgets/Confirm.h"
#include "db/widgets/Guarded.h"

namespace db::widgets {

namespace {

// The indicator column only carries the active row's mark: its width in the default font with a pixel of
// margin either side.
constexpr int kIndicatorWidth = 14;

// The positions of the scroll bar of a dataset without record numbers.
constexpr int kAtStart = 0;
constexpr int kInBetween = 1;
constexpr int kAtEnd = 2;

}  // namespace

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent), model_(new TDBGridModel(this)), recordBar_(new QScrollBar(Qt::Vertical)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setDragEnabled(false);
    setWordWrap(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(kIndicatorWidth);

    // The view's own vertical scroll bar would scroll the rows, which are only the window: it stays hidden
    // in its place, and the record bar stands there instead.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    addScrollBarWidget(recordBar_, Qt::AlignTop);
    verticalScrollBar()->hide();
    recordBar_->setTracking(false);
    recordBar_->setEnabled(false);
    connect(recordBar_, &QScrollBar::actionTriggered, this, &TDBGrid::ScrollBarAction);
    connect(recordBar_, &QScrollBar::sliderReleased, this, &TDBGrid::ScrollBarReleased);

    titleFont_ = horizontalHeader()->font();
    model_->OnWindowChanged = [this] { FollowWindow(); };
    model_->OnOpened = [this] { resizeColumnsToContents(); };
}

TDBGrid::~TDBGrid() {
    model_->OnWindowChanged = nullptr;
    model_->OnOpened = nullptr;
    Guarded([this] { model_->SetDataSource(nullptr); });
}

void TDBGrid::SetDataSource(db::TDataSource* dataSource) {
    model_->SetDataSource(dataSource);
}

void TDBGrid::SetColumns(std::vector<TDBGridColumn> columns) {
    model_->SetColumns(std::move(columns));
}

QColor TDBGrid::Color() const {
    return palette().color(QPalette::Base);
}

void TDBGrid::SetColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void TDBGrid::SetFixedColor(const QColor& color) {
    fixedColor_ = color;
    model_->SetFixedColor(color);
    // Styles that paint header sections from the palette take it from there.
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        QPalette p = header->palette();
        p.setColor(QPalette::Button, color);
        p.setColor(QPalette::Window, color);
        header->setPalette(p);
    }
}

void TDBGrid::SetTitleFont(const QFont& font) {
    titleFont_ = font;
    horizontalHeader()->setFont(font);
    model_->SetTitleFont(font);
}

void TDBGrid::SetTitleFontColor(const QColor& color) {
    titleFontColor_ = color;
    model_->SetTitleColor(color);
    QPalette p = horizontalHeader()->palette();
    p.setColor(QPalette::ButtonText, color);
    horizontalHeader()->setPalette(p);
}

// The window.

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitRows();
}

void TDBGrid::FitRows() {
    const int rowHeight = std::max(verticalHeader()->defaultSectionSize(), 1);
    const int rows = std::max(viewport()->height() / rowHeight, 1);
    Guarded([this, rows] { model_->SetRowCapacity(rows); });
}

void TDBGrid::FollowWindow() {
    const int row = model_->ActiveRow();
    if (row < 0 || model_->columnCount() == 0) {
        selectionModel()->clear();
    } else {
        column_ = std::clamp(column_, 0, model_->columnCount() - 1);
        selectionModel()->setCurrentIndex(model_->index(row, column_),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    UpdateScrollBar();
}

void TDBGrid::UpdateScrollBar() {
    const QSignalBlocker quiet(recordBar_);
    db::TDataLink& link = model_->Link();
    db::TDataSet* dataSet = link.DataSet();
    if (!link.Active() || dataSet == nullptr) {
        recordBar_->setRange(0, 0);
        recordBar_->setEnabled(false);
        return;
    }
    recordBar_->setEnabled(true);
    if (dataSet->IsSequenced()) {
        recordBar_->setRange(1, std::max(dataSet->RecordCount(), 1));
        recordBar_->setPageStep(VisibleRowCount());
        recordBar_->setValue(std::max(dataSet->RecNo(), 1));
    } else {
        recordBar_->setRange(kAtStart, kAtEnd);
        recordBar_->setPageStep(1);
        recordBar_->setValue(dataSet->Bof() ? kAtStart : (dataSet->Eof() ? kAtEnd : kInBetween));
    }
}

void TDBGrid::ScrollBarAction(int action) {
    db::TDataLink& link = model_->Link();
    db::TDataSet* dataSet = link.DataSet();
    if (link.Active() && dataSet != nullptr) {
        Guarded([&] {
            switch (action) {
                case QAbstractSlider::SliderSingleStepAdd:
                    dataSet->Next();
                    break;
                case QAbstractSlider::SliderSingleStepSub:
                    dataSet->Prior();
                    break;
                case QAbstractSlider::SliderPageStepAdd:
                    dataSet->MoveBy(VisibleRowCount());
                    break;
                case QAbstractSlider::SliderPageStepSub:
                    dataSet->MoveBy(-VisibleRowCount());
                    break;
                case QAbstractSlider::SliderToMinimum:
                    dataSet->First();
                    break;
                case QAbstractSlider::SliderToMaximum:
                    dataSet->Last();
                    break;
                default:
                    break;
            }
        });
    }
    // The slider is about to take the position the action computed; the record's position wins.
    if (!recordBar_->isSliderDown()) recordBar_->setSliderPosition(recordBar_->value());
}

void TDBGrid::ScrollBarReleased() {
    db::TDataLink& link = model_->Link();
    db::TDataSet* dataSet = link.DataSet();
    const int position = recordBar_->sliderPosition();
    if (link.Active() && dataSet != nullptr) {
        Guarded([&] {
            if (dataSet->IsSequenced())
                dataSet->SetRecNo(position);
            else if (position == kAtStart)
                dataSet->First();
            else if (position == kAtEnd)
                dataSet->Last();
        });
    }
    Guarded([this] { UpdateScrollBar(); });
}

// Moving.

void TDBGrid::MoveBy(int distance) {
    Guarded([this, distance] { model_->Link().MoveBy(distance); });
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    db::TDataLink& link = model_->Link();
    switch (event->key()) {
        case Qt::Key_Up:
            MoveBy(-1);
            break;
        case Qt::Key_Down:
            MoveBy(1);
            break;
        case Qt::Key_PageUp:
            MoveBy(-VisibleRowCount());
            break;
        case Qt::Key_PageDown:
            MoveBy(VisibleRowCount());
            break;
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!control) {
                QTableView::keyPressEvent(event);  // along the row
                return;
            }
            Guarded([&] {
                if (!link.Active()) return;
                if (event->key() == Qt::Key_Home)
                    link.DataSet()->First();
                else
                    link.DataSet()->Last();
            });
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
            QTableView::keyPressEvent(event);
            if (currentIndex().isValid()) column_ = currentIndex().column();
            return;
        case Qt::Key_Delete:
            Guarded([&] {
                if (link.Active()) ConfirmAndDelete(*link.DataSet());
            });
            break;
        default:
            event->ignore();  // Esc, Enter and the like are the form's
            return;
    }
    event->accept();
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
    const int turn = event->angleDelta().y();
    if (turn == 0) {
        QTableView::wheelEvent(event);  // sideways: along the columns
        return;
    }
    wheelRemainder_ += turn;
    const int steps = wheelRemainder_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRemainder_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0) MoveBy(-steps);  // turning away from the user moves towards the start
    event->accept();
}

void TDBGrid::ClickRow(const QPoint& position) {
    const int column = columnAt(position.x());
    if (column >= 0) column_ = column;
    const int row = rowAt(position.y());
    db::TDataLink& link = model_->Link();
    if (row >= 0 && row < model_->rowCount()) MoveBy(row - link.ActiveRecord());
    // A click in the active row changes only the current column.
    Guarded([this] { FollowWindow(); });
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) ClickRow(event->position().toPoint());
    event->accept();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
    // No selecting by dragging: the selection is the active record.
    event->accept();
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace db::widgets
