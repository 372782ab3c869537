// Tsettingsform: the settings dialog, editing config.dat's record in place through data-aware controls.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "app/forms/Form.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"

namespace Ui {
class Tsettingsform;
}

namespace db::widgets {
class TDBEdit;
}

namespace app {

struct AppState;
class MessageService;

// The longest test the settings allow, in minutes.
inline constexpr int kMaximumTestMinutes = 30;

// Holds config.dat open while shown; the first change in a control puts the record into the edit state,
// which locks it against the other copies of the program until Save or Cancel, and closing releases it on
// every way out. Save posts only a pending change, and then reloads the program's variables.
class Tsettingsform : public TForm {
    Q_OBJECT

public:
    // `getconfig` reloads the variables after a save (the data module's getconfig).
    Tsettingsform(AppState& state, MessageService& messages, std::function<void()> getconfig,
                  QWidget* parent = nullptr);
    ~Tsettingsform() override;

    components::TTARNISTable configdb;
    db::TDataSource DataSource1;

protected:
    void FormShow() override;
    void FormClose() override;
    void CloseRequested() override;

private:
    void SetTexts();
    void Bind();
    // True when the field is within the limit; else the message, and the focus back on the edit.
    bool CheckMaximum(db::widgets::TDBEdit& edit, std::string_view field);
    // Button1: false keeps the dialog open.
    void Save();

    std::unique_ptr<Ui::Tsettingsform> ui_;
    AppState& state_;
    MessageService& messages_;
    std::function<void()> getconfig_;
};

}  // namespace app
