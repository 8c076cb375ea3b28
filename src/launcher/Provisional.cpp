// Stand-ins for operations of modules still to come; see Provisional.h.
#include "launcher/Provisional.h"

#include <shellapi.h>

#include <cstdlib>

#include "config/Common.h"
#include "config/kpIniFile.h"
#include "crypto/Password.h"
#include "launcher/Main.h"
#include "ui/Msg.h"
#include "ui/ShellRules.h"
#include "ui/kpShell.h"
#include "util/WinHandles.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

int RunProgram(const std::string& entryValue, bool wait, bool afterRestart) {
    const std::string program = WithoutSurroundingQuotes(FieldAt(1, entryValue, ","));
    const std::string parameters = FieldAt(2, entryValue, ",");
    const std::string directory = FieldAt(3, entryValue, ",");
    int show = SW_SHOWNORMAL;
    switch (ParseNumber(FieldAt(4, entryValue, ","), 1)) {
        case 0: show = SW_HIDE; break;
        case 2: show = SW_SHOWMAXIMIZED; break;
        case 3: show = SW_SHOWMINNOACTIVE; break;
        default: break;
    }
    const std::string message = WithoutSurroundingQuotes(FieldAt(5, entryValue, ","));
    const bool isFolder = platform::DirectoryExists(program);

    if (afterRestart && InstallState().RebootPending && !isFolder) {
        const std::string command = ProgramCommandLine(program, parameters);
        for (const char* root : {"HKLM", "HKCU"}) {
            const std::string key = std::string(root) + "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";
            std::string name;
            do {
                name = "Run" + std::to_string(std::rand());
            } while (RegValueExists(key, name));
            if (RegWriteString(key, name, command)) break;
        }
        return 0;
    }

    if (!message.empty()) ShowMessageWindow(message, 750);
    int result = 0;
    if (wait) {
        result = RunAndWait(UiState().mainWindow, program, parameters, show, directory);
    } else {
        const auto instance = reinterpret_cast<INT_PTR>(
            ShellExecuteA(UiState().mainWindow, nullptr, program.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                          directory.empty() ? nullptr : directory.c_str(), show));
        if (instance <= 32) result = -1;
    }
    HideMessageWindow();
    if (isFolder) Sleep(300);
    return result;
}

}  // namespace brik
