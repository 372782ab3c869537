#include "app/forms/FormRegistry.h"

#include <stdexcept>
#include <string>

#include "app/forms/ScaleBy.h"

namespace app {

FormRegistry::FormRegistry() = default;

FormRegistry::~FormRegistry() {
    DestroyAll();
}

void FormRegistry::SetFactory(FormSlot slot, TFactory factory) {
    factories_[Index(slot)] = std::move(factory);
}

bool FormRegistry::HasFactory(FormSlot slot) const {
    return static_cast<bool>(factories_[Index(slot)]);
}

QWidget* FormRegistry::MainWindow() const {
    return qobject_cast<QWidget*>(Form(FormSlot::zmain));
}

std::unique_ptr<QObject> FormRegistry::Make(FormSlot slot) const {
    const TFactory& factory = factories_[Index(slot)];
    std::unique_ptr<QObject> form = factory(slot == FormSlot::zmain ? nullptr : MainWindow());
    if (!form) throw std::logic_error("the factory of form " + std::to_string(Index(slot)) + " made nothing");
    return form;
}

void FormRegistry::CreateAll() {
    try {
        for (std::size_t i = 0; i < kFormSlotCount; ++i) {
            const auto slot = static_cast<FormSlot>(i);
            if (factories_[i] && !forms_[i]) forms_[i] = Make(slot);
        }
    } catch (...) {
        DestroyAll();
        throw;
    }
}

void FormRegistry::DestroyAll() noexcept {
    for (std::size_t i = kFormSlotCount; i-- > 0;) forms_[i].reset();
}

QObject* FormRegistry::Recreate(FormSlot slot) {
    if (!HasFactory(slot)) throw std::logic_error("form " + std::to_string(Index(slot)) + " has no factory");
    // The main window parents the others: it goes only at the end.
    if (slot == FormSlot::zmain) throw std::logic_error("the main window cannot be re-created");
    forms_[Index(slot)].reset();
    forms_[Index(slot)] = Make(slot);
    return forms_[Index(slot)].get();
}

namespace {

// The screens are designed at 100 %; the setting adds its percentage.
constexpr int kScaleBase = 100;

void ScaleScreen(QObject* form, int scalefactor) {
    if (auto* screen = qobject_cast<QWidget*>(form)) scaleBy(*screen, scalefactor + kScaleBase, kScaleBase);
}

}  // namespace

void FormRegistry::ScaleTestScreens(int scalefactor) {
    for (const FormSlot slot : kTestScreenSlots) ScaleScreen(Form(slot), scalefactor);
}

void FormRegistry::RescaleTestScreens(int scalefactor) {
    for (const FormSlot slot : kTestScreenSlots) {
        if (HasFactory(slot)) ScaleScreen(Recreate(slot), scalefactor);
    }
}

}  // namespace app
