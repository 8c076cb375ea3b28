// UnInst.exe: Windows starts it from the list of installed programs with the
// install log's path as its one argument.
#include <windows.h>

#include "uninstall/Uninstaller.h"
#include "util/Error.h"

namespace {

// A fault the uninstaller cannot go on from (no memory): say so and end;
// what was taken back so far stays taken back, and the log still names the
// rest.
[[noreturn]] void OnFatal(const char* message) {
    MessageBoxA(nullptr, message && *message ? message : "The uninstaller cannot go on.", "Uninstall",
                MB_OK | MB_ICONSTOP | MB_SETFOREGROUND | MB_TASKMODAL);
    ExitProcess(3);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    brik::SetFatalHandler(OnFatal);
    // Hard-error boxes of the system ("no disk in drive A:") would stop an
    // uninstall that meets a logged path on a removed drive.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    return brik::RunUninstaller(brik::ParseUninstallArguments(commandLine ? commandLine : ""));
}
