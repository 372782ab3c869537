#include "app/screens/TestScreen.h"

#include <QCoreApplication>
#include <QStringList>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <exception>
#include <stdexcept>

#include "app/core/AppState.h"
#include "app/core/ResultStore.h"
#include "app/core/ScoreReport.h"
#include "app/core/Scoring.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "app/core/funcs.h"
#include "app/forms/Colors.h"
#include "app/forms/DialogEdits.h"
#include "app/forms/showitForm.h"
#include "db/Field.h"
#include "db/widgets/CodePageValidator.h"
#include "db/widgets/DBText.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/FloatFormat.h"
#include "rtl/FormatSettings.h"
#include "rtl/Text.h"

namespace app {

using db::widgets::Guarded;
using db::widgets::ToBytes;
using db::widgets::ToQString;

namespace {

// Every table component of the screens waits for a lock 15 times, 100 ms apart.
constexpr std::uint8_t kLockRetryCount = 15;
constexpr std::uint16_t kLockWaitMs = 100;
// The countdown ticks once a second.
constexpr int kTimerIntervalMs = 1000;
// A practice test starts on the 50th record of the source order.
constexpr int kPracticeStartRecord = 50;
constexpr int kSecondsPerMinute = 60;

// Characters as the key filter counts them.
constexpr int kBackspace = 8;
constexpr int kTab = 9;
constexpr int kCarriageReturn = 13;
constexpr int kEscape = 27;
constexpr int kBeyondCodePage = 256;

// While it lives the flag is set; on every way out it gets back the value it had, so scopes nest.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = previous_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool previous_;
};

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

void SetBold(QWidget& widget, bool bold) {
    QFont font = widget.font();
    font.setBold(bold);
    widget.setFont(font);
}

template <class T>
T* Child(QWidget& form, const QString& name) {
    T* child = form.findChild<T*>(name);
    if (child == nullptr) throw std::logic_error("the test screen has no control " + name.toStdString());
    return child;
}

}  // namespace

TestScreen::TestScreen(const ScreenRules& rules, AppState& state, const Services& services, TPasswordGate gate,
                       QWidget* parent)
    : TForm(parent),
      keyedtext(rules.capacity, rules.fields),
      rules_(rules),
      state_(state),
      services_(services),
      gate_(std::move(gate)) {
    scoretestHook = [this] { scoretest(); };
    for (components::TTARNISTable* table : {&testdb, &resultsdb}) {
        table->SetLockRetryCount(kLockRetryCount);
        table->SetLockWaitTime(kLockWaitMs);
    }
    testds.SetDataSet(&testdb);
    resultsds.SetDataSet(&resultsdb);
    // The source lies in the program directory, whatever the working directory.
    testdb.SetTableName(state_.progdir + std::string(rules_.table));
    testdb.SetIndexName(rules_.indexName);
    Timer1.setInterval(kTimerIntervalMs);
    Timer1.setSingleShot(false);
    connect(&Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
}

TestScreen::~TestScreen() {
    Timer1.stop();
    for (QLineEdit* edit : entries_) edit->removeEventFilter(this);
    // The texts leave their source before it goes.
    for (db::widgets::TDBText* source : sources_) source->SetDataSource(nullptr);
    if (dbshowfield != nullptr) dbshowfield->SetDataSource(nullptr);
}

void TestScreen::Init() {
    prevscreenbtn = Child<QToolButton>(*this, QStringLiteral("prevscreenbtn"));
    nextscreenbtn = Child<QToolButton>(*this, QStringLiteral("nextscreenbtn"));
    timeLabel = Child<QLabel>(*this, QStringLiteral("timeLabel"));
    BitBtn1 = Child<QPushButton>(*this, QStringLiteral("BitBtn1"));
    dbshowfield = findChild<db::widgets::TDBText*>(QStringLiteral("dbshowfield"));
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->hide();

    // Only the entry fields take the focus: the buttons act on a click and leave it where it was.
    prevscreenbtn->setFocusPolicy(Qt::NoFocus);
    nextscreenbtn->setFocusPolicy(Qt::NoFocus);
    prevscreenbtn->setToolTip(ToQString(kPreviousRecordHint));
    nextscreenbtn->setToolTip(ToQString(kNextRecordHint));
    BitBtn1->setFocusPolicy(Qt::NoFocus);
    BitBtn1->setDefault(false);
    BitBtn1->setAutoDefault(false);
    BitBtn1->setText(ToQString(kCancel));
    ConnectClick(*prevscreenbtn, [this] { prevscreenbtnClick(); });
    ConnectClick(*nextscreenbtn, [this] { nextscreenbtnClick(); });
    ConnectClick(*BitBtn1, [this] { BitBtn1Click(); });

    plainValidator_ = new db::widgets::TCodePageValidator(this);
    upperValidator_ = new TUpperCaseValidator(this);
    for (int position = 1; position <= rules_.fields; ++position) {
        const QString number = QString::number(position);
        auto* edit = Child<QLineEdit>(*this, ToQString(rules_.editPrefix) + number);
        edit->setProperty("tag", position);
        const auto index = static_cast<std::size_t>(position - 1);
        if (index < rules_.masks.size() && !rules_.masks[index].empty()) {
            edit->setInputMask(ToQString(rules_.masks[index]));
        }
        if (rules_.maxLength > 0) edit->setMaxLength(rules_.maxLength);
        edit->setValidator(plainValidator_);
        edit->installEventFilter(this);
        if (rules_.advance == AdvanceTrigger::TextChange) {
            connect(edit, &QLineEdit::textChanged, this, [this, edit] { Guarded([this, edit] { MaskEdit1Change(*edit); }); });
        }
        entries_.push_back(edit);

        auto* source = Child<db::widgets::TDBText>(*this, ToQString(kDBTextPrefix) + number);
        source->SetDataSource(&testds);
        if (rules_.type != ScreenType::Numeric) source->SetDataField(rules_.FieldName(position, false));
        sources_.push_back(source);
    }
    if (dbshowfield != nullptr) dbshowfield->SetDataSource(&testds);

    if (rules_.helpContextOwner.empty()) {
        SetHelpContext(kTestScreenHelpContext);
    } else {
        app::SetHelpContext(*Child<QWidget>(*this, ToQString(rules_.helpContextOwner)), kTestScreenHelpContext);
    }
    // F1 is pressed where the keys go: every entry field opens the test's topic, wherever its panel lies.
    for (QLineEdit* edit : entries_) app::SetHelpContext(*edit, kTestScreenHelpContext);
    SetCentred(true);
}

QLineEdit& TestScreen::Entry(int position) const {
    return *entries_.at(static_cast<std::size_t>(position - 1));
}

db::widgets::TDBText& TestScreen::Source(int position) const {
    return *sources_.at(static_cast<std::size_t>(position - 1));
}

int TestScreen::PositionOf(const QObject* object) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i] == object) return static_cast<int>(i) + 1;
    }
    return 0;
}

std::string TestScreen::FieldText(int position) const {
    // A masked field reads with its blanks and literals, as the rules expect.
    return ToBytes(Entry(position).displayText());
}

void TestScreen::SetFieldText(int position, std::string_view text) {
    Entry(position).setText(ToQString(text));
}

void TestScreen::FocusField(int position) {
    QLineEdit& edit = Entry(position);
    if (!edit.hasFocus()) {
        edit.setFocus(Qt::TabFocusReason);
        return;
    }
    // The field has the focus already (a screen change from field 1), so no focus event comes: it is
    // readied as a fresh focus readies it, and its entry handler reads the new screen's source.
    ReadyForTyping(edit);
    Guarded([&] { MaskEdit1Enter(edit); });
}

void TestScreen::ReadyForTyping(QLineEdit& edit) {
    // The whole text is selected so that a key replaces it. A masked field keeps its caret at the start:
    // filling a mask types over its blanks from where the caret is, and a caret at the end takes nothing.
    if (edit.inputMask().isEmpty()) {
        edit.selectAll();
        return;
    }
    const int length = static_cast<int>(edit.displayText().size());
    edit.setSelection(length, -length);
}

void TestScreen::KeepCaretInKeyedPart(QLineEdit& edit) {
    // A click into a mask's blank tail would leave the caret where no key can go: it moves back to the end
    // of what was keyed (the start of an empty mask). The literals of the program's masks are punctuation,
    // so the keyed part ends after the last letter or digit.
    if (edit.inputMask().isEmpty() || edit.hasSelectedText()) return;
    const QString shown = edit.displayText();
    int keyedEnd = 0;
    for (int i = 0; i < static_cast<int>(shown.size()); ++i) {
        if (shown.at(i).isLetterOrNumber()) keyedEnd = i + 1;
    }
    if (edit.cursorPosition() > keyedEnd) edit.setCursorPosition(keyedEnd);
}

// ---- Starting and ending a test ----

void TestScreen::FormShow() {
    try {
        StartTest();
    } catch (...) {
        // The test does not start.
        CloseAfterFailedShow(std::current_exception());
    }
}

void TestScreen::StartTest() {
    FlagScope filling(navigating);
    Timer1.stop();
    // 1.
    if (rules_.type == ScreenType::Numeric) {
        allowedkeys.reset();
        for (const int key : {kBackspace, kTab, kCarriageReturn, 19, 22, 24, kEscape}) allowedkeys.set(key);
        for (char digit = '0'; digit <= '9'; ++digit) allowedkeys.set(static_cast<unsigned char>(digit));
        if (state_.usedecimal) allowedkeys.set('.');
        numlockon();
    } else {
        rtl::CurrentFormatSettings().ShortDateFormat = std::string(kShortDateFormat);
    }
    // 2.
    RichEdit1->clear();
    prevscreenbtn->setEnabled(false);
    nextscreenbtn->setEnabled(true);
    timeLabel->setText(ToQString(kTimerStarts));
    enableedits();
    clearedits();
    // 3.
    OpenTable(testdb);
    if (rules_.type == ScreenType::Numeric) {
        for (int position = 1; position <= rules_.fields; ++position) {
            Source(position).SetDataField(rules_.FieldName(position, state_.usedecimal));
        }
    }
    // 4. and 5.
    testseconds = (state_.realmode ? state_.realtime : state_.practicetime) * kSecondsPerMinute;
    captionprefix = rules_.CaptionPrefix(testseconds / kSecondsPerMinute, state_.realmode);
    startrecord = state_.realmode ? 1 : kPracticeStartRecord;
    // The caption names the screen: a test starts on the first, whichever the last one ended on.
    curscreen = 1;
    SetCaption();
    // 6. to 8.
    keyedtext.Clear();
    testdb.First();
    if (startrecord > 1) testdb.MoveBy(startrecord - 1);
    maxrecno = testdb.RecNo();
    maxscreen = 1;
    timerstarted = false;
    elapsed = 0;
    // 9.
    if (rules_.upperCase) {
        for (int position = 1; position <= rules_.fields; ++position) {
            if (!Entry(position).inputMask().isEmpty()) continue;  // digits only
            Entry(position).setValidator(state_.useuppercase ? upperValidator_ : plainValidator_);
        }
    }
    // 10.
    FocusField(1);
}

void TestScreen::FormClose() {
    Timer1.stop();
    testdb.Close();
    resultsdb.Close();
}

void TestScreen::CloseRequested() {
    BitBtn1Click();
}

void TestScreen::BitBtn1Click() {
    // Scoring still reads the tables that closing would close.
    if (busy_) return;
    if (gate_ && gate_()) SetModalResult(mrCancel);
}

// ---- Entry fields ----

bool TestScreen::eventFilter(QObject* watched, QEvent* event) {
    const int position = PositionOf(watched);
    if (position == 0) return TForm::eventFilter(watched, event);
    QLineEdit& edit = Entry(position);
    bool consumed = false;
    switch (event->type()) {
        case QEvent::KeyPress:
            Guarded([&] {
                const auto& key = static_cast<const QKeyEvent&>(*event);
                consumed = MaskEdit1KeyDown(edit, key);
                consumed = MaskEdit1KeyPress(KeyCharacter(key)) || consumed;
            });
            break;
        case QEvent::KeyRelease:
            if (rules_.advance == AdvanceTrigger::DigitRelease) {
                Guarded([&] { Edit1KeyUp(edit, static_cast<const QKeyEvent&>(*event)); });
            }
            break;
        case QEvent::FocusIn: {
            // The edit takes the focus its own way first; then, unless the mouse places the caret, the field
            // is readied for typing.
            static_cast<QObject&>(edit).event(event);
            if (static_cast<const QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) ReadyForTyping(edit);
            Guarded([&] { MaskEdit1Enter(edit); });
            consumed = true;
            break;
        }
        case QEvent::MouseButtonPress:
            static_cast<QObject&>(edit).event(event);
            KeepCaretInKeyedPart(edit);
            consumed = true;
            break;
        case QEvent::FocusOut:
            Guarded([&] { MaskEdit1Exit(edit); });
            break;
        default:
            break;
    }
    return consumed;
}

void TestScreen::MaskEdit1Enter(QLineEdit& edit) {
    const int position = PositionOf(&edit);
    if (position == 0 || !testdb.Active()) return;
    const std::string name = rules_.FieldName(position, state_.usedecimal);
    const db::TField& field = testdb.FieldByName(name);
    if (rules_.type == ScreenType::Numeric) {
        fieldprefix = std::string(state_.usedecimal ? kDecimalFieldPrefix : kNumericFieldPrefix);
        if (dbshowfield != nullptr) dbshowfield->SetDataField(name);
        fieldlength = static_cast<int>(rtl::VarToStr(field.AsVariant()).size());
        SetBold(Source(position), true);
    } else {
        currentfield = name;
        fieldlength = static_cast<int>(field.AsString().size());
    }
    SetTextColor(Source(position), kNavy);
}

void TestScreen::MaskEdit1Exit(QLineEdit& edit) {
    const int position = PositionOf(&edit);
    if (position == 0) return;
    SetTextColor(Source(position), kBlack);
    if (rules_.type == ScreenType::Numeric) {
        SetBold(Source(position), false);
        if (dbshowfield != nullptr) dbshowfield->SetDataField("");
    }
}

bool TestScreen::MaskEdit1KeyDown(QLineEdit& edit, const QKeyEvent& event) {
    const int position = PositionOf(&edit);
    const int key = event.key();
    if (rules_.type == ScreenType::Numeric && key == Qt::Key_NumLock) numlockon();
    if (!timerstarted) {
        timerstarted = true;
        Timer1.start();
        starttime = services_.time.MonotonicSeconds();
    }
    if (IsEnter(key)) {
        if (!rules_.IsEmpty(FieldText(position))) Advance(position);
        return true;
    }
    if (key == Qt::Key_Down) {
        FocusField(position == rules_.fields ? 1 : position + 1);
        return true;
    }
    if (key == Qt::Key_Up) {
        FocusField(position == 1 ? rules_.fields : position - 1);
        return true;
    }
    return false;
}

bool TestScreen::MaskEdit1KeyPress(int key) {
    if (key == kCarriageReturn) return true;  // no beep, no character
    if (rules_.type != ScreenType::Numeric || key == 0) return false;
    return key >= kBeyondCodePage || !allowedkeys.test(static_cast<std::size_t>(key));
}

int TestScreen::KeyCharacter(const QKeyEvent& event) {
    const int key = event.key();
    if ((event.modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z) {
        return key - Qt::Key_A + 1;
    }
    switch (key) {
        case Qt::Key_Backspace:
            return kBackspace;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kCarriageReturn;
        case Qt::Key_Escape:
            return kEscape;
        case Qt::Key_Delete:  // X11 gives it "\x7f": it deletes, it types nothing
            return 0;
        default:
            break;
    }
    const QString text = event.text();
    if (text.isEmpty() || text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F) return 0;
    if (!db::widgets::InCodePage(text.at(0))) return kBeyondCodePage;
    return static_cast<unsigned char>(ToBytes(text.left(1)).front());
}

void TestScreen::MaskEdit1Change(QLineEdit& edit) {
    if (!state_.autoadvance || navigating || !testdb.Active()) return;
    const int position = PositionOf(&edit);
    if (position == 0) return;
    if (edit.cursorPosition() >= fieldlength &&
        static_cast<int>(rtl::Trim(FieldText(position)).size()) >= fieldlength) {
        Advance(position);
    }
}

void TestScreen::Edit1KeyUp(QLineEdit& edit, const QKeyEvent& event) {
    if (!state_.autoadvance || event.isAutoRepeat()) return;
    const int key = event.key();
    if (key < Qt::Key_0 || key > Qt::Key_9) return;  // the keypad's digits too
    const int position = PositionOf(&edit);
    if (position == 0) return;
    if (static_cast<int>(FieldText(position).size()) >= fieldlength && edit.cursorPosition() >= fieldlength) {
        Advance(position);
    }
}

void TestScreen::Advance(int position) {
    if (position == rules_.fields) {
        nextscreenbtn->click();  // nothing once the test is over and the button disabled
    } else {
        FocusField(position + 1);
    }
}

void TestScreen::numlockon() {
    services_.keyboard.NumLockOn();
}

// ---- Screens ----

void TestScreen::nextscreenbtnClick() {
    FlagScope filling(navigating);
    for (int position = 1; position <= rules_.fields; ++position) {
        if (!rules_.IsEmpty(FieldText(position))) continue;
        if (rules_.refusalFill) SetFieldText(position, kRefusedFieldFill);
        navigating = false;
        FocusField(position);
        return;
    }
    updatekeyed();
    // Past the source's last record, or the store's last screen, there is no next screen: the testee stays.
    if (curscreen >= keyedtext.Capacity() || testdb.MoveBy(1) == 0) return;
    clearedits();
    ++curscreen;
    ShowReached();
    prevscreenbtn->setEnabled(true);
    loadedits();
    FocusField(1);
}

void TestScreen::prevscreenbtnClick() {
    if (curscreen <= 1) return;
    FlagScope filling(navigating);
    updatekeyed();
    clearedits();
    testdb.MoveBy(-1);
    --curscreen;
    ShowReached();
    prevscreenbtn->setEnabled(curscreen >= 2);
    loadedits();
    FocusField(1);
}

void TestScreen::ShowReached() {
    maxrecno = rtl::VarToInt(maxvariant(maxrecno, testdb.RecNo()));
    SetCaption();
    maxscreen = rtl::VarToInt(maxvariant(maxscreen, curscreen));
}

void TestScreen::SetCaption() {
    setWindowTitle(ToQString(captionprefix + std::string(kRecordOpen) + std::to_string(curscreen) +
                             std::string(kRecordClose)));
}

void TestScreen::updatekeyed() {
    for (int position = 1; position <= rules_.fields; ++position) {
        keyedtext.Set(curscreen, position, rules_.Stored(FieldText(position), position));
    }
}

void TestScreen::loadedits() {
    FlagScope filling(navigating);
    for (int position = 1; position <= rules_.fields; ++position) {
        SetFieldText(position, keyedtext.At(curscreen, position));
    }
}

void TestScreen::clearedits() {
    FlagScope filling(navigating);
    for (int position = 1; position <= rules_.fields; ++position) SetFieldText(position, rules_.clearedTo);
}

void TestScreen::enableedits() {
    for (QLineEdit* edit : entries_) edit->setEnabled(true);
    while (testdb.ControlsDisabled()) testdb.EnableControls();
}

void TestScreen::disableedits() {
    // A disabled field hands its focus on to the next enabled one, whose entry handler would run: the
    // focus leaves the fields before they go.
    if (QWidget* focused = focusWidget(); focused != nullptr && PositionOf(focused) != 0) focused->clearFocus();
    for (QLineEdit* edit : entries_) edit->setEnabled(false);
    // Scoring moves through the source: the texts stay as they are.
    testdb.DisableControls();
    prevscreenbtn->setEnabled(false);
    nextscreenbtn->setEnabled(false);
}

// ---- Time ----

void TestScreen::Timer1Timer() {
    Timer1.stop();
    elapsed = services_.time.MonotonicSeconds() - starttime;
    if (elapsed >= testseconds) {
        endtime = services_.time.Time();
        disableedits();
        timeLabel->setText(ToQString(kTimeRemainingZero));
        services_.messages.ShowInformation(kTestComplete);
        FlagScope scoring(busy_);
        if (scoretestHook) scoretestHook();
        return;
    }
    timeLabel->setText(ToQString(std::string(kTimeRemaining) +
                                 rtl::FormatFloat(kTwoDecimals, (testseconds - elapsed) / kSecondsPerMinute)));
    Timer1.start();
}

// ---- Scoring ----

void TestScreen::scoretest() {
    RichEdit1->clear();
    if (!state_.realmode && !state_.presults) return;
    updatekeyed();

    // Every text is read before anything is stored: a source field the table lacks raises here, with
    // nothing stored and the screen left open.
    std::vector<const db::TField*> sources;
    for (int position = 1; position <= rules_.fields; ++position) {
        sources.push_back(&testdb.FieldByName(rules_.FieldName(position, state_.usedecimal)));
    }
    const int last = maxscreen;
    ScoreInput input;
    input.rules = &rules_;
    input.useuppercase = state_.useuppercase;
    input.autoadvance = state_.autoadvance;
    input.elapsed = elapsed;
    input.keyed.resize(static_cast<std::size_t>(last));
    input.expected.resize(static_cast<std::size_t>(last));
    testdb.First();
    testdb.MoveBy(maxrecno - 1);
    ReadScreen(last, sources, input);
    maxscreen = last - 1;
    testdb.MoveBy(-1);
    for (int screen = last - 1; screen >= 1; --screen) {
        ReadScreen(screen, sources, input);
        // A long test must not freeze the window; Cancel stays off while the busy flag is set.
        QCoreApplication::processEvents();
        testdb.MoveBy(-1);
        --maxscreen;
    }

    const ScoreResult score = Score(input);
    elapsed = score.minutes;
    QStringList log;
    for (const std::string& line : score.log) log.push_back(ToQString(line));
    RichEdit1->setPlainText(log.join(QLatin1Char('\n')));

    const ReportContext context{&rules_, state_.realmode, state_.lname, state_.fname, services_.time.Now()};
    if (state_.realmode) {
        try {
            StoreResult(resultsdb, resultsds, ResultsTablePath(state_), ResultRecord(score, context, endtime));
        } catch (...) {
            // The result is lost; resultsdb stays open, its insert pending, until FormClose closes it.
            services_.messages.ShowError(kErrorWritingResults);
        }
    }
    if (state_.realmode ? state_.rresults : state_.presults) {
        if (TshowitForm* report = reportWindow ? reportWindow() : nullptr) {
            report->SetLines(ReportLines(score, context));
            report->exec();
        }
    }
    SetModalResult(mrCancel);
}

void TestScreen::ReadScreen(int screen, const std::vector<const db::TField*>& sources, ScoreInput& input) const {
    std::vector<std::string>& keyed = input.keyed[static_cast<std::size_t>(screen - 1)];
    std::vector<std::string>& expected = input.expected[static_cast<std::size_t>(screen - 1)];
    keyed.reserve(sources.size());
    expected.reserve(sources.size());
    for (int position = 1; position <= rules_.fields; ++position) {
        keyed.push_back(keyedtext.At(screen, position));
        const db::TField& field = *sources[static_cast<std::size_t>(position - 1)];
        expected.push_back(rules_.type == ScreenType::Numeric ? rtl::VarToStr(field.AsVariant()) : field.AsString());
    }
}

}  // namespace app
