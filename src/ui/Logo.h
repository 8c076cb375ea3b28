// The optional start-up logo: "logo.bmp" beside the setup program, centred in
// the work area while the package is opened and unpacked, and kept up for at
// least one second.
#pragma once

#include <windows.h>

#include <string>

namespace brik {

// Shows "logo.bmp" from the folder of the running executable, if it loads.
// Call once the background window exists (UiState().mainWindow).
void ShowLogo();
// The same with the bitmap file given; false when it does not load.
bool ShowLogoFile(const std::string& path);
// Removes the logo, at the earliest one second after it was shown,
// dispatching messages while it waits; frees the bitmap. Nothing happens
// without a logo. A run that ends on a fault removes it at once
// (keepMinimum false): dispatching messages then could run code of a state
// that is already broken.
void HideLogo(bool keepMinimum = true);
// The logo window's screen rectangle while it exists; false without a logo.
// The init window places itself below it.
bool GetLogoRect(RECT& rect);

}  // namespace brik
