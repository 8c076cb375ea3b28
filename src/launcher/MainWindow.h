// The full-screen background window behind the whole setup. It is created
// hidden and shown only when the settings ask for it; visible or not it owns
// the init window, the logo and the message boxes.
#pragma once

#include <windows.h>

namespace brik {

inline constexpr char kMainWindowClass[] = "BrikMainWindow";

// Registers the class and creates the window, hidden, over the work area.
// Null on failure, after "Cannot register main window class!" when the class
// could not be registered.
HWND CreateMainWindow(HICON icon);

}  // namespace brik
