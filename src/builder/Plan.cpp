#include "builder/Plan.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "builder/CodePage.h"
#include "builder/PackageBuilder.h"
#include "cab/Cabinet.h"
#include "config/Settings.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "crypto/Password.h"
#include "install/ChangeRules.h"
#include "install/CopyRules.h"
#include "install/LogFormat.h"
#include "install/RegIniRules.h"
#include "install/ScriptFormat.h"
#include "install/Scripts.h"
#include "launcher/RunRules.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace fs = std::filesystem;

namespace {

struct TWindowsKind {
    TPlanWindows windows;
    const char* option;
    const char* title;
    TScriptSystem system;
};

constexpr TWindowsKind kKinds[] = {
    {TPlanWindows::Win95, "95", "Windows 95", {false, 4, 1}},
    {TPlanWindows::Win98, "98", "Windows 98", {false, 4, 2}},
    {TPlanWindows::WinMe, "me", "Windows Me", {false, 4, 5}},
    {TPlanWindows::NT4, "nt4", "Windows NT 4.0", {true, 4, 3}},
    {TPlanWindows::Win2000, "2000", "Windows 2000", {true, 5, 4}},
    {TPlanWindows::WinXP, "xp", "Windows XP", {true, 5, 6}},
};

const TWindowsKind& KindOf(TPlanWindows windows) {
    for (const TWindowsKind& k : kKinds)
        if (k.windows == windows) return k;
    return kKinds[5];
}

class TPlanSources final : public IVariableSources {
public:
    explicit TPlanSources(TPlanWindows windows) {
        const bool nt = KindOf(windows).system.PlatformNT;
        windows_ = nt && windows != TPlanWindows::WinXP ? "C:\\WINNT" : "C:\\WINDOWS";
        system_ = windows_ + (nt ? "\\system32" : "\\SYSTEM");
        // Windows 95, 98 and Me without user profiles keep the user's folders
        // in the Windows folder and have no folders of all users; NT 4 keeps
        // profiles in the Windows folder, 2000 and XP beside it.
        std::string profile = windows_;
        std::string allUsers;
        if (windows == TPlanWindows::NT4) {
            profile = windows_ + "\\Profiles\\User";
            allUsers = windows_ + "\\Profiles\\All Users";
        } else if (nt) {
            profile = "C:\\Documents and Settings\\User";
            allUsers = "C:\\Documents and Settings\\All Users";
        }
        const std::string startMenu = profile + "\\Start Menu";
        folders_ = {
            {kCsidlDesktopDirectory, profile + "\\Desktop"},
            {kCsidlFonts, windows_ + "\\Fonts"},
            {kCsidlNetHood, profile + "\\NetHood"},
            {kCsidlPersonal, !nt ? "C:\\My Documents"
                            : profile + (windows == TPlanWindows::NT4 ? "\\Personal" : "\\My Documents")},
            {kCsidlPrograms, startMenu + "\\Programs"},
            {kCsidlRecent, profile + "\\Recent"},
            {kCsidlSendTo, profile + "\\SendTo"},
            {kCsidlStartMenu, startMenu},
            {kCsidlStartup, startMenu + (nt ? "\\Programs\\Startup" : "\\Programs\\StartUp")},
            {kCsidlTemplates, nt && windows != TPlanWindows::NT4 ? profile + "\\Templates" : windows_ + "\\ShellNew"},
        };
        if (!allUsers.empty()) {
            folders_.push_back({kCsidlCommonStartMenu, allUsers + "\\Start Menu"});
            folders_.push_back({kCsidlCommonPrograms, allUsers + "\\Start Menu\\Programs"});
            folders_.push_back({kCsidlCommonStartup, allUsers + "\\Start Menu\\Programs\\Startup"});
            folders_.push_back({kCsidlCommonDesktopDirectory, allUsers + "\\Desktop"});
        }

        const std::string currentVersion = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
        values_ = {
            {currentVersion + "\\Setup", "BootDir", "C:\\"},
            {currentVersion, "ProgramFilesDir", "C:\\Program Files"},
            {currentVersion, "CommonFilesDir", "C:\\Program Files\\Common Files"},
        };
        // The first Windows 95 has no application data folder of its own.
        if (windows != TPlanWindows::Win95)
            values_.push_back({"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                               "AppData", profile + "\\Application Data"});

        if (nt) {
            const bool profiles = windows != TPlanWindows::NT4;
            const std::string temp = profiles ? profile + "\\Local Settings\\Temp" : "C:\\TEMP";
            if (profiles) environment_.push_back("ALLUSERSPROFILE=" + allUsers);
            if (profiles) environment_.push_back("APPDATA=" + profile + "\\Application Data");
            if (windows == TPlanWindows::WinXP)
                environment_.push_back("CommonProgramFiles=C:\\Program Files\\Common Files");
            environment_.push_back("ComSpec=" + system_ + "\\cmd.exe");
            environment_.push_back("HOMEDRIVE=C:");
            environment_.push_back(profiles ? "HOMEPATH=\\Documents and Settings\\User" : "HOMEPATH=\\");
            environment_.push_back("OS=Windows_NT");
            environment_.push_back("Path=" + system_ + ";" + windows_);
            if (profiles) environment_.push_back("ProgramFiles=C:\\Program Files");
            environment_.push_back("SystemDrive=C:");
            environment_.push_back("SystemRoot=" + windows_);
            environment_.push_back("TEMP=" + temp);
            environment_.push_back("TMP=" + temp);
            environment_.push_back("USERNAME=User");
            environment_.push_back("USERPROFILE=" + profile);
            environment_.push_back("windir=" + windows_);
        } else {
            environment_ = {"TMP=C:\\WINDOWS\\TEMP", "TEMP=C:\\WINDOWS\\TEMP", "PROMPT=$p$g",
                            "winbootdir=C:\\WINDOWS", "COMSPEC=C:\\WINDOWS\\COMMAND.COM",
                            "PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND", "windir=C:\\WINDOWS"};
        }
    }

    StringList Environment() override { return environment_; }
    std::string WindowsDirectory() override { return windows_; }
    std::string SystemDirectory() override { return system_; }
    std::string ShellFolder(int csidl) override {
        for (const auto& [id, path] : folders_)
            if (id == csidl) return path;
        return {};
    }
    std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultValue) override {
        std::string_view key = keyPath;
        while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
        for (const TValue& v : values_)
            if (SameText(v.key, key) && SameText(v.name, valueName)) return v.data;
        return defaultValue;
    }
    void RegListSubKeys(const std::string&, StringList& names) override { names.clear(); }
    // The target's INI files are not here, and the machine that plans must
    // not lend its own: a package could name any file of the author's and
    // have its values shown (a CI log would publish them). The default is
    // what a system without that file gives.
    std::string IniReadString(const std::string&, const std::string&, const std::string&,
                              const std::string& defaultValue) override {
        return defaultValue;
    }
    // Today, in the short date format of an English (United States) system.
    std::string ShortDate() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        return std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) + "/" +
               std::to_string(local.tm_year + 1900);
    }

private:
    struct TValue {
        std::string key;
        std::string name;
        std::string data;
    };
    std::string windows_;
    std::string system_;
    std::vector<std::pair<int, std::string>> folders_;
    std::vector<TValue> values_;
    StringList environment_;
};

// --- Items --------------------------------------------------------------

TPlanField Text(const char* name, std::string value) { return {name, std::move(value), TPlanField::Kind::Text}; }
TPlanField Number(const char* name, int64_t value) {
    return {name, std::to_string(value), TPlanField::Kind::Number};
}
TPlanField Bool(const char* name, bool value) { return {name, value ? "true" : "false", TPlanField::Kind::Bool}; }

// " [names]" for a line, nothing without flags.
std::string Bracketed(const std::string& names) { return names.empty() ? std::string() : " [" + names + "]"; }

const char* RegTypeName(uint32_t type) {
    switch (type) {
        case kRegDword: return "REG_DWORD";
        case kRegBinary: return "REG_BINARY";
        default: return "REG_SZ";
    }
}

std::string WithBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

// The engine's message 11, "Can't extract file "%s".", as the chosen
// language says it.
std::string CopyFailure(const std::string& path) {
    std::string text = GetMessageString(11);
    if (text.empty()) text = "Can't extract file \"%s\".";
    return FormatMessageText(text, path) + " (the install stops here)";
}

// A three-letter code that names a system locale: the language list carries
// the system's spelling of it, in upper case.
std::string SystemSpelling(const std::string& code) {
    const bool letters = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    return letters ? AnsiUpperCase(code) : code;
}

void Item(TPlanGroup& group, std::string line, std::vector<TPlanField> fields, std::string refused = {}) {
    group.items.push_back({std::move(line), std::move(fields), std::move(refused)});
}

// The run's state that the engine's portable modules read, bound for one
// plan and given back after it.
class TPlanRun {
public:
    explicit TPlanRun(std::vector<std::string>& notes) {
        BindConfigPaths(&paths_);
        SetExpandErrorHandler([&notes](const std::string& message) { notes.push_back(message); });
    }
    ~TPlanRun() {
        SetExpandErrorHandler(nullptr);
        CloseAllIniFiles();
        VariableList.Clear();
        BindConfigPaths(nullptr);
    }
    TPlanRun(const TPlanRun&) = delete;
    TPlanRun& operator=(const TPlanRun&) = delete;
    TConfigPaths& Paths() { return paths_; }

private:
    TConfigPaths paths_;
};

void PlanScripts(const std::string& settings, const std::string& setupFolder, const TScriptSystem& system,
                 TPlanGroup& group) {
    const std::string names = IniReadString(settings, "Config", "InsFiles", "");
    const CharSet comma(",");
    for (int i = 1, n = TokenCount(names, comma); i <= n; ++i) {
        const std::string base(Trim(TokenAt(i, names, comma)));
        if (base.empty()) continue;
        if (!IsSafeRelativePath(base)) {
            Item(group, base, {Text("file", base), Bool("read", false)},
                 "not a name inside the setup folder: no script is read for it");
            continue;
        }
        for (const std::string& extension : ScriptExtensions(system)) {
            const bool read = platform::FileExists(setupFolder + base + extension);
            Item(group, base + extension + (read ? "  read" : "  absent"),
                 {Text("file", base + extension), Bool("read", read)});
        }
    }
}

void PlanFiles(const std::string& settings, TWorkLists& lists, TPlan& plan, TPlanGroup& files,
               TPlanGroup& comServers, TPlanGroup& fonts, bool win9x) {
    StringList lines;
    IniReadSectionValues(settings, "FileInfo", lines);
    std::set<const TWorkList::TEntry*> used;
    size_t left = 0;
    const std::string fontsFolder = GetVariable("Fonts");
    for (const std::string& line : lines) {
        const std::string source = "Data\\" + std::string(NamePart(line));
        const std::string_view info = ValuePart(line);
        const TWorkList::TEntry* entry = FindCopyEntry(lists.PackageFileList, source);
        if (entry == nullptr) {
            ++left;
            continue;
        }
        used.insert(entry);
        const int flags = CopyFlagsOf(*entry);
        const std::string target = CopyDestination(*entry, source);
        const bool refused = target.empty() || !IsSafeTargetPath(target);
        const int64_t size = ParseNumber(FieldAt(1, info, ","), 0);
        const std::string version(Trim(FieldAt(2, info, ",")));
        Item(files, source + " -> " + (target.empty() ? "?" : target) + Bracketed(FlagNames(CopyFlags(), flags)),
             {Text("source", source), Text("target", target), Number("flags", flags),
              Text("flagNames", FlagNames(CopyFlags(), flags)), Number("size", size), Text("version", version)},
             refused ? CopyFailure(target.empty() ? source : target) : std::string());
        if (refused) continue;
        if (flags & kCopyComServer)
            Item(comServers, target, {Text("path", target), Bool("logged", !(flags & kCopyNoLog))});
        if (flags & kCopyFont) {
            // The engine registers a TrueType file under its name and
            // " (TrueType)" unless the name alone is registered already.
            std::string name = FieldAt(3, info, ",");
            const size_t dot = target.rfind('.');
            if (name.empty()) {
                Item(fonts, "(no name: copied where no file is yet, not registered) = " + target,
                     {Text("name", ""), Text("file", target), Text("key", ""), Text("data", "")});
                continue;
            }
            if (dot != std::string::npos && SameText(std::string_view(target).substr(dot), ".ttf"))
                name += " (TrueType)";
            Item(fonts, name + " = " + target,
                 {Text("name", name), Text("file", target), Text("key", FontsKey(win9x)),
                  Text("data", FontRegistryData(target, fontsFolder))});
        }
    }
    if (left != 0)
        plan.notes.push_back(std::to_string(left) + " of the package's " + std::to_string(lines.size()) +
                             " Data files are named by no CopyFiles line and are not installed");
    for (const TWorkList::TEntry& entry : lists.PackageFileList.Entries())
        if (used.count(&entry) == 0)
            plan.notes.push_back("the CopyFiles line for " + entry.name + " matches no file of the package");
}

void PlanExternalFiles(const TWorkLists& lists, TPlanGroup& group) {
    for (const TWorkList::TEntry& entry : lists.ExternalFileList.Entries()) {
        const int flags = CopyFlagsOf(entry);
        const std::string target(Trim(FieldAt(1, entry.value, ",")));
        const bool wildcard = HasWildcard(entry.name.substr(FileNameStart(entry.name)));
        // A mask's files go below the folder of its target.
        std::string checked = wildcard ? target.substr(0, FileNameStart(target)) + "x" : target;
        const bool refused = !IsSafeTargetPath(checked);
        Item(group, entry.name + " -> " + target + Bracketed(FlagNames(CopyFlags(), flags)),
             {Text("source", entry.name), Text("target", target), Number("flags", flags),
              Text("flagNames", FlagNames(CopyFlags(), flags))},
             refused ? CopyFailure(target) : std::string());
    }
}

void PlanDeletes(const TWorkLists& lists, TPlanGroup& group) {
    for (const TWorkList::TEntry& entry : lists.DeleteFileList.Entries()) {
        std::string checked = entry.name;
        for (char& c : checked)
            if (c == '*' || c == '?') c = 'x';
        Item(group, entry.name, {Text("path", entry.name)},
             IsSafeTargetPath(checked) ? std::string() : "not a full path the install may change: skipped");
    }
}

void PlanRegistry(const TWorkLists& lists, TPlanGroup& values, TPlanGroup& deletes) {
    for (const TWorkList::TEntry& item : lists.RegAddList.Entries()) {
        const TRegValueEntry e = ParseRegValueEntry(item.name, item.value);
        Item(values,
             e.keyPath + "\\" + (e.valueName.empty() ? "(default)" : e.valueName) + " = " + e.data + " (" +
                 RegTypeName(e.type) + ")" + Bracketed(FlagNames(ChangeFlags(), e.flags)),
             {Text("key", e.keyPath), Text("name", e.valueName), Text("data", e.data),
              Text("type", RegTypeName(e.type)), Number("flags", e.flags)});
    }
    for (const TWorkList::TEntry& item : lists.RegDeleteList.Entries()) {
        const std::string path = ResolvedRegPath(item.name);
        Item(deletes, path + " (the key of that name when it has no sub-keys, else the value)", {Text("path", path)},
             RegKeyDeleteRefusal(item.name));
    }
}

void PlanIni(const TWorkLists& lists, TPlanGroup& group) {
    const std::string windows = GetVariable("Windows");
    for (const TWorkList::TEntry& item : lists.IniAddList.Entries()) {
        const TIniEntry e = ParseIniEntry(item.name, item.value);
        // A name without a folder lives in the Windows folder.
        const bool bare = FileNameStart(e.file) == 0 && e.file.find(':') == std::string::npos;
        const std::string file = bare && !e.file.empty() ? WithBackslash(windows) + e.file : e.file;
        Item(group, file + " [" + e.section + "] " + e.key + "=" + e.data + Bracketed(FlagNames(ChangeFlags(), e.flags)),
             {Text("file", file), Text("section", e.section), Text("key", e.key), Text("data", e.data),
              Number("flags", e.flags)});
    }
}

void PlanShortcuts(const TWorkLists& lists, TPlanGroup& group) {
    for (const TWorkList::TEntry& entry : lists.ShortcutList.Entries()) {
        const std::string link = ShortcutLinkPath(entry.name);
        const TShortcutFields f = ParseShortcutFields(entry.value);
        std::string line = link + " -> " + f.Target;
        if (!f.Arguments.empty()) line += " " + f.Arguments;
        Item(group, line,
             {Text("link", link), Text("target", f.Target), Text("arguments", f.Arguments),
              Text("folder", f.WorkingFolder), Text("icon", f.IconFile), Number("iconIndex", f.IconIndex),
              Text("description", f.Description), Number("flags", f.Flags)},
             IsSafeTargetPath(link) ? std::string()
                                    : "Error creating shortcut \"" + link + "\". (the install stops here)");
    }
}

void PlanPrograms(const TWorkLists& lists, TPlanGroup& group) {
    for (const TWorkList::TEntry& entry : lists.RunList.Entries()) {
        const TProgramFields f = ParseProgramFields(entry.value);
        std::string line = entry.name + ": " + f.Program;
        if (!f.Parameters.empty()) line += " " + f.Parameters;
        if (!f.Wait) line += " [not waited for]";
        if (f.AfterRestart) line += " [after a pending restart]";
        Item(group, line,
             {Text("name", entry.name), Text("program", f.Program), Text("parameters", f.Parameters),
              Text("folder", f.WorkingFolder), Text("message", f.Message), Bool("wait", f.Wait),
              Bool("afterRestart", f.AfterRestart)});
    }
}

}  // namespace

bool ParsePlanWindows(std::string_view text, TPlanWindows& windows) {
    for (const TWindowsKind& k : kKinds)
        if (SameText(text, k.option)) {
            windows = k.windows;
            return true;
        }
    return false;
}

const char* PlanWindowsOption(TPlanWindows windows) { return KindOf(windows).option; }
const char* PlanWindowsTitle(TPlanWindows windows) { return KindOf(windows).title; }

std::unique_ptr<IVariableSources> DefaultSystemSources(TPlanWindows windows) {
    return std::make_unique<TPlanSources>(windows);
}

bool MakePlan(const std::string& setupFolder, const TPlanRequest& request, TPlan& plan, std::string& error) {
    plan = {};
    const std::string settings = setupFolder + "Brik.ini";
    if (!platform::FileExists(settings)) {
        error = "no Presetup\\Brik.ini: the engine would refuse it (\"Can't extract presetup files!\")";
        return false;
    }
    TPlanRun run(plan.notes);
    run.Paths() = {setupFolder + "setup.exe", setupFolder, settings};
    CloseIniFile(settings);

    // The language the engine starts with on an English system, or the one
    // the user would pick among those the package offers.
    std::vector<std::string> offered;
    for (const std::string& code : SplitLanguageCodes(IniReadString(settings, "Config", "Languages", "")))
        offered.push_back(SystemSpelling(code));
    if (offered.empty()) offered.push_back("ENU");
    std::string language;
    if (!request.language.empty()) {
        for (const std::string& code : offered)
            if (SameText(code, request.language)) language = code;
        if (language.empty()) {
            std::string list;
            for (const std::string& code : offered) list.append(list.empty() ? "" : ", ").append(code);
            error = "the package offers no language " + request.language + " (it offers " + list + ")";
            return false;
        }
    } else {
        std::vector<std::string> entries;
        for (const std::string& code : offered) entries.push_back(code + "=");
        language = ChooseLanguage(entries, "ENU", IniReadBool(settings, "Config", "AutoSelectLanguage", true));
    }
    SelectLanguageFile(language);
    const std::string languageFile = LanguageState().LanguageFile;

    const std::unique_ptr<IVariableSources> sources = DefaultSystemSources(request.windows);
    LoadVariablesFrom(*sources, {run.Paths().SetupExePath, setupFolder, settings, language});
    // Where the setup program runs from and its temporary folder are known
    // only on the day: they stay references.
    StringList lines = VariableList.Lines();
    std::erase_if(lines, [](const std::string& line) {
        return SameText(NamePart(line), "SourcePath") || SameText(NamePart(line), "Presetup");
    });
    VariableList.Assign(std::move(lines));
    for (const auto& [name, value] : request.variables) SetVariable(name, value);

    // As the install starts: the folder trimmed once for every use.
    SetPathVariable("InstallPath", ExpandVariables(GetVariable("InstallPath")));
    const std::string installPath = GetVariable("InstallPath");
    const std::string logPath = installPath.empty() ? std::string() : installPath + "\\install.log";
    const TWindowsKind& kind = KindOf(request.windows);
    TWorkLists lists;
    const std::string scriptLanguage = ScriptLanguageOf(languageFile, language);
    ReadInstallScripts(settings, setupFolder, kind.system, scriptLanguage, lists);

    const bool isProtected = IsPasswordProtected(IniReadString(settings, "Config", "PswCheckHash", ""));
    plan.header = {
        Text("windows", kind.option),
        Text("windowsTitle", kind.title),
        Text("language", language),
        Text("languageFile", languageFile.substr(platform::ExtractFilePath(languageFile).size())),
        Text("scriptSuffix", "." + scriptLanguage),
        Text("programName", GetVariable("ProgramName")),
        Text("installPath", installPath),
        Text("programGroup", GetVariable("ProgramGroup")),
        Text("windowsFolder", GetVariable("Windows")),
        Text("systemFolder", GetVariable("System")),
        Bool("passwordProtected", isProtected),
        Bool("rollbackOnFailure", IniReadBool(settings, "Config", "RollbackOnFailure", true)),
    };
    if (isProtected)
        plan.notes.push_back("the package is password-protected: the install asks for the password first; its setup "
                             "files, which this plan reads, are never encrypted");

    plan.groups = {
        {"scripts", "Scripts", {}},          {"files", "Files", {}},
        {"externalFiles", "Files from disk", {}}, {"deleteFiles", "Files deleted first", {}},
        {"registry", "Registry values", {}}, {"registryDeletes", "Registry deletions", {}},
        {"ini", "INI entries", {}},          {"shortcuts", "Shortcuts", {}},
        {"comServers", "COM servers", {}},   {"fonts", "Fonts", {}},
        {"programs", "Programs run", {}},    {"uninstall", "Uninstall registration", {}},
    };
    auto group = [&plan](const char* key) -> TPlanGroup& {
        for (TPlanGroup& g : plan.groups)
            if (std::string_view(g.key) == key) return g;
        return plan.groups.front();
    };
    PlanScripts(settings, setupFolder, kind.system, group("scripts"));
    PlanFiles(settings, lists, plan, group("files"), group("comServers"), group("fonts"), !kind.system.PlatformNT);
    PlanExternalFiles(lists, group("externalFiles"));
    PlanDeletes(lists, group("deleteFiles"));
    PlanRegistry(lists, group("registry"), group("registryDeletes"));
    PlanIni(lists, group("ini"));
    PlanShortcuts(lists, group("shortcuts"));
    PlanPrograms(lists, group("programs"));

    const bool uninstall = IniReadBool(settings, "Config", "Uninstall", false);
    if (uninstall && !platform::FileExists(setupFolder + "UnInst.exe")) {
        plan.notes.push_back("[Config] Uninstall is on, but the package has no UnInst.exe: nothing is registered");
    } else if (uninstall && logPath.empty()) {
        plan.notes.push_back("no InstallPath: no install log and no uninstall registration");
    } else if (uninstall) {
        const std::string programName = GetVariable("ProgramName");
        std::string keyName = GetSetting("Config", "UninstallKey", "");
        if (keyName.empty()) keyName = programName;
        const std::string key = UninstallKeyPath(keyName);
        const std::string command = UninstallCommandLine(WithBackslash(installPath) + "UnInst.exe", logPath);
        Item(group("uninstall"), key + ": " + programName + ", " + command,
             {Text("key", key), Text("displayName", programName), Text("uninstallString", command),
              Text("log", logPath)},
             key.empty() ? "no name for the registration ([Config] UninstallKey and ProgramName are empty)"
                         : std::string());
    }
    return true;
}

// --- Staging ----------------------------------------------------------------

namespace {

bool WriteStaged(const std::string& folder, const std::string& name, std::string_view bytes, std::string& error) {
    const std::string path = folder + name;
#ifdef _WIN32
    // A setup file in a subfolder: the folder is made as the engine makes it.
    if (!platform::ForceDirectories(platform::ExtractFilePath(path))) {
        error = "cannot create a folder for " + name;
        return false;
    }
#endif
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

// The names the engine opens in its setup folder, by the settings: each is
// given a copy under that spelling when the package spells it otherwise (a
// file system that tells case apart would not find it).
void AddEngineSpellings(const std::string& folder, const std::vector<std::string>& staged) {
    auto alias = [&](const std::string& wanted) {
        if (platform::FileExists(folder + wanted)) return;
        for (const std::string& name : staged)
            if (SameText(name, wanted)) {
                std::error_code ignored;
                fs::copy_file(fs::path(folder + name), fs::path(folder + wanted), ignored);
                return;
            }
    };
    alias("Brik.ini");
    const std::string settings = folder + "Brik.ini";
    if (!platform::FileExists(settings)) return;
    alias("UnInst.exe");
    alias("Enu.lng");
    alias("ENU.lng");
    for (const std::string& code : SplitLanguageCodes(IniReadString(settings, "Config", "Languages", ""))) {
        alias(code + ".lng");
        alias(SystemSpelling(code) + ".lng");
    }
    const std::string names = IniReadString(settings, "Config", "InsFiles", "");
    const CharSet comma(",");
    static const char* const kExtensions[] = {".ins", ".nt", ".nt4", ".2k", ".xp", ".9x", ".95", ".98", ".me"};
    for (int i = 1, n = TokenCount(names, comma); i <= n; ++i) {
        const std::string base(Trim(TokenAt(i, names, comma)));
        if (!base.empty() && IsSafeRelativePath(base))
            for (const char* extension : kExtensions) alias(base + extension);
    }
    CloseIniFile(settings);
}

std::string WithDelimiter(std::string folder) {
    if (!folder.empty() && !platform::IsPathDelim(folder.back())) folder += platform::PathDelim;
    return folder;
}

// The Presetup files as the engine's walk takes them: up to the first other
// name; a name the engine would refuse ends the walk with an error.
class TPresetupCollector final : public cab::WalkHandler {
public:
    struct TFile {
        std::string name;  // below Presetup\, backslashes
        std::string bytes;
    };

    cab::FileAction BeginFile(const cab::CabFile& file) override {
        std::string name;
        switch (PresetupDestination(file.name, "", name)) {
            case PresetupName::End:
                ended_ = true;
                return cab::FileAction::Stop;
            case PresetupName::Refuse:
                refused_ = file.name;
                return cab::FileAction::Stop;
            case PresetupName::Extract: break;
        }
        for (char& c : name)
            if (c == '/') c = '\\';
        files_.push_back({std::move(name), {}});
        return cab::FileAction::Write;
    }
    bool WriteData(const cab::CabFile&, const uint8_t* data, uint32_t size) override {
        // Only the INI-format files are read; the others need only be there.
        std::string& bytes = files_.back().bytes;
        if (bytes.size() + size <= kKeptBytes) bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool EndFile(const cab::CabFile&) override { return true; }

    const std::vector<TFile>& Files() const { return files_; }
    const std::string& Refused() const { return refused_; }
    // The walk reached the first file that is not a setup file.
    bool Ended() const { return ended_; }

private:
    bool ended_ = false;
    static constexpr size_t kKeptBytes = size_t{16} << 20;
    std::vector<TFile> files_;
    std::string refused_;
};

}  // namespace

bool StageProject(const std::string& projectUtf8, int codePage, const std::string& folderIn, std::string& error) {
    const std::string folder = WithDelimiter(folderIn);
    Project project;
    std::vector<Diagnostic> diagnostics;
    ScanProject(fs::path(std::u8string(projectUtf8.begin(), projectUtf8.end())), codePage, project, diagnostics);
    for (const Diagnostic& d : diagnostics)
        if (d.level == Diagnostic::Level::Error) {
            error = d.Format();
            return false;
        }
    if (project.settings < 0) {
        error = "the project has no Presetup/Brik.ini";
        return false;
    }
    std::vector<std::string> fileInfo;
    for (const ProjectFile& file : project.data) {
        std::string line = FileInfoLine(file, codePage, diagnostics);
        if (!line.empty()) fileInfo.push_back(std::move(line));
    }
    std::vector<std::string> staged;
    for (size_t i = 0; i < project.presetup.size(); ++i) {
        const ProjectFile& file = project.presetup[i];
        std::string bytes;
        if (static_cast<int>(i) == project.settings) {
            bytes = RenderSettings(file.source, fileInfo, "");
        } else {
            std::ifstream in(file.source, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (in.bad()) {
                error = "cannot read " + file.shown;
                return false;
            }
        }
        if (!WriteStaged(folder, file.relative, bytes, error)) return false;
        staged.push_back(file.relative);
    }
    AddEngineSpellings(folder, staged);
    // A project that turns the uninstall on and brings no uninstaller gets
    // brikpack's own when it is built.
    const std::string settings = folder + "Brik.ini";
    const bool addsUninstaller = platform::FileExists(settings) &&
                                 IniReadBool(settings, "Config", "Uninstall", false) &&
                                 !platform::FileExists(folder + "UnInst.exe");
    CloseIniFile(settings);
    return !addsUninstaller || WriteStaged(folder, "UnInst.exe", {}, error);
}

bool StagePackage(const std::string& file, const std::string& folderIn, bool& passwordProtected,
                  std::string& error) {
    const std::string folder = WithDelimiter(folderIn);
    passwordProtected = false;
    cab::FileSource source;
    if (!source.Open(file)) {
        error = "cannot open the file";
        return false;
    }
    cab::Cabinet cab;
    if (cab.Open(source) != cab::CabStatus::Ok || (cab.IsPackage() && cab.CheckFolders() != cab::CabStatus::Ok)) {
        error = cab.Error();
        return false;
    }
    TPresetupCollector collector;
    const cab::CabStatus status = cab.Walk(collector);
    if (!collector.Refused().empty()) {
        error = "the setup file name \"" + collector.Refused() +
                "\" leads out of the setup folder: the engine would refuse the package (\"Can't extract presetup "
                "files!\")";
        return false;
    }
    if (status != cab::CabStatus::Ok && !collector.Ended()) {
        error = cab.Error();
        return false;
    }
    std::vector<std::string> staged;
    for (const TPresetupCollector::TFile& f : collector.Files()) {
        if (!WriteStaged(folder, f.name, f.bytes, error)) return false;
        staged.push_back(f.name);
        if (SameText(f.name, "Brik.ini")) {
            std::string hash;
            IniLineIndex(f.bytes).Value(kPasswordSection, kPswCheckHashKey, hash);
            passwordProtected = IsPasswordProtected(hash);
        }
    }
    AddEngineSpellings(folder, staged);
    return true;
}

// --- Output -----------------------------------------------------------------

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char kHex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += kHex[(c >> 4) & 15];
                    out += kHex[c & 15];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

namespace {

void AppendFields(std::string& out, const std::vector<TPlanField>& fields, int codePage, const char* indent) {
    bool first = true;
    for (const TPlanField& f : fields) {
        out.append(first ? "" : ",\n").append(indent).append(JsonString(f.name)).append(": ");
        out += f.kind == TPlanField::Kind::Text ? JsonString(CodePageToUtf8(f.value, codePage)) : f.value;
        first = false;
    }
}

}  // namespace

std::string PlanJson(const TPlan& plan, int codePage) {
    std::string out = "{\n  \"format\": 1,\n";
    AppendFields(out, plan.header, codePage, "  ");
    for (const TPlanGroup& group : plan.groups) {
        out.append(",\n  ").append(JsonString(group.key)).append(": [");
        bool first = true;
        for (const TPlanItem& item : group.items) {
            out.append(first ? "\n    {\n" : ",\n    {\n");
            AppendFields(out, item.fields, codePage, "      ");
            out.append(",\n      \"refused\": ");
            out += item.refused.empty() ? "null" : JsonString(CodePageToUtf8(item.refused, codePage));
            out.append("\n    }");
            first = false;
        }
        out.append(first ? "]" : "\n  ]");
    }
    out.append(",\n  \"notes\": [");
    for (size_t i = 0; i < plan.notes.size(); ++i)
        out.append(i ? ",\n    " : "\n    ").append(JsonString(CodePageToUtf8(plan.notes[i], codePage)));
    out.append(plan.notes.empty() ? "]\n}\n" : "\n  ]\n}\n");
    return out;
}

std::string PlanText(const TPlan& plan, int codePage) {
    auto header = [&plan](std::string_view name) -> std::string {
        for (const TPlanField& f : plan.header)
            if (f.name == name) return f.value;
        return {};
    };
    std::string out = header("windowsTitle") + " (--windows " + header("windows") + "), language " +
                      header("language") + " (" + header("languageFile") + ", script sections " +
                      header("scriptSuffix") + ")\n";
    out += "  ProgramName:  " + header("programName") + "\n";
    out += "  InstallPath:  " + header("installPath") + "\n";
    out += "  ProgramGroup: " + header("programGroup") + "\n";
    out += "  Windows:      " + header("windowsFolder") + ", system: " + header("systemFolder") + "\n";
    out += "  On failure:   " +
           std::string(header("rollbackOnFailure") == "true" ? "everything taken back (RollbackOnFailure=1)"
                                                             : "what was done stays (RollbackOnFailure=0)") +
           "\n";
    for (const TPlanGroup& group : plan.groups) {
        out.append("\n").append(group.title).append(" (").append(std::to_string(group.items.size())).append("):\n");
        if (group.items.empty()) out += "  none\n";
        for (const TPlanItem& item : group.items) {
            out.append("  ").append(item.line);
            if (!item.refused.empty()) out.append("\n      REFUSED: ").append(item.refused);
            out += '\n';
        }
    }
    if (!plan.notes.empty()) {
        out += "\nNotes:\n";
        for (const std::string& note : plan.notes) out.append("  ").append(note).append("\n");
    }
    return CodePageToUtf8(out, codePage);
}

}  // namespace brik
