#include "app/screens/alphanumerictestform.h"

#include "ui_alphanumerictestform.h"

namespace app {

Talphanumerictestform::Talphanumerictestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent)
    : TestScreen(AlphanumericRules(), state, services, std::move(gate), parent), ui_(std::make_unique<Ui::Talphanumerictestform>()) {
    ui_->setupUi(this);
    Init();
}

Talphanumerictestform::~Talphanumerictestform() = default;

}  // namespace app
