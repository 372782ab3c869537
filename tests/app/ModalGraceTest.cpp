#include "tests/support/ModalGrace.h"

#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace testsupport {
namespace {

// The watchdog's default grace, as tests/QtTestMain.cpp sets it.
constexpr int kDefaultGraceMs = 2000;

// A dialog open a little longer than the default grace passes while a longer one is in force, and the
// default comes back with the scope's end.
TEST(ModalGraceTest, AScopedGraceLetsAModalWindowStayOpenLongerAndEndsWithItsScope) {
    {
        const ScopedModalGrace grace(kDefaultGraceMs * 3);
        QDialog dialog;
        QTimer::singleShot(kDefaultGraceMs + 500, &dialog, [&dialog] { dialog.accept(); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
    EXPECT_EQ(ExchangeModalGraceMs(kDefaultGraceMs), kDefaultGraceMs);
}

}  // namespace
}  // namespace testsupport
