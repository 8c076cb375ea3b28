#include "config/Variables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <utility>

#include "config/RegPath.h"
#include "config/kpIniFile.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

TVariableList VariableList;

namespace {

// ReplaceAllNoCase's table, copied once so the hot loops index an array.
const std::array<unsigned char, 256>& Upper1251() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = static_cast<unsigned char>(UpperCase1251(static_cast<char>(i)));
        return t;
    }();
    return table;
}

// A double-byte character of the system's code page is never folded: the
// table would change its bytes and make different names one.
void UpperInto(std::string_view text, std::string& out) {
    const auto& upper = Upper1251();
    out.resize(text.size());
    if (!platform::AnsiHasLeadBytes()) {
        for (size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<char>(upper[static_cast<unsigned char>(text[i])]);
        return;
    }
    const bool* lead = platform::AnsiLeadTable();
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (lead[c] && i + 1 < text.size()) {
            out[i] = text[i];
            ++i;
            out[i] = text[i];
            continue;
        }
        out[i] = static_cast<char>(upper[c]);
    }
}

// Replaces every "%name%" (1251 case-insensitive, left to right, not
// overlapping, inserted text not rescanned) and tells whether there was one.
// A "%" right after a lead byte is that character's second byte and opens
// nothing.
bool ReplacePattern(std::string& text, std::string_view name, std::string_view value) {
    const auto& upper = Upper1251();
    const bool* lead = platform::AnsiLeadTable();
    const bool doubleByte = platform::AnsiHasLeadBytes();
    const size_t patternSize = name.size() + 2;
    if (text.size() < patternSize) return false;
    auto matchesAt = [&](size_t p) {
        if (text[p + patternSize - 1] != '%') return false;
        for (size_t k = 0; k < name.size(); ++k) {
            const auto t = static_cast<unsigned char>(text[p + 1 + k]);
            const auto n = static_cast<unsigned char>(name[k]);
            if (upper[t] != upper[n]) return false;
            if (doubleByte && (lead[t] || lead[n])) {
                // A double-byte character matches only as it is.
                if (t != n) return false;
                if (k + 1 < name.size() && text[p + 2 + k] != name[k + 1]) return false;
                ++k;
            }
        }
        return true;
    };
    std::string out;
    bool found = false;
    size_t from = 0;  // start of the text not yet copied
    size_t at = 0;    // where the search goes on
    size_t boundary = 0;  // a character start, at most one character before `at`
    const size_t last = text.size() - patternSize;
    while (at <= last) {
        const void* hit = std::memchr(text.data() + at, '%', last - at + 1);
        if (hit == nullptr) break;
        const size_t p = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        while (doubleByte && boundary < p)
            boundary += lead[static_cast<unsigned char>(text[boundary])] && boundary + 1 < text.size() ? 2 : 1;
        if ((doubleByte && boundary != p) || !matchesAt(p)) {
            at = p + 1;
            continue;
        }
        if (!found) {
            found = true;
            out.reserve(text.size() + value.size());
        }
        out.append(text, from, p - from);
        out.append(value);
        from = at = boundary = p + patternSize;
    }
    if (!found) return false;
    out.append(text, from, std::string::npos);
    text = std::move(out);
    return true;
}

// Line indices still to try in this pass, largest first so the next one to
// try is at the back.
class PendingLines {
public:
    void Add(int i) {
        auto it = std::lower_bound(items_.begin(), items_.end(), i, std::greater<int>());
        if (it == items_.end() || *it != i) items_.insert(it, i);
    }
    bool Empty() const { return items_.empty(); }
    int Next() {
        const int i = items_.back();
        items_.pop_back();
        return i;
    }

private:
    std::vector<int> items_;
};

}  // namespace

void TVariableList::Clear() {
    lines_.clear();
    Reindex();
}

void TVariableList::Assign(StringList lines) {
    lines_ = std::move(lines);
    Reindex();
}

void TVariableList::Append(std::string line) {
    lines_.push_back(std::move(line));
    IndexLine(Count() - 1);
}

void TVariableList::Set(std::string_view name, std::string_view value) {
    std::string line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name).append("=").append(value);
    const int i = IndexOf(name);
    if (i < 0) {
        Append(std::move(line));
        return;
    }
    std::string oldKey;
    std::string newKey;
    UpperInto(NamePart(lines_[static_cast<size_t>(i)]), oldKey);
    UpperInto(name, newKey);
    lines_[static_cast<size_t>(i)] = std::move(line);
    // Names equal to the locale need not be equal to the 1251 table.
    if (oldKey != newKey) Reindex();
}

int TVariableList::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (SameText(NamePart(lines_[i]), name)) return static_cast<int>(i);
    }
    return -1;
}

std::string TVariableList::Value(std::string_view name) const {
    const int i = IndexOf(name);
    return i < 0 ? std::string() : std::string(ValuePart(lines_[static_cast<size_t>(i)]));
}

void TVariableList::Reindex() {
    byName_.Clear();
    next_.clear();
    spanning_.clear();
    chainEnd_.clear();
    for (int i = 0; i < Count(); ++i) IndexLine(i);
}

void TVariableList::IndexLine(int i) {
    next_.resize(lines_.size(), -1);
    chainEnd_.resize(lines_.size(), -1);
    std::string_view name = NamePart(lines_[static_cast<size_t>(i)]);
    // A line without a name (the environment's "=C:=C:\..." strings) would
    // turn every "%%" of a text into a drive's current folder: it takes no
    // part in expansion.
    if (name.empty()) return;
    if (name.find('%') != std::string_view::npos) {
        spanning_.push_back(i);
        return;
    }
    std::string key;
    UpperInto(name, key);
    auto [head, inserted] = byName_.TryEmplace(std::move(key), i);
    if (inserted) {
        chainEnd_[static_cast<size_t>(i)] = i;
        return;
    }
    const int first = *head;
    next_[static_cast<size_t>(chainEnd_[static_cast<size_t>(first)])] = i;
    chainEnd_[static_cast<size_t>(first)] = i;
}

// One pass visits the lines in list order, but only those whose pattern can
// occur: a name without "%" can only match between two neighbouring "%" of
// the text, so the text's "%" pairs name the candidates. After each
// replacement the text is searched again for candidates further down the
// list; the result is that of trying every line in turn.
bool TVariableList::Expand(std::string_view text, std::string& result, size_t maxGrowth) const {
    result.assign(text);
    const size_t maxLength = text.size() + maxGrowth;
    std::string key;
    auto collect = [&](const std::string& work, int after, PendingLines& pending) {
        size_t open = work.find('%');
        while (open != std::string::npos) {
            const size_t close = work.find('%', open + 1);
            if (close == std::string::npos) break;
            UpperInto(std::string_view(work).substr(open + 1, close - open - 1), key);
            if (const int* head = byName_.Find(key)) {
                for (int i = *head; i >= 0; i = next_[static_cast<size_t>(i)])
                    if (i > after) pending.Add(i);
            }
            open = close;
        }
    };

    for (int pass = 1;; ++pass) {
        if (pass > kMaxExpandPasses) {
            result.assign(text);
            return false;
        }
        if (result.find('%') == std::string::npos) return true;
        PendingLines pending;
        for (int i : spanning_) pending.Add(i);
        collect(result, -1, pending);
        bool changed = false;
        while (!pending.Empty()) {
            const int i = pending.Next();
            const std::string& line = lines_[static_cast<size_t>(i)];
            if (ReplacePattern(result, NamePart(line), ValuePart(line))) {
                if (result.size() > maxLength) {
                    result.assign(text);
                    return false;
                }
                changed = true;
                collect(result, i, pending);
            }
        }
        if (!changed) return true;
    }
}

namespace {

ExpandErrorHandler& ErrorHandler() {
    static ExpandErrorHandler handler;
    return handler;
}

}  // namespace

void SetExpandErrorHandler(ExpandErrorHandler handler) { ErrorHandler() = std::move(handler); }

std::string ExpandVariables(std::string_view text) {
    std::string result;
    if (!VariableList.Expand(text, result) && ErrorHandler()) {
        std::string message = "Infinite reference in the string \"";
        message.append(text).append("\"!");
        ErrorHandler()(message);
    }
    return result;
}

std::string ExpandText(std::string_view text) {
    std::string expanded = ExpandVariables(text);
    if (expanded.find("||") == std::string::npos) return expanded;
    return ReplaceAll(expanded, "||", "\r\n");
}

std::string GetVariable(std::string_view name) { return ExpandText(VariableList.Value(name)); }

void SetVariable(std::string_view name, std::string_view value) { VariableList.Set(name, value); }

void SetPathVariable(std::string_view name, std::string_view value) {
    value = Trim(value);
    if (!value.empty() && value.back() == '\\') value.remove_suffix(1);
    SetVariable(name, value);
}

std::string FirstWord(std::string_view text, char separator) {
    CharSet delims;
    delims.add(separator);
    return TokenAt(1, text, delims);
}

std::string ExtractFileDrive(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share": up to the backslash after the share name.
        const size_t server = path.find('\\', 2);
        if (server == std::string_view::npos) return std::string(path);
        const size_t share = path.find('\\', server + 1);
        return std::string(path.substr(0, share));
    }
    return {};
}

namespace {


constexpr const char* kCurrentVersionKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
constexpr const char* kVirtualRootsKey =
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots\\";
constexpr const char* kDelphiKey = "HKLM\\SOFTWARE\\Borland\\Delphi";

constexpr std::pair<const char*, int> kUserFolders[] = {
    {"Desktop", kCsidlDesktopDirectory}, {"Fonts", kCsidlFonts},         {"NetHood", kCsidlNetHood},
    {"Personal", kCsidlPersonal},        {"ProgramsMenu", kCsidlPrograms}, {"Recent", kCsidlRecent},
    {"SendTo", kCsidlSendTo},            {"StartMenu", kCsidlStartMenu}, {"StartupMenu", kCsidlStartup},
    {"Templates", kCsidlTemplates},
};
struct CommonFolder {
    const char* name;
    int common;
    int perUser;
};
constexpr CommonFolder kCommonFolders[] = {
    {"CommonStartMenu", kCsidlCommonStartMenu, kCsidlStartMenu},
    {"CommonProgramsMenu", kCsidlCommonPrograms, kCsidlPrograms},
    {"CommonStartupMenu", kCsidlCommonStartup, kCsidlStartup},
    {"CommonDesktop", kCsidlCommonDesktopDirectory, kCsidlDesktopDirectory},
};
// The other built-in variables that name a folder of the system, and the
// user's choice of where the program goes.
constexpr const char* kOtherGivenFolders[] = {"Windows", "System", "ProgramFiles", "CommonFiles", "ApplicationData",
                                              "InstallPath"};

void SetBuiltInVariables(IVariableSources& src, const VariableContext& context) {
    SetPathVariable("SourcePath", platform::ExtractFilePath(context.setupExePath));
    SetPathVariable("Presetup", context.setupFolder);
    SetVariable("BootDrive", ExtractFileDrive(src.RegReadString(
                                 "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup", "BootDir", "")));
    SetPathVariable("Windows", src.WindowsDirectory());
    SetPathVariable("System", src.SystemDirectory());

    for (const auto& [name, csidl] : kUserFolders) SetPathVariable(name, src.ShellFolder(csidl));

    for (const CommonFolder& f : kCommonFolders) {
        std::string path = src.ShellFolder(f.common);
        if (path.empty()) path = src.ShellFolder(f.perUser);
        SetPathVariable(f.name, path);
    }

    SetPathVariable("ProgramFiles",
                    src.RegReadString(kCurrentVersionKey, "ProgramFilesDir", "%BootDrive%\\Program Files"));
    SetPathVariable("CommonFiles",
                    src.RegReadString(kCurrentVersionKey, "CommonFilesDir", "%ProgramFiles%\\Common Files"));
    SetPathVariable("ApplicationData",
                    src.RegReadString("HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\",
                                      "AppData", "%Windows%\\Application Data"));
    SetPathVariable("Office97", src.RegReadString("HKLM\\SOFTWARE\\Microsoft\\Office\\8.0\\Common\\InstallRoot\\",
                                                  "OfficeBin", "%ProgramFiles%\\Microsoft Office\\Office"));
    SetPathVariable("Office97Templates",
                    src.RegReadString("HKCU\\SOFTWARE\\Microsoft\\Office\\8.0\\Common\\FileNew\\LocalTemplates\\",
                                      "", "%Templates%"));
    SetPathVariable("Office2000", src.RegReadString("HKLM\\SOFTWARE\\Microsoft\\Office\\9.0\\Common\\InstallRoot\\",
                                                    "Path", "%ProgramFiles%\\Microsoft Office\\Office"));

    std::string bde = FirstWord(src.RegReadString("HKLM\\SOFTWARE\\Borland\\Database Engine", "DLLPATH", ""), ';');
    if (bde.empty()) bde = "%CommonFiles%\\Borland Shared\\BDE";
    SetPathVariable("BDE", bde);

    StringList versions;
    src.RegListSubKeys(kDelphiKey, versions);
    std::string delphi = "C:";
    if (!versions.empty()) {
        std::stable_sort(versions.begin(), versions.end(), [](const std::string& a, const std::string& b) {
            return platform::CompareTextLocale(a, b) < 0;
        });
        delphi = src.RegReadString(std::string(kDelphiKey) + "\\" + versions.back(), "RootDir", "");
    }
    SetPathVariable("Delphi", delphi);

    SetVariable("Date", src.ShortDate());
    SetVariable("LangStr", context.languageCode);
    SetVariable("QuickLaunch", "%ApplicationData%\\Microsoft\\Internet Explorer\\Quick Launch");
    SetVariable("IIS-WWWRoot", FirstWord(src.RegReadString(kVirtualRootsKey, "/", "%BootDrive%\\wwwroot"), ','));
    SetVariable("IIS-Scripts",
                FirstWord(src.RegReadString(kVirtualRootsKey, "/Scripts", "%IIS-WWWRoot%\\scripts"), ','));
    SetVariable("MainTitle", "%ProgramName%");
}

// The section's lines override the store's lines of the same names.
void MergeSection(const std::string& file, const std::string& section) {
    StringList lines = VariableList.Lines();
    IniReadSectionValues(file, section, lines);
    VariableList.Assign(std::move(lines));
}

StringList SectionLines(const std::string& file, const std::string& section) {
    StringList lines;
    IniReadSectionValues(file, section, lines);
    return lines;
}

// Name=key path\value name,default
void LoadRegVariables(IVariableSources& src, const std::string& file, const std::string& section) {
    const CharSet comma(",");
    for (const std::string& line : SectionLines(file, section)) {
        const std::string_view entry = ValuePart(line);
        std::string keyPath;
        std::string valueName;
        SplitRegValuePath(ExpandText(FieldAt(1, entry, comma)), keyPath, valueName);
        SetVariable(NamePart(line), src.RegReadString(keyPath, valueName, FieldAt(2, entry, comma)));
    }
}

// Name=file,section,key,default
void LoadIniVariables(IVariableSources& src, const std::string& file, const std::string& section) {
    const CharSet comma(",");
    for (const std::string& line : SectionLines(file, section)) {
        const std::string_view entry = ValuePart(line);
        const std::string iniFile = ExpandText(FieldAt(1, entry, comma));
        const std::string defaultValue = FieldAt(4, entry, comma);
        SetVariable(NamePart(line),
                    iniFile.empty() ? defaultValue
                                    : src.IniReadString(iniFile, ExpandText(FieldAt(2, entry, comma)),
                                                        ExpandText(FieldAt(3, entry, comma)), defaultValue));
    }
}

}  // namespace

std::string GivenFolderOf(std::string_view path) {
    std::string given = ExtractFileDrive(path);
    if (given.size() == 2) given += '\\';
    const auto consider = [&](const char* name) {
        const std::string folder = GetVariable(name);
        if (folder.size() > given.size() && folder.size() <= path.size() && SameText(path.substr(0, folder.size()), folder) &&
            (folder.size() == path.size() || platform::IsPathDelim(path[folder.size()])))
            given = folder;
    };
    for (const auto& folder : kUserFolders) consider(folder.first);
    for (const CommonFolder& folder : kCommonFolders) consider(folder.name);
    for (const char* name : kOtherGivenFolders) consider(name);
    return given;
}

std::string IVariableSources::IniReadString(const std::string& file, const std::string& section,
                                            const std::string& key, const std::string& defaultValue) {
    return ::brik::IniReadString(file, section, key, defaultValue);
}

void LoadVariablesFrom(IVariableSources& sources, const VariableContext& context) {
    VariableList.Assign(sources.Environment());
    SetBuiltInVariables(sources, context);

    const std::string& file = context.settingsFile;
    if (file.empty()) return;
    CloseIniFile(file);
    const std::string langSuffix = "." + context.languageCode;
    MergeSection(file, "Variables");
    MergeSection(file, "Variables" + langSuffix);
    LoadRegVariables(sources, file, "RegVariables");
    LoadRegVariables(sources, file, "RegVariables" + langSuffix);
    LoadIniVariables(sources, file, "IniVariables");
    LoadIniVariables(sources, file, "IniVariables" + langSuffix);
}

}  // namespace brik
