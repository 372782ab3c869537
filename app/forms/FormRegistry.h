// FormRegistry: the program's forms, created once in their fixed order and destroyed in reverse.
#pragma once

#include <QObject>
#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

namespace app {

// The forms in the order they are created at start-up; the main window comes first.
enum class FormSlot {
    zmain,
    settingsform,
    dbfuncs,
    getpasswordForm,
    passwordchangeform,
    numerictestform,
    newnumerictestform,
    showitForm,
    resultsForm,
    getnameform,
    alphanumerictestform,
    alphatestform,
    printresultsform,
    rewritean,
    aboutform,
};
inline constexpr std::size_t kFormSlotCount = static_cast<std::size_t>(FormSlot::aboutform) + 1;

// The three test screens, in the order they are scaled at start-up and re-created at a new scale.
inline constexpr std::array<FormSlot, 3> kTestScreenSlots = {FormSlot::numerictestform,
                                                             FormSlot::alphanumerictestform, FormSlot::alphatestform};

// Owns the forms. Every form after the main window gets the main window as its parent, so that dialogs
// stay above it, while the registry alone decides when it goes. A slot without a factory stays empty.
class FormRegistry {
public:
    // Makes a form; `mainWindow` is nullptr for the main window itself.
    using TFactory = std::function<std::unique_ptr<QObject>(QWidget* mainWindow)>;

    FormRegistry();
    ~FormRegistry();
    FormRegistry(const FormRegistry&) = delete;
    FormRegistry& operator=(const FormRegistry&) = delete;

    // The factory stays for re-creation (the test screens).
    void SetFactory(FormSlot slot, TFactory factory);
    bool HasFactory(FormSlot slot) const;

    // Creates every form that has a factory, in slot order. A failure destroys the forms made so far, in
    // reverse, and passes on.
    void CreateAll();
    // Destroys the forms in reverse order, the main window last.
    void DestroyAll() noexcept;

    QObject* Form(FormSlot slot) const { return forms_[Index(slot)].get(); }
    template <class T>
    T* Get(FormSlot slot) const {
        return dynamic_cast<T*>(Form(slot));
    }
    QWidget* MainWindow() const;

    // Frees the slot's form and makes a new one from its factory; returns it.
    QObject* Recreate(FormSlot slot);

    // At start-up: scales the numeric, the alphanumeric and the alpha test screen, in this order, by
    // scalefactor + 100 over 100 of their design size. An empty slot is skipped.
    void ScaleTestScreens(int scalefactor);
    // After the settings changed the scale: re-creates the three test screens in the same order and scales
    // each new one as ScaleTestScreens does, so that a new factor never compounds with the old. A slot
    // without a factory is skipped.
    void RescaleTestScreens(int scalefactor);

private:
    static std::size_t Index(FormSlot slot) { return static_cast<std::size_t>(slot); }
    std::unique_ptr<QObject> Make(FormSlot slot) const;

    std::array<TFactory, kFormSlotCount> factories_;
    std::array<std::unique_ptr<QObject>, kFormSlotCount> forms_;
};

}  // namespace app
