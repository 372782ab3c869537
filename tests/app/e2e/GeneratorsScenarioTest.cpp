// The test-data generators from the File, New menu: new alpha and alphanumeric data keeps every name and
// gives the tests another order; new numeric data follows the width the settings give.
#include <QComboBox>
#include <QRegularExpression>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/forms/zmain.h"
#include "components/TARNISTable.h"
#include "db/Field.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/app/e2e/support/TableReads.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ModalScript.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// A generator's run walks every record of its table with the message loop running: far longer than a
// dialog stays open, and under the sanitizers longer still.
constexpr int kGeneratorRunMs = 120000;

struct InvsortRecord {
    std::string idxkey, date, amount, first, last, street, city;
    std::int32_t invoice = 0;
};

// invsort.dat's records in their natural order, read as another copy of the program would.
std::vector<InvsortRecord> ReadInvsort(const std::string& progdir) {
    std::vector<InvsortRecord> records;
    WithSessions([&] {
        components::TTARNISTable table;
        table.SetTableName(progdir + "invsort.dat");
        table.SetLockRetryCount(0);
        table.Open();
        for (table.First(); !table.Eof(); table.Next()) {
            InvsortRecord r;
            r.idxkey = table.FieldByName("idxkey").AsString();
            r.date = table.FieldByName("date").AsString();
            r.invoice = table.FieldByName("invoice").AsInteger();
            r.amount = table.FieldByName("amount").AsString();
            r.first = table.FieldByName("FIRST").AsString();
            r.last = table.FieldByName("LAST").AsString();
            r.street = table.FieldByName("STREET").AsString();
            r.city = table.FieldByName("CITY").AsString();
            records.push_back(std::move(r));
        }
        table.Close();
    });
    return records;
}

int NumericRecordCount(const std::string& progdir) {
    int count = -1;
    WithSessions([&] {
        components::TTARNISTable table;
        table.SetTableName(progdir + "numeric.dat");
        table.SetLockRetryCount(0);
        table.Open();
        count = table.RecordCount();
        table.Close();
    });
    return count;
}

class GeneratorsScenarioTest : public ScenarioTest {
protected:
    // The source texts a test screen opens on (after the name dialog when `name`), then its Cancel, which
    // with no password set ends the test at once and stores nothing.
    QStringList FirstScreen(const QString& command, const QString& screen, bool name) {
        QStringList texts;
        ModalScript script;
        if (name) script.Expect(kNameDialog, EnterName(QStringLiteral("Di"), QStringLiteral("Dunn")));
        script.Expect(screen, [&texts](QWidget& window) {
            texts = SourceTexts(window);
            PressButton(QStringLiteral("BitBtn1"))(window);
        });
        Trigger(Program().Main(), command);
        EXPECT_TRUE(script.WaitDone()) << command.toStdString();
        return texts;
    }

    // Runs the generator of the File, New command to its end; returns the message it closed with.
    SeenBox Generate(const QString& command, const QString& form) {
        SeenBox box;
        testsupport::ScopedModalGrace grace(kGeneratorRunMs);
        ModalScript script(kGeneratorRunMs);
        script.Expect(form, [](QWidget&) {}).Expect(kMessageBox, AnswerBox(&box));
        Trigger(Program().Main(), command);
        EXPECT_TRUE(script.WaitDone()) << command.toStdString();
        return box;
    }
};

// Every record keeps its names, street and city and gets a new invoice; the alpha test, which reads the
// records in the order of their new keys, opens on another one.
TEST_F(GeneratorsScenarioTest, NewAlphaDataKeepsTheNamesAndTheAlphaTestOpensOnAnotherRecord) {
    const std::vector<InvsortRecord> before = ReadInvsort(Dir().Progdir());
    const QStringList firstBefore = FirstScreen(QStringLiteral("Tests/Alpha/Real"), kAlphaScreen, true);
    ASSERT_EQ(firstBefore.size(), 3);

    const SeenBox box = Generate(QStringLiteral("File/New/Alphanumeric and alpha"), QStringLiteral("app::Trewritean"));
    EXPECT_EQ(box.text.toStdString(), "New test has been created.");

    const std::vector<InvsortRecord> after = ReadInvsort(Dir().Progdir());
    ASSERT_EQ(after.size(), before.size());
    int sameInvoice = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(after[i].first, before[i].first);
        EXPECT_EQ(after[i].last, before[i].last);
        EXPECT_EQ(after[i].street, before[i].street);
        EXPECT_EQ(after[i].city, before[i].city);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[1-9][0-9]{3}\\.[0-9]{2}$"))
                        .match(QString::fromStdString(after[i].amount))
                        .hasMatch())
            << after[i].amount;
        if (after[i].invoice == before[i].invoice) ++sameInvoice;
    }
    EXPECT_EQ(sameInvoice, 0);

    const QStringList firstAfter = FirstScreen(QStringLiteral("Tests/Alpha/Real"), kAlphaScreen, true);
    ASSERT_EQ(firstAfter.size(), 3);
    EXPECT_NE(firstAfter.join('|').toStdString(), firstBefore.join('|').toStdString());
}

// `width` 6 chosen in the settings and saved; the numeric screen still shows the old data's five digits
// until File, New, numeric makes 200 new records, and then shows six-digit values.
TEST_F(GeneratorsScenarioTest, WidthSixThenNewNumericDataGivesSixDigitValues) {
    ASSERT_EQ(StoredConfig().width, 5);
    ModalScript settings;
    settings.Expect(kSettingsDialog, [](QWidget& dialog) {
        auto* width = dialog.findChild<QComboBox*>(QStringLiteral("DBComboBox1"));
        ASSERT_NE(width, nullptr);
        // As a user picks it: the list focused, Down until it shows 6.
        width->setFocus(Qt::TabFocusReason);
        for (int guard = 0; width->currentText() != QStringLiteral("6") && guard < width->count(); ++guard) {
            Press(Qt::Key_Down);
        }
        PressButton(QStringLiteral("Button1"))(dialog);
    });
    Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
    ASSERT_TRUE(settings.WaitDone());
    EXPECT_EQ(StoredConfig().width, 6);
    EXPECT_EQ(Program().State().width, 6);

    const QRegularExpression fiveDigits(QStringLiteral("^[1-9][0-9]{4}$"));
    for (const QString& value : FirstScreen(QStringLiteral("Tests/Numeric/Practice"), kNumericScreen, false)) {
        EXPECT_TRUE(fiveDigits.match(value).hasMatch()) << value.toStdString();
    }

    const SeenBox box = Generate(QStringLiteral("File/New/numeric"), QStringLiteral("app::Tnewnumerictestform"));
    EXPECT_EQ(box.text.toStdString(), "New numeric test created successfully.");
    EXPECT_EQ(NumericRecordCount(Dir().Progdir()), 200);

    const QStringList values = FirstScreen(QStringLiteral("Tests/Numeric/Practice"), kNumericScreen, false);
    ASSERT_EQ(values.size(), 25);
    const QRegularExpression sixDigits(QStringLiteral("^[1-9][0-9]{5}$"));
    for (const QString& value : values) EXPECT_TRUE(sixDigits.match(value).hasMatch()) << value.toStdString();
}

}  // namespace
}  // namespace e2e
