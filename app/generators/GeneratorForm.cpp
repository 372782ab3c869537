#include "app/generators/GeneratorForm.h"

#include <QProgressBar>

#include <algorithm>

#include "app/controls/TimeSource.h"
#include "app/core/Texts.h"
#include "db/DataSet.h"
#include "db/DataSource.h"
#include "rtl/ExceptionHook.h"

namespace app {

TGeneratorForm::TGeneratorForm(QWidget* parent) : TForm(parent) {
    SetBorderless();
    SetCentred(true);
    SetFixedBorder(true);
    SetHelpContext(kGeneratorHelpContext);
    Timer1.setInterval(kGeneratorStartDelayMs);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, [this] { Tick(); });
}

TGeneratorForm::~TGeneratorForm() = default;

void TGeneratorForm::StartRun() {
    running_ = true;
    Timer1.start();
}

void TGeneratorForm::CloseForm() {
    running_ = false;
    SetModalResult(mrCancel);
}

void TGeneratorForm::Tick() {
    try {
        Timer1Timer();
    } catch (...) {
        // One message for the failure; then the form goes, and with it the exclusive hold on its table.
        rtl::HandleCurrentException();
        RunFailed();
        CloseForm();
    }
}

void TGeneratorForm::reject() {
    if (running_) return;
    TForm::reject();
}

void TGeneratorForm::CloseRequested() {
    if (running_) return;
    TForm::CloseRequested();
}

void SetGaugeProgress(QProgressBar& gauge, int value) {
    gauge.setValue(std::clamp(value, gauge.minimum(), std::max(gauge.minimum(), gauge.maximum())));
}

void PostPending(db::TDataSource& source) {
    const db::TDataSetState state = source.State();
    if ((state == db::dsEdit || state == db::dsInsert) && source.DataSet() != nullptr) source.DataSet()->Post();
}

rtl::TDateTime Today(const controls::TimeSource& time) {
    return rtl::TimeStampToDateTime({0, rtl::DateTimeToTimeStamp(time.Now()).Date});
}

}  // namespace app
