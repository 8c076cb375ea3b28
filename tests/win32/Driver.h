// Drives the windows of another process for end-to-end tests: finds
// top-level windows, reads and sets control texts, clicks buttons and waits
// for windows and processes to go away.
//
// Every call is bounded in time: a target that hangs or never shows the
// expected window makes the call throw DriverError with a message that says
// what was awaited, instead of hanging the test.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace brik::driver {

class DriverError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What a test names a top-level window by. Empty fields match anything;
// the title compares exactly, the class without regard to case (dialogs and
// message boxes are "#32770"). processId 0 means any process.
struct WindowQuery {
  std::string title;
  std::string className;
  DWORD processId = 0;
};

struct ControlInfo {
  HWND hwnd = nullptr;
  int id = 0;
  std::string className;
  std::string text;
};

// How long one message to the target may take before it counts as hung.
inline constexpr DWORD kMessageTimeoutMs = 5000;

// Visible top-level windows that match, in z-order.
std::vector<HWND> FindWindows(const WindowQuery& query);

// Polls until a visible top-level window matches; throws on timeout.
HWND WaitWindow(const WindowQuery& query, DWORD timeoutMs);

// Polls until hwnd no longer exists or is hidden; throws on timeout.
void WaitWindowGone(HWND hwnd, DWORD timeoutMs);

// The control with this id among hwnd's descendants. Ids compare on their
// low 16 bits, so -1 and 65535 (0xFFFF, a message box's text) are the same.
HWND FindControl(HWND hwnd, int id);

std::string GetText(HWND hwnd);
void SetText(HWND hwnd, const std::string& text);
std::string GetControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);

// Clicks a button as the user would, without waiting for the target to
// react: the click may open a modal window, which would block a sent
// message until that window closes. Fails when the button is disabled or
// hidden, as a user could not click it either.
void ClickButton(HWND dialog, int id);

// hwnd's descendants with their ids, classes and texts, in z-order.
std::vector<ControlInfo> ListControls(HWND hwnd);

std::string WindowTitle(HWND hwnd);
std::string WindowClass(HWND hwnd);

// Waits for a process to end and returns its exit code; throws on timeout or
// when the process cannot be opened (for example because it already ended).
DWORD WaitProcess(DWORD processId, DWORD timeoutMs);
DWORD WaitProcess(HANDLE process, DWORD timeoutMs);

// A handle to wait on; holding it keeps the exit code readable after the
// process ends. The caller closes it.
HANDLE OpenProcessForWait(DWORD processId);

// Starts a program; the caller closes the returned handles.
PROCESS_INFORMATION StartProcess(const std::string& program, const std::vector<std::string>& args);

// Quotes one argument the way the C runtime's command-line parser reads it.
std::string QuoteArgument(const std::string& arg);

}  // namespace brik::driver
