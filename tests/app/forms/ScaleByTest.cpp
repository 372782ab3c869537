#include "app/forms/ScaleBy.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace app {
namespace {

// A form as its design makes it: 400 x 300, 10-point text, a fixed 80 x 20 child placed by hand and a
// label with a 12-point font of its own inside a laid-out panel.
struct DesignForm {
    DesignForm() {
        form.setObjectName("Design");
        QFont font = form.font();
        font.setPointSizeF(10);
        form.setFont(font);
        fixed = new QWidget(&form);
        fixed->setGeometry(20, 10, 80, 20);
        fixed->setFixedSize(80, 20);
        panel = new QWidget(&form);
        panel->setGeometry(0, 100, 200, 100);
        layout = new QVBoxLayout(panel);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->setSpacing(6);
        label = new QLabel(panel);
        QFont labelFont = label->font();
        labelFont.setPointSizeF(12);
        label->setFont(labelFont);
        layout->addWidget(label);
        form.resize(400, 300);
    }

    QWidget form;
    QWidget* fixed;
    QWidget* panel;
    QVBoxLayout* layout;
    QLabel* label;
};

TEST(ScaleByTest, ScalesTheFormItsFixedChildFontsAndLayoutsFromTheDesign) {
    const struct {
        int percent;
        QSize form;
        QRect fixed;
        double formPoints;
        double labelPoints;
        int margin;
        int spacing;
    } cases[] = {
        // Halves round away from zero: 20 x 0.9 = 18, 6 x 1.1 = 6.6 -> 7, 10 x 1.1 = 11.
        {90, {360, 270}, {18, 9, 72, 18}, 9.0, 10.8, 9, 5},
        {110, {440, 330}, {22, 11, 88, 22}, 11.0, 13.2, 11, 7},
        {120, {480, 360}, {24, 12, 96, 24}, 12.0, 14.4, 12, 7},
        {200, {800, 600}, {40, 20, 160, 40}, 20.0, 24.0, 20, 12},
    };
    for (const auto& c : cases) {
        DesignForm design;
        scaleBy(design.form, c.percent, 100);
        EXPECT_EQ(design.form.size(), c.form) << c.percent;
        EXPECT_EQ(design.fixed->geometry(), c.fixed) << c.percent;
        EXPECT_EQ(design.fixed->minimumSize(), c.fixed.size()) << c.percent;
        EXPECT_EQ(design.fixed->maximumSize(), c.fixed.size()) << c.percent;
        EXPECT_DOUBLE_EQ(design.form.font().pointSizeF(), c.formPoints) << c.percent;
        EXPECT_DOUBLE_EQ(design.label->font().pointSizeF(), c.labelPoints) << c.percent;
        EXPECT_EQ(design.layout->contentsMargins().left(), c.margin) << c.percent;
        EXPECT_EQ(design.layout->spacing(), c.spacing) << c.percent;
        EXPECT_TRUE(IsScaled(design.form));
    }
}

TEST(ScaleByTest, RoundsHalvesAwayFromZero) {
    QWidget form;
    form.resize(5, 15);  // 2.5 and 7.5
    scaleBy(form, 1, 2);
    EXPECT_EQ(form.size(), QSize(3, 8));
}

// A form takes a new factor by being made anew: at 110 after 120 it is 110 % of the design.
TEST(ScaleByTest, AFreshFormAfterAnotherFactorIsScaledFromTheDesign) {
    auto first = std::make_unique<DesignForm>();
    scaleBy(first->form, 120, 100);
    EXPECT_THROW(scaleBy(first->form, 110, 100), std::logic_error);
    EXPECT_EQ(first->form.size(), QSize(480, 360));
    first.reset();
    DesignForm second;
    scaleBy(second.form, 110, 100);
    EXPECT_EQ(second.form.size(), QSize(440, 330));
}

TEST(ScaleByTest, AFontWithoutItsOwnSizeFollowsItsParent) {
    DesignForm design;
    auto* bold = new QLabel(&design.form);
    QFont font;
    font.setBold(true);  // the weight only: the size comes from the form
    bold->setFont(font);
    scaleBy(design.form, 200, 100);
    EXPECT_DOUBLE_EQ(bold->font().pointSizeF(), 20.0);
}

TEST(ScaleByTest, RefusesABadDenominator) {
    QWidget form;
    EXPECT_THROW(scaleBy(form, 1, 0), std::invalid_argument);
}

}  // namespace
}  // namespace app
