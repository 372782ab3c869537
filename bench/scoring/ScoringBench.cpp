// scoring-bench: how long a test screen's scoretest takes at the time-out of a 1900-screen alphanumeric test
// on a 2000-record invsort (every field keyed, one field in ten wrong): the moves through the source, the
// reads, the scoring and the store into results.dat, the report window not shown. Beside it the scoring
// unit alone on the same texts. Medians of several runs; run it from a release build, offscreen.
// Usage: scoring-bench [--smoke]
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/core/Scoring.h"
#include "app/screens/alphanumerictestform.h"
#include "app/services/Application.h"
#include "app/services/ProgramRuntime.h"
#include "app/services/Services.h"
#include "db/Field.h"
#include "rtl/DateTime.h"
#include "tests/support/ServiceDoubles.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace {

// The figure: 1900 screens (the store's capacity) on a 2000-record source, under 50 ms.
constexpr int kScreens = 1900;
constexpr int kInvsortRecords = 2000;
constexpr double kGoalMs = 50;
constexpr int kRuns = 7;
// The smoke run: a few screens once.
constexpr int kSmokeScreens = 20;

double MillisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The text with its last character wrong.
std::string LastWrong(std::string text) {
    if (text.empty()) return "X";
    char& c = text.back();
    c = c == '9' ? '0' : c >= '0' && c < '9' ? static_cast<char>(c + 1) : c == 'Q' ? 'X' : 'Q';
    return text;
}

void CreateTables(const std::string& directory) {
    using keyvalesetup::TableId;
    app::SystemRandomSource random;
    for (const keyvalesetup::TableSpec& table : keyvalesetup::ApplicationTables()) {
        if (table.id != TableId::Invsort && table.id != TableId::Results) continue;
        keyvalesetup::CreateApplicationTable(directory, table);
        if (table.id != TableId::Invsort) continue;
        keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(directory, table), [&](db::TDataSet& data) {
            keyvalesetup::WriteInvsortRecords(data, random, kInvsortRecords, rtl::Date());
        });
    }
}

// Shows the screen (a new test) and gives it the state of a time-out on screen `screens`: every field of
// every screen keyed as its source record shows it, one field in ten with its last character wrong.
// Returns the texts as scoring reads them, for the unit alone.
app::ScoreInput Prepare(app::TestScreen& screen, int screens) {
    screen.show();
    const app::ScreenRules& rules = screen.Rules();
    app::ScoreInput input;
    input.rules = &rules;
    input.elapsed = 300;
    int field = 0;
    screen.testdb.First();
    for (int s = 1; s <= screens; ++s) {
        std::vector<std::string> keyed;
        std::vector<std::string> expected;
        for (int position = 1; position <= rules.fields; ++position) {
            const std::string source = screen.testdb.FieldByName(rules.FieldName(position, false)).AsString();
            std::string text = ++field % 10 == 0 ? LastWrong(source) : source;
            screen.keyedtext.Set(s, position, text);
            keyed.push_back(std::move(text));
            expected.push_back(source);
        }
        input.keyed.push_back(std::move(keyed));
        input.expected.push_back(std::move(expected));
        if (s < screens) screen.testdb.MoveBy(1);
    }
    screen.curscreen = screens;
    screen.maxscreen = screens;
    screen.maxrecno = screen.testdb.RecNo();
    screen.loadedits();
    screen.elapsed = 300;
    screen.disableedits();
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication application(argc, argv);
    QTemporaryDir directory;
    if (!directory.isValid()) {
        std::fprintf(stderr, "scoring-bench: cannot make a temporary directory\n");
        return 1;
    }
    app::ProgramRuntime runtime(app::ProgramDirectoryOf(directory.path()));
    app::AppState& state = runtime.State();
    state.realmode = true;
    state.rresults = false;
    state.realtime = 5;
    state.lname = "Smith";
    state.fname = "Ann";
    CreateTables(state.progdir);

    testsupport::RecordingMessageService messages("Keyvale");
    testsupport::RecordingHelpService help;
    testsupport::PdfPrintService print(directory.path());
    testsupport::RecordingKeyboardState keyboard;
    testsupport::FakeTimeSource time;
    testsupport::ScriptedRandomSource random;
    const app::Services services{messages, help, print, keyboard, time, random};
    app::Talphanumerictestform screen(state, services, [] { return false; });

    const int screens = smoke ? kSmokeScreens : kScreens;
    const int runs = smoke ? 1 : kRuns;
    std::vector<double> whole;
    std::vector<double> unit;
    for (int run = 0; run < runs + 1; ++run) {  // the first run warms up
        const app::ScoreInput input = Prepare(screen, screens);
        const double scoretestMs = MillisecondsOf([&] { screen.scoretest(); });
        const double unitMs = MillisecondsOf([&] { (void)app::Score(input); });
        if (screen.isVisible() || !messages.Boxes().empty()) {
            std::fprintf(stderr, "scoring-bench: the scoring did not end as a stored result does\n");
            return 1;
        }
        if (run == 0 && runs > 1) continue;
        whole.push_back(scoretestMs);
        unit.push_back(unitMs);
    }
    std::printf("| scoring, %d alphanumeric screens | median ms | goal ms |\n|---|---|---|\n", screens);
    std::printf("| scoretest (moves, reads, scoring, store) | %.2f | %.0f |\n", Median(whole), kGoalMs);
    std::printf("| the scoring unit alone | %.2f | |\n", Median(unit));
    return 0;
}
