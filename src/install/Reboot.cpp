#include "install/Reboot.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "config/kpRegIni.h"
#include "install/CopyRules.h"
#include "install/InstallContext.h"
#include "install/Rollback.h"
#include "util/Platform.h"
#include "util/WinHandles.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

constexpr const char* kRunOnceKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH];
    char* name = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
    return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    platform::File file;
    if (!file.Open(path, platform::OpenMode::ReadShared)) return false;
    const int64_t size = file.Size();
    if (size < 0 || size > 16 * 1024 * 1024) return false;
    text.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < text.size()) {
        const long n = file.Read(&text[done], text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A name in folder that nothing uses; the system creates the file.
std::string NewTempName(const std::string& folder) {
    char buffer[MAX_PATH];
    return GetTempFileNameA(folder.c_str(), "Brk", 0, buffer) ? std::string(buffer) : std::string();
}

void DeleteQuietly(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// Writes text under a new name in folder, then puts that file in place of
// path. The old file stays under a third name until the new one has its
// name, so a full disk or a refused rename leaves path as it was (the 9x
// systems cannot replace a file in one step).
bool ReplaceFileText(const std::string& folder, const std::string& path, const std::string& text) {
    const std::string written = NewTempName(folder);
    if (written.empty()) return false;
    bool ok = false;
    {
        platform::File file;
        ok = file.Open(written, platform::OpenMode::WriteLocked) && file.Write(text.data(), text.size());
    }
    if (!ok) {
        DeleteQuietly(written);
        return false;
    }
    if (!platform::FileExists(path)) {
        ok = MoveFileA(written.c_str(), path.c_str()) != 0;
    } else {
        const std::string old = NewTempName(folder);
        // That name must be free again for the rename.
        if (old.empty() || !DeleteFileA(old.c_str()) || !MoveFileA(path.c_str(), old.c_str())) {
            if (!old.empty()) DeleteFileA(old.c_str());
            ok = false;
        } else if (!MoveFileA(written.c_str(), path.c_str())) {
            MoveFileA(old.c_str(), path.c_str());
            ok = false;
        } else {
            DeleteQuietly(old);
        }
    }
    if (!ok) DeleteQuietly(written);
    return ok;
}

// wininit.ini's [Rename] lines, and the RunOnce command that renames a
// target whose long name the restart would lose.
bool ScheduleByWininit(const std::string& source, const std::string& target) {
    std::vector<std::string> entries;
    std::string shortTarget;
    if (target.empty()) {
        entries.push_back("NUL=" + GetShortPath(source));
    } else {
        // Only an existing file has a short name.
        bool made = false;
        if (!platform::FileExists(target)) {
            HANDLE h = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
            made = h != INVALID_HANDLE_VALUE;
            if (made) CloseHandle(h);
        }
        shortTarget = GetShortPath(target);
        if (made) DeleteFileA(target.c_str());
        entries.push_back("NUL=" + shortTarget);
        entries.push_back(shortTarget + "=" + GetShortPath(source));
    }

    std::string folder = platform::WindowsDirectory();
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    const std::string wininit = folder + "wininit.ini";
    std::string previous;
    const bool existed = platform::FileExists(wininit);
    // A file that is there but cannot be read is never written over.
    if (existed && !ReadWholeFile(wininit, previous)) return false;
    if (!JournalFileChange(wininit)) return false;
    if (!ReplaceFileText(folder, wininit, RewriteWininit(existed ? &previous : nullptr, entries))) return false;

    // The restart renames only the file; its folders keep their long names.
    if (target.empty()) return true;
    const std::string_view longName = std::string_view(target).substr(FileNameStart(target));
    if (SameText(std::string_view(shortTarget).substr(FileNameStart(shortTarget)), longName)) return true;
    const TRunOnceRename rename = RenameBackCommand(shortTarget, longName);
    JournalRegWrite(kRunOnceKey, rename.name);
    return RegWriteString(kRunOnceKey, rename.name, rename.command);
}

}  // namespace

std::string GetShortPath(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

bool ScheduleReplaceOnReboot(const std::string& sourcePath, const std::string& targetPath) {
    const std::string source = FullPath(sourcePath);
    const std::string target = targetPath.empty() ? std::string() : FullPath(targetPath);
    if (!platform::FileExists(source)) return false;
    if (!InstallState().System.PlatformNT) return ScheduleByWininit(source, target);
    if (target.empty()) return MoveFileExA(source.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    const bool removed = MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT) != 0 && removed;
}

bool ScheduleFolderRemovalOnReboot(const std::string& folderPath) {
    std::string folder = FullPath(folderPath);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (!platform::DirectoryExists(folder)) return false;
    if (InstallState().System.PlatformNT) return MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    const TRunOnceRename remove = RemoveFolderCommand(GetShortPath(folder));
    return RegWriteString(kRunOnceKey, remove.name, remove.command);
}

bool RestartWindows(bool force) {
    if (InstallState().System.PlatformNT) {
        using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
        using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
        using AdjustTokenPrivilegesFn = BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                                      PDWORD);
        // Imported by the program, so always loaded.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        const auto openToken = SystemProc<OpenProcessTokenFn>(advapi, "OpenProcessToken");
        const auto lookup = SystemProc<LookupPrivilegeValueFn>(advapi, "LookupPrivilegeValueA");
        const auto adjust = SystemProc<AdjustTokenPrivilegesFn>(advapi, "AdjustTokenPrivileges");
        if (openToken == nullptr || lookup == nullptr || adjust == nullptr) return false;
        TScopedHandle token;
        if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Out())) return false;
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        const bool adjusted = lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid) &&
                              adjust(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
                              GetLastError() == ERROR_SUCCESS;
        if (!adjusted) return false;
    }
    return ExitWindowsEx(EWX_REBOOT | (force ? EWX_FORCE : 0), 0) != 0;
}

}  // namespace brik
