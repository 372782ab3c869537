#include "app/generators/rewritean.h"

#include <QCoreApplication>
#include <QPalette>

#include <string>

#include "app/controls/TimeSource.h"
#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/RandomSource.h"
#include "app/core/TestDataGenerators.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "db/Field.h"
#include "db/widgets/QtText.h"
#include "rtl/FormatSettings.h"
#include "ui_rewritean.h"

namespace app {

namespace {

// The generators' table components wait for a record lock 15 times 100 ms, as the program's others do.
constexpr std::uint8_t kInvLockRetryCount = 15;
constexpr std::uint16_t kInvLockWaitTime = 100;
// Every 101st record is posted explicitly; moving to the next record posts the others.
constexpr int kRecordsBetweenPosts = 100;

}  // namespace

Trewritean::Trewritean(const AppState& state, MessageService& messages, RandomSource& random,
                       const controls::TimeSource& time, QWidget* parent)
    : TGeneratorForm(parent),
      ui_(std::make_unique<Ui::Trewritean>()),
      state_(state),
      messages_(messages),
      random_(random),
      time_(time) {
    ui_->setupUi(this);
    ui_->Label1->setText(db::widgets::ToQString(kGeneratingAlpha));
    // A black bar.
    QPalette palette = ui_->Gauge1->palette();
    palette.setColor(QPalette::Highlight, Qt::black);
    ui_->Gauge1->setPalette(palette);
    inv.SetLockRetryCount(kInvLockRetryCount);
    inv.SetLockWaitTime(kInvLockWaitTime);
    DataSource1.SetDataSet(&inv);
}

Trewritean::~Trewritean() = default;

void Trewritean::FormShow() {
    cancelled = false;
    rtl::CurrentFormatSettings().ShortDateFormat = std::string(kShortDateFormat);
    StartRun();
}

void Trewritean::Timer1Timer() {
    Timer1.stop();
    random_.Randomize();
    rewritetest();
}

void Trewritean::rewritetest() {
    QProgressBar& gauge = *ui_->Gauge1;
    SetGaugeProgress(gauge, 0);
    try {
        inv.SetExclusive(true);
        inv.SetTableName(state_.progdir + std::string(kInvsortTable));
        inv.Open();
    } catch (...) {
        messages_.ShowError(MissingTableMessage(inv).value_or(std::string(kRewriteCancelled)));
        cancelled = true;
        CloseForm();
        return;
    }
    random_.Randomize();
    gauge.setMaximum(inv.RecordCount());
    inv.First();
    const rtl::TDateTime today = Today(time_);
    db::TField& recordid = inv.FieldByName(kRecordidField);
    int count = 0;
    while (!inv.Eof()) {
        SetGaugeProgress(gauge, recordid.AsInteger());
        QCoreApplication::processEvents();
        inv.Edit();
        const InvsortValues values = NewInvsortValues(random_, today);
        inv.FieldByName(kIdxkeyField).SetAsString(values.idxkey);
        inv.FieldByName(kDateField).SetAsString(values.date);
        inv.FieldByName(kInvoiceField).SetAsInteger(values.invoice);
        inv.FieldByName(kAmountField).SetAsString(values.amount);
        if (++count > kRecordsBetweenPosts) {
            PostPending(DataSource1);
            count = 0;
        }
        inv.Next();
    }
    PostPending(DataSource1);
    CloseForm();
}

void Trewritean::RunFailed() {
    cancelled = true;
}

void Trewritean::FormClose() {
    Timer1.stop();
    inv.Close();
    if (!cancelled) messages_.ShowInformation(kNewTestCreated);
}

}  // namespace app
