// TresultsForm: the results window: browse, sort, filter, print and delete the results stored in results.dat.
#pragma once

#include <cstdint>
#include <memory>

#include "app/forms/Form.h"
#include "app/forms/ResultsPresets.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace Ui {
class TresultsForm;
}

class QComboBox;
class QLabel;

namespace controls {
class TkvColorButton;
}

namespace db::widgets {
class TDBGrid;
class TDBMemoView;
class TDBNavigator;
}  // namespace db::widgets

namespace app {

struct AppState;
class FormRegistry;
class MessageService;

// Shown modally and maximised. Each showing opens progdir's results.dat shared in the order and under the
// filter chosen; closing closes it. The combo boxes act only when the user picks an item, so the main
// window's presets run none of their handlers. "Print" fills the text report window (the registry's) with
// the current result; "Print all" previews the list of the print form (the registry's), in the window's
// order and filter. A failure of a handler reaches the application's handler and leaves the window usable.
class TresultsForm : public TForm, public ResultsPresets {
    Q_OBJECT

public:
    // How often and how long the table waits for another copy's lock.
    static constexpr std::uint8_t kLockRetryCount = 15;
    static constexpr std::uint16_t kLockWaitMs = 100;

    TresultsForm(AppState& state, MessageService& messages, FormRegistry& forms, QWidget* parent = nullptr);
    ~TresultsForm() override;

    components::TTARNISTable resultsdb;
    db::TDataSource DataSource1;

    // The sort choice from the setting `sort` (0 to 3; anything else chooses nothing), the filter choice of
    // all results, and the table's index from the sort choice's text as it reads.
    void PresetChoices(std::int32_t sort) override;

    // The handlers, as the controls run them.
    void closebtnClick();
    void ComboBox1Change();
    void ComboBox2Change();
    void kvColorButton2Click();
    void kvColorButton3Click();
    void kvColorButton4Click();
    void viewbtnClick();

    db::widgets::TDBGrid& DBGrid1() const;
    db::widgets::TDBMemoView& DBRichEdit1() const;
    db::widgets::TDBNavigator& DBNavigator2() const;
    QComboBox& ComboBox1() const;
    QComboBox& ComboBox2() const;
    controls::TkvColorButton& Button(const char* name) const;

protected:
    void FormShow() override;
    void FormClose() override;

private:
    void SetTexts();
    void SetLook();
    void Bind();

    std::unique_ptr<Ui::TresultsForm> ui_;
    AppState& state_;
    MessageService& messages_;
    FormRegistry& forms_;
};

}  // namespace app
