#include "app/generators/newnumerictestform.h"

#include <QCoreApplication>

#include <string>

#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/RandomSource.h"
#include "app/core/TestDataGenerators.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "db/Field.h"
#include "db/widgets/QtText.h"
#include "ui_newnumerictestform.h"

namespace app {

namespace {

// The generators' table components wait for a record lock 15 times 100 ms, as the program's others do.
constexpr std::uint8_t kNumericLockRetryCount = 15;
constexpr std::uint16_t kNumericLockWaitTime = 100;

}  // namespace

Tnewnumerictestform::Tnewnumerictestform(const AppState& state, MessageService& messages, RandomSource& random,
                                         QWidget* parent)
    : TGeneratorForm(parent),
      ui_(std::make_unique<Ui::Tnewnumerictestform>()),
      state_(state),
      messages_(messages),
      random_(random) {
    ui_->setupUi(this);
    ui_->Label1->setText(db::widgets::ToQString(kGeneratingNumeric));
    numericdb.SetLockRetryCount(kNumericLockRetryCount);
    numericdb.SetLockWaitTime(kNumericLockWaitTime);
    DataSource1.SetDataSet(&numericdb);
}

Tnewnumerictestform::~Tnewnumerictestform() = default;

std::int32_t Tnewnumerictestform::getinteger() {
    return app::getinteger(random_, state_.width);
}

double Tnewnumerictestform::getdecimal() {
    return app::getdecimal(random_, state_.width);
}

void Tnewnumerictestform::FormShow() {
    SetGaugeProgress(*ui_->Gauge1, 1);
    StartRun();
}

void Tnewnumerictestform::Timer1Timer() {
    Timer1.stop();
    random_.Randomize();
    QProgressBar& gauge = *ui_->Gauge1;
    gauge.setMaximum(kNumericRecords);
    try {
        numericdb.Close();
        numericdb.SetTableName(state_.progdir + std::string(kNumericTable));
        numericdb.SetExclusive(true);
        numericdb.Open();
    } catch (...) {
        messages_.ShowError(MissingTableMessage(numericdb).value_or(std::string(kNumericNotExclusive)));
        CloseForm();
        return;
    }
    numericdb.EmptyTable();
    for (int record = 0; record < kNumericRecords; ++record) {
        numericdb.Insert();
        for (int position = 1; position <= kNumericPositions; ++position) {
            numericdb.FieldByName(std::string(kNumericFieldPrefix) + std::to_string(position))
                .SetAsInteger(getinteger());
        }
        QCoreApplication::processEvents();
        for (int position = 1; position <= kNumericPositions; ++position) {
            numericdb.FieldByName(std::string(kDecimalFieldPrefix) + std::to_string(position))
                .SetAsFloat(getdecimal());
        }
        QCoreApplication::processEvents();
        SetGaugeProgress(gauge, gauge.value() + 1);
    }
    PostPending(DataSource1);
    CloseTable();
    messages_.ShowInformation(kNumericCreated);
    CloseForm();
}

void Tnewnumerictestform::FormClose() {
    Timer1.stop();
    CloseTable();
}

void Tnewnumerictestform::CloseTable() {
    numericdb.Close();
    numericdb.SetExclusive(false);
}

}  // namespace app
