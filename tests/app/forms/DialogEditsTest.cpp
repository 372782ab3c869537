#include "app/forms/DialogEdits.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace app {
namespace {

// Types the text key by key, as a keyboard with those characters would.
void Type(QWidget& target, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&target, &press);
    }
}

class DialogEditsTest : public testing::Test {
protected:
    void Show(QLineEdit& edit) {
        edit.show();
        edit.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    }
    QLineEdit edit;
};

TEST_F(DialogEditsTest, APasswordShowsStarsAndHoldsItsLettersInUpperCase) {
    SetupPasswordEdit(edit);
    Show(edit);
    QTest::keyClicks(&edit, "abc");
    EXPECT_EQ(edit.text(), "ABC");
    EXPECT_EQ(edit.displayText(), "***");
    EXPECT_EQ(edit.echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit.styleSheet(), "lineedit-password-character: 42");
    // The code page's own mapping, accented letters included.
    Type(edit, QString::fromUtf8("\u00e9"));
    EXPECT_EQ(edit.text(), QString::fromUtf8("ABC\u00c9"));
    EXPECT_EQ(edit.cursorPosition(), 4);
}

TEST_F(DialogEditsTest, APastedPasswordIsUpperCasedToo) {
    SetupPasswordEdit(edit);
    Show(edit);
    QApplication::clipboard()->setText(QStringLiteral("xyz"));
    edit.paste();
    EXPECT_EQ(edit.text(), "XYZ");
}

TEST_F(DialogEditsTest, APasswordTakesTenCharactersAndNoEleventh) {
    SetupPasswordEdit(edit);
    Show(edit);
    QTest::keyClicks(&edit, "abcdefghijk");
    EXPECT_EQ(edit.text(), "ABCDEFGHIJ");
    EXPECT_EQ(kPasswordMaxLength, 10);
}

TEST_F(DialogEditsTest, EveryEditRefusesACharacterTheCodePageLacks) {
    QLineEdit password;
    SetupPasswordEdit(password);
    SetupNameEdit(edit);
    for (QLineEdit* target : {&password, &edit}) {
        Show(*target);
        Type(*target, QString::fromUtf8("a\u65e5b"));
        EXPECT_EQ(target->text().toUpper(), "AB");
        QApplication::clipboard()->setText(QString::fromUtf8("c\u0416"));
        target->paste();
        EXPECT_EQ(target->text().toUpper(), "AB");
        target->hide();
    }
}

TEST_F(DialogEditsTest, ANameKeepsItsCaseAndHasNoLimit) {
    SetupNameEdit(edit);
    Show(edit);
    const QString name = QStringLiteral("McDonald-Featherstonehaugh of Llanfair");
    QTest::keyClicks(&edit, name);
    EXPECT_EQ(edit.text(), name);
    EXPECT_EQ(edit.echoMode(), QLineEdit::Normal);
}

}  // namespace
}  // namespace app
