// Tnumerictestform: the numeric test screen: its form file and its row of the screens' rules.
#pragma once

#include <memory>

#include "app/screens/TestScreen.h"

namespace Ui {
class Tnumerictestform;
}

namespace app {

class Tnumerictestform : public TestScreen {
    Q_OBJECT

public:
    Tnumerictestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent = nullptr);
    ~Tnumerictestform() override;

private:
    std::unique_ptr<Ui::Tnumerictestform> ui_;
};

}  // namespace app
