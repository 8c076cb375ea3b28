#include "uninstall/Undo.h"

#include <windows.h>

#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/ChangeRules.h"
#include "install/ComServers.h"
#include "install/FileOps.h"
#include "install/Fonts.h"
#include "install/InstallContext.h"
#include "install/LogFormat.h"
#include "install/Reboot.h"
#include "ui/Msg.h"
#include "ui/kpShell.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TUndoResult RemoveFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TUndoResult::Absent;
    // The log named a file; whatever stands there now is not ours to empty.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TUndoResult::Kept;
    if (DeleteFileForced(path)) return TUndoResult::Done;
    return ScheduleReplaceOnReboot(path, std::string()) ? TUndoResult::AtRestart : TUndoResult::Failed;
}

TUndoResult ReleaseShared(const std::string& path, bool keepFile) {
    const int32_t count = RegReadInteger(kSharedDllsKey, path, 0);
    if (count > 1) {
        RegWriteInteger(kSharedDllsKey, path, count - 1);
        return TUndoResult::Kept;
    }
    RegRemoveValue(kSharedDllsKey, path);
    return keepFile ? TUndoResult::Kept : RemoveFile(path);
}

// Only while the fonts key's entry still names our file: a font registered
// anew since belongs to whoever did that.
bool FontEntryIsOurs(const std::string& path, const std::string& name) {
    const char* const key = FontsKey(!InstallState().System.PlatformNT);
    return RegValueExists(key, name) && SameText(FontFileFromRegistry(RegReadString(key, name, ""), FontsFolder()), path);
}

TUndoResult RemoveFont(const std::string& path, const std::string& name, bool keepFile) {
    if (FontEntryIsOurs(path, name)) RegRemoveValue(FontsKey(!InstallState().System.PlatformNT), name);
    if (keepFile) return TUndoResult::Kept;
    if (Exists(path)) RemoveFontResourceA(path.c_str());
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return RemoveFile(path);
}

TUndoResult RemoveIniKey(const TUndoAction& a) {
    static constexpr char kMissing[] = "\x01";
    if (!Exists(IniFilePath(a.target))) return TUndoResult::Absent;
    if (IniReadString(a.target, a.section, a.name, kMissing) == kMissing) return TUndoResult::Absent;
    TkpIniFile& file = GetIniFile(a.target, false);
    file.DeleteKey(a.section, a.name);
    // A section that only held what the install wrote goes with its last key.
    StringList left;
    file.ReadSection(a.section, left);
    if (left.empty()) file.EraseSection(a.section);
    const bool written = file.UpdateFile();
    // Let go of the file: the install may have made it, and then it goes next.
    CloseIniFile(a.target);
    return written ? TUndoResult::Done : TUndoResult::Failed;
}

TUndoResult RemoveKey(const std::string& key, bool whole) {
    if (!RegKeyExists(key)) return TUndoResult::Absent;
    // The registration that vouches for the log is ours whole; any other key
    // goes only when nothing that others put there would go with it.
    if (whole) return RegRemoveKey(key, true) ? TUndoResult::Done : TUndoResult::Failed;
    if (!RegKeyIsEmpty(key)) return TUndoResult::Kept;
    return RegRemoveKey(key, false) ? TUndoResult::Done : TUndoResult::Failed;
}

TUndoResult RemoveFolder(const std::string& folder) {
    if (!platform::DirectoryExists(folder)) return TUndoResult::Absent;
    // A link is never followed, and a folder that holds anything stays.
    if (platform::IsLink(folder)) return TUndoResult::Kept;
    return RemoveDirectoryA(folder.c_str()) ? TUndoResult::Done : TUndoResult::Kept;
}

}  // namespace

TUndoResult CarryOut(const TUndoAction& a) {
    switch (a.kind) {
        case TUndoKind::RunProgram: {
            const TProgramFields f = ParseProgramFields(a.target);
            // A program the uninstall already took away, or that never came:
            // the shell would stop the uninstall with a box of its own.
            if (IsSafeLoggedPath(f.Program) && !Exists(f.Program)) return TUndoResult::Absent;
            return RunAndWait(UiState().mainWindow, f.Program, f.Parameters, f.ShowCommand, f.WorkingFolder) < 0
                       ? TUndoResult::Failed
                       : TUndoResult::Done;
        }
        case TUndoKind::DeleteShortcut:
        case TUndoKind::DeleteInstalledFile: return RemoveFile(a.target);
        case TUndoKind::UnregisterServer:
            if (!Exists(a.target)) return TUndoResult::Absent;
            return UnregisterComServer(a.target) ? TUndoResult::Done : TUndoResult::Failed;
        case TUndoKind::RemoveFont: return RemoveFont(a.target, a.name, a.keepFile);
        case TUndoKind::ReleaseSharedFile: return ReleaseShared(a.target, a.keepFile);
        case TUndoKind::DeleteRegValue:
            if (!RegValueExists(a.target, a.name)) return TUndoResult::Absent;
            return RegRemoveValue(a.target, a.name) ? TUndoResult::Done : TUndoResult::Failed;
        case TUndoKind::DeleteIniKey: return RemoveIniKey(a);
        case TUndoKind::DeleteRegKey: return RemoveKey(a.target, a.wholeKey);
        case TUndoKind::RemoveFolder: return RemoveFolder(a.target);
    }
    return TUndoResult::Failed;
}

bool EveryFileBelow(const std::string& folder, const std::function<bool(const std::string& path)>& test) {
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool every = true;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        // A link to elsewhere is never walked into, and never ours.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) every = false;
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) every = EveryFileBelow(path, test);
        else every = test(path);
    } while (every && FindNextFileA(find, &found));
    ::FindClose(find);
    return every;
}

bool IsPresent(const TUndoAction& a) {
    switch (a.kind) {
        case TUndoKind::RunProgram: return false;
        case TUndoKind::DeleteShortcut:
        case TUndoKind::DeleteInstalledFile:
        case TUndoKind::UnregisterServer:
        case TUndoKind::ReleaseSharedFile: return Exists(a.target);
        case TUndoKind::RemoveFont:
            return Exists(a.target) || FontEntryIsOurs(a.target, a.name);
        case TUndoKind::DeleteRegValue: return RegValueExists(a.target, a.name);
        case TUndoKind::DeleteIniKey:
            return Exists(IniFilePath(a.target)) && IniReadString(a.target, a.section, a.name, "\x01") != "\x01";
        case TUndoKind::DeleteRegKey: return RegKeyExists(a.target);
        // A folder that holds only folders is still the install's to take
        // away; one with a file is not.
        case TUndoKind::RemoveFolder:
            return platform::DirectoryExists(a.target) &&
                   EveryFileBelow(a.target, [](const std::string&) { return false; });
    }
    return false;
}

}  // namespace brik
