// Talphatestform: the alpha test screen: its form file and its row of the screens' rules.
#pragma once

#include <memory>

#include "app/screens/TestScreen.h"

namespace Ui {
class Talphatestform;
}

namespace app {

class Talphatestform : public TestScreen {
    Q_OBJECT

public:
    Talphatestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent = nullptr);
    ~Talphatestform() override;

private:
    std::unique_ptr<Ui::Talphatestform> ui_;
};

}  // namespace app
