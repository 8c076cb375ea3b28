#include "install/InstallLog.h"

#include <windows.h>

#include <algorithm>

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
#include "util/kpStrUtils.h"

namespace brik {

namespace {

std::string WithBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string InstallFolder() { return WithBackslash(GetVariable("InstallPath")); }

bool HasExtension(std::string_view path, std::string_view extension) {
    return path.size() > extension.size() && SameText(path.substr(path.size() - extension.size()), extension);
}

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

void SortedNoCase(StringList& names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

}  // namespace

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

void ForceDirectoriesLogged(const std::string& pathIn, NameIndex* created) {
    std::string path = pathIn;
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    if (path.size() <= 2) return;
    const std::string upper = created != nullptr ? AnsiUpperCase(path) : std::string();
    if (created != nullptr && created->Contains(upper)) return;
    std::string parent = platform::ExtractFilePath(path);
    while (parent.size() > 1 && parent.back() == '\\') parent.pop_back();
    const bool inMade = created != nullptr && !parent.empty() && created->Contains(AnsiUpperCase(parent));
    if (!inMade) {
        if (platform::DirectoryExists(path) || parent == path) return;
        if (!parent.empty()) ForceDirectoriesLogged(parent, created);
    }
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        if (created != nullptr) created->TryEmplace(upper, 0);
        JournalCreatedFolder(path);
        WriteLogEntry(kLogCreateDirs, path);
    }
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

    const std::string programName = GetVariable("ProgramName");
    std::string keyName = GetSetting("Config", "UninstallKey", "");
    if (keyName.empty()) keyName = programName;
    // Without a name the values would land on the list itself, and the
    // uninstaller would take the whole list away.
    const std::string key = UninstallKeyPath(keyName);
    if (!key.empty()) {
        JournalRegWrite(key, "DisplayName");
        JournalRegWrite(key, "UninstallString");
        RegWriteString(key, "DisplayName", programName);
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

    StringList names;
    IniReadSection(log, LogSectionName(kLogShortcuts), names);
    for (const std::string& name : names) {
        if (IsSafeLoggedPath(name) && HasExtension(name, ".lnk")) DeleteFileForced(name);
    }

    // Deepest first, so that a parent is empty by the time its turn comes.
    IniReadSection(log, LogSectionName(kLogCreateDirs), names);
    SortedNoCase(names);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (IsSafeLoggedPath(*it) && !platform::IsLink(*it)) RemoveDirectoryA(it->c_str());
    }

    IniReadSection(log, LogSectionName(kLogCreateKeys), names);
    SortedNoCase(names);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (IsUninstallSubKey(*it)) RegRemoveKey(*it, true);
    }
}

}  // namespace brik
