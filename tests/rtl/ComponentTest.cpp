#include "rtl/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rtl::TComponent;

// Counts its own deletion and records what it is told.
class Probe : public TComponent {
public:
    Probe(TComponent* owner, std::vector<std::string>& log, std::string name) : TComponent(owner), log_(log) {
        SetName(std::move(name));
    }
    ~Probe() override {
        Destroying();
        log_.push_back("delete " + Name());
    }
    // A reference to another component that must not dangle.
    void Watch(TComponent* other) {
        watched_ = other;
        if (other != nullptr) other->FreeNotification(this);
    }
    TComponent* watched_ = nullptr;

protected:
    void Notification(TComponent* component, rtl::TOperation operation) override {
        TComponent::Notification(component, operation);
        log_.push_back(Name() + (operation == rtl::opInsert ? " +" : " -") + component->Name());
        if (operation == rtl::opRemove && component == watched_) watched_ = nullptr;
    }

private:
    std::vector<std::string>& log_;
};

TEST(Component, AnOwnerFreesWhatItOwnsAndOthersLoseTheirReferences) {
    std::vector<std::string> log;
    Probe outsider(nullptr, log, "outsider");
    {
        Probe form(nullptr, log, "form");
        auto* a = new Probe(&form, log, "a");
        auto* b = new Probe(&form, log, "b");
        EXPECT_EQ(form.ComponentCount(), 2);
        EXPECT_EQ(form.FindComponent("B"), b);
        EXPECT_EQ(a->Owner(), &form);
        outsider.Watch(b);
        a->Watch(b);
        log.clear();
    }
    EXPECT_EQ(outsider.watched_, nullptr);
    // b is deleted first (the last owned), a hears of it through its free notification.
    EXPECT_EQ(log, (std::vector<std::string>{"delete form", "delete b", "a -b", "outsider -b", "delete a"}));
}

TEST(Component, InsertAndRemoveNotifyTheOwnerAndItsComponents) {
    std::vector<std::string> log;
    Probe form(nullptr, log, "form");
    form.InsertComponent(new Probe(nullptr, log, "a"));
    auto* b = new Probe(nullptr, log, "b");
    form.InsertComponent(b);
    // The newcomer hears of itself too, as one of the owner's components.
    EXPECT_EQ(log, (std::vector<std::string>{"a +a", "form +a", "a +b", "b +b", "form +b"}));
    log.clear();
    delete b;
    EXPECT_EQ(log, (std::vector<std::string>{"delete b", "a -b", "form -b"}));
    EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(Component, NamesAreUniqueWithinAnOwner) {
    std::vector<std::string> log;
    Probe form(nullptr, log, "form");
    auto* a = new Probe(&form, log, "Edit1");
    EXPECT_THROW(new Probe(&form, log, "edit1"), rtl::EComponentError);  // the name clashes after insertion
    EXPECT_EQ(form.ComponentCount(), 1);
    a->SetName("Edit1");  // its own name again
    Probe loose(nullptr, log, "EDIT1");
    EXPECT_THROW(form.InsertComponent(&loose), rtl::EComponentError);
    EXPECT_EQ(loose.Owner(), nullptr);
    EXPECT_THROW(form.Components(5), rtl::EListError);
}

TEST(Component, TakingOverAnotherOwnersComponent) {
    std::vector<std::string> log;
    Probe first(nullptr, log, "first");
    Probe second(nullptr, log, "second");
    auto* c = new Probe(&first, log, "c");
    second.InsertComponent(c);
    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(c->Owner(), &second);
}

TEST(Component, LoadingAndDestroyingFlagsReachOwnedComponents) {
    std::vector<std::string> log;
    Probe form(nullptr, log, "form");
    auto* a = new Probe(&form, log, "a");
    form.BeginLoading();
    EXPECT_TRUE(a->IsLoading());
    a->Loaded();
    form.Loaded();
    EXPECT_FALSE(form.IsLoading());
    EXPECT_FALSE(a->IsLoading());
    form.Destroying();
    EXPECT_TRUE(a->IsDestroying());
}

TEST(Component, RemovedFreeNotificationsAreForgottenOnBothSides) {
    std::vector<std::string> log;
    Probe watcher(nullptr, log, "watcher");
    {
        Probe target(nullptr, log, "target");
        watcher.Watch(&target);
        watcher.RemoveFreeNotification(&target);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"delete target"}));
}

}  // namespace
