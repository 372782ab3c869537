// Tgetnameform: takes the testee's first and last name before a test that asks for it.
#pragma once

#include <memory>

#include "app/forms/Form.h"

namespace Ui {
class Tgetnameform;
}

namespace app {

struct AppState;
class Tdbfuncs;

// Prefilled with the last testee's name. OK needs both names (blanks count as a name), takes them for the
// test and stores them in config.dat, whatever remembername says; Cancel keeps the old ones.
class Tgetnameform : public TForm {
    Q_OBJECT

public:
    Tgetnameform(AppState& state, Tdbfuncs& dbfuncs, QWidget* parent = nullptr);
    ~Tgetnameform() override;

protected:
    void FormShow() override;

private:
    void BitBtn1Click();

    std::unique_ptr<Ui::Tgetnameform> ui_;
    AppState& state_;
    Tdbfuncs& dbfuncs_;
};

}  // namespace app
