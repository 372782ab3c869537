// RealTestRuns: real-mode tests taken through the program's own windows, so that a scenario's results are
// the program's stored results and not records written behind its back.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace e2e {

class RunningProgram;

// What the testee keys on the screen, with the focus on its first entry field; it may note what it read.
using TKeying = std::function<void(QWidget& screen)>;

struct RealTest {
    QString command;  // the Tests menu's path, "Tests/Numeric/Real"
    QString screen;   // the screen's class, as ModalAnswers names it
    QString first;
    QString last;
    TKeying keying;
};

// Takes the test from its menu command: the name dialog, the keying, then the fake clock moved on by
// `limitSeconds` so that the screen's next tick ends the test; "Test is complete..." answered and the report
// closed. Returns the report's lines; a window that does not come fails the test.
QStringList TakeRealTest(RunningProgram& program, const RealTest& test, int limitSeconds);

// `text` with every character from `from` to its end keyed wrong (Driving's WithMistake at each).
QString AllWrongFrom(const QString& text, int from);

}  // namespace e2e
