// SecondCopy: a second copy of the program in a process of its own on a scenario's program directory, run
// step by step (keyvale-e2e-copy); killed and reaped with the test, so that nothing stays open or held.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <QString>

#include "tests/support/ChildProcess.h"

namespace e2e {

// The copy runs in the test's working directory with the test's environment; its diagnostics go to the
// test's standard error. Each step's answer is "ok", "error <text>" or the texts of the message boxes the
// step met, joined by " | " (tests/app/e2e/copy/CopyMain.cpp lists the steps).
class SecondCopy {
public:
    // How long an answer may take: a step opens windows and tables in a sanitized build on a loaded machine.
    static constexpr std::chrono::milliseconds kAnswerTimeout{90000};
    // The copy ends itself after this, should the test die without ending it.
    static constexpr int kLifetimeMs = 240000;

    // Starts the copy on `programDir` and waits for its answer to the start-up (Greeting).
    explicit SecondCopy(const QString& programDir);
    ~SecondCopy();
    SecondCopy(const SecondCopy&) = delete;
    SecondCopy& operator=(const SecondCopy&) = delete;

    // The start-up's answer: "ok" when the main window came up without a message box.
    const std::string& Greeting() const { return greeting_; }

    // Sends one step and answers its answer; empty (and a test failure) when none came in time or the copy
    // has ended.
    std::string Step(std::string_view step);

    // `quit`, its "ok" once the copy has shut down, then its end; answers its exit status (-1: killed by a
    // signal, or no orderly end).
    int Quit();

private:
    void Start(const QString& programDir);
    std::string ReadLine();

    testsupport::ChildProcess process_;
    std::string greeting_;
};

}  // namespace e2e
