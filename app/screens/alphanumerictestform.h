// Talphanumerictestform: the alphanumeric test screen: its form file and its row of the screens' rules.
#pragma once

#include <memory>

#include "app/screens/TestScreen.h"

namespace Ui {
class Talphanumerictestform;
}

namespace app {

class Talphanumerictestform : public TestScreen {
    Q_OBJECT

public:
    Talphanumerictestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent = nullptr);
    ~Talphanumerictestform() override;

private:
    std::unique_ptr<Ui::Talphanumerictestform> ui_;
};

}  // namespace app
