#include "uninstall/SelfRemoval.h"

#include <windows.h>

#include "install/InstallContext.h"
#include "install/Reboot.h"
#include "uninstall/UninstallRules.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

// The folders made for copies start with this; the copy only ever removes
// a folder named so, in the temporary folder, that holds nothing but itself.
constexpr char kCopyFolderPrefix[] = "~BrikUn";

// The temporary folder of the running system, with a trailing backslash.
std::string TempFolder() { return TempPath(!InstallState().System.PlatformNT); }

// A folder that did not exist before: made here, so nobody else has put
// anything in it (a fixed name in the temporary folder could be prepared
// by someone else, with a program of theirs in it).
std::string FreshFolder(const std::string& parent) {
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 1103515245u + 12345u;
        const std::string folder = parent + kCopyFolderPrefix + IntToBase((seed >> 8) & 0xFFFFF, 5, 16);
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

}  // namespace

bool HandOverToCopy(const std::string& logPath) {
    const std::string self = ModulePath();
    const std::string temp = TempFolder();
    if (self.empty() || temp.empty()) return false;
    const std::string folder = FreshFolder(temp);
    if (folder.empty()) return false;
    const std::string copy = folder + "UnInst.exe";
    if (!CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
        RemoveDirectoryA(folder.c_str());
        return false;
    }
    // The copy gets a handle of this process to wait on: a process id could
    // name another process by the time the copy looks.
    HANDLE inheritable = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &inheritable, SYNCHRONIZE,
                         TRUE, 0)) {
        inheritable = nullptr;
    }
    std::string commandLine =
        CopyCommandLine(copy, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(inheritable)), logPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The copy works in its own folder: a current folder inside the install
    // would keep that folder from being removed.
    const BOOL started = CreateProcessA(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.c_str(), &startup, &process);
    if (inheritable) CloseHandle(inheritable);
    if (!started) {
        DeleteFileA(copy.c_str());
        RemoveDirectoryA(folder.c_str());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void WaitForOriginal(unsigned long processHandle) {
    const HANDLE original = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(processHandle));
    if (WaitForSingleObject(original, 30000) == WAIT_FAILED) Sleep(500);
    CloseHandle(original);
}

void RemoveCopyAtRestart() {
    const std::string self = ModulePath();
    const std::string folder = platform::ExtractFilePath(self);
    const std::string temp = TempFolder();
    const std::string folderName = folder.size() > temp.size() ? folder.substr(temp.size()) : std::string();
    if (temp.empty() || !SameText(folder.substr(0, temp.size()), temp) ||
        !SameText(folderName.substr(0, sizeof kCopyFolderPrefix - 1), kCopyFolderPrefix))
        return;
    ScheduleReplaceOnReboot(self, std::string());
    ScheduleFolderRemovalOnReboot(folder);
}

}  // namespace brik
