#include "db/widgets/DBNavigator.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>

#include <string_view>

#include "db/DataSet.h"
#include "db/DataSource.h"
#include "db/widgets/Confirm.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "db/widgets/WidgetTexts.h"

namespace db::widgets {

namespace {

// The glyphs are drawn on a square of this many pixels, the size of a small tool-bar icon.
constexpr int kGlyphSize = 16;

struct ButtonLook {
    const char* objectName;
    std::string_view hint;
};

constexpr ButtonLook kLooks[TDBNavigator::kButtonCount] = {
    {"nbFirst", kFirstRecordHint}, {"nbPrior", kPriorRecordHint},   {"nbNext", kNextRecordHint},
    {"nbLast", kLastRecordHint},   {"nbDelete", kDeleteRecordHint},
};

// A triangle pointing left or right and, for first and last, a bar at the end it points to; a bar across
// for delete. Drawn in the button text colour; QIcon greys it for disabled buttons.
QIcon Glyph(TDBNavigator::TNavigateBtn button, const QColor& color) {
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const QPolygon left({QPoint(11, 3), QPoint(11, 13), QPoint(5, 8)});
    const QPolygon right({QPoint(5, 3), QPoint(5, 13), QPoint(11, 8)});
    switch (button) {
        case TDBNavigator::nbFirst:
            painter.drawRect(3, 3, 2, 10);
            painter.drawPolygon(left.translated(1, 0));
            break;
        case TDBNavigator::nbPrior:
            painter.drawPolygon(left);
            break;
        case TDBNavigator::nbNext:
            painter.drawPolygon(right);
            break;
        case TDBNavigator::nbLast:
            painter.drawPolygon(right.translated(-1, 0));
            painter.drawRect(11, 3, 2, 10);
            break;
        case TDBNavigator::nbDelete:
            painter.drawRect(3, 7, 10, 2);
            break;
    }
    return QIcon(pixmap);
}

}  // namespace

void TNavigatorLink::ActiveChanged() {
    navigator_.UpdateButtons();
}

void TNavigatorLink::DataSetChanged() {
    navigator_.UpdateButtons();
}

void TNavigatorLink::EditingChanged() {
    navigator_.UpdateButtons();
}

void TNavigatorLink::RecordChanged(db::TField*) {
    navigator_.UpdateButtons();
}

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QColor glyphColor = palette().color(QPalette::ButtonText);
    for (int i = 0; i < kButtonCount; ++i) {
        const auto which = static_cast<TNavigateBtn>(i);
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(kLooks[i].objectName));
        button->setToolTip(ToQString(kLooks[i].hint));
        button->setIcon(Glyph(which, glyphColor));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        connect(button, &QToolButton::clicked, this, [this, which] { BtnClick(which); });
        layout->addWidget(button);
        buttons_[i] = button;
    }
    UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
    // Leaving may shrink the dataset's window, which reads records.
    Guarded([this] { link_.SetDataSource(nullptr); });
}

void TDBNavigator::SetDataSource(db::TDataSource* dataSource) {
    link_.SetDataSource(dataSource);
    UpdateButtons();
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
    Guarded([this, button] {
        db::TDataSet* dataSet = link_.DataSet();
        if (!link_.Active() || dataSet == nullptr) return;
        switch (button) {
            case nbFirst:
                dataSet->First();
                break;
            case nbPrior:
                dataSet->Prior();
                break;
            case nbNext:
                dataSet->Next();
                break;
            case nbLast:
                dataSet->Last();
                break;
            case nbDelete:
                ConfirmAndDelete(*dataSet);
                break;
        }
    });
}

void TDBNavigator::UpdateButtons() {
    db::TDataSet* dataSet = link_.DataSet();
    const bool active = link_.Active() && dataSet != nullptr;
    const bool atStart = !active || dataSet->Bof();
    const bool atEnd = !active || dataSet->Eof();
    buttons_[nbFirst]->setEnabled(!atStart);
    buttons_[nbPrior]->setEnabled(!atStart);
    buttons_[nbNext]->setEnabled(!atEnd);
    buttons_[nbLast]->setEnabled(!atEnd);
    buttons_[nbDelete]->setEnabled(active && !dataSet->IsEmpty() && dataSet->CanModify());
}

}  // namespace db::widgets
