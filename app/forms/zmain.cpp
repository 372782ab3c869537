#include "app/forms/zmain.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStatusTipEvent>

#include <string_view>

#include "app/controls/KvClock.h"
#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/core/dbfuncs.h"
#include "app/forms/Colors.h"
#include "app/forms/DataModule.h"
#include "app/forms/Glyphs.h"
#include "app/forms/ResultsPresets.h"
#include "app/forms/SmallDialog.h"
#include "app/services/Application.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/Text.h"
#include "ui_zmain.h"

namespace app {

using db::widgets::Guarded;
using db::widgets::ToQString;

namespace {

// The toolbar's buttons, each wide enough for a glyph or a short caption, as high as the clock.
constexpr int kToolButtonWidth = 56;
constexpr int kToolButtonHeight = 39;
// The clock at the toolbar's right end: its size and its font's pixel height.
constexpr int kClockWidth = 89;
constexpr int kClockHeight = 39;
constexpr int kClockFontPixels = 12;

}  // namespace

Tzmain::Tzmain(FormRegistry& forms, AppState& state, const Services& services, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::Tzmain>()), forms_(forms), state_(state), services_(services) {
    ui_->setupUi(this);
    SetFormFont(*this);
    SetBackgroundColor(*this, kBackgroundColor);
    SetBackgroundColor(*ui_->Panel2, kBackgroundColor);
    SetTexts();
    SetUpToolbar();
    SetUpClock();
    ConnectCommands();
    resize(kDesignWidth, kDesignHeight);
    FormCreate();
}

Tzmain::~Tzmain() = default;

void Tzmain::FormCreate() {
    // progdir is the runtime's, fixed before any form; the help service reads its help file from there.
    const TApplication* application = Application();
    setWindowTitle(ToQString(application != nullptr ? std::string_view(application->Title()) : kTitle));
}

void Tzmain::SetTexts() {
    const auto menu = [](QMenu& menu, std::string_view title, std::string_view hint = {}) {
        menu.setTitle(ToQString(title));
        menu.menuAction()->setStatusTip(ToQString(hint));
    };
    const auto item = [](QAction& action, std::string_view text, std::string_view hint) {
        action.setText(ToQString(text));
        action.setStatusTip(ToQString(hint));
    };
    menu(*ui_->File1, kMenuFile);
    menu(*ui_->New1, kMenuNew, kMenuNewHint);
    item(*ui_->Alphanumeric1, kMenuNewAlphanumeric, kMenuNewAlphanumericHint);
    item(*ui_->numeric1, kMenuNewNumeric, kMenuNewNumericHint);
    item(*ui_->Results1, kMenuResults, kMenuResultsHint);
    item(*ui_->Exit1, kMenuExit, kMenuExitHint);
    menu(*ui_->Tests1, kMenuTests);
    menu(*ui_->Alphanumeric2, kMenuAlphanumeric, kMenuAlphanumericHint);
    item(*ui_->Real1, kMenuReal, kRealAlphanumericHint);
    item(*ui_->Practise1, kMenuPractice, kPracticeAlphanumericHint);
    menu(*ui_->Numeric2, kMenuNumeric);
    item(*ui_->Real2, kMenuReal, kRealNumericHint);
    item(*ui_->Practice1, kMenuPractice, kPracticeNumericHint);
    menu(*ui_->Alpha1, kMenuAlpha);
    item(*ui_->Realmode1, kMenuReal, kRealAlphaHint);
    item(*ui_->Practice2, kMenuPractice, kPracticeAlphaHint);
    menu(*ui_->Admin1, kMenuAdmin);
    item(*ui_->Password1, kMenuPassword, kMenuPasswordHint);
    item(*ui_->Settings1, kMenuSettings, kMenuSettingsHint);
    menu(*ui_->Help1, kMenuHelp);
    item(*ui_->Contents1, kMenuContents, kMenuContentsHint);
    ui_->Contents1->setShortcut(QKeySequence(ToQString(kMenuContentsShortcut)));
    item(*ui_->About1, kMenuAbout, kMenuAboutHint);
}

void Tzmain::SetUpToolbar() {
    const struct {
        controls::TkvColorButton* button;
        std::string_view caption;
        const char* glyph;
        std::string_view hint;
    } buttons[] = {
        {ui_->kvColorButton1, {}, kExitGlyph, kExitButtonHint},
        {ui_->kvColorButton2, kNumericButton, nullptr, kRealNumericHint},
        {ui_->kvColorButton3, kAlphanumericButton, nullptr, kRealAlphanumericHint},
        {ui_->kvColorButton4, kAlphaButton, nullptr, kRealAlphaHint},
        {ui_->kvColorButton5, kSettingsButton, nullptr, kMenuSettingsHint},
        {ui_->kvColorButton6, {}, kResultsGlyph, kResultsButtonHint},
        {ui_->kvColorButton7, {}, kHelpGlyph, kHelpButtonHint},
    };
    for (const auto& b : buttons) {
        b.button->setFixedSize(kToolButtonWidth, kToolButtonHeight);
        if (!b.caption.empty()) b.button->SetCaption({ToQString(b.caption)});
        if (b.glyph != nullptr) b.button->SetGlyph(Glyph(b.glyph));
        b.button->setToolTip(ToQString(b.hint));
        b.button->setStatusTip(ToQString(b.hint));
    }
}

void Tzmain::SetUpClock() {
    clock_ = new controls::TKvClock(ui_->Panel2, services_.time);
    clock_->setObjectName(QStringLiteral("KvClock1"));
    const controls::BgrColor windowText = controls::BgrFromColor(palette().color(QPalette::WindowText));
    clock_->SetBevelInner(controls::bvNone);
    clock_->SetBevelOuter(controls::bvNone);
    clock_->SetDotsColor(windowText);
    clock_->SetFontColor(windowText);
    clock_->SetTwelveHour(true);
    clock_->SetLeadingZero(false);
    clock_->SetColor(kBackgroundColor);
    QFont font(QString::fromLatin1(kFormFontFamily));
    font.setPixelSize(kClockFontPixels);
    clock_->setFont(font);
    clock_->setFixedSize(kClockWidth, kClockHeight);
    ui_->Panel2Layout->addWidget(clock_);
}

void Tzmain::ConnectCommands() {
    const auto on = [this](QAction* action, void (Tzmain::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    on(ui_->Alphanumeric1, &Tzmain::Alphanumeric1Click);
    on(ui_->numeric1, &Tzmain::numeric1Click);
    on(ui_->Results1, &Tzmain::resultsbtnClick);
    on(ui_->Exit1, &Tzmain::Exit1Click);
    on(ui_->Real1, &Tzmain::Real1Click);
    on(ui_->Practise1, &Tzmain::Practise1Click);
    on(ui_->Real2, &Tzmain::Real2Click);
    on(ui_->Practice1, &Tzmain::Practice1Click);
    on(ui_->Realmode1, &Tzmain::Realmode1Click);
    on(ui_->Practice2, &Tzmain::Practice2Click);
    on(ui_->Password1, &Tzmain::Password1Click);
    on(ui_->Settings1, &Tzmain::Settings1Click);
    on(ui_->Contents1, &Tzmain::Contents1Click);
    on(ui_->About1, &Tzmain::About1Click);
    const auto click = [this](controls::TkvColorButton* button, void (Tzmain::*handler)()) {
        connect(button, &controls::TkvColorButton::clicked, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    click(ui_->kvColorButton1, &Tzmain::kvColorButton1Click);
    click(ui_->kvColorButton2, &Tzmain::Real2Click);
    click(ui_->kvColorButton3, &Tzmain::Real1Click);
    click(ui_->kvColorButton4, &Tzmain::Realmode1Click);
    click(ui_->kvColorButton5, &Tzmain::Settings1Click);
    click(ui_->kvColorButton6, &Tzmain::resultsbtnClick);
    click(ui_->kvColorButton7, &Tzmain::Contents1Click);
}

bool Tzmain::event(QEvent* event) {
    // Status tips stand for the application's hint: whatever the mouse points at shows its hint.
    if (event->type() == QEvent::StatusTip) {
        displayhint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void Tzmain::displayhint(const QString& hint) {
    ui_->StatusBar1->showMessage(hint);
}

void Tzmain::showEvent(QShowEvent* event) {
    if (!event->spontaneous() && !formShown_) {
        formShown_ = true;
        const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
        if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
        Guarded([this] { FormShow(); });
    }
    QMainWindow::showEvent(event);
}

void Tzmain::closeEvent(QCloseEvent* event) {
    Guarded([this] { FormClose(); });
    event->accept();
}

Tdbfuncs* Tzmain::dbfuncs() const {
    auto* module = forms_.Get<TDataModule<Tdbfuncs>>(FormSlot::dbfuncs);
    return module != nullptr ? &module->module : nullptr;
}

void Tzmain::FormShow() {
    Tdbfuncs* config = dbfuncs();
    if (config != nullptr && !config->getconfig()) {
        // Without its settings the program would run with no password and no test time: once the message
        // is read, it ends.
        settingsUnread_ = true;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
        return;
    }
    if (auto* results = dynamic_cast<ResultsPresets*>(forms_.Form(FormSlot::resultsForm))) {
        results->PresetChoices(state_.sort);
    }
    forms_.ScaleTestScreens(state_.scalefactor);
}

void Tzmain::FormClose() {
    if (settingsUnread_ || !state_.remembername) return;
    if (Tdbfuncs* config = dbfuncs()) config->savename();
}

bool Tzmain::getpassword() {
    if (rtl::Trim(state_.password).empty()) return true;
    // The prompt's own modal result does not count: only the verdict it leaves behind.
    ShowModal(FormSlot::getpasswordForm);
    return state_.passwordok;
}

TModalResult Tzmain::ShowModal(FormSlot slot) {
    auto* dialog = qobject_cast<QDialog*>(forms_.Form(slot));
    if (dialog == nullptr) return mrNone;
    return static_cast<TModalResult>(dialog->exec());
}

void Tzmain::AdminCommand(FormSlot form) {
    if (!getpassword()) return;
    ShowModal(form);
}

void Tzmain::RealTest(FormSlot screen) {
    state_.realmode = true;
    if (ShowModal(FormSlot::getnameform) == mrOk) ShowModal(screen);
}

void Tzmain::PracticeTest(FormSlot screen, bool askName) {
    state_.realmode = false;
    if (askName && ShowModal(FormSlot::getnameform) != mrOk) return;
    ShowModal(screen);
}

void Tzmain::Alphanumeric1Click() {
    AdminCommand(FormSlot::rewritean);
}

void Tzmain::numeric1Click() {
    AdminCommand(FormSlot::newnumerictestform);
}

void Tzmain::resultsbtnClick() {
    AdminCommand(FormSlot::resultsForm);
}

void Tzmain::Exit1Click() {
    close();
}

void Tzmain::kvColorButton1Click() {
    close();
}

void Tzmain::Real1Click() {
    RealTest(FormSlot::alphanumerictestform);
}

void Tzmain::Practise1Click() {
    PracticeTest(FormSlot::alphanumerictestform, false);
}

void Tzmain::Real2Click() {
    RealTest(FormSlot::numerictestform);
}

void Tzmain::Practice1Click() {
    PracticeTest(FormSlot::numerictestform, false);
}

void Tzmain::Realmode1Click() {
    RealTest(FormSlot::alphatestform);
}

void Tzmain::Practice2Click() {
    // Of the practice tests only alpha asks for the name.
    PracticeTest(FormSlot::alphatestform, true);
}

void Tzmain::Password1Click() {
    AdminCommand(FormSlot::passwordchangeform);
}

void Tzmain::Settings1Click() {
    const std::int32_t before = state_.scalefactor;
    if (!getpassword()) return;
    ShowModal(FormSlot::settingsform);
    if (state_.scalefactor != before) forms_.RescaleTestScreens(state_.scalefactor);
}

void Tzmain::Contents1Click() {
    services_.help.ShowTopic(kHelpContentsTopic);
}

void Tzmain::About1Click() {
    ShowModal(FormSlot::aboutform);
}

}  // namespace app
