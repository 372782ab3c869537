// TDataModule: a form slot's holder for a Qt-free module that the program creates with its forms.
#pragma once

#include <QObject>

#include <utility>

namespace app {

// Never shown: the registry owns it in its slot, in the slot's order, like any form.
template <class Module>
class TDataModule : public QObject {
public:
    template <class... Args>
    explicit TDataModule(Args&&... args) : module(std::forward<Args>(args)...) {}

    Module module;
};

}  // namespace app
