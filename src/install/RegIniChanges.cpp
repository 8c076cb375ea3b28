#include "install/RegIniChanges.h"

#include <vector>

#include "config/RegPath.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/RegIniRules.h"
#include "ui/Msg.h"
#include "util/Platform.h"

namespace brik {

void CreateKeyLogged(const std::string& keyPath) {
    std::string path = keyPath;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.empty() || RegKeyExists(path)) return;
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
        if (!(entry.flags & kChangeNoLog)) CreateKeyLogged(entry.keyPath);
        const std::vector<uint8_t> bytes = RegValueBytes(entry);
        if (!RegWriteData(entry.keyPath, entry.valueName, entry.type, static_cast<uint32_t>(bytes.size()),
                          bytes.data())) {
            ShowError("Error on changing registry data!");
            return false;
        }
        if (!existed && !(entry.flags & kChangeNoLog)) WriteLogEntry(kLogAddReg, item.name, entry.data);
    }
    // A key of the name goes before a value of the same name; failures are
    // left as they are.
    for (const TWorkList::TEntry& item : lists.RegDeleteList.Entries()) {
        if (RegKeyExists(item.name)) {
            RegRemoveKey(item.name, false);
        } else {
            std::string keyPath;
            std::string valueName;
            SplitRegValuePath(item.name, keyPath, valueName);
            RegRemoveValue(keyPath, valueName);
        }
    }
    return true;
}

bool ApplyIniChanges() {
    // Nothing trimmed survives a read as this text, so it marks a missing key.
    static constexpr char kMissing[] = "\x01";
    bool result = true;
    for (const TWorkList::TEntry& item : InstallState().Lists.IniAddList.Entries()) {
        const TIniEntry entry = ParseIniEntry(item.name, item.value);
        const bool existed = IniReadString(entry.file, entry.section, entry.key, kMissing) != kMissing;
        if (existed && (entry.flags & kChangeKeepExisting)) continue;
        if (!IniWriteString(entry.file, entry.section, entry.key, entry.data)) {
            ShowError("Error on changing ini-file!");
            result = false;
            break;
        }
        if (existed || (entry.flags & kChangeNoLog)) continue;
        // Writes wait in the cache until the step ends: a file not on disk
        // yet is one this step brings, and the uninstaller removes it.
        const std::string& path = GetIniFile(entry.file, false).FileName();
        if (!platform::FileExists(path)) WriteLogEntry(kLogCopyFiles, path);
        WriteLogEntry(kLogAddIni, item.name, entry.data);
    }
    CloseAllIniFiles();
    return result;
}

}  // namespace brik
