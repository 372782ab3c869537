#include "rtl/Component.h"

#include <algorithm>

#include "rtl/Format.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace rtl {

TComponent::TComponent(TComponent* owner) {
    if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    while (!freeNotifies_.empty()) {
        TComponent* partner = freeNotifies_.back();
        freeNotifies_.pop_back();
        partner->ForgetPartner(this);
        partner->Notification(this, opRemove);
    }
    DestroyComponents();
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::SetName(std::string name) {
    if (name == name_) return;
    if (owner_ != nullptr && !name.empty()) {
        const TComponent* other = owner_->FindComponent(name);
        if (other != nullptr && other != this) throw EComponentError(Format(kDuplicateComponentName, {name}));
    }
    name_ = std::move(name);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("Component index " + std::to_string(index) + " out of bounds");
    return components_[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (AnsiSameText(c->name_, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (component == nullptr || component->owner_ == this) return;
    if (!component->name_.empty() && FindComponent(component->name_) != nullptr)
        throw EComponentError(Format(kDuplicateComponentName, {component->name_}));
    if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
    Insert(component);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (component == nullptr || component->owner_ != this) return;
    Notification(component, opRemove);
    Remove(component);
}

void TComponent::DestroyComponents() {
    // Taken from the list before deletion, so that a component that deletes others on its way out
    // cannot leave this loop holding a dead pointer.
    while (!components_.empty()) {
        TComponent* c = components_.back();
        Remove(c);
        delete c;
    }
}

void TComponent::FreeNotification(TComponent* component) {
    if (component == nullptr || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
        freeNotifies_.push_back(component);
        component->FreeNotification(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    ForgetPartner(component);
    if (component != nullptr) component->ForgetPartner(this);
}

void TComponent::BeginLoading() {
    loading_ = true;
    for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::Destroying() {
    if (destroying_) return;
    destroying_ = true;
    for (TComponent* c : components_) c->Destroying();
}

void TComponent::Loaded() {
    loading_ = false;
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove) ForgetPartner(component);
    if (destroying_) return;
    // A copy: a component told of a removal may delete others of this owner.
    const std::vector<TComponent*> owned = components_;
    for (TComponent* c : owned)
        if (std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, operation);
}

void TComponent::Insert(TComponent* component) {
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
}

void TComponent::ForgetPartner(TComponent* component) {
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component),
                        freeNotifies_.end());
}

}  // namespace rtl
