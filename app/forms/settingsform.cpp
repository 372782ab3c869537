#include "app/forms/settingsform.h"

#include <string>

#include "app/core/AppState.h"
#include "app/core/dbfuncs.h"
#include "app/core/MessageService.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "db/Field.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "ui_settingsform.h"

namespace app {

using db::widgets::Guarded;
using db::widgets::ToQString;

Tsettingsform::Tsettingsform(AppState& state, MessageService& messages, std::function<void()> getconfig,
                             QWidget* parent)
    : TForm(parent),
      ui_(std::make_unique<Ui::Tsettingsform>()),
      state_(state),
      messages_(messages),
      getconfig_(std::move(getconfig)) {
    ui_->setupUi(this);
    ConfigureConfigTable(configdb);
    DataSource1.SetDataSet(&configdb);
    SetTexts();
    Bind();
    SetHelpContext(kSettingsHelpContext);
    SetCentred(true);
    SetFixedBorder(true);
    SetNoSystemButtons();
    // A click on a button must not take the focus: leaving an edit would run its check first, and Cancel
    // discards the value anyway; Save runs the checks itself.
    ui_->Button1->setFocusPolicy(Qt::TabFocus);
    ui_->Button2->setFocusPolicy(Qt::TabFocus);
    connect(ui_->DBEdit1, &db::widgets::TDBEdit::exited, this,
            [this] { Guarded([this] { CheckMaximum(*ui_->DBEdit1, "realtime"); }); });
    connect(ui_->DBEdit2, &db::widgets::TDBEdit::exited, this,
            [this] { Guarded([this] { CheckMaximum(*ui_->DBEdit2, "practicetime"); }); });
    ConnectModalButton(*ui_->Button1, mrOk, [this] { Save(); });
    ConnectModalButton(*ui_->Button2, mrCancel, [this] { configdb.Cancel(); });
}

Tsettingsform::~Tsettingsform() = default;

void Tsettingsform::SetTexts() {
    const auto texts = [](QWidget& widget, std::string_view text, std::string_view hint) {
        widget.setProperty("text", ToQString(text));
        widget.setToolTip(ToQString(hint));
    };
    setWindowTitle(ToQString(kSettingsCaption));
    ui_->GroupBox1->setTitle(ToQString(kTimeAllowedGroup));
    ui_->GroupBox2->setTitle(ToQString(kTestingOptionsGroup));
    ui_->GroupBox3->setTitle(ToQString(kShowResultsGroup));
    ui_->GroupBox4->setTitle(ToQString(kScalingGroup));
    ui_->Label1->setText(ToQString(kRealTimeLabel));
    ui_->Label2->setText(ToQString(kPracticeTimeLabel));
    ui_->Label3->setText(ToQString(kWidthLabel));
    ui_->Label4->setText(ToQString(kScaleLabel));
    ui_->Label5->setText(ToQString(kScalePercent));
    ui_->DBEdit1->setToolTip(ToQString(kRealTimeHint));
    ui_->DBEdit2->setToolTip(ToQString(kPracticeTimeHint));
    texts(*ui_->DBCheckBox1, kUseUppercase, kUseUppercaseHint);
    texts(*ui_->DBCheckBox2, kRememberName, kRememberNameHint);
    texts(*ui_->DBCheckBox3, kUseDecimal, kUseDecimalHint);
    texts(*ui_->DBCheckBox6, kAutoAdvance, kAutoAdvanceHint);
    texts(*ui_->DBCheckBox4, kPracticeResults, kPracticeResultsHint);
    texts(*ui_->DBCheckBox5, kRealResults, kRealResultsHint);
    ui_->DBComboBox1->setToolTip(ToQString(kWidthHint));
    ui_->DBComboBox2->setToolTip(ToQString(kScaleHint));
    for (std::string_view item : kWidthItems) ui_->DBComboBox1->addItem(ToQString(item));
    for (std::string_view item : kScaleItems) ui_->DBComboBox2->addItem(ToQString(item));
    texts(*ui_->Button1, kSaveButton, kSaveButtonHint);
    texts(*ui_->Button2, kCancelButton, kCancelButtonHint);
}

void Tsettingsform::Bind() {
    const struct {
        db::widgets::TFieldControl* control;
        const char* field;
    } bindings[] = {
        {ui_->DBEdit1, "realtime"},        {ui_->DBEdit2, "practicetime"},    {ui_->DBCheckBox1, "useuppercase"},
        {ui_->DBCheckBox2, "remembername"}, {ui_->DBCheckBox3, "usedecimal"},  {ui_->DBCheckBox6, "autoadvance"},
        {ui_->DBComboBox1, "width"},        {ui_->DBCheckBox4, "presults"},    {ui_->DBCheckBox5, "rresults"},
        {ui_->DBComboBox2, "scalefactor"},
    };
    for (const auto& binding : bindings) {
        binding.control->SetDataField(binding.field);
        binding.control->SetDataSource(&DataSource1);
    }
}

void Tsettingsform::FormShow() {
    configdb.Close();
    configdb.SetTableName(ConfigTablePath(state_));
    OpenTable(configdb);
}

void Tsettingsform::FormClose() {
    configdb.Close();
}

void Tsettingsform::CloseRequested() {
    configdb.Cancel();
    TForm::CloseRequested();
}

bool Tsettingsform::CheckMaximum(db::widgets::TDBEdit& edit, std::string_view field) {
    if (!configdb.Active() || configdb.FieldByName(field).AsInteger() <= kMaximumTestMinutes) return true;
    messages_.ShowError(std::string(kMaximumTimeIs) + std::to_string(kMaximumTestMinutes));
    edit.setFocus();
    return false;
}

void Tsettingsform::Save() {
    const db::TDataSetState state = DataSource1.State();
    if (state == db::dsEdit || state == db::dsInsert) {
        // The edits' pending text goes into the record first: Alt+S clicks without moving the focus, and
        // the limit must hold for what is posted, not only for what left an edit.
        configdb.UpdateRecord();
        if (!CheckMaximum(*ui_->DBEdit1, "realtime") || !CheckMaximum(*ui_->DBEdit2, "practicetime")) {
            SetModalResult(mrNone);
            return;
        }
        configdb.Post();
        configdb.Close();
        if (getconfig_) getconfig_();
    }
}

}  // namespace app
