#include "app/screens/numerictestform.h"

#include "ui_numerictestform.h"

namespace app {

Tnumerictestform::Tnumerictestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent)
    : TestScreen(NumericRules(), state, services, std::move(gate), parent), ui_(std::make_unique<Ui::Tnumerictestform>()) {
    ui_->setupUi(this);
    Init();
}

Tnumerictestform::~Tnumerictestform() = default;

}  // namespace app
