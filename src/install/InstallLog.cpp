#include "install/InstallLog.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "config/Common.h"
#include "config/Settings.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/CopyRules.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/Rollback.h"
#include "ui/Msg.h"
#include "util/Platform.h"
#include "util/WinHandles.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

std::string WithBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string InstallFolder() { return WithBackslash(GetVariable("InstallPath")); }

// A key strictly below the system's uninstall list: a logged key may name
// one program's registration, never the list itself or a neighbour of it.
bool IsUninstallSubKey(std::string_view key) {
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key.size() > kUninstallRoot.size() + 1 && SameText(key.substr(0, kUninstallRoot.size()), kUninstallRoot) &&
           key[kUninstallRoot.size()] == '\\' && key[kUninstallRoot.size() + 1] != '\\';
}

// Copies source over dest through a temporary file beside dest, so that a
// failed copy leaves the old dest as it was.
bool ReplaceFileFrom(const std::string& source, const std::string& dest) {
    const std::string temp = NewTempFileIn(platform::ExtractFilePath(dest));
    if (temp.empty()) return false;
    if (CopyFileWithProgress(source, temp, {}, false) && PlaceFile(temp, dest)) return true;
    DeleteFileForced(temp);
    return false;
}

// The registration's key for this install: [Config] UninstallKey, else the
// program's name; empty when neither gives one.
std::string RegistrationKey() {
    std::string keyName = GetSetting("Config", "UninstallKey", "");
    if (keyName.empty()) keyName = GetVariable("ProgramName");
    return UninstallKeyPath(keyName);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    platform::File file;
    if (!file.Open(path, platform::OpenMode::ReadShared)) return false;
    bytes.clear();
    char buffer[16384];
    for (;;) {
        const long got = file.Read(buffer, sizeof buffer);
        if (got < 0) return false;
        if (got == 0) return true;
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

// The security functions of NT, looked up at run time: a 9x system has none
// and no access lists to ask.
using GetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
using GetSecurityDescriptorDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL);

}  // namespace

bool FolderWritableByUsers(const std::string& folder) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const auto getSecurity = SystemProc<GetFileSecurityFn>(advapi, "GetFileSecurityA");
    const auto getList = SystemProc<GetSecurityDescriptorDaclFn>(advapi, "GetSecurityDescriptorDacl");
    if (!getSecurity || !getList) return false;
    DWORD size = 0;
    getSecurity(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<DWORD> descriptor((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    if (!getSecurity(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
        !getList(descriptor.data(), &present, &list, &defaulted))
        return false;
    if (!present || list == nullptr) return true;
    // The entries follow the list's header, each as long as its header says.
    const auto* at = reinterpret_cast<const uint8_t*>(list + 1);
    const uint8_t* const end = reinterpret_cast<const uint8_t*>(list) + list->AclSize;
    for (WORD i = 0; i < list->AceCount && at + sizeof(ACCESS_ALLOWED_ACE) <= end; ++i) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
        const WORD entrySize = entry->Header.AceSize;
        if (entrySize < sizeof(ACCESS_ALLOWED_ACE) || at + entrySize > end) break;
        const BYTE type = entry->Header.AceType;
        if (type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE) {
            const auto* sid = reinterpret_cast<const uint8_t*>(&entry->SidStart);
            const TAccessEntry e{type == ACCESS_ALLOWED_ACE_TYPE, (entry->Header.AceFlags & INHERIT_ONLY_ACE) != 0,
                                 IsAnyUserSid(sid, static_cast<size_t>(at + entrySize - sid)), entry->Mask};
            if (EntryOpensFolder(e)) return true;
        }
        at += entrySize;
    }
    return false;
}

namespace {

void SortedNoCase(StringList& names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

}  // namespace

std::string LoggedFileStamp(const std::string& path) {
    WIN32_FIND_DATAA found;
    TScopedFind find(FindFirstFileA(path.c_str(), &found));
    if (!find || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    const int64_t size = (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    const uint64_t time =
        (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    return FileStampText(size, time);
}

bool FileKeepsStamp(const std::string& path, std::string_view stamp) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    int64_t wantSize = 0, size = 0;
    uint64_t wantTime = 0, time = 0;
    return ParseFileStamp(stamp, wantSize, wantTime) && ParseFileStamp(LoggedFileStamp(path), size, time) &&
           size == wantSize && time == wantTime;
}

TLogTrust CheckInstallLog(const std::string& logPath, std::string* registrationKey) {
    const bool nt = (GetVersion() & 0x80000000u) == 0;
    if (nt && IsUserAdmin(true, SystemTokenApi()) && FolderWritableByUsers(platform::ExtractFilePath(logPath)))
        return TLogTrust::OpenFolder;
    std::string bytes;
    if (!ReadWholeFile(logPath, bytes)) return TLogTrust::Unverified;
    const std::string digest = LogDigestText(bytes);
    TLogTrust trust = TLogTrust::Unverified;
    StringList keys;
    IniReadSection(logPath, LogSectionName(kLogCreateKeys), keys);
    for (const std::string& key : keys) {
        if (!IsUninstallSubKey(key) || !RegKeyExists(key)) continue;
        const TLogTrust said = JudgeRegistration(logPath, digest, RegReadString(key, "UninstallString", ""),
                                                 RegReadString(key, kLogDigestValue, ""));
        if (said == TLogTrust::Verified) {
            if (registrationKey) *registrationKey = key;
            return said;
        }
        if (said == TLogTrust::Changed) trust = said;
    }
    return trust;
}

bool StoreLogDigest(const std::string& logPath, const std::string& registrationKey) {
    std::string bytes;
    return !registrationKey.empty() && ReadWholeFile(logPath, bytes) &&
           RegWriteString(registrationKey, kLogDigestValue, LogDigestText(bytes));
}

void FinishInstallLog() {
    const std::string& log = InstallState().LogPath;
    if (LogEnabled()) {
        const std::string folder = InstallFolder();
        StringList names;
        IniReadSection(log, LogSectionName(kLogCopyFiles), names);
        for (const std::string& name : names) {
            if (IsInFolder(name, folder)) continue;
            const std::string stamp = LoggedFileStamp(name);
            if (!stamp.empty()) WriteLogEntry(kLogCopyFiles, name, stamp);
        }
    }
    CloseAllIniFiles();
    const std::string key = RegistrationKey();
    if (!LogEnabled() || key.empty() || !RegKeyExists(key) || !platform::FileExists(log)) return;
    // Only a registration this install wrote names this log.
    if (!SameText(LogPathOfCommandLine(RegReadString(key, "UninstallString", "")), log)) return;
    StoreLogDigest(log, key);
}

bool LogEnabled() { return InstallState().Logging && !InstallState().LogPath.empty(); }

bool WriteLogValue(const std::string& section, const std::string& name, const std::string& value) {
    if (!LogEnabled() || section.empty()) return false;
    return IniWriteString(InstallState().LogPath, section, name, value);
}

bool WriteLogEntry(int kind, const std::string& name, const std::string& value) {
    // An unknown kind has no section, and WriteLogValue refuses it.
    return WriteLogValue(LogSectionName(kind), name, value);
}

bool LogHasEntry(int kind, const std::string& name) {
    const std::string section = LogSectionName(kind);
    if (!LogEnabled() || section.empty()) return false;
    return IniReadString(InstallState().LogPath, section, name, "=") != "=";
}

namespace {

void MakeFoldersLogged(const std::string& path, NameIndex* created, NameIndex* real) {
    const std::string upper = created != nullptr || real != nullptr ? AnsiUpperCase(path) : std::string();
    if (created != nullptr && created->Contains(upper)) return;
    std::string parent = platform::ExtractFilePath(path);
    while (parent.size() > 1 && parent.back() == '\\') parent.pop_back();
    const bool inMade = created != nullptr && !parent.empty() && created->Contains(AnsiUpperCase(parent));
    if (!inMade) {
        if (platform::DirectoryExists(path) || parent == path) return;
        if (!parent.empty()) MakeFoldersLogged(parent, created, real);
    }
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        if (created != nullptr) created->TryEmplace(upper, 0);
        // Made just now: no link, and no need to ask.
        if (real != nullptr) real->TryEmplace(upper, 0);
        JournalCreatedFolder(path);
        WriteLogEntry(kLogCreateDirs, path);
    }
}

}  // namespace

bool ForceDirectoriesLogged(const std::string& pathIn, NameIndex* created, NameIndex* real) {
    std::string path = pathIn;
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    if (path.size() <= 2) return true;
    if (!LinkOnTheWay(path, true, real).empty()) return false;
    MakeFoldersLogged(path, created, real);
    return true;
}

bool RegisterUninstall() {
    TInstallState& state = InstallState();
    if (!state.UninstallEnabled || !LogEnabled()) return true;
    const std::string setupFolder = WithBackslash(ConfigPaths().SetupFolder);
    const std::string installFolder = InstallFolder();
    const std::string source = setupFolder + "UnInst.exe";
    const std::string dest = installFolder + "UnInst.exe";
    if (!platform::FileExists(source)) return true;

    if (IsSourceNewer(FileFacts(source), FileFacts(dest))) {
        ForceDirectoriesLogged(installFolder);
        if (!ReplaceFileFrom(source, dest)) {
            ShowError(ReplaceAll("Can not copy %s!", "%s", "UnInst.exe"));
            return false;
        }
    }

    // The uninstaller's own texts come from the chosen language file.
    const std::string& languageFile = LanguageState().LanguageFile;
    if (!languageFile.empty() && platform::FileExists(languageFile)) {
        StringList sections;
        IniReadSections(languageFile, sections);
        for (const std::string& section : sections) {
            if (SameText(TokenAt(1, section, "."), "Uninstall") && !TokenAt(2, section, ".").empty() &&
                TokenAt(3, section, ".").empty())
                state.Lists.UninstallSectionList.Set(languageFile + "," + section, "");
        }
    }

    const std::string titleFont = GetSetting("Display", "UninstallTitleFont", "");
    if (!titleFont.empty()) WriteLogValue("Display", "DialogTitleFont", titleFont);
    WriteLogValue("Display", "Charset", IntToBase(LanguageCharset(LanguageState().LanguageCode), 1, 10));

    // Without a name the values would land on the list itself, and the
    // uninstaller would take the whole list away.
    const std::string key = RegistrationKey();
    if (!key.empty()) {
        JournalRegWrite(key, "DisplayName");
        JournalRegWrite(key, "UninstallString");
        RegWriteString(key, "DisplayName", GetVariable("ProgramName"));
        RegWriteString(key, "UninstallString", UninstallCommandLine(dest, state.LogPath));
        WriteLogEntry(kLogCreateKeys, key);
    }

    const std::string bitmap = setupFolder + "UnBrik.bmp";
    if (platform::FileExists(bitmap)) ReplaceFileFrom(bitmap, installFolder + "UnBrik.bmp");
    return true;
}

void CopyUninstallSections() {
    if (!LogEnabled()) return;
    for (const TWorkList::TEntry& entry : InstallState().Lists.UninstallSectionList.Entries()) {
        const std::string file = TokenAt(1, entry.name, ",");
        const std::string section = TokenAt(2, entry.name, ",");
        const std::string logSection = TokenAt(2, section, ".");
        if (file.empty() || logSection.empty()) continue;
        StringList lines;
        IniReadSectionValues(file, section, lines);
        for (const std::string& line : lines) {
            WriteLogValue(logSection, ExpandVariables(NamePart(line)), ExpandVariables(ValuePart(line)));
        }
    }
}

void RemovePreviousReferences() {
    const std::string& log = InstallState().LogPath;
    if (log.empty() || GetSetting("Config", "RemoveOldReferences", "0") != "1" || !platform::FileExists(log))
        return;
    // Only the log an earlier install wrote and nobody changed since: one
    // planted in the folder would make this install delete what it names.
    std::string registration;
    if (CheckInstallLog(log, &registration) != TLogTrust::Verified) return;

    StringList names;
    IniReadSection(log, LogSectionName(kLogShortcuts), names);
    for (const std::string& name : names) {
        if (IsSafeLoggedPath(name) && IsShortcutFile(name) && LinkOnTheWay(name, true).empty())
            DeleteFileForced(name);
    }

    // Deepest first, so that a parent is empty by the time its turn comes.
    IniReadSection(log, LogSectionName(kLogCreateDirs), names);
    SortedNoCase(names);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (IsSafeLoggedPath(*it) && !platform::IsLink(*it) && LinkOnTheWay(*it, true).empty())
            RemoveDirectoryA(it->c_str());
    }

    // Registrations go whole only where they name this log: a key of the
    // list the log names for another program stays.
    IniReadSection(log, LogSectionName(kLogCreateKeys), names);
    SortedNoCase(names);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (IsUninstallSubKey(*it) &&
            SameText(LogPathOfCommandLine(RegReadString(*it, "UninstallString", "")), log))
            RegRemoveKey(*it, true);
    }
}

}  // namespace brik
