#include "tests/app/e2e/SecondCopy.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace e2e {

SecondCopy::SecondCopy(const QString& programDir) {
    Start(programDir);
}

// Killed and reaped by its ChildProcess.
SecondCopy::~SecondCopy() = default;

void SecondCopy::Start(const QString& programDir) {
    const int error = process_.Start(KEYVALE_E2E_COPY,
                                     {programDir.toLocal8Bit().toStdString(), "--for", std::to_string(kLifetimeMs)});
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << KEYVALE_E2E_COPY << ", error " << error;
        return;
    }
    greeting_ = ReadLine();
}

std::string SecondCopy::Step(std::string_view step) {
    if (!process_.Running()) {
        ADD_FAILURE() << "the second copy is not running for the step \"" << step << '"';
        return {};
    }
    if (!process_.SendLine(step)) {
        ADD_FAILURE() << "the second copy does not take the step \"" << step << "\", errno " << errno;
        return {};
    }
    std::string answer = ReadLine();
    if (answer.empty()) ADD_FAILURE() << "no answer from the second copy to \"" << step << '"';
    return answer;
}

int SecondCopy::Quit() {
    const std::string answer = Step("quit");
    EXPECT_EQ(answer, "ok") << "the second copy's quit";
    // Nothing more comes: its output ends as it exits.
    if (answer == "ok") {
        EXPECT_EQ(ReadLine(), "");
    }
    if (!process_.Running()) return -1;
    if (!process_.OutputEnded()) process_.Kill();  // no orderly end: not worth waiting for its deadline
    const int status = process_.Wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SecondCopy::ReadLine() {
    std::string line;
    const testsupport::LineReader::Status status = process_.ReadLine(kAnswerTimeout, line);
    if (status == testsupport::LineReader::Status::TimeUp) {
        ADD_FAILURE() << "the second copy did not answer within " << kAnswerTimeout.count() << " ms";
    }
    return status == testsupport::LineReader::Status::Line ? line : std::string();
}

}  // namespace e2e
