// The program's application object for the tests of the program, in place of the plain QApplication of
// tests/QtTestMain.cpp.
#include <QApplication>

#include <memory>

#include "app/services/Application.h"

std::unique_ptr<QApplication> CreateTestApplication(int& argc, char** argv) {
    return std::make_unique<app::TApplication>(argc, argv);
}
