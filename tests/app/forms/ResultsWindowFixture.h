// ResultsWindowFixture: a program directory with stored results and the results window's three forms (the
// text report window, the results window, the list report) made in their registry slots.
#pragma once

#include <QComboBox>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "app/controls/ColorButton.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/printresultsform.h"
#include "app/forms/resultsForm.h"
#include "app/forms/showitForm.h"
#include "app/services/PrintService.h"
#include "db/Field.h"
#include "db/widgets/DBGrid.h"
#include "tests/app/core/support/ResultRecords.h"
#include "tests/support/AppFixture.h"

namespace testsupport {

class ResultsWindowFixture : public AppFixture {
protected:
    // The program's tables with these results stored; the forms print through `printer` (the double when
    // null).
    void Install(const std::vector<StoredResult>& results, app::PrintService* printer = nullptr) {
        InstallApplicationTables();
        if (!results.empty()) AddResults(State().progdir, results);
        MakeForms(printer);
    }

    void MakeForms(app::PrintService* printer = nullptr) {
        app::PrintService& out = printer != nullptr ? *printer : print;
        forms.SetFactory(app::FormSlot::showitForm, [this, &out](QWidget* parent) {
            return std::make_unique<app::TshowitForm>(messages, out, parent);
        });
        forms.SetFactory(app::FormSlot::resultsForm, [this](QWidget* parent) {
            return std::make_unique<app::TresultsForm>(State(), messages, forms, parent);
        });
        forms.SetFactory(app::FormSlot::printresultsform, [this, &out](QWidget*) {
            return std::make_unique<app::Tprintresultsform>([this]() -> db::TDataSet& { return Window().resultsdb; },
                                                            out, messages);
        });
        forms.CreateAll();
    }

    app::TresultsForm& Window() const { return *forms.Get<app::TresultsForm>(app::FormSlot::resultsForm); }
    app::TshowitForm& Showit() const { return *forms.Get<app::TshowitForm>(app::FormSlot::showitForm); }
    app::Tprintresultsform& List() const {
        return *forms.Get<app::Tprintresultsform>(app::FormSlot::printresultsform);
    }

    // Presets as the main window does, then shows the window (not modally) and waits until it is active.
    void Show(int sort = 0) {
        Window().PresetChoices(sort);
        Window().show();
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }

    // The user picks a combo box item.
    static void Pick(QComboBox& combo, int index) {
        combo.setCurrentIndex(index);
        emit combo.activated(index);
    }

    // The names in the grid's rows, top to bottom.
    std::vector<std::string> GridNames() const {
        std::vector<std::string> names;
        auto& model = Window().DBGrid1().GridModel();
        for (int row = 0; row < model.rowCount(); ++row) {
            names.push_back(model.data(model.index(row, 0)).toString().toStdString());
        }
        return names;
    }

    std::string Current(const char* field) const { return Window().resultsdb.FieldByName(field).AsString(); }

    app::FormRegistry forms;
};

// Six results, two of each test type, whose names, rates and dates each sort differently.
inline std::vector<StoredResult> SixResults() {
    std::vector<StoredResult> results(6);
    const char* names[] = {"Cole, Ann", "Adams, Bo", "Evans, Cy", "Baker, Di", "Fox, Ed", "Dunn, Flo"};
    const char* types[] = {"alpha", "alphanumeric", "numeric", "alpha", "alphanumeric", "numeric"};
    const double kph[] = {3000, 5000, 1000, 6000, 2000, 4000};
    const double nkph[] = {2000, 1000, 6000, 3000, 5000, 4000};
    const int days[] = {4, 6, 2, 1, 5, 3};
    for (int i = 0; i < 6; ++i) {
        results[i].name = names[i];
        results[i].testtype = types[i];
        results[i].kph = kph[i];
        results[i].nkph = nkph[i];
        results[i].testdate = rtl::EncodeDate(2024, 2, days[i]);
        results[i].errors = std::string("log of ") + names[i];
    }
    return results;
}

}  // namespace testsupport
