// TDBNavigator: buttons that move through a dataset's records and delete the current one.
#pragma once

#include <QToolButton>
#include <QWidget>

#include <array>

#include "db/DataLink.h"

namespace db {
class TDataSource;
}

namespace db::widgets {

class TDBNavigator;

// The navigator's link: every notification renews the buttons.
class TNavigatorLink final : public db::TDataLink {
public:
    explicit TNavigatorLink(TDBNavigator& navigator) : navigator_(navigator) {}

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void EditingChanged() override;
    void RecordChanged(db::TField* field) override;

private:
    TDBNavigator& navigator_;
};

// First, prior, next, last and delete, in that order, named "nbFirst" .. "nbDelete". First and prior are
// disabled at the dataset's start (Bof), next and last at its end (Eof), delete while it is empty or cannot
// be modified, all of them while it is closed. Delete asks "Delete record?" first.
class TDBNavigator : public QWidget {
    Q_OBJECT

public:
    enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbDelete };
    static constexpr int kButtonCount = nbDelete + 1;

    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    db::TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(db::TDataSource* dataSource);
    QToolButton* Button(TNavigateBtn button) const { return buttons_[button]; }
    // What a click on the button does; a failure reaches the application's exception handler.
    void BtnClick(TNavigateBtn button);

private:
    friend class TNavigatorLink;

    void UpdateButtons();

    TNavigatorLink link_{*this};
    std::array<QToolButton*, kButtonCount> buttons_{};
};

}  // namespace db::widgets
