// The link control: a window of class "BKUrlLink" that shows one line of
// grey text and, when its text carries an address ("Caption|address"),
// acts as a hyperlink: blue and underlined under the mouse, a hand cursor,
// and a click that opens the address with the shell.
//
// Dialogs place it by class name in their resources, for example
//   CONTROL "", 152, "BKUrlLink", WS_CHILD | WS_VISIBLE, 7, 180, 60, 10
// and set its text with SetDlgItemTextA; the control sizes its own width
// to the caption on every paint (the height stays as the dialog made it).
// The class must be registered (RegisterUrlLinkClass) before the first such
// dialog is created.
#pragma once

#include <windows.h>

#include <string>

namespace brik {

inline constexpr const char* kUrlLinkClassName = "BKUrlLink";

// Registers the class with the program's instance and loads the hand
// cursor "CUR_HAND" from the program's resources. A second call finds the
// class already there and does nothing. On failure shows the error "Cannot
// register url link window class!" and returns false; the setup goes on,
// and dialogs using the class then fail to be created.
bool RegisterUrlLinkClass();

// What a click hands its address to. Only addresses IsOpenableAddress
// accepts ever reach it. The default asks the shell to open the address;
// tests put a recorder in its place.
using UrlOpener = bool (*)(const std::string& address);
// Installs opener (null: the default) and returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

// The class's window procedure and paint routine.
LRESULT CALLBACK UrlLinkWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PaintUrlLink(HWND hwnd);

}  // namespace brik
