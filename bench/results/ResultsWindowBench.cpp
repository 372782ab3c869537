// results-window-bench: how long the results window takes over a large results.dat to open with the KPH
// sort preset until the grid has painted its first page, and then to show only the alpha results after
// the user picks "Alpha". Usage: results-window-bench [records | --smoke], default 100,000 records (the three
// test types in thirds, drawn from a fixed seed); run it from a release build, offscreen
// (QT_QPA_PLATFORM=offscreen, which it sets when unset). Prints one Markdown table of medians.
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/core/MessageService.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/resultsForm.h"
#include "app/services/ProgramRuntime.h"
#include "db/DataSet.h"
#include "db/Field.h"
#include "db/widgets/DBGrid.h"
#include "db/widgets/QtText.h"
#include "rtl/DateTime.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace {

using Clock = std::chrono::steady_clock;

// The goal of the open and the filter together, in milliseconds.
constexpr double kGoalMs = 150;
constexpr int kDefaultRecords = 100000;
constexpr int kSmokeRecords = 300;
// Timed runs after one warm-up run; the table shows their medians.
constexpr int kRuns = 5;
// The fixed seed of the records, so that every run measures the same table.
constexpr unsigned kSeed = 20240115;

// A message box would wait for a user: failures go to standard error instead.
class StderrMessages final : public app::MessageService {
public:
    void ShowError(std::string_view text) override { Print("error", text); }
    void ShowInformation(std::string_view text) override { Print("information", text); }
    bool Confirm(std::string_view text) override {
        Print("question", text);
        return false;
    }
    void ShowStop(std::string_view text) override { Print("stop", text); }

private:
    static void Print(const char* kind, std::string_view text) {
        std::fprintf(stderr, "results-window-bench: %s: %.*s\n", kind, static_cast<int>(text.size()), text.data());
    }
};

void FillResults(const std::string& directory, int records) {
    const keyvalesetup::TableSpec& spec = *keyvalesetup::FindApplicationTable("results");
    keyvalesetup::CreateApplicationTable(directory, spec);
    static const char* const kLastNames[] = {"Adams", "Baker", "Clark", "Davis", "Evans", "Fox", "Green", "Hill"};
    static const char* const kFirstNames[] = {"Ann", "Bo", "Cy", "Di", "Ed", "Flo", "Gus", "Hal"};
    static const char* const kTypes[] = {"alpha", "alphanumeric", "numeric"};
    std::mt19937 draws(kSeed);
    std::uniform_int_distribution<int> name(0, 7);
    std::uniform_real_distribution<double> rate(500, 12000);
    std::uniform_int_distribution<int> day(0, 730);
    const rtl::TDateTime firstDay = rtl::EncodeDate(2023, 1, 1);
    keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(directory, spec), [&](db::TDataSet& table) {
        for (int i = 0; i < records; ++i) {
            const double kph = rate(draws);
            table.Insert();
            table.FieldByName("NAME").SetAsString(std::string(kLastNames[name(draws)]) + ", " +
                                                  kFirstNames[name(draws)] + " " + std::to_string(i));
            table.FieldByName("NKPH").SetAsFloat(kph * 0.95);
            table.FieldByName("KPH").SetAsFloat(kph);
            table.FieldByName("TOTERRS").SetAsInteger(i % 40);
            table.FieldByName("FLDERRS").SetAsInteger(i % 9);
            table.FieldByName("TESTTIME").SetAsDateTime(rtl::EncodeTime(9 + i % 8, i % 60, 0, 0));
            table.FieldByName("TESTDATE").SetAsDateTime(firstDay + day(draws));
            table.FieldByName("TIME").SetAsFloat(5);
            table.FieldByName("TOTALFLDS").SetAsInteger(100 + i % 50);
            table.FieldByName("TOTALKS").SetAsInteger(1000 + i % 500);
            table.FieldByName("ACCURACY").SetAsFloat(95);
            table.FieldByName("TESTTYPE").SetAsString(kTypes[i % 3]);
            table.FieldByName("ERRORS").SetAsString("Record no.: 1, Field no.: 2, 1 errors.");
            table.Post();
        }
    });
}

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Run {
    double open = 0;
    double filter = 0;
    int rows = 0;  // the grid's rows after the filter
};

// One showing: the KPH preset, open and paint; then "Alpha" and paint; then the window closes.
Run MeasureOnce(app::TresultsForm& window) {
    window.PresetChoices(1);
    window.resultsdb.SetFiltered(false);
    db::widgets::TDBGrid& grid = window.DBGrid1();
    Run run;
    const Clock::time_point start = Clock::now();
    window.show();
    QApplication::processEvents();
    grid.viewport()->repaint();
    const Clock::time_point opened = Clock::now();
    QComboBox& filter = window.ComboBox2();
    filter.setCurrentIndex(2);
    emit filter.activated(2);
    grid.viewport()->repaint();
    const Clock::time_point filtered = Clock::now();
    run.open = Milliseconds(start, opened);
    run.filter = Milliseconds(opened, filtered);
    run.rows = grid.GridModel().rowCount();
    window.done(app::mrCancel);
    QApplication::processEvents();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    int records = kDefaultRecords;
    int runs = kRuns;
    if (argc > 1 && std::strcmp(argv[1], "--smoke") == 0) {
        records = kSmokeRecords;
        runs = 1;
    } else if (argc > 1) {
        records = std::atoi(argv[1]);
        if (records <= 0) {
            std::fprintf(stderr, "usage: results-window-bench [records | --smoke]\n");
            return 64;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir directory;
    if (!directory.isValid()) {
        std::fprintf(stderr, "results-window-bench: cannot make a temporary directory\n");
        return 1;
    }
    try {
        app::ProgramRuntime runtime(db::widgets::ToBytes(directory.path() + QLatin1Char('/')));
        const Clock::time_point fillStart = Clock::now();
        FillResults(runtime.State().progdir, records);
        const double fillMs = Milliseconds(fillStart, Clock::now());
        StderrMessages messages;
        app::FormRegistry forms;
        forms.SetFactory(app::FormSlot::resultsForm, [&](QWidget* parent) {
            return std::make_unique<app::TresultsForm>(runtime.State(), messages, forms, parent);
        });
        forms.CreateAll();
        auto& window = *forms.Get<app::TresultsForm>(app::FormSlot::resultsForm);
        MeasureOnce(window);  // warm-up
        std::vector<double> opens;
        std::vector<double> filters;
        std::vector<double> totals;
        int rows = 0;
        for (int i = 0; i < runs; ++i) {
            const Run run = MeasureOnce(window);
            opens.push_back(run.open);
            filters.push_back(run.filter);
            totals.push_back(run.open + run.filter);
            rows = run.rows;
        }
        forms.DestroyAll();
        std::printf("Results window over %d records (filled in %.0f ms), medians of %d runs:\n\n", records, fillMs,
                    runs);
        std::printf("| step | ms |\n|---|---|\n");
        std::printf("| open with the KPH sort, first page painted | %.1f |\n", Median(opens));
        std::printf("| \"Alpha\" chosen, first page painted (%d rows) | %.1f |\n", rows, Median(filters));
        std::printf("| both (goal %.0f ms) | %.1f |\n", kGoalMs, Median(totals));
        return rows > 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "results-window-bench: %s\n", error.what());
        return 1;
    }
}
