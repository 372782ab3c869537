// WindowHints: what a window manager is told about a window's system buttons beyond Qt's window flags.
#pragma once

class QWidget;

namespace app {

// A top-level window whose title bar carries no system buttons: under X11 its Motif hints allow the window
// manager to move it and nothing else, and ask for a border and a title alone. Qt's own hints leave every
// function allowed when no button is wanted, and many window managers then draw minimise and maximise.
// Call it once the window exists (from its show event); nothing happens on other platforms.
void AllowMoveOnly(QWidget& window);

}  // namespace app
