// SmallDialog: the look and the OK and Cancel buttons that the program's small modal dialogs share.
#pragma once

class QPushButton;
class QWidget;

namespace app {

class TForm;

// The typeface of the program's windows.
inline constexpr char kFormFontFamily[] = "Arial";

// The widget's font in the program's typeface, its size kept.
void SetFormFont(QWidget& widget);

// Dialog border without system buttons, centred on the screen, fixed size, Arial.
void SetSmallDialogStyle(TForm& form);
// The standard OK and Cancel buttons: their captions, and Enter presses OK.
void SetOkCancelButtons(QPushButton& ok, QPushButton& cancel);

}  // namespace app
