// TComponent: an object with an owner that frees it, a name, and notifications when others come and go.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Exceptions.h"

namespace rtl {

// A component name that its owner already holds.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

enum TOperation { opInsert, opRemove };

// Components with an owner are made with new: the owner deletes them when it dies. A component without an
// owner may live anywhere. A component that holds a pointer to another registers with FreeNotification
// and clears the pointer in Notification(other, opRemove).
//
// Derived classes whose destructor does real work call Destroying() first, so that everything notified
// meanwhile can see that this component is on its way out.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    // Names compare without regard to letter case; two components of one owner never share a non-empty
    // name (EComponentError).
    virtual void SetName(std::string name);
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const;
    TComponent* FindComponent(std::string_view name) const;
    // Takes over a component from its present owner, if any.
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Deletes every owned component, the last first.
    void DestroyComponents();

    // Both components tell each other when one of them dies.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    bool IsLoading() const { return loading_; }
    bool IsDestroying() const { return destroying_; }
    // Marks this component and everything it owns as being loaded; Loaded ends it.
    void BeginLoading();
    // Marks this component and everything it owns as dying.
    void Destroying();

    // Called once the component's properties have all been set (after loading from a form): a component
    // applies what it had to defer while loading. Overrides call the inherited Loaded first.
    virtual void Loaded();

protected:
    // Another component was inserted into or removed from this one's owner, or a component this one
    // registered with through FreeNotification is dying. The default passes the news on to every owned
    // component; overrides call it.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void ForgetPartner(TComponent* component);

    TComponent* owner_ = nullptr;
    std::string name_;
    std::intptr_t tag_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool loading_ = false;
    bool destroying_ = false;
};

}  // namespace rtl
