// The full-screen background window behind the whole setup. It is created
// hidden and shown only when the settings ask for it; visible or not it owns
// the init window, the logo and the message boxes.
#pragma once

#include <windows.h>

namespace brik {

inline constexpr char kMainWindowClass[] = "BrikMainWindow";

// The window's styles: a caption with the system menu, and neither a
// minimise nor a maximise box. It can be neither minimised nor restored, and
// the system draws both boxes as soon as the style names one of them, the
// missing one greyed: a maximise box alone would still show a minimise
// button. It is shown maximised all the same (ShowWindow does not ask for
// the box).
inline constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

// Registers the class and creates the window, hidden, over the work area.
// Null on failure, after "Cannot register main window class!" when the class
// could not be registered.
//
// The background is drawn from the run's display settings and static
// bitmaps, the gradient colours of the settings file and the MainTitle
// variable. Other windows of the class (the logo) pass through the class
// procedure only while they are created: they never reach the background's
// state.
HWND CreateMainWindow(HICON icon);

}  // namespace brik
