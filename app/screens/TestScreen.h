// TestScreen: one keying test: a source record per screen above its entry fields, the countdown from the
// first key and the end of the test; the alpha, alphanumeric and numeric screens derive from it.
#pragma once

#include <QTimer>

#include <bitset>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/KeyedText.h"
#include "app/core/ScreenRules.h"
#include "app/forms/Form.h"
#include "app/services/Services.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"
#include "rtl/DateTime.h"

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QValidator;

namespace db {
class TField;
}
namespace db::widgets {
class TDBText;
}

namespace app {

struct AppState;
struct ScoreInput;
class TshowitForm;

// Every rule that differs between the screens comes from the screen's ScreenRules row; a derived screen
// supplies only its form file and its row, and calls Init once its controls exist. The handlers and
// routines keep the names the screens have always had; one set serves every entry field.
//
// The source table is the program directory's (invsort in the order of "idxkey", or numeric in natural
// order). A next screen is refused, keeping screen and focus, at the table's last record and at the
// store's last screen. Time runs on the monotonic clock from the first key, so midnight does not stop a
// test. While scoring runs, Cancel, Esc and the close box do nothing.
class TestScreen : public TForm {
    Q_OBJECT

public:
    // The administrator password gate: true lets Cancel end the test.
    using TPasswordGate = std::function<bool()>;

    ~TestScreen() override;

    const ScreenRules& Rules() const { return rules_; }

    // ---- Controls, under their form file's names ----
    QLineEdit& Entry(int position) const;           // MaskEdit1..F or Edit1..25
    db::widgets::TDBText& Source(int position) const;  // DBText1..F
    db::widgets::TDBText* dbshowfield = nullptr;    // the numeric screen's enlarged number; else nullptr
    QToolButton* prevscreenbtn = nullptr;
    QToolButton* nextscreenbtn = nullptr;
    QLabel* timeLabel = nullptr;
    QPushButton* BitBtn1 = nullptr;     // Cancel
    QPlainTextEdit* RichEdit1 = nullptr;  // the hidden error log scoring writes
    QTimer Timer1;                      // the countdown, one tick a second once the first key came

    components::TTARNISTable testdb;  // the source records
    db::TDataSource testds;
    components::TTARNISTable resultsdb;  // results.dat, for scoring
    db::TDataSource resultsds;

    // ---- The test's state ----
    KeyedText keyedtext;
    int curscreen = 1;    // the screen on display, from 1
    int maxscreen = 1;    // the highest screen reached
    int maxrecno = 0;     // the highest record number of testdb reached
    int startrecord = 1;  // 1 in real mode, 50 in practice
    int testseconds = 0;
    bool timerstarted = false;
    double starttime = 0;  // monotonic seconds at the first key
    double elapsed = 0;    // seconds since then, as of the last tick
    rtl::TDateTime endtime = 0;  // the time of day at time-out
    int fieldlength = 0;         // length of the focused field's source text
    std::string currentfield;    // the focused field's source field
    std::string fieldprefix;     // the numeric screen's "n" or "nd"
    bool navigating = false;     // the screen refills its fields: no auto-advance
    std::string captionprefix;
    std::bitset<256> allowedkeys;  // the characters the numeric fields take

    // What time-out calls, inside the busy flag: scoretest, unless a test puts something else here.
    std::function<void()> scoretestHook;
    // Scoring runs.
    bool Busy() const { return busy_; }
    // Where scoring finds the report window (the program's, in its registry slot); none shows no report.
    std::function<TshowitForm*()> reportWindow;

    // ---- Handlers and routines ----
    void MaskEdit1Enter(QLineEdit& edit);
    void MaskEdit1Exit(QLineEdit& edit);
    // A key pressed in an entry field; true when the key is used up.
    bool MaskEdit1KeyDown(QLineEdit& edit, const QKeyEvent& event);
    // The character of a key press; true when it must not reach the field.
    bool MaskEdit1KeyPress(int key);
    void MaskEdit1Change(QLineEdit& edit);
    void Edit1KeyUp(QLineEdit& edit, const QKeyEvent& event);
    void nextscreenbtnClick();
    void prevscreenbtnClick();
    void updatekeyed();
    void loadedits();
    void clearedits();
    void enableedits();
    void disableedits();
    void Timer1Timer();
    void BitBtn1Click();
    void scoretest();
    void numlockon();

    // The character a key press means to the key filter: Ctrl with a letter gives its control character,
    // Backspace 8, Tab 9, Enter 13, Esc 27; a key without a character (Delete, arrows, function keys)
    // gives 0; one beyond the code page gives 256.
    static int KeyCharacter(const QKeyEvent& event);

protected:
    TestScreen(const ScreenRules& rules, AppState& state, const Services& services, TPasswordGate gate,
               QWidget* parent);

    // Finds the controls of the form file and wires them; a derived screen calls it after setupUi.
    void Init();

    void FormShow() override;
    void FormClose() override;
    void CloseRequested() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int PositionOf(const QObject* object) const;
    std::string FieldText(int position) const;
    void SetFieldText(int position, std::string_view text);
    void FocusField(int position);
    // What a focus that the mouse does not give leaves: the text selected, a mask's caret at its start.
    void ReadyForTyping(QLineEdit& edit);
    // After a click: a masked field's caret no further than the end of what was keyed.
    void KeepCaretInKeyedPart(QLineEdit& edit);
    // Auto-advance and Enter: the next field, or the next screen from the last.
    void Advance(int position);
    // The two maxima and the caption after a move.
    void ShowReached();
    void SetCaption();
    void StartTest();
    // Scoring: one screen's keyed texts and the source texts of testdb's current record, into the input.
    void ReadScreen(int screen, const std::vector<const db::TField*>& sources, ScoreInput& input) const;

    const ScreenRules& rules_;
    AppState& state_;
    Services services_;
    TPasswordGate gate_;
    std::vector<QLineEdit*> entries_;               // by position - 1
    std::vector<db::widgets::TDBText*> sources_;    // by position - 1
    QValidator* plainValidator_ = nullptr;   // the code page alone
    QValidator* upperValidator_ = nullptr;   // and upper case
    bool busy_ = false;
};

}  // namespace app
