#include "app/forms/resultsForm.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/controls/ColorButton.h"
#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "app/core/StoredResultReport.h"
#include "app/core/TableOpen.h"
#include "app/core/Texts.h"
#include "app/forms/Colors.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/SmallDialog.h"
#include "app/forms/printresultsform.h"
#include "app/forms/showitForm.h"
#include "db/widgets/DBGrid.h"
#include "db/widgets/DBMemoView.h"
#include "db/widgets/DBNavigator.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/Text.h"
#include "ui_resultsForm.h"

namespace app {

using db::widgets::ToBytes;
using db::widgets::ToQString;

namespace {

// A navigator's height: one row of buttons, as a data navigator is drawn by default.
constexpr int kNavigatorHeight = 25;

// The grid's columns, in the order of the column titles: the field and, for a float, the mask it is shown
// with (the list report's), its stored value kept.
struct GridColumn {
    const char* field;
    std::string_view mask;
};
constexpr std::array<GridColumn, 11> kGridFields = {{{"NAME", ""},
                                                     {"KPH", kRateMask},
                                                     {"NKPH", kRateMask},
                                                     {"ACCURACY", kAccuracyMask},
                                                     {"TOTALKS", ""},
                                                     {"TOTALFLDS", ""},
                                                     {"TOTERRS", ""},
                                                     {"FLDERRS", ""},
                                                     {"TIME", kDurationMask},
                                                     {"TESTTYPE", ""},
                                                     {"TESTDATE", ""}}};

QFont PanelFont(const QFont& base) {
    QFont font = base;
    font.setFamily(QString::fromLatin1(kFormFontFamily));
    font.setBold(true);
    font.setItalic(true);
    return font;
}

}  // namespace

TresultsForm::TresultsForm(AppState& state, MessageService& messages, FormRegistry& forms, QWidget* parent)
    : TForm(parent), ui_(std::make_unique<Ui::TresultsForm>()), state_(state), messages_(messages), forms_(forms) {
    ui_->setupUi(this);
    resultsdb.SetLockRetryCount(kLockRetryCount);
    resultsdb.SetLockWaitTime(kLockWaitMs);
    DataSource1.SetDataSet(&resultsdb);
    SetTexts();
    SetLook();
    Bind();
    SetHelpContext(kResultsHelpContext);
    SetMaximised(true);
    const auto click = [this](controls::TkvColorButton* button, void (TresultsForm::*handler)()) {
        connect(button, &controls::TkvColorButton::clicked, this,
                [this, handler] { db::widgets::Guarded([this, handler] { (this->*handler)(); }); });
    };
    click(ui_->closebtn, &TresultsForm::closebtnClick);
    click(ui_->kvColorButton2, &TresultsForm::kvColorButton2Click);
    click(ui_->kvColorButton3, &TresultsForm::kvColorButton3Click);
    click(ui_->kvColorButton4, &TresultsForm::kvColorButton4Click);
    click(ui_->viewbtn, &TresultsForm::viewbtnClick);
    ConnectActivated(*ui_->ComboBox1, [this] { ComboBox1Change(); });
    ConnectActivated(*ui_->ComboBox2, [this] { ComboBox2Change(); });
}

TresultsForm::~TresultsForm() {
    // The controls go before the table they show.
    DataSource1.SetDataSet(nullptr);
}

void TresultsForm::SetTexts() {
    setWindowTitle(ToQString(kResultsCaption));
    const struct {
        controls::TkvColorButton* button;
        std::string_view caption;
        std::string_view hint;
    } buttons[] = {
        {ui_->closebtn, kCloseButton, kCloseButtonHint},
        {ui_->kvColorButton2, kPrintButton, kPrintButtonHint},
        {ui_->kvColorButton3, kPrintAllButton, kPrintAllButtonHint},
        {ui_->kvColorButton4, kDeleteAllButton, kDeleteAllButtonHint},
        {ui_->viewbtn, kHideErrors, kViewButtonHint},
    };
    for (const auto& b : buttons) {
        b.button->SetCaption({ToQString(b.caption)});
        b.button->setToolTip(ToQString(b.hint));
    }
    ui_->Label1->setText(ToQString(kSortByLabel));
    ui_->Label2->setText(ToQString(kFilterLabel));
    for (std::string_view item : kSortItems) ui_->ComboBox1->addItem(ToQString(item));
    for (std::string_view item : kFilterItems) ui_->ComboBox2->addItem(ToQString(item));
    // Nothing is chosen until the main window presets a choice.
    ui_->ComboBox1->setCurrentIndex(-1);
    ui_->ComboBox2->setCurrentIndex(-1);
}

void TresultsForm::SetLook() {
    SetFormFont(*this);
    SetBackgroundColor(*ui_->Panel1, kTeal);
    SetTextColor(*ui_->Label1, kYellow);
    SetTextColor(*ui_->Label2, kYellow);
    for (controls::TkvColorButton* button :
         {ui_->closebtn, ui_->kvColorButton2, ui_->kvColorButton3, ui_->kvColorButton4, ui_->viewbtn}) {
        button->SetColor(kTeal);
        button->SetFontColor(kYellow);
        button->setFont(PanelFont(button->font()));
    }
    db::widgets::TDBGrid& grid = *ui_->DBGrid1;
    grid.SetColor(controls::ColorFromBgr(kBackgroundColor));
    grid.SetFixedColor(controls::ColorFromBgr(kTeal));
    QFont titles = grid.font();
    titles.setFamily(QString::fromLatin1(kFormFontFamily));
    grid.SetTitleFont(titles);
    grid.SetTitleFontColor(controls::ColorFromBgr(kYellow));
    SetBackgroundColor(*ui_->DBRichEdit1, kBackgroundColor);
    ui_->DBRichEdit1->setReadOnly(true);
    // The navigator keeps its row of buttons at their height; the panel's spare room goes to the spacer.
    ui_->DBNavigator2->setFixedHeight(kNavigatorHeight);
}

void TresultsForm::Bind() {
    std::vector<db::widgets::TDBGridColumn> columns;
    for (std::size_t i = 0; i < kGridFields.size(); ++i) {
        columns.push_back({kGridFields[i].field, ToQString(kResultsColumnTitles[i]), std::nullopt,
                           std::string(kGridFields[i].mask)});
    }
    ui_->DBGrid1->SetColumns(std::move(columns));
    ui_->DBGrid1->SetDataSource(&DataSource1);
    ui_->DBRichEdit1->SetDataField("ERRORS");
    ui_->DBRichEdit1->SetDataSource(&DataSource1);
    ui_->DBNavigator2->SetDataSource(&DataSource1);
}

void TresultsForm::PresetChoices(std::int32_t sort) {
    if (sort >= 0 && sort < static_cast<std::int32_t>(kSortItems.size())) ui_->ComboBox1->setCurrentIndex(sort);
    ui_->ComboBox2->setCurrentIndex(0);
    resultsdb.SetIndexName(ToBytes(ui_->ComboBox1->currentText()));
}

void TresultsForm::FormShow() {
    try {
        resultsdb.Close();
        resultsdb.SetTableName(state_.progdir + std::string(kResultsTable));
        OpenTable(resultsdb);
    } catch (...) {
        // An empty window over no table would only puzzle: it closes with the message.
        CloseAfterFailedShow(std::current_exception());
    }
}

void TresultsForm::FormClose() {
    resultsdb.Close();
}

void TresultsForm::closebtnClick() {
    SetModalResult(mrCancel);
}

void TresultsForm::ComboBox1Change() {
    resultsdb.SetIndexName(rtl::AnsiUpperCase(ToBytes(ui_->ComboBox1->currentText())));
}

void TresultsForm::ComboBox2Change() {
    if (ui_->ComboBox2->currentIndex() == 0) {
        resultsdb.SetFiltered(false);
        return;
    }
    resultsdb.SetFilter(std::string(kFilterOpen) + rtl::AnsiLowerCase(ToBytes(ui_->ComboBox2->currentText())) +
                        std::string(kFilterClose));
    resultsdb.SetFiltered(true);
}

void TresultsForm::viewbtnClick() {
    const bool show = ui_->viewbtn->Caption().join(QLatin1Char(' ')) == ToQString(kViewErrors);
    ui_->viewbtn->SetCaption({ToQString(show ? kHideErrors : kViewErrors)});
    ui_->DBRichEdit1->setVisible(show);
}

void TresultsForm::kvColorButton2Click() {
    // Eof also holds on the last record after a move past it, which stays on display: only an empty view
    // has nothing to print.
    if (!resultsdb.Active() || resultsdb.IsEmpty()) return;
    auto* showit = forms_.Get<TshowitForm>(FormSlot::showitForm);
    if (showit == nullptr) return;
    showit->SetLines(StoredResultLines(resultsdb));
    showit->exec();
}

void TresultsForm::kvColorButton3Click() {
    if (auto* list = forms_.Get<Tprintresultsform>(FormSlot::printresultsform)) list->Preview();
}

void TresultsForm::kvColorButton4Click() {
    if (!messages_.Confirm(kDeleteAllQuestion)) return;
    try {
        resultsdb.Close();
        resultsdb.SetExclusive(true);
        resultsdb.Open();
        resultsdb.EmptyTable();
        resultsdb.Close();
        resultsdb.SetExclusive(false);
        resultsdb.Open();
    } catch (...) {
        // Another copy of the program has the table open. Left closed, the table is read afresh at the
        // next opening.
        resultsdb.Close();
        resultsdb.SetExclusive(false);
        messages_.ShowError(kNoExclusiveTable);
        SetModalResult(mrCancel);
    }
}

db::widgets::TDBGrid& TresultsForm::DBGrid1() const {
    return *ui_->DBGrid1;
}

db::widgets::TDBMemoView& TresultsForm::DBRichEdit1() const {
    return *ui_->DBRichEdit1;
}

db::widgets::TDBNavigator& TresultsForm::DBNavigator2() const {
    return *ui_->DBNavigator2;
}

QComboBox& TresultsForm::ComboBox1() const {
    return *ui_->ComboBox1;
}

QComboBox& TresultsForm::ComboBox2() const {
    return *ui_->ComboBox2;
}

controls::TkvColorButton& TresultsForm::Button(const char* name) const {
    auto* button = findChild<controls::TkvColorButton*>(QString::fromLatin1(name));
    if (button == nullptr) throw std::logic_error(std::string("the results window has no button ") + name);
    return *button;
}

}  // namespace app
