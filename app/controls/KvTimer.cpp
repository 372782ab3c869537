#include "app/controls/KvTimer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <climits>
#include <utility>

#include "app/controls/ControlTexts.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Exceptions.h"

namespace controls {

namespace {

std::atomic<bool> gTerminating{false};

// Hooks the terminating flag to the running application once; called on the GUI thread by each timer.
void WatchApplicationQuit() {
    static QPointer<QCoreApplication> watched;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || watched == app) return;
    watched = app;
    gTerminating = false;
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { gTerminating = true; });
}

// QThread::Priority lists the same seven priorities in the same order.
QThread::Priority QtPriority(TThreadPriority priority) {
    return static_cast<QThread::Priority>(priority);
}

// QTimer takes an int of milliseconds; longer intervals are cut to the longest it can time, as the
// platform's window timers cut them.
int QtInterval(std::uint32_t interval) {
    return interval > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(interval);
}

}  // namespace

bool ApplicationTerminating() noexcept {
    return gTerminating.load();
}

// ---- TTimerThread ----

TTimerThread::TTimerThread(TKvTimer& owner) : owner_(owner) {}

TTimerThread::~TTimerThread() {
    Terminate();
}

void TTimerThread::Configure(bool run, std::uint32_t interval, TThreadPriority priority) {
    {
        std::lock_guard lock(owner_.mutex_);
        suspended_ = !run;
        interval_ = interval;
        ++changes_;
    }
    wake_.notify_all();
    if (!run) return;
    // A worker ends when its application quits; under the application made after it, it starts anew.
    WatchApplicationQuit();
    if (!started_ || (isFinished() && !ApplicationTerminating())) {
        started_ = true;
        start(QtPriority(priority));
    } else if (isRunning()) {
        setPriority(QtPriority(priority));
    }
}

void TTimerThread::Terminate() {
    {
        std::lock_guard lock(owner_.mutex_);
        stop_ = true;
        ++changes_;
    }
    wake_.notify_all();
    wait();
}

bool TTimerThread::Suspended() const {
    std::lock_guard lock(owner_.mutex_);
    return suspended_;
}

bool TTimerThread::StopRequested() const {
    return stop_ || ApplicationTerminating() || owner_.destroying_;
}

void TTimerThread::run() {
    std::unique_lock lock(owner_.mutex_);
    while (!StopRequested()) {
        const std::uint64_t seen = changes_;
        const auto changed = [&] { return changes_ != seen; };
        if (suspended_) {
            wake_.wait(lock, changed);
            continue;
        }
        // A change of state ends the sleep early and starts it again on its new terms, without a tick.
        if (wake_.wait_for(lock, std::chrono::milliseconds(interval_), changed)) continue;
        if (StopRequested() || !owner_.enabled_) continue;
        const bool sync = owner_.syncEvent_;
        // The tick is handed over without the lock, so the GUI thread's setters never wait for it.
        lock.unlock();
        if (sync) {
            owner_.PostTick();
        } else {
            try {
                owner_.Timer();
            } catch (...) {
                HandleException(std::current_exception());
            }
        }
        lock.lock();
    }
}

void TTimerThread::HandleException(std::exception_ptr error) {
    // The application's handler shows a message box, so it runs on the GUI thread; the application
    // outlives every timer.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        rtl::HandleException(error);
        return;
    }
    QMetaObject::invokeMethod(
        app, [error] { rtl::HandleException(error); }, Qt::QueuedConnection);
}

// ---- TKvTimer ----

TKvTimer::TKvTimer(QObject* parent) : QObject(parent), thread_(std::make_unique<TTimerThread>(*this)) {
    WatchApplicationQuit();
}

TKvTimer::~TKvTimer() {
    TNotifyEvent handler;
    {
        std::lock_guard lock(mutex_);
        destroying_ = true;
        enabled_ = false;
        handler = std::exchange(onTimer_, nullptr);
    }
    handler = nullptr;  // the handler's captures go outside the lock
    thread_->Terminate();
    qtTimer_.reset();
    thread_.reset();
}

void TKvTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    {
        std::lock_guard lock(mutex_);
        enabled_ = enabled;
    }
    UpdateTimer();
}

void TKvTimer::SetInterval(std::uint32_t interval) {
    if (interval == interval_) return;
    interval_ = interval;
    UpdateTimer();
}

void TKvTimer::SetSyncEvent(bool syncEvent) {
    std::lock_guard lock(mutex_);
    syncEvent_ = syncEvent;
}

void TKvTimer::SetThreaded(bool threaded) {
    if (threaded == threaded_) return;
    threaded_ = threaded;
    UpdateTimer();
}

void TKvTimer::SetThreadPriority(TThreadPriority priority) {
    if (priority == priority_) return;
    priority_ = priority;
    if (threaded_) UpdateTimer();
}

void TKvTimer::SetOnTimer(TNotifyEvent onTimer) {
    const bool wasAssigned = static_cast<bool>(onTimer_);
    {
        std::lock_guard lock(mutex_);
        std::swap(onTimer_, onTimer);
    }
    // The old handler, now in `onTimer`, is destroyed outside the lock.
    if (wasAssigned != static_cast<bool>(onTimer_)) UpdateTimer();
}

bool TKvTimer::WorkerRunning() const {
    return !thread_->Suspended();
}

bool TKvTimer::TimerActive() const {
    // A QTimer that could not start reports itself active but has no timer id (Qt 6.4).
    return qtTimer_ != nullptr && qtTimer_->isActive() && qtTimer_->timerId() > 0;
}

void TKvTimer::Timer() {
    TNotifyEvent handler;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_ || destroying_ || !onTimer_) return;
        handler = onTimer_;
    }
    // A copy, so that a handler that destroys this timer does not destroy itself while it runs.
    handler();
}

void TKvTimer::UpdateTimer() {
    const bool ticking = enabled_ && interval_ != 0 && onTimer_;
    if (threaded_) {
        qtTimer_.reset();
        thread_->Configure(ticking, interval_, priority_);
        return;
    }
    thread_->Configure(false, interval_, priority_);
    if (qtTimer_ == nullptr) {
        qtTimer_ = std::make_unique<QTimer>();
        connect(qtTimer_.get(), &QTimer::timeout, this, &TKvTimer::DeliverTick);
    } else {
        qtTimer_->stop();
    }
    if (!ticking) return;
    qtTimer_->start(QtInterval(interval_));
    if (!TimerActive()) throw rtl::EOutOfResources(ResStr(kNotEnoughTimers));
}

void TKvTimer::PostTick() {
    if (tickPending_.exchange(true)) return;
    // Queued to this object: Qt drops the call if the timer is destroyed before it runs.
    QMetaObject::invokeMethod(
        this, [this] { DeliverTick(); }, Qt::QueuedConnection);
}

void TKvTimer::DeliverTick() {
    tickPending_ = false;
    try {
        Timer();
    } catch (...) {
        rtl::HandleCurrentException();
    }
}

}  // namespace controls
