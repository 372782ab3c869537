#include "db/widgets/DBGridModel.h"

#include <QTimer>

#include <utility>

#include "db/DataSet.h"
#include "db/Field.h"
#include "db/FieldType.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/ExceptionHook.h"
#include "rtl/FloatFormat.h"

namespace db::widgets {

namespace {

bool IsNumeric(db::TFieldType type) {
    switch (type) {
        case db::ftSmallint:
        case db::ftInteger:
        case db::ftWord:
        case db::ftFloat:
        case db::ftCurrency:
        case db::ftBCD:
        case db::ftAutoInc:
        case db::ftLargeint:
            return true;
        default:
            return false;
    }
}

// Puts the link's active record on a row for the length of a read; sends no notification.
class ActiveRecordScope {
public:
    ActiveRecordScope(db::TDataLink& link, int row) : link_(link), saved_(link.ActiveRecord()) {
        link_.SetActiveRecord(row);
    }
    ~ActiveRecordScope() { link_.SetActiveRecord(saved_); }
    ActiveRecordScope(const ActiveRecordScope&) = delete;
    ActiveRecordScope& operator=(const ActiveRecordScope&) = delete;

private:
    db::TDataLink& link_;
    int saved_;
};

}  // namespace

void TGridDataLink::ActiveChanged() {
    model_.Reset();
    if (Active()) model_.Activated();
}

void TGridDataLink::DataSetChanged() {
    model_.Reset();
}

void TGridDataLink::DataSetScrolled(int) {
    model_.Scrolled();
}

void TGridDataLink::EditingChanged() {
    model_.IndicatorChanged();
}

void TGridDataLink::LayoutChanged() {
    model_.Reset();
}

void TGridDataLink::RecordChanged(db::TField*) {
    model_.ActiveRowChanged();
}

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent) {}

TDBGridModel::~TDBGridModel() {
    OnWindowChanged = nullptr;
    OnOpened = nullptr;
    // Leaving may shrink the dataset's window, which reads records.
    Guarded([this] { link_.SetDataSource(nullptr); });
}

void TDBGridModel::SetDataSource(db::TDataSource* dataSource) {
    link_.SetDataSource(dataSource);
    Reset();
}

void TDBGridModel::SetColumns(std::vector<TDBGridColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
    WindowChanged();
}

void TDBGridModel::SetRowCapacity(int rows) {
    if (rows == link_.BufferCount()) return;
    // The dataset reads records into the wider window without a notification.
    try {
        link_.SetBufferCount(rows);
    } catch (...) {
        Reset();
        throw;
    }
    Reset();
}

int TDBGridModel::ActiveRow() const {
    if (!link_.Active() || link_.RecordCount() == 0) return -1;
    const int row = link_.ActiveRecord();
    return row < rows_ ? row : -1;
}

db::TField* TDBGridModel::ColumnField(int column) const {
    const db::TDataSet* dataSet = link_.DataSet();
    if (!link_.Active() || dataSet == nullptr || !dataSet->Active() || column < 0 ||
        column >= static_cast<int>(columns_.size()))
        return nullptr;
    return dataSet->FindField(columns_[static_cast<std::size_t>(column)].FieldName);
}

void TDBGridModel::SetTitleFont(std::optional<QFont> font) {
    titleFont_ = std::move(font);
    if (!columns_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TDBGridModel::SetTitleColor(QColor color) {
    titleColor_ = color;
    if (!columns_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TDBGridModel::SetFixedColor(QColor color) {
    fixedColor_ = color;
    if (!columns_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}

// Notifications.

void TDBGridModel::Reset() {
    beginResetModel();
    rows_ = link_.Active() ? link_.RecordCount() : 0;
    endResetModel();
    WindowChanged();
}

void TDBGridModel::Activated() {
    if (OnOpened) OnOpened();
}

void TDBGridModel::Scrolled() {
    // The window shows other records in the same rows.
    if ((link_.Active() ? link_.RecordCount() : 0) != rows_) {
        Reset();
        return;
    }
    if (rows_ > 0 && !columns_.empty()) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
    if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    WindowChanged();
}

void TDBGridModel::ActiveRowChanged() {
    const int row = ActiveRow();
    if (row >= 0 && !columns_.empty()) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    WindowChanged();
}

void TDBGridModel::IndicatorChanged() {
    if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    WindowChanged();
}

void TDBGridModel::WindowChanged() {
    reportPending_ = false;
    if (OnWindowChanged) OnWindowChanged();
}

// Reading.

int TDBGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QString TDBGridModel::CellText(int row, int column) const {
    // The window may hold fewer records than the views were told while the controls are disabled.
    if (row >= link_.RecordCount()) return {};
    const db::TField* field = ColumnField(column);
    if (field == nullptr) return {};
    try {
        const ActiveRecordScope reading(link_, row);
        const TDBGridColumn& c = columns_[static_cast<std::size_t>(column)];
        if (!c.FloatMask.empty() && !field->IsNull()) return ToQString(rtl::FormatFloat(c.FloatMask, field->AsFloat()));
        return ToQString(field->DisplayText());
    } catch (...) {
        ReportLater(std::current_exception());
        return {};
    }
}

Qt::Alignment TDBGridModel::ColumnAlignment(int column) const {
    const TDBGridColumn& c = columns_[static_cast<std::size_t>(column)];
    if (c.Alignment) return *c.Alignment;
    const db::TField* field = ColumnField(column);
    return field != nullptr && IsNumeric(field->DataType()) ? Qt::AlignRight : Qt::AlignLeft;
}

QString TDBGridModel::ColumnTitle(int column) const {
    const TDBGridColumn& c = columns_[static_cast<std::size_t>(column)];
    if (!c.Title.isEmpty()) return c.Title;
    const db::TField* field = ColumnField(column);
    return ToQString(field != nullptr ? field->DisplayName() : c.FieldName);
}

void TDBGridModel::ReportLater(std::exception_ptr error) const {
    if (reportPending_) return;
    reportPending_ = true;
    // A message box in the middle of a paint would paint again beneath it.
    QTimer::singleShot(0, const_cast<TDBGridModel*>(this), [error] { rtl::HandleException(error); });
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columnCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return static_cast<int>(ColumnAlignment(index.column()) | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::BackgroundRole) return fixedColor_.isValid() ? QVariant(fixedColor_) : QVariant();
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return section == ActiveRow() ? QString(QChar(kActiveRowMark)) : QString();
        if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
        return {};
    }
    if (section < 0 || section >= columnCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return ColumnTitle(section);
        case Qt::FontRole:
            return titleFont_ ? QVariant(*titleFont_) : QVariant();
        case Qt::ForegroundRole:
            return titleColor_.isValid() ? QVariant(titleColor_) : QVariant();
        default:
            return {};
    }
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace db::widgets
