// Tnewnumerictestform: refills numeric.dat with the numeric test's 200 records of the configured width.
#pragma once

#include <cstdint>
#include <memory>

#include "app/generators/GeneratorForm.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace Ui {
class Tnewnumerictestform;
}

namespace app {

struct AppState;
class MessageService;
class RandomSource;

// Opens numeric.dat exclusively, empties it and inserts the records anew; the settings' `width` at the
// time of the run decides the values' digits.
class Tnewnumerictestform : public TGeneratorForm {
    Q_OBJECT

public:
    Tnewnumerictestform(const AppState& state, MessageService& messages, RandomSource& random,
                        QWidget* parent = nullptr);
    ~Tnewnumerictestform() override;

    components::TTARNISTable numericdb;
    db::TDataSource DataSource1;

    // One value of the configured width, from the form's random source.
    std::int32_t getinteger();
    double getdecimal();

protected:
    void FormShow() override;
    void Timer1Timer() override;
    void FormClose() override;

private:
    void CloseTable();

    std::unique_ptr<Ui::Tnewnumerictestform> ui_;
    const AppState& state_;
    MessageService& messages_;
    RandomSource& random_;
};

}  // namespace app
