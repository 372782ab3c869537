// The colours the program's windows are painted in, as 0x00BBGGRR values, and how a widget takes one.
#pragma once

#include "app/controls/BgrColor.h"

class QWidget;

namespace app {

// The main window's background, the results grid and error pane: a pale green.
inline constexpr controls::BgrColor kBackgroundColor = 0xC0DCC0;
// The focused position's source text on the test screens.
inline constexpr controls::BgrColor kNavy = 0x800000;
// The results window's button panel and the grid's fixed cells.
inline constexpr controls::BgrColor kTeal = 0x808000;
// The results grid's titles.
inline constexpr controls::BgrColor kYellow = 0x00FFFF;
inline constexpr controls::BgrColor kBlack = 0x000000;
// The generator's gauge.
inline constexpr controls::BgrColor kGaugeColor = kBlack;

// Fills the widget's background with the colour (its window and base roles).
void SetBackgroundColor(QWidget& widget, controls::BgrColor color);
// The colour of the widget's text (its window text and text roles).
void SetTextColor(QWidget& widget, controls::BgrColor color);

}  // namespace app
