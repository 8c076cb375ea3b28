#include "install/Fonts.h"

#include <windows.h>

#include "config/Variables.h"
#include "config/kpRegIni.h"
#include "install/ChangeRules.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/Reboot.h"
#include "install/Rollback.h"
#include "ui/Msg.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

std::string Extension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('\\', dot) != std::string::npos) return {};
    return path.substr(dot);
}

// A font without a registry name (a file from disk, which the builder never
// saw, or a package font the catalogue names not) would land in the key's
// default value: it is copied to its place unregistered, and only where no
// file is yet, since an existing one may be a font the system has loaded.
// It must still be a font the system takes; it is not kept loaded, so that
// the uninstaller can remove the file at once.
bool PlaceUnnamedFont(const std::string& writtenPath, const std::string& dest, bool log) {
    if (platform::FileExists(dest)) return true;
    const bool placed = CopyFileWithProgress(writtenPath, dest, nullptr, false) && AddFontResourceA(dest.c_str()) != 0;
    if (!placed) {
        DeleteFileForced(dest);
        return false;
    }
    RemoveFontResourceA(dest.c_str());
    if (log) WriteLogEntry(kLogCopyFiles, dest);
    return true;
}

}  // namespace

std::string FontsFolder() {
    std::string folder = GetVariable("Fonts");
    if (folder.empty()) folder = platform::WindowsDirectory() + "\\Fonts";
    return folder;
}

bool InstallFont(const std::string& fontNameIn, const std::string& writtenPath, const std::string& destIn, bool log) {
    const char* const key = FontsKey(!InstallState().System.PlatformNT);
    const std::string fonts = FontsFolder();
    std::string fontName = fontNameIn;
    std::string dest = destIn;
    if (!IsSafeTargetPath(dest)) return false;
    if (fontName.empty()) return PlaceUnnamedFont(writtenPath, dest, log);

    bool registered = RegValueExists(key, fontName);
    if (!registered && SameText(Extension(dest), ".ttf")) {
        fontName += " (TrueType)";
        registered = RegValueExists(key, fontName);
    }
    if (registered) {
        const std::string data = RegReadString(key, fontName, "");
        // A registration that names no usable file gets ours in its place.
        if (!Trim(data).empty()) dest = FontFileFromRegistry(data, fonts);
        if (!IsSafeTargetPath(dest)) return false;
    }
    const std::string folder = platform::ExtractFilePath(dest);
    if (!registered && platform::FileExists(dest)) {
        // An unrelated file holds the name: ours gets one of its own.
        const std::string file = dest.substr(folder.size());
        const std::string extension = Extension(file);
        dest = folder + UniqueFileName(folder, file.substr(0, file.size() - extension.size()), extension, true);
    }

    // Nor through a link: the font step fails, naming the font.
    if (!LinkOnTheWay(dest, true).empty()) return false;

    // The font is written beside its destination and put in place whole: a
    // font the system had stays intact until ours is complete, and waits for
    // the restart when the system holds it open.
    const bool existed = platform::FileExists(dest);
    const std::string copyTarget = existed ? NewTempFileIn(folder) : dest;
    if (!existed) JournalCreatedFile(dest);
    if (copyTarget.empty() || !CopyFileWithProgress(writtenPath, copyTarget, nullptr, false)) {
        if (!copyTarget.empty()) DeleteFileForced(copyTarget);
        return false;
    }
    if (existed && !PlaceFile(copyTarget, dest)) {
        if (!ScheduleReplaceOnReboot(copyTarget, dest)) {
            DeleteFileForced(copyTarget);
            return false;
        }
        JournalScheduledReplace(dest, copyTarget);
        InstallState().RebootPending = true;
    }
    if (registered) return true;

    if (AddFontResourceA(dest.c_str()) == 0) {
        // Not a font the system takes: nothing of it stays behind.
        DeleteFileForced(dest);
        return false;
    }
    JournalLoadedFont(dest);
    JournalRegWrite(key, fontName);
    RegWriteString(key, fontName, FontRegistryData(dest, fonts));
    // Not SendMessage: one hung window would hang the install.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    if (log) {
        WriteLogEntry(kLogCopyFiles, dest, LoggedFileStamp(dest));
        WriteLogEntry(kLogRegFonts, fontName, dest);
    }
    return true;
}

bool RegisterFonts() {
    for (const TWorkList::TEntry& entry : InstallState().Lists.FontList.Entries()) {
        const std::string dest = FieldAt(1, entry.value, ",");
        if (!InstallFont(entry.name, FieldAt(2, entry.value, ","), dest,
                         ParseNumber(FieldAt(3, entry.value, ","), 1) != 0)) {
            ShowError("Can not register font \"" + (entry.name.empty() ? dest : entry.name) + "\"!");
            return false;
        }
    }
    return true;
}

}  // namespace brik
