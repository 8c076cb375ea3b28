#include "install/Shortcuts.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "install/CopyRules.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/Rollback.h"
#include "ui/Msg.h"
#include "util/Platform.h"
#include "util/WinHandles.h"

namespace brik {

namespace {

void NotifyShell(const std::string& path) {
    SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHA | SHCNF_FLUSH, path.c_str(), nullptr);
}

}  // namespace

bool TkpShellLink::Save() const {
    TScopedCom<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.Out()))))
        return false;
    IShellLinkA* const shell = link.Get();
    if (FAILED(shell->SetPath(Target.c_str())) ||
        FAILED(shell->SetArguments(Arguments.c_str())) ||
        FAILED(shell->SetWorkingDirectory(WorkingFolder.c_str())) ||
        FAILED(shell->SetShowCmd(ShortcutShowCommand(ShowMode))) ||
        FAILED(shell->SetHotkey(Hotkey)) ||
        FAILED(shell->SetDescription(Description.c_str())) ||
        FAILED(shell->SetIconLocation(IconFile.c_str(), IconIndex)))
        return false;

    TScopedCom<IPersistFile> file;
    if (FAILED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out())))) return false;
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, LinkPath.c_str(), -1, wide, MAX_PATH) == 0) return false;
    if (FAILED(file.Get()->Save(wide, FALSE))) return false;

    NotifyShell(LinkPath);
    if (!IconFile.empty() && platform::FileExists(IconFile)) NotifyShell(IconFile);
    return true;
}

bool CreateShortcuts() {
    for (const TWorkList::TEntry& entry : InstallState().Lists.ShortcutList.Entries()) {
        const std::string linkPath = ShortcutLinkPath(entry.name);
        TkpShellLink link{ParseShortcutFields(entry.value), {}};
        const bool existed = platform::FileExists(linkPath);
        if (existed && (link.Flags & 32)) continue;
        // A name from the script that leads anywhere but a plain full path
        // is refused like a link that cannot be written.
        bool saved = IsSafeTargetPath(linkPath);
        if (saved) {
            // The group's folder and the shortcut's own name are the
            // script's: never a way through a link to elsewhere.
            const std::string through = LinkOnTheWay(linkPath, true);
            if (!through.empty()) {
                ShowError(LinkRefusedText(linkPath, through));
                return false;
            }
            const std::string folder = platform::ExtractFilePath(linkPath);
            if (link.Flags & 1)
                platform::ForceDirectories(folder);
            else
                ForceDirectoriesLogged(folder);
            saved = JournalFileChange(linkPath) && link.SaveAs(linkPath);
        }
        if (!saved) {
            ShowError("Error creating shortcut \"" + linkPath + "\".");
            return false;
        }
        if (!(link.Flags & 1) && !existed) WriteLogEntry(kLogShortcuts, linkPath, LoggedFileStamp(linkPath));
    }
    return true;
}

}  // namespace brik
