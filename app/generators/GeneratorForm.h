// TGeneratorForm: the frame of the two test-data generators: one run per showing from a one-shot timer,
// close requests ignored while it runs, and a failed run that closes the form instead of holding its table.
#pragma once

#include <QTimer>

#include "app/forms/Form.h"
#include "rtl/DateTime.h"

class QProgressBar;

namespace db {
class TDataSource;
}

namespace controls {
class TimeSource;
}

namespace app {

// The run starts this long after the showing, so that the form is painted before the work begins.
inline constexpr int kGeneratorStartDelayMs = 100;

// Borderless, centred, fixed in size, with the generators' help context. A form shows, its show handler
// calls StartRun, and Timer1's tick does the work and closes the form itself. A failure that escapes the
// tick goes to the application's handler once; then RunFailed and the form closes, so that the table it
// held exclusively is released at once (the form has no Cancel and no close box of its own).
class TGeneratorForm : public TForm {
    Q_OBJECT

public:
    ~TGeneratorForm() override;

    // While a run is in progress Esc does nothing.
    void reject() override;

    bool Running() const noexcept { return running_; }

    QTimer Timer1;

protected:
    explicit TGeneratorForm(QWidget* parent);

    // Marks the run in progress and starts Timer1 (from the show handler).
    void StartRun();
    // Ends the run and closes the form (the form's own close).
    void CloseForm();
    // Timer1's tick: the run itself. It stops Timer1 first.
    virtual void Timer1Timer() = 0;
    // After a failed tick has been reported, before the form closes.
    virtual void RunFailed() {}

    // The close box and Esc do nothing while a run is in progress.
    void CloseRequested() override;

private:
    void Tick();

    bool running_ = false;
};

// Sets a gauge's progress, clamped into its range: a bar ignores a value outside it.
void SetGaugeProgress(QProgressBar& gauge, int value);

// Posts the data source's record when the source is in edit or insert state.
void PostPending(db::TDataSource& source);

// Today, by the time source's clock: the date part of Now.
rtl::TDateTime Today(const controls::TimeSource& time);

}  // namespace app
