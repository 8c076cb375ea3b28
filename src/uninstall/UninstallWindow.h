// The uninstaller's one window: it asks, shows the progress, and ends with
// what it did. A dialog of the class message boxes have, so that it looks
// like the system's own and the keyboard works as in any dialog.
#pragma once

#include <windows.h>

#include <string>

#include "util/WinHandles.h"

namespace brik {

// Control ids: the buttons are the system's own ids.
constexpr int kUninstallBitmapId = 100;
constexpr int kUninstallTitleId = 101;
constexpr int kUninstallTextId = 102;
constexpr int kUninstallProgressId = 103;
constexpr int kUninstallListId = 104;

// How the window looks: the title's font description ("Face,size,colour,
// styles"; empty for ours), the character set of the install's language
// and the bitmap shown at the left (empty or unreadable: none).
struct TUninstallLook {
    std::string titleFont;
    BYTE charset = DEFAULT_CHARSET;
    std::string bitmapPath;
};

class TUninstallWindow {
public:
    TUninstallWindow() = default;
    ~TUninstallWindow();
    TUninstallWindow(const TUninstallWindow&) = delete;
    TUninstallWindow& operator=(const TUninstallWindow&) = delete;

    // Creates the window (hidden until the first question or step).
    bool Create(const TUninstallLook& look, const std::string& caption, const std::string& title);
    HWND Window() const { return window_; }

    // Asks text with the two buttons; true for Yes. Closing the window is No.
    bool Ask(const std::string& text, const std::string& yes, const std::string& no);
    // The progress: text over the bar; the bar at done of total.
    void Progress(const std::string& text, size_t done, size_t total);
    // The end: text, the lines below it when there are any, and the one
    // button; returns once the user has closed the window.
    void Finish(const std::string& text, const std::string& lines, const std::string& ok);

    // Public for the dialog procedure.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Layout();
    void ShowButtons(bool question);
    void GrowList();
    void WaitForAnswer();
    void DrawBar(const DRAWITEMSTRUCT& item) const;

    HWND window_ = nullptr;
    TScopedBitmap bitmap_;
    TScopedFont titleFont_;
    TScopedFont textFont_;
    COLORREF titleColour_ = 0;
    size_t done_ = 0;
    size_t total_ = 0;
    int answer_ = 0;
};

}  // namespace brik
