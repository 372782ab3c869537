#include "app/controls/KvTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/controls/ControlTexts.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Exceptions.h"

namespace controls {
namespace {

using namespace std::chrono_literals;

// Long enough that no tick comes while a test looks at the state.
constexpr std::uint32_t kNoTickInterval = 60 * 60 * 1000;
// How long a test waits for ticks that should come within a few intervals.
constexpr int kTickWaitMs = 5000;

bool OnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Ends the run when a test hangs past its limit: a hang reports nothing by itself.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : name_(testing::UnitTest::GetInstance()->current_test_info()->name()), thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "watchdog: %s still runs after %lld s\n", name_.c_str(),
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::string name_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// The application's handler while it lives: records what reaches it and on which thread.
class HandlerSpy {
public:
    HandlerSpy() {
        previous_ = rtl::SetExceptionHandler([this](std::exception_ptr error) {
            std::lock_guard lock(mutex_);
            messages_.push_back(rtl::ExceptionMessage(error));
            if (!OnGuiThread()) ++offGuiThread_;
        });
    }
    ~HandlerSpy() { rtl::SetExceptionHandler(std::move(previous_)); }

    std::vector<std::string> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    int OffGuiThread() const {
        std::lock_guard lock(mutex_);
        return offGuiThread_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    int offGuiThread_ = 0;
    rtl::ExceptionHandler previous_;
};

// ---- UpdateTimer ----

TEST(KvTimer, StartsWithItsDefaultsAndNoWorkerUntilItHasAHandler) {
    TKvTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_TRUE(timer.SyncEvent());
    EXPECT_TRUE(timer.Threaded());
    EXPECT_EQ(timer.ThreadPriority(), tpNormal);
    EXPECT_FALSE(timer.OnTimer());
    EXPECT_FALSE(timer.WorkerRunning());
    EXPECT_FALSE(timer.TimerActive());
}

TEST(KvTimer, UpdateTimerRunsTheWorkerOrTheQTimerOnlyWhenAllIsSet) {
    struct Case {
        bool threaded, enabled;
        std::uint32_t interval;
        bool handler;
        bool workerRuns, timerActive;
    };
    const Case cases[] = {
        {true, true, kNoTickInterval, true, true, false},
        {true, false, kNoTickInterval, true, false, false},
        {true, true, 0, true, false, false},
        {true, true, kNoTickInterval, false, false, false},
        {false, true, kNoTickInterval, true, false, true},
        {false, false, kNoTickInterval, true, false, false},
        {false, true, 0, true, false, false},
        {false, true, kNoTickInterval, false, false, false},
        {false, false, 0, false, false, false},
        {true, false, 0, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "threaded " << c.threaded << ", enabled " << c.enabled
                                        << ", interval " << c.interval << ", handler " << c.handler);
        TKvTimer timer;
        timer.SetThreaded(c.threaded);
        timer.SetEnabled(c.enabled);
        timer.SetInterval(c.interval);
        if (c.handler) timer.SetOnTimer([] {});
        EXPECT_EQ(timer.WorkerRunning(), c.workerRuns);
        EXPECT_EQ(timer.TimerActive(), c.timerActive);

        // The same state reached in the other order ends the same way.
        TKvTimer reordered;
        if (c.handler) reordered.SetOnTimer([] {});
        reordered.SetInterval(c.interval);
        reordered.SetEnabled(c.enabled);
        reordered.SetThreaded(c.threaded);
        EXPECT_EQ(reordered.WorkerRunning(), c.workerRuns);
        EXPECT_EQ(reordered.TimerActive(), c.timerActive);
    }
}

TEST(KvTimer, SwitchingModesHandsTheTicksOver) {
    TKvTimer timer;
    timer.SetInterval(kNoTickInterval);
    timer.SetOnTimer([] {});
    ASSERT_TRUE(timer.WorkerRunning());
    timer.SetThreaded(false);
    EXPECT_FALSE(timer.WorkerRunning());
    EXPECT_TRUE(timer.TimerActive());
    timer.SetThreaded(true);
    EXPECT_TRUE(timer.WorkerRunning());
    EXPECT_FALSE(timer.TimerActive());
    timer.SetOnTimer(nullptr);
    EXPECT_FALSE(timer.WorkerRunning());
}

// ---- Where ticks run ----

TEST(KvTimer, WithSyncEventTicksRunOnTheGuiThread) {
    TKvTimer timer;
    int ticks = 0, offGui = 0;
    timer.SetInterval(5);
    timer.SetOnTimer([&] {
        ++ticks;
        if (!OnGuiThread()) ++offGui;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, kTickWaitMs));
    EXPECT_EQ(offGui, 0);
}

TEST(KvTimer, WithoutSyncEventTicksRunOnTheWorker) {
    std::atomic<int> ticks{0}, onGui{0};
    {
        TKvTimer timer;
        timer.SetSyncEvent(false);
        timer.SetInterval(5);
        timer.SetOnTimer([&] {
            if (OnGuiThread()) ++onGui;
            ++ticks;
        });
        // No event loop runs: the ticks come all the same.
        for (int waited = 0; ticks < 3 && waited < kTickWaitMs; waited += 5) std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(ticks.load(), 3);
    EXPECT_EQ(onGui.load(), 0);
}

TEST(KvTimer, UnthreadedTicksComeFromAGuiThreadTimer) {
    TKvTimer timer;
    int ticks = 0, offGui = 0;
    timer.SetThreaded(false);
    timer.SetInterval(5);
    timer.SetOnTimer([&] {
        ++ticks;
        if (!OnGuiThread()) ++offGui;
    });
    EXPECT_FALSE(timer.WorkerRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, kTickWaitMs));
    EXPECT_EQ(offGui, 0);
}

// ---- The hand-over ----

TEST(KvTimer, AGuiThreadHeldUpForTenIntervalsGetsOneTick) {
    constexpr std::uint32_t kInterval = 10;
    TKvTimer timer;
    int ticks = 0;
    timer.SetInterval(kInterval);
    timer.SetOnTimer([&] { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, kTickWaitMs));  // the worker is under way
    const int before = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * kInterval));
    // The worker sleeps an hour from here on: what is queued now is all that comes.
    timer.SetInterval(kNoTickInterval);
    QTest::qWait(50);
    EXPECT_EQ(ticks - before, 1);
}

TEST(KvTimer, ATickQueuedBeforeDisablingDoesNotCallOnTimer) {
    TKvTimer timer;
    int ticks = 0;
    timer.SetInterval(5);
    timer.SetOnTimer([&] { ++ticks; });
    std::this_thread::sleep_for(50ms);  // a tick is queued meanwhile
    timer.SetEnabled(false);
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
}

TEST(KvTimer, AChangeOfStateRestartsTheSleepWithoutATick) {
    constexpr std::uint32_t kInterval = 500;
    TKvTimer timer;
    std::atomic<int> ticks{0};
    timer.SetSyncEvent(false);
    timer.SetInterval(kInterval);
    timer.SetOnTimer([&] { ++ticks; });
    // Each change comes long before the interval is up, so no sleep ever runs out.
    QElapsedTimer elapsed;
    elapsed.start();
    for (std::uint32_t i = 0; elapsed.elapsed() < 2 * kInterval; ++i) {
        timer.SetInterval(kInterval + i % 2);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(ticks.load(), 0);
}

// ---- Exceptions ----

TEST(KvTimer, AnExceptionFromOnTimerReachesTheHandlerOncePerTickOnTheGuiThread) {
    struct Mode {
        const char* name;
        bool threaded, syncEvent;
    };
    const Mode modes[] = {{"queued", true, true}, {"worker", true, false}, {"QTimer", false, true}};
    for (const Mode& mode : modes) {
        for (const bool abort : {false, true}) {
            SCOPED_TRACE(testing::Message() << mode.name << (abort ? ", EAbort" : ""));
            HandlerSpy spy;
            std::atomic<int> ticks{0};
            {
                TKvTimer timer;
                timer.SetThreaded(mode.threaded);
                timer.SetSyncEvent(mode.syncEvent);
                timer.SetInterval(5);
                timer.SetOnTimer([&] {
                    ++ticks;
                    if (abort) throw rtl::EAbort();
                    throw rtl::Exception("tick failed");
                });
                // Ticking goes on after a failure.
                EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, kTickWaitMs));
            }
            // The worker's reports are queued to the GUI thread and outlive their timer.
            QTest::qWait(20);
            const std::vector<std::string> messages = spy.Messages();
            if (abort) {
                EXPECT_TRUE(messages.empty());
            } else {
                EXPECT_EQ(static_cast<int>(messages.size()), ticks.load());
                for (const std::string& message : messages) EXPECT_EQ(message, "tick failed");
            }
            EXPECT_EQ(spy.OffGuiThread(), 0);
        }
    }
}

TEST(KvTimer, AGuiThreadTimerThatCannotStartRaisesOutOfResources) {
    // A plain thread has no event loop, so no QTimer can run on it.
    std::string message;
    bool raised = false;
    std::thread thread([&] {
        TKvTimer timer;
        timer.SetInterval(5);
        timer.SetOnTimer([] {});
        try {
            timer.SetThreaded(false);
        } catch (const rtl::EOutOfResources& e) {
            raised = true;
            message = e.Message();
        }
        EXPECT_FALSE(timer.Threaded());  // the new value stays
    });
    thread.join();
    EXPECT_TRUE(raised);
    EXPECT_EQ(message, kNotEnoughTimers);
}

// ---- Lifecycle ----

TEST(KvTimer, TwoHundredTimersInEachStateAreDestroyedWithoutATickAfterwards) {
    const Watchdog watchdog(60s);
    struct State {
        const char* name;
        bool threaded, syncEvent, enabled, handler;
        std::uint32_t interval;
    };
    const State states[] = {
        {"suspended", true, true, true, false, 5}, {"running", true, true, true, true, 5},
        {"worker", true, false, true, true, 5},    {"disabled", true, true, false, true, 5},
        {"interval 0", true, true, true, true, 0}, {"not threaded", false, true, true, true, 5},
    };
    constexpr int kTimers = 200;
    for (const State& state : states) {
        SCOPED_TRACE(state.name);
        std::atomic<int> afterDestruction{0};
        std::vector<std::unique_ptr<TKvTimer>> timers;
        std::vector<std::shared_ptr<std::atomic<bool>>> destroyed;
        for (int i = 0; i < kTimers; ++i) {
            auto timer = std::make_unique<TKvTimer>();
            auto gone = std::make_shared<std::atomic<bool>>(false);
            timer->SetThreaded(state.threaded);
            timer->SetSyncEvent(state.syncEvent);
            timer->SetEnabled(state.enabled);
            timer->SetInterval(state.interval);
            if (state.handler) {
                timer->SetOnTimer([gone, &afterDestruction] {
                    if (*gone) ++afterDestruction;
                });
            }
            timers.push_back(std::move(timer));
            destroyed.push_back(std::move(gone));
        }
        // Ticks queue up while the GUI thread is busy, and some run.
        std::this_thread::sleep_for(20ms);
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(20ms);
        QElapsedTimer elapsed;
        elapsed.start();
        for (int i = 0; i < kTimers; ++i) {
            timers[static_cast<std::size_t>(i)].reset();
            *destroyed[static_cast<std::size_t>(i)] = true;
        }
        EXPECT_LT(elapsed.elapsed(), 10000);
        QTest::qWait(30);
        EXPECT_EQ(afterDestruction.load(), 0);
    }
}

TEST(KvTimer, DestructionReturnsPromptlyWhateverTheInterval) {
    const Watchdog watchdog(30s);
    for (const bool syncEvent : {true, false}) {
        auto timer = std::make_unique<TKvTimer>();
        timer->SetSyncEvent(syncEvent);
        timer->SetInterval(kNoTickInterval);
        timer->SetOnTimer([] {});
        ASSERT_TRUE(timer->WorkerRunning());
        std::this_thread::sleep_for(10ms);  // the worker is asleep now
        QElapsedTimer elapsed;
        elapsed.start();
        timer.reset();
        EXPECT_LT(elapsed.elapsed(), 1000);
    }
}

TEST(KvTimer, OnTimerMayDestroyItsOwnTimer) {
    const Watchdog watchdog(30s);
    for (const bool threaded : {true, false}) {
        SCOPED_TRACE(threaded ? "threaded" : "not threaded");
        auto* timer = new TKvTimer;
        int calls = 0;
        timer->SetThreaded(threaded);
        timer->SetInterval(5);
        timer->SetOnTimer([&] {
            ++calls;
            delete timer;
            timer = nullptr;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return timer == nullptr; }, kTickWaitMs));
        QTest::qWait(20);
        EXPECT_EQ(calls, 1);
        delete timer;
    }
}

}  // namespace
}  // namespace controls
