// X11Display: the X11 display of the running application, for the few things Qt does not say to the server.
#pragma once

struct _XDisplay;

namespace app {

// nullptr on any other platform (offscreen, Wayland).
_XDisplay* X11Display();

}  // namespace app
