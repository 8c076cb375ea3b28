#include "install/Programs.h"

#include <windows.h>
#include <shellapi.h>

#include "config/kpRegIni.h"
#include "install/ChangeRules.h"
#include "install/InstallContext.h"
#include "ui/Msg.h"
#include "ui/kpShell.h"
#include "util/Platform.h"

namespace brik {

namespace {

void RunAfterRestart(const std::string& command) {
    for (const char* key : {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\",
                            "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\"}) {
        if (RegWriteString(key, RegUniqueValueName(key, "Run"), command)) return;
    }
}

}  // namespace

int RunProgram(const std::string& entryValue, bool wait, bool afterRestart) {
    const TProgramFields f = ParseProgramFields(entryValue);
    const bool isFolder = platform::DirectoryExists(f.Program);
    if (afterRestart && InstallState().RebootPending && !isFolder) {
        RunAfterRestart(RunOnceCommand(f.Program, f.Parameters));
        return 0;
    }

    if (!f.Message.empty()) ShowMessageWindow(f.Message, 750);
    int result = 0;
    const char* const parameters = f.Parameters.empty() ? nullptr : f.Parameters.c_str();
    if (wait) {
        result = RunAndWait(UiState().mainWindow, f.Program, f.Parameters, f.ShowCommand, f.WorkingFolder);
    } else if (reinterpret_cast<INT_PTR>(ShellExecuteA(UiState().mainWindow, nullptr, f.Program.c_str(), parameters,
                                                       f.WorkingFolder.empty() ? nullptr : f.WorkingFolder.c_str(),
                                                       f.ShowCommand)) <= 32) {
        result = -1;
    }
    HideMessageWindow();
    // The shell opens a folder's window after the call returns.
    if (isFolder) Sleep(300);
    return result;
}

void RunPrograms() {
    for (const TWorkList::TEntry& entry : InstallState().Lists.RunList.Entries()) {
        const TProgramFields f = ParseProgramFields(entry.value);
        RunProgram(entry.value, f.Wait, f.AfterRestart);
    }
}

}  // namespace brik
