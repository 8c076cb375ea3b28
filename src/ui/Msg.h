// Message boxes, the one-line text query, the status message window and the
// message pumping of the user-interface thread.
#pragma once

#include <windows.h>

#include <string>

namespace brik {

// The user interface's view of the run: what the launcher and the dialogs
// set and the routines of this module and of the logo read. The run owns it
// and binds it; user-interface thread only.
struct UiRunState {
    // The background window: owner of the logo and of the message window,
    // redrawn when the message window hides. Its class is the logo's class.
    HWND mainWindow = nullptr;
    // Its last active pop-up owns every message box: the dialog being shown,
    // otherwise the background window.
    HWND messageOwner = nullptr;
    // Message-box caption; empty until the first language is set, then a
    // copy of the program title. Empty: "Error", "Warning" or "Question".
    std::string captionName;
    // The dialog font as a logical font, for the message window (created
    // once, on its first use). An empty face name stands for "MS Sans Serif"
    // 8, regular.
    LOGFONTA dialogFont{};
    // Texts of the query's two buttons; the folder browser replaces them
    // before it asks for a new folder's name.
    std::string queryOkText = "OK";
    std::string queryCancelText = "Cancel";
};
// The bound state; before any binding (tests, tools) one of the module's own.
UiRunState& UiState();
// null: back to the module's own.
void BindUiState(UiRunState* state);

// MessageBoxA centred in the work area, task-modal, brought to the
// foreground; returns the pressed button's id (0 when the box failed).
int ShowMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT style);
// OK with the stop icon.
void ShowError(const std::string& text);
// OK with the exclamation icon.
void ShowWarning(const std::string& text);
// Yes and No with the question icon; returns IDYES or IDNO.
int AskQuestion(const std::string& text);

// Asks for one line of text in the dialog DLG_INPUTQUERYSTR, owned by owner
// (which may be null). True when the user pressed OK: value then holds the
// edited text (at most 1024 characters); otherwise value is unchanged.
bool AskString(HWND owner, const std::string& caption, const std::string& prompt,
               std::string& value);

// Shows the status window DLG_MESSAGE with text, or replaces the text of the
// shown one; it stays at least minimumMs from now once hidden. Created on
// first use, owned by the background window.
void ShowMessageWindow(const std::string& text, DWORD minimumMs);
// The next step's text in place of a shown one once that has been up for
// its own minimum time, without hiding the window in between; as
// ShowMessageWindow when none is shown.
void FollowMessageWindow(const std::string& text, DWORD minimumMs);
// Hides the status window once its minimum time has passed, dispatching
// messages meanwhile; nothing when it is not visible.
void HideMessageWindow();
// Destroys the status window and its font (at the end of the run).
void DestroyMessageWindow();
// The status window, or null before its first use.
HWND MessageWindow();

// Dispatches every waiting message of the thread's queue, then sleeps 1 ms.
// A WM_QUIT is taken off the queue and ends the call at once.
void PumpMessages();
// Pumps messages until spanMs have passed since startTick (GetTickCount).
void WaitPumping(DWORD startTick, DWORD spanMs);
// Centres the window in the work area, keeping it on the screen; size,
// Z order and activation stay as they are.
void CenterInWorkArea(HWND wnd);

}  // namespace brik
