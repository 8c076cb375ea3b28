#include "install/RegIniChanges.h"

#include <windows.h>

#include <vector>

#include "config/RegPath.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/LogFormat.h"
#include "install/RegIniRules.h"
#include "install/Rollback.h"
#include "ui/Msg.h"
#include "util/Platform.h"
#include "util/WinHandles.h"
#include "util/kpStrUtils.h"

namespace brik {

void CreateKeyLogged(const std::string& keyPath) {
    // A root is never created nor logged; a key is logged resolved, root
    // first, so that the uninstaller finds the key that was made.
    if (ParseRegPath(keyPath).subKey.empty()) return;
    const std::string path = ResolvedRegPath(keyPath);
    if (RegKeyExists(path)) return;
    const std::string parent = RegParentKeyPath(path);
    CreateKeyLogged(parent);
    // A failure is left to the value write, which creates the key itself.
    if (RegCreateKeyPath(path)) WriteLogEntry(kLogCreateKeys, path);
}

bool ApplyRegistryChanges() {
    const TWorkLists& lists = InstallState().Lists;
    for (const TWorkList::TEntry& item : lists.RegAddList.Entries()) {
        const TRegValueEntry entry = ParseRegValueEntry(item.name, item.value);
        const bool existed = RegValueExists(entry.keyPath, entry.valueName);
        if (existed && (entry.flags & kChangeKeepExisting)) continue;
        JournalRegWrite(entry.keyPath, entry.valueName);
        if (!(entry.flags & kChangeNoLog)) CreateKeyLogged(entry.keyPath);
        const std::vector<uint8_t> bytes = RegValueBytes(entry);
        if (!RegWriteData(entry.keyPath, entry.valueName, entry.type, static_cast<uint32_t>(bytes.size()),
                          bytes.data())) {
            ShowError("Error on changing registry data!");
            return false;
        }
        if (!existed && !(entry.flags & kChangeNoLog)) WriteLogEntry(kLogAddReg, entry.fullPath, entry.data);
    }
    // A key of the name goes before a value of the same name; failures are
    // left as they are. A key is deleted alone: one with sub-keys stays
    // (RegRemoveKey refuses it, also where the system would delete the
    // whole tree), and so does a root's direct child.
    for (const TWorkList::TEntry& item : lists.RegDeleteList.Entries()) {
        if (RegKeyExists(item.name)) {
            if (RegKeyDeleteRefusal(item.name).empty()) RegRemoveKey(item.name, false);
        } else {
            std::string keyPath;
            std::string valueName;
            SplitRegValuePath(item.name, keyPath, valueName);
            if (RegValueExists(keyPath, valueName)) JournalRegWrite(keyPath, valueName);
            RegRemoveValue(keyPath, valueName);
        }
    }
    return true;
}

namespace {

// An existing INI file that another program holds, or that is read-only,
// cannot take our changes: found out before the first change, it is the
// step's error instead of an abrupt end of the run.
bool IniFileWritable(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    const TScopedFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Ok();
}

}  // namespace

bool ApplyIniChanges() {
    // Nothing trimmed survives a read as this text, so it marks a missing key.
    static constexpr char kMissing[] = "\x01";
    bool result = true;
    // Each file once, by the file it names: "system.ini" and
    // "C:\WINDOWS\system.ini" are one file, held open by one object.
    std::vector<std::string> written;
    // The sections this step made, by file: every key logged into one of
    // them says so, so that the uninstall takes the section with its last key.
    std::vector<std::pair<std::string, std::string>> made;
    const auto isMade = [&made](const std::string& path, const std::string& section) {
        for (const auto& m : made)
            if (SameText(m.first, path) && SameText(m.second, section)) return true;
        return false;
    };
    std::string refusal;
    for (const TWorkList::TEntry& item : InstallState().Lists.IniAddList.Entries()) {
        const TIniEntry entry = ParseIniEntry(item.name, item.value);
        const std::string path = IniFilePath(entry.file);
        bool known = false;
        for (const std::string& file : written) known = known || SameText(file, path);
        if (!known) {
            const std::string link = LinkOnTheWay(path, true);
            if (!link.empty()) refusal = LinkRefusedText(path, link);
        }
        // A file the rollback could not restore is not changed either.
        if (!known && (!refusal.empty() || !IniFileWritable(path) || !JournalFileChange(path))) {
            result = false;
            break;
        }
        const bool existed = IniReadString(path, entry.section, entry.key, kMissing) != kMissing;
        if (existed && (entry.flags & kChangeKeepExisting)) continue;
        if (!known) written.push_back(path);
        if (GetIniFile(path, true).Sections().IndexOf(entry.section) < 0) made.emplace_back(path, entry.section);
        IniWriteString(path, entry.section, entry.key, entry.data);
        if (existed || (entry.flags & kChangeNoLog)) continue;
        // Writes wait in the cache until the step ends: a file not on disk
        // yet is one this step brings, and the uninstaller removes it.
        if (!platform::FileExists(path)) WriteLogEntry(kLogCopyFiles, path);
        // The file as written, since the uninstaller takes only a full path.
        WriteLogEntry(kLogAddIni, IniRecordName(path, entry.section, entry.key, isMade(path, entry.section)),
                      entry.data);
    }
    // The changes reach the disk here; a file that cannot be written fails
    // the step like a refused change.
    for (const std::string& file : written)
        if (!GetIniFile(file, false).UpdateFile()) result = false;
    CloseAllIniFiles();
    if (!result) ShowError(refusal.empty() ? std::string("Error on changing ini-file!") : refusal);
    return result;
}

}  // namespace brik
