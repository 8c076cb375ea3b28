#include "Driver.h"

#include <cstdio>

namespace brik::driver {
namespace {

// Short enough to keep a test quick, long enough not to busy the target.
constexpr DWORD kPollMs = 50;

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%08lX",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(p)));
  return buf;
}

std::string Describe(const WindowQuery& q) {
  std::string s;
  if (!q.title.empty()) s += "title \"" + q.title + "\"";
  if (!q.className.empty()) s += (s.empty() ? "" : ", ") + std::string("class \"") + q.className + "\"";
  if (q.processId != 0) s += (s.empty() ? "" : ", ") + std::string("process ") + std::to_string(q.processId);
  return s.empty() ? "any window" : s;
}

std::string Seconds(DWORD ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", ms / 1000.0);
  return buf;
}

bool Matches(HWND hwnd, const WindowQuery& q) {
  if (!IsWindowVisible(hwnd)) return false;
  if (q.processId != 0) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != q.processId) return false;
  }
  // GetWindowTextA does not send a message for another process's window, so
  // a hung window cannot stall the search.
  if (!q.title.empty() && WindowTitle(hwnd) != q.title) return false;
  if (!q.className.empty() && lstrcmpiA(WindowClass(hwnd).c_str(), q.className.c_str()) != 0)
    return false;
  return true;
}

struct FindState {
  const WindowQuery* query;
  std::vector<HWND>* found;
};

BOOL CALLBACK CollectMatching(HWND hwnd, LPARAM lParam) {
  auto* state = reinterpret_cast<FindState*>(lParam);
  if (Matches(hwnd, *state->query)) state->found->push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectAll(HWND hwnd, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Descendants(HWND hwnd) {
  std::vector<HWND> children;
  EnumChildWindows(hwnd, CollectAll, reinterpret_cast<LPARAM>(&children));
  return children;
}

void RequireWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) throw DriverError("window " + Hex(hwnd) + " does not exist");
}

std::string LastErrorText() {
  return "error " + std::to_string(GetLastError());
}

}  // namespace

std::string WindowTitle(HWND hwnd) {
  char buf[512];
  int n = GetWindowTextA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string WindowClass(HWND hwnd) {
  char buf[256];
  int n = GetClassNameA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::vector<HWND> FindWindows(const WindowQuery& query) {
  std::vector<HWND> found;
  FindState state{&query, &found};
  EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&state));
  return found;
}

HWND WaitWindow(const WindowQuery& query, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> found = FindWindows(query);
    if (!found.empty()) return found.front();
    if (GetTickCount() - start >= timeoutMs) break;
    Sleep(kPollMs);
  }
  std::string visible;
  for (HWND hwnd : FindWindows(WindowQuery{})) {
    visible += "\n  " + Hex(hwnd) + " class \"" + WindowClass(hwnd) + "\" title \"" + WindowTitle(hwnd) + "\"";
  }
  throw DriverError("timed out after " + Seconds(timeoutMs) + " waiting for a window with " +
                    Describe(query) + "; visible top-level windows:" +
                    (visible.empty() ? std::string(" none") : visible));
}

void WaitWindowGone(HWND hwnd, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
    if (GetTickCount() - start >= timeoutMs) {
      throw DriverError("timed out after " + Seconds(timeoutMs) + " waiting for window " + Hex(hwnd) +
                        " (\"" + WindowTitle(hwnd) + "\") to close");
    }
    Sleep(kPollMs);
  }
}

HWND FindControl(HWND hwnd, int id) {
  RequireWindow(hwnd);
  if (HWND direct = GetDlgItem(hwnd, id)) return direct;
  // Templates store ids in 16 bits: -1 there is 0xFFFF here, and nested
  // controls are not found by GetDlgItem.
  for (HWND child : Descendants(hwnd)) {
    if ((GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF)) return child;
  }
  throw DriverError("window " + Hex(hwnd) + " (\"" + WindowTitle(hwnd) + "\") has no control with id " +
                    std::to_string(id));
}

std::string GetText(HWND hwnd) {
  RequireWindow(hwnd);
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) {
    throw DriverError("window " + Hex(hwnd) + " did not answer WM_GETTEXTLENGTH within " +
                      Seconds(kMessageTimeoutMs) + " (" + LastErrorText() + ")");
  }
  // The length may be an overestimate (it counts bytes of a multibyte text);
  // the copy tells the real one.
  std::string text(static_cast<size_t>(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
    throw DriverError("window " + Hex(hwnd) + " did not answer WM_GETTEXT within " +
                      Seconds(kMessageTimeoutMs) + " (" + LastErrorText() + ")");
  }
  text.resize(copied < text.size() ? static_cast<size_t>(copied) : text.size() - 1);
  return text;
}

void SetText(HWND hwnd, const std::string& text) {
  RequireWindow(hwnd);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                           kMessageTimeoutMs, &result)) {
    throw DriverError("window " + Hex(hwnd) + " did not answer WM_SETTEXT within " +
                      Seconds(kMessageTimeoutMs) + " (" + LastErrorText() + ")");
  }
  if (result == FALSE) throw DriverError("window " + Hex(hwnd) + " refused the text");
}

std::string GetControlText(HWND dialog, int id) {
  return GetText(FindControl(dialog, id));
}

void SetControlText(HWND dialog, int id, const std::string& text) {
  SetText(FindControl(dialog, id), text);
}

void ClickButton(HWND dialog, int id) {
  HWND button = FindControl(dialog, id);
  if (!IsWindowEnabled(button))
    throw DriverError("control " + std::to_string(id) + " of window " + Hex(dialog) + " is disabled");
  if (!IsWindowVisible(button))
    throw DriverError("control " + std::to_string(id) + " of window " + Hex(dialog) + " is hidden");
  // The notification a button sends its parent when clicked, posted so that
  // a modal loop the click starts cannot block us. Posting BM_CLICK instead
  // would depend on the target's focus and mouse capture.
  HWND parent = GetParent(button);
  const auto wParam = static_cast<WPARAM>(MAKELONG(static_cast<WORD>(id & 0xFFFF), BN_CLICKED));
  if (!PostMessageA(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(button))) {
    throw DriverError("cannot post the click to window " + Hex(parent) + " (" + LastErrorText() + ")");
  }
}

std::vector<ControlInfo> ListControls(HWND hwnd) {
  RequireWindow(hwnd);
  std::vector<ControlInfo> controls;
  for (HWND child : Descendants(hwnd)) {
    ControlInfo info;
    info.hwnd = child;
    info.id = GetDlgCtrlID(child);
    info.className = WindowClass(child);
    info.text = GetText(child);
    controls.push_back(std::move(info));
  }
  return controls;
}

DWORD WaitProcess(HANDLE process, DWORD timeoutMs) {
  switch (WaitForSingleObject(process, timeoutMs)) {
    case WAIT_OBJECT_0:
      break;
    case WAIT_TIMEOUT:
      throw DriverError("timed out after " + Seconds(timeoutMs) + " waiting for the process to end");
    default:
      throw DriverError("cannot wait for the process (" + LastErrorText() + ")");
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) {
    throw DriverError("cannot read the process's exit code (" + LastErrorText() + ")");
  }
  return code;
}

HANDLE OpenProcessForWait(DWORD processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    throw DriverError("cannot open process " + std::to_string(processId) + " (" + LastErrorText() +
                      "); it may have ended already");
  }
  return process;
}

DWORD WaitProcess(DWORD processId, DWORD timeoutMs) {
  HANDLE process = OpenProcessForWait(processId);
  try {
    DWORD code = WaitProcess(process, timeoutMs);
    CloseHandle(process);
    return code;
  } catch (const DriverError& e) {
    CloseHandle(process);
    throw DriverError("process " + std::to_string(processId) + ": " + e.what());
  }
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only in front of a quote.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

PROCESS_INFORMATION StartProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string commandLine = QuoteArgument(program);
  for (const std::string& arg : args) commandLine += " " + QuoteArgument(arg);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    throw DriverError("cannot start \"" + program + "\" (" + LastErrorText() + ")");
  }
  return pi;
}

}  // namespace brik::driver
