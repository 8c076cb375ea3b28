// brikdrive: the window driver as a command so that shell scripts can drive
// a program running under Wine. One subcommand per call; failures and
// timeouts print a message to stderr and exit with a non-zero code.

#include "Driver.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace brik::driver;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr double kDefaultTimeoutSeconds = 30.0;

const char kUsage[] =
    "usage: brikdrive COMMAND ...\n"
    "  wait-window [--title T] [--class C] [--pid P] [--timeout S]\n"
    "                              wait for a visible top-level window; prints its HWND\n"
    "  get-text HWND [ID]          print the text of a window or of its control ID\n"
    "  set-text HWND ID TEXT       set the text of control ID\n"
    "  click HWND ID               click button ID\n"
    "  list HWND                   print the controls: id, class, HWND, text (tab-separated)\n"
    "  state HWND ID               print \"visible|hidden enabled|disabled checked|unchecked\"\n"
    "                              of control ID\n"
    "  rect HWND [ID]              print the screen rectangle of a window or of its control ID\n"
    "                              (of the client area for a control): left top right bottom\n"
    "  command HWND ID             post the command ID (2: the Escape key)\n"
    "  press HWND ID               click button ID as the user does: the button tells its\n"
    "                              parent itself (a window hook sees it); returns when it\n"
    "                              has answered or, for a click that opens a modal window,\n"
    "                              after 2 s\n"
    "  check HWND ID               click a check box or radio button, so that it changes state\n"
    "  items HWND ID               print the items of list box ID, one a line\n"
    "  select HWND ID INDEX        select item INDEX of list box ID, notifying the dialog\n"
    "  close HWND                  post the close-box command (SC_CLOSE)\n"
    "  wait-gone HWND [--timeout S]\n"
    "                              wait until the window is closed or hidden\n"
    "  style HWND                  print the window's style, extended style and class style\n"
    "                              (hexadecimal, one line)\n"
    "  client-rect HWND            print the client area in screen coordinates:\n"
    "                              left top right bottom\n"
    "  send HWND MSG WPARAM LPARAM send a message without pointers (as a keystroke or a\n"
    "                              system command would arrive) and print its result\n"
    "  start PROGRAM [ARGS...]     start a program; prints its process id\n"
    "  run-line COMMAND-LINE       start a command line as it stands (as Windows starts a\n"
    "                              registered command); prints the process id\n"
    "  wait-process PID [--timeout S]\n"
    "                              wait for a process to end; prints its exit code\n"
    "HWND is hexadecimal (as printed), ID and PID decimal or 0x-hexadecimal,\n"
    "S seconds (default 30).\n";

class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

unsigned long ParseUnsigned(const char* text, int base, const char* what) {
  errno = 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, base);
  if (*text == '\0' || *end != '\0' || errno != 0 || *text == '-') {
    throw UsageError(std::string("bad ") + what + ": \"" + text + "\"");
  }
  return value;
}

HWND ParseHwnd(const char* text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(ParseUnsigned(text, 16, "window handle")));
}

int ParseId(const char* text) {
  if (std::strcmp(text, "-1") == 0) return -1;
  unsigned long id = ParseUnsigned(text, 0, "control id");
  if (id > 0xFFFF) throw UsageError(std::string("control id out of range: \"") + text + "\"");
  return static_cast<int>(id);
}

DWORD ParseTimeout(const char* text) {
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || !(seconds >= 0.0) || seconds > 86400.0) {
    throw UsageError(std::string("bad timeout: \"") + text + "\" (seconds expected)");
  }
  return static_cast<DWORD>(seconds * 1000.0);
}

std::string HexHandle(HWND hwnd) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
  return buf;
}

// Keeps each control on one output line.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

// Positional arguments and --name value options of one subcommand.
struct Args {
  std::vector<const char*> positional;
  std::string title, className;
  bool hasTitle = false, hasClass = false, hasPid = false;
  DWORD pid = 0;
  DWORD timeoutMs = static_cast<DWORD>(kDefaultTimeoutSeconds * 1000.0);
};

Args ParseArgs(int argc, char** argv, int first, bool windowOptions) {
  Args a;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--timeout") {
      a.timeoutMs = ParseTimeout(value());
    } else if (windowOptions && arg == "--title") {
      a.title = value();
      a.hasTitle = true;
    } else if (windowOptions && arg == "--class") {
      a.className = value();
      a.hasClass = true;
    } else if (windowOptions && arg == "--pid") {
      a.pid = static_cast<DWORD>(ParseUnsigned(value(), 0, "process id"));
      a.hasPid = true;
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      throw UsageError("unknown option " + arg);
    } else {
      a.positional.push_back(argv[i]);
    }
  }
  return a;
}

void ExpectPositional(const Args& a, size_t min, size_t max, const char* command) {
  if (a.positional.size() < min || a.positional.size() > max) {
    throw UsageError(std::string("wrong number of arguments for ") + command);
  }
}

int Run(int argc, char** argv) {
  if (argc < 2) throw UsageError("no command given");
  const std::string command = argv[1];

  if (command == "wait-window") {
    Args a = ParseArgs(argc, argv, 2, true);
    ExpectPositional(a, 0, 0, "wait-window");
    if (!a.hasTitle && !a.hasClass) throw UsageError("wait-window needs --title or --class");
    HWND hwnd = WaitWindow(WindowQuery{a.title, a.className, a.pid}, a.timeoutMs);
    std::printf("%s\n", HexHandle(hwnd).c_str());
    return 0;
  }
  if (command == "get-text") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 2, "get-text");
    HWND hwnd = ParseHwnd(a.positional[0]);
    std::string text =
        a.positional.size() == 2 ? GetControlText(hwnd, ParseId(a.positional[1])) : GetText(hwnd);
    std::printf("%s\n", text.c_str());
    return 0;
  }
  if (command == "set-text") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 3, 3, "set-text");
    SetControlText(ParseHwnd(a.positional[0]), ParseId(a.positional[1]), a.positional[2]);
    return 0;
  }
  if (command == "click") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 2, 2, "click");
    ClickButton(ParseHwnd(a.positional[0]), ParseId(a.positional[1]));
    return 0;
  }
  if (command == "list") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 1, "list");
    HWND hwnd = ParseHwnd(a.positional[0]);
    for (const ControlInfo& c : ListControls(hwnd)) {
      std::printf("%d\t%s\t%s\t%s\n", c.id, c.className.c_str(), HexHandle(c.hwnd).c_str(),
                  Escape(c.text).c_str());
    }
    return 0;
  }
  if (command == "state") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 2, 2, "state");
    HWND control = FindControl(ParseHwnd(a.positional[0]), ParseId(a.positional[1]));
    DWORD_PTR check = 0;
    SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &check);
    std::printf("%s %s %s\n", IsWindowVisible(control) ? "visible" : "hidden",
                IsWindowEnabled(control) ? "enabled" : "disabled", check == BST_CHECKED ? "checked" : "unchecked");
    return 0;
  }
  if (command == "rect") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 2, "rect");
    HWND hwnd = ParseHwnd(a.positional[0]);
    RECT r{};
    if (a.positional.size() == 2) {
      HWND control = FindControl(hwnd, ParseId(a.positional[1]));
      GetClientRect(control, &r);
      MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
    } else if (!GetWindowRect(hwnd, &r)) {
      throw DriverError("no such window");
    }
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  if (command == "check") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 2, 2, "check");
    // Sent, not posted: the button changes its own state, which a posted
    // notification to the dialog would not do.
    HWND button = FindControl(ParseHwnd(a.positional[0]), ParseId(a.positional[1]));
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored))
      throw DriverError("the button did not answer");
    return 0;
  }
  if (command == "press") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 2, 2, "press");
    HWND button = FindControl(ParseHwnd(a.positional[0]), ParseId(a.positional[1]));
    if (!IsWindowEnabled(button) || !IsWindowVisible(button))
      throw DriverError("the button is disabled or hidden");
    // A click that opens a modal window answers only once that window has
    // closed: running out of time then is the normal case.
    DWORD_PTR ignored = 0;
    SetLastError(0);
    if (!SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) &&
        GetLastError() != ERROR_TIMEOUT && GetLastError() != 0)
      throw DriverError("the button did not take the click (" + std::to_string(GetLastError()) + ")");
    return 0;
  }
  if (command == "items" || command == "select") {
    Args a = ParseArgs(argc, argv, 2, false);
    const bool select = command == "select";
    ExpectPositional(a, select ? 3 : 2, select ? 3 : 2, command.c_str());
    HWND dialog = ParseHwnd(a.positional[0]);
    const int id = ParseId(a.positional[1]);
    HWND list = FindControl(dialog, id);
    DWORD_PTR result = 0;
    if (select) {
      const auto index = static_cast<WPARAM>(ParseUnsigned(a.positional[2], 10, "item index"));
      if (!SendMessageTimeoutA(list, LB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result) ||
          static_cast<LRESULT>(result) == LB_ERR)
        throw DriverError("no such item");
      // A selection made by a program is not notified: the user's would be.
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
      return 0;
    }
    if (!SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result))
      throw DriverError("the list box did not answer");
    const auto count = static_cast<LRESULT>(result);
    for (LRESULT i = 0; i < count; ++i) {
      // Wide: the system marshals the item text across processes as
      // Unicode, and an ANSI request gets it unconverted.
      wchar_t item[1024] = {};
      DWORD_PTR length = 0;
      if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                               &length) ||
          length >= sizeof item / sizeof item[0])
        throw DriverError("cannot read item " + std::to_string(i));
      SendMessageTimeoutW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG,
                          kMessageTimeoutMs, &length);
      char text[4096] = {};
      WideCharToMultiByte(CP_ACP, 0, item, -1, text, sizeof text, nullptr, nullptr);
      std::printf("%s\n", text);
    }
    return 0;
  }
  if (command == "command" || command == "close") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, command == "close" ? 1 : 2, command == "close" ? 1 : 2, command.c_str());
    HWND hwnd = ParseHwnd(a.positional[0]);
    // Posted: the target may answer with a modal window.
    const BOOL posted = command == "close"
                            ? PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0)
                            : PostMessageA(hwnd, WM_COMMAND, static_cast<WPARAM>(ParseId(a.positional[1])), 0);
    if (!posted) throw DriverError("cannot post to the window");
    return 0;
  }
  if (command == "wait-gone") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 1, "wait-gone");
    WaitWindowGone(ParseHwnd(a.positional[0]), a.timeoutMs);
    return 0;
  }
  if (command == "style") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 1, "style");
    HWND hwnd = ParseHwnd(a.positional[0]);
    if (!IsWindow(hwnd)) throw DriverError("no window " + HexHandle(hwnd));
    std::printf("style=0x%08lX exstyle=0x%08lX class=0x%08lX\n",
                static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_EXSTYLE)),
                static_cast<unsigned long>(GetClassLongA(hwnd, GCL_STYLE)));
    return 0;
  }
  if (command == "client-rect") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 1, "client-rect");
    HWND hwnd = ParseHwnd(a.positional[0]);
    RECT r;
    if (!GetClientRect(hwnd, &r)) throw DriverError("no window " + HexHandle(hwnd));
    POINT corner{0, 0};
    ClientToScreen(hwnd, &corner);
    std::printf("%ld %ld %ld %ld\n", static_cast<long>(corner.x), static_cast<long>(corner.y),
                static_cast<long>(corner.x + r.right), static_cast<long>(corner.y + r.bottom));
    return 0;
  }
  if (command == "send") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 4, 4, "send");
    HWND hwnd = ParseHwnd(a.positional[0]);
    const auto message = static_cast<UINT>(ParseUnsigned(a.positional[1], 0, "message"));
    const auto wParam = static_cast<WPARAM>(ParseUnsigned(a.positional[2], 0, "wParam"));
    const auto lParam = static_cast<LPARAM>(ParseUnsigned(a.positional[3], 0, "lParam"));
    // Messages that carry pointers would hand the target addresses of ours.
    if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_COPYDATA)
      throw UsageError("send takes no message that carries a pointer");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result))
      throw DriverError("window " + HexHandle(hwnd) + " did not answer message " + std::to_string(message));
    std::printf("%lu\n", static_cast<unsigned long>(result));
    return 0;
  }
  if (command == "start") {
    // Everything after the program belongs to it, options included.
    if (argc < 3) throw UsageError("start needs a program");
    std::vector<std::string> args(argv + 3, argv + argc);
    PROCESS_INFORMATION pi = StartProcess(argv[2], args);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
    return 0;
  }
  if (command == "run-line") {
    if (argc != 3) throw UsageError("run-line needs one command line");
    std::string line = argv[2];
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // No application name: the system splits the line itself, as it does a
    // command from the registry.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      throw DriverError("cannot start " + line + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
    return 0;
  }
  if (command == "wait-process") {
    Args a = ParseArgs(argc, argv, 2, false);
    ExpectPositional(a, 1, 1, "wait-process");
    DWORD pid = static_cast<DWORD>(ParseUnsigned(a.positional[0], 0, "process id"));
    HANDLE process = OpenProcessForWait(pid);
    // Tells a script running us in the background that the process is held,
    // so its exit code can no longer get lost.
    std::fprintf(stderr, "brikdrive: waiting for process %lu\n", static_cast<unsigned long>(pid));
    std::fflush(stderr);
    DWORD code = 0;
    try {
      code = WaitProcess(process, a.timeoutMs);
    } catch (const DriverError& e) {
      CloseHandle(process);
      throw DriverError("process " + std::to_string(pid) + ": " + e.what());
    }
    CloseHandle(process);
    std::printf("%lu\n", static_cast<unsigned long>(code));
    return 0;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  // Text mode would turn every "\n" into CR LF, which scripts then compare.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    int rc = Run(argc, argv);
    std::fflush(stdout);
    return rc;
  } catch (const UsageError& e) {
    std::fprintf(stderr, "brikdrive: %s\n%s", e.what(), kUsage);
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brikdrive: %s\n", e.what());
    return kExitFailure;
  }
}
