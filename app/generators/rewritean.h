// Trewritean: renews invsort.dat in place: each record keeps its names and address and gets a new order
// key, invoice date, invoice number and amount.
#pragma once

#include <memory>

#include "app/generators/GeneratorForm.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace Ui {
class Trewritean;
}

namespace controls {
class TimeSource;
}

namespace app {

struct AppState;
class MessageService;
class RandomSource;

// Opens invsort.dat exclusively for the run, walks it in its natural order (the table has no primary
// index, so renewing idxkey cannot move a record in the walk) and renews every record it meets.
class Trewritean : public TGeneratorForm {
    Q_OBJECT

public:
    Trewritean(const AppState& state, MessageService& messages, RandomSource& random,
               const controls::TimeSource& time, QWidget* parent = nullptr);
    ~Trewritean() override;

    // The run ended without renewing the table (it could not be opened, or failed part-way).
    bool cancelled = false;

    components::TTARNISTable inv;
    db::TDataSource DataSource1;

    void rewritetest();

protected:
    void FormShow() override;
    void Timer1Timer() override;
    void FormClose() override;
    void RunFailed() override;

private:
    std::unique_ptr<Ui::Trewritean> ui_;
    const AppState& state_;
    MessageService& messages_;
    RandomSource& random_;
    const controls::TimeSource& time_;
};

}  // namespace app
