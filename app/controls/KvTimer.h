// TKvTimer: a timer whose ticks come from a worker thread of its own, or from a GUI-thread timer.
#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QTimer;

namespace controls {

// Worker thread priorities, by their stored ordinals; each maps onto the QThread::Priority of the same
// ordinal. On Linux most of them have no effect for an ordinary process.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TNotifyEvent = std::function<void()>;

// True once the application has begun to quit (QCoreApplication::aboutToQuit); workers stop then.
bool ApplicationTerminating() noexcept;

class TKvTimer;

// The worker of a threaded TKvTimer: it sleeps for the interval, then has the tick run on the GUI thread
// (SyncEvent) or runs it itself. Suspended, it waits until resumed or stopped. It starts when first
// resumed and ends when its timer is destroyed.
class TTimerThread : public QThread {
public:
    // The interval a worker has until its timer gives it one.
    static constexpr std::uint32_t kInitialInterval = 1000;

    explicit TTimerThread(TKvTimer& owner);
    ~TTimerThread() override;

    // Suspends the worker, gives it the interval and, with `run`, resumes it at the priority. Every call
    // restarts the worker's sleep without a tick.
    void Configure(bool run, std::uint32_t interval, TThreadPriority priority);
    // Stops the worker and waits until it has ended; within one wake-up, whatever the interval.
    void Terminate();

    bool Suspended() const;

protected:
    void run() override;

private:
    // Called with the owner's mutex held.
    bool StopRequested() const;
    // Reports an exception of a tick run on this thread to the application's handler on the GUI thread.
    static void HandleException(std::exception_ptr error);

    TKvTimer& owner_;
    bool started_ = false;  // GUI thread only
    // Guarded by the owner's mutex.
    std::condition_variable wake_;
    bool stop_ = false;
    bool suspended_ = true;
    std::uint32_t interval_ = kInitialInterval;
    // Counts changes of state, so a sleep that one of them ends is told from one that ran out.
    std::uint64_t changes_ = 0;
};

// A timer that calls OnTimer every Interval milliseconds while Enabled. Threaded (the default), its own
// worker thread sleeps and, with SyncEvent, hands each tick to the GUI thread, at most one at a time;
// without SyncEvent, OnTimer runs on the worker. Not threaded, a QTimer of the GUI thread ticks.
// Exceptions from OnTimer go to the application's handler (rtl::HandleException), which drops EAbort.
//
// The setters, the destructor and Timer's overrides belong to the thread that owns the timer (the GUI
// thread). Destruction returns within one wake-up of the worker in every state; a tick still queued is
// dropped. OnTimer may destroy its timer, on the GUI thread.
class TKvTimer : public QObject {
    Q_OBJECT

public:
    // The published default: one tick a second.
    static constexpr std::uint32_t kDefaultInterval = 1000;

    explicit TKvTimer(QObject* parent = nullptr);
    ~TKvTimer() override;
    TKvTimer(const TKvTimer&) = delete;
    TKvTimer& operator=(const TKvTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // 0 stops the ticks.
    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t interval);

    bool SyncEvent() const { return syncEvent_; }
    void SetSyncEvent(bool syncEvent);

    // Raises rtl::EOutOfResources "Not enough timers available" when a GUI-thread timer cannot start (on
    // a thread without an event loop); the new value stays.
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool threaded);

    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority priority);

    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent onTimer);

    // Whether the worker is resumed (it sleeps and ticks) rather than waiting suspended.
    bool WorkerRunning() const;
    // Whether the GUI-thread timer of the unthreaded mode is running.
    bool TimerActive() const;

protected:
    // One tick: calls OnTimer when enabled, not being destroyed and assigned. Runs on the worker when
    // threaded without SyncEvent; an override must then be safe there and must not outlive the object,
    // so a class that overrides it disables the timer in its own destructor.
    virtual void Timer();

private:
    friend class TTimerThread;

    // Starts, stops or reconfigures the worker or the QTimer after a change of state.
    void UpdateTimer();
    // From the worker: queues a tick to the GUI thread unless one is pending.
    void PostTick();
    // On the GUI thread: a queued tick or a QTimer tick. Touches nothing after the handler, which may
    // destroy this timer.
    void DeliverTick();

    // Guards the worker's state and, for writes from the GUI thread and reads from the worker, the
    // fields marked "shared".
    mutable std::mutex mutex_;
    bool enabled_ = true;      // shared
    bool syncEvent_ = true;    // shared
    bool destroying_ = false;  // shared
    TNotifyEvent onTimer_;     // shared
    std::uint32_t interval_ = kDefaultInterval;
    bool threaded_ = true;
    TThreadPriority priority_ = tpNormal;
    // Set when the worker queues a tick, cleared when it runs: a GUI thread held up gets one tick after.
    std::atomic<bool> tickPending_{false};
    std::unique_ptr<QTimer> qtTimer_;
    std::unique_ptr<TTimerThread> thread_;
};

}  // namespace controls
