// TDBGridModel: the grid's table model, whose rows are the records of its data link's window.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/DataLink.h"

namespace db {
class TDataSource;
class TField;
}  // namespace db

namespace db::widgets {

// One column of a grid, as the form gives it.
struct TDBGridColumn {
    std::string FieldName;  // in the framework's bytes; a field the dataset lacks leaves the column empty
    QString Title;          // empty: the field's display name
    std::optional<Qt::Alignment> Alignment;  // unset: right for numbers, left for the rest
    std::string FloatMask;  // set: the value shown through rtl::FormatFloat with this mask, the stored one kept
};

class TDBGridModel;

// The model's link: passes each notification on to the model.
class TGridDataLink final : public db::TDataLink {
public:
    explicit TGridDataLink(TDBGridModel& model) : model_(model) {}

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(db::TField* field) override;

private:
    TDBGridModel& model_;
};

// The rows are the records the link's window holds (at most RowCapacity), read from the dataset's buffers
// as they are painted: nothing walks the dataset. A dataset change, an opening or closing and a layout
// change reset the model; a scroll renews every row; a record change renews the active row. The vertical
// header marks the active row. Fields are looked up by name at each read, so a dataset that closed and
// opened again, even while its controls were disabled, is never read through a field that is gone.
class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The active row's mark in the vertical header.
    static constexpr char16_t kActiveRowMark = u'\u25BA';

    explicit TDBGridModel(QObject* parent = nullptr);
    ~TDBGridModel() override;

    db::TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(db::TDataSource* dataSource);
    const std::vector<TDBGridColumn>& Columns() const { return columns_; }
    void SetColumns(std::vector<TDBGridColumn> columns);
    // How many records the window holds at most: the rows that fit the grid.
    int RowCapacity() const { return link_.BufferCount(); }
    void SetRowCapacity(int rows);
    db::TDataLink& Link() { return link_; }
    // The active record's row, -1 while there is none.
    int ActiveRow() const;
    // The dataset's field of a column, nullptr while closed or when it has none of that name.
    db::TField* ColumnField(int column) const;

    // The look of the title row and the indicator column; an invalid colour or an unset font leaves the
    // header's own.
    void SetTitleFont(std::optional<QFont> font);
    void SetTitleColor(QColor color);
    void SetFixedColor(QColor color);

    // Told after every change of the rows or of the active row (the view follows it), and when the dataset
    // opened.
    std::function<void()> OnWindowChanged;
    std::function<void()> OnOpened;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    friend class TGridDataLink;

    // Link notifications.
    void Reset();
    void Activated();
    void Scrolled();
    void ActiveRowChanged();
    void IndicatorChanged();
    void WindowChanged();

    QString CellText(int row, int column) const;
    Qt::Alignment ColumnAlignment(int column) const;
    QString ColumnTitle(int column) const;
    // A read that fails while painting is reported after the paint, once until the window changes.
    void ReportLater(std::exception_ptr error) const;

    // Reading a row moves the link's active record for the length of the read.
    mutable TGridDataLink link_{*this};
    std::vector<TDBGridColumn> columns_;
    int rows_ = 0;  // the row count the views were told
    std::optional<QFont> titleFont_;
    QColor titleColor_;
    QColor fixedColor_;
    mutable bool reportPending_ = false;
};

}  // namespace db::widgets
