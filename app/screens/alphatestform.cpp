#include "app/screens/alphatestform.h"

#include "ui_alphatestform.h"

namespace app {

Talphatestform::Talphatestform(AppState& state, const Services& services, TPasswordGate gate, QWidget* parent)
    : TestScreen(AlphaRules(), state, services, std::move(gate), parent), ui_(std::make_unique<Ui::Talphatestform>()) {
    ui_->setupUi(this);
    Init();
}

Talphatestform::~Talphatestform() = default;

}  // namespace app
