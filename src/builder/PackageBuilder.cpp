#include "builder/PackageBuilder.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "builder/CodePage.h"
#include "builder/FileInfo.h"
#include "cab/PackageEnd.h"
#include "config/RegPath.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "config/kpIniFile.h"
#include "crypto/Gost.h"
#include "crypto/Password.h"
#include "install/RegIniRules.h"
#include "install/ScriptFormat.h"
#include "install/Scripts.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPresetupPrefix = "Presetup\\";
constexpr std::string_view kDataPrefix = "Data\\";
constexpr std::string_view kSettingsName = "Brik.ini";
constexpr std::string_view kUninstallerName = "UnInst.exe";
constexpr size_t kMaxStoredName = 255;
constexpr uint64_t kStubLimit = cab::kSearchLimit - 1;  // the cabinet must start within the search range
// Paths in messages use the system's own delimiter.
constexpr char kShownDelim = fs::path::preferred_separator == '\\' ? '\\' : '/';
const char* const kScriptExtensions[] = {".ins", ".nt", ".nt4", ".2k", ".xp", ".9x", ".95", ".98", ".me"};

std::string U8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

void Report(std::vector<Diagnostic>& out, Diagnostic::Level level, std::string file, int line, std::string text) {
    out.push_back(Diagnostic{level, std::move(file), line, std::move(text)});
}

void Error(std::vector<Diagnostic>& out, std::string file, std::string text, int line = 0) {
    Report(out, Diagnostic::Level::Error, std::move(file), line, std::move(text));
}

void Warning(std::vector<Diagnostic>& out, std::string file, std::string text, int line = 0) {
    Report(out, Diagnostic::Level::Warning, std::move(file), line, std::move(text));
}

std::string ReadAll(const fs::path& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) ok = false;
    return text;
}

// Why Windows cannot hold a name component, or empty.
// The line of a settings key, for a finding about it (0 when absent).
int SettingsLine(const ProjectFile& settings, std::string_view section, std::string_view key) {
    bool ok = false;
    return IniLineIndex(ReadAll(settings.source, ok)).Line(section, key);
}

std::string ComponentProblem(std::string_view part) {
    if (part.empty()) return "an empty name";
    for (char c : part) {
        if (static_cast<unsigned char>(c) < 32) return "a control character";
        if (std::string_view("\\:*?\"<>|").find(c) != std::string_view::npos)
            return std::string("the character '") + c + "', which Windows file names cannot have";
    }
    if (part.back() == ' ' || part.back() == '.') return "a name that ends in a blank or dot, which Windows drops";
    std::string base(Trim(part.substr(0, part.find('.'))));
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    static const std::set<std::string> kDevices = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                                   "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                                   "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    if (kDevices.count(base)) return "the device name " + base + ", which Windows reserves";
    return "";
}

// Reads a file at offsets for the version and font parsers.
class StreamSource final : public cab::CabSource {
public:
    explicit StreamSource(const fs::path& path) : in_(path, std::ios::binary) {
        if (in_) {
            in_.seekg(0, std::ios::end);
            const auto end = in_.tellg();
            size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (!in_ || offset > size_ || size_ - offset < size) return false;
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
        if (static_cast<size_t>(in_.gcount()) != size) {
            in_.clear();
            return false;
        }
        return true;
    }
    uint64_t Size() const override { return size_; }

private:
    std::ifstream in_;
    uint64_t size_ = 0;
};

// The cabinet goes into the package right after the stub.
class PackageOutput final : public CabOutput {
public:
    PackageOutput(std::ofstream& out, uint64_t base) : out_(out), base_(base) {}
    bool Write(const void* data, size_t size) override {
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(out_);
    }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto end = out_.tellp();
        out_.seekp(static_cast<std::streamoff>(base_ + offset));
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out_.seekp(end);
        return static_cast<bool>(out_);
    }

private:
    std::ofstream& out_;
    uint64_t base_;
};

class GostCipher final : public BlockCipher {
public:
    explicit GostCipher(const HavalDigest& key) { gost_.Initialise(key.data(), key.size() * 8); }
    void Encrypt(uint8_t* data, size_t size) override { gost_.Encrypt(data, data, size); }

private:
    TGost gost_;
};

void ScanFolder(const Project& project, const fs::path& dir, const std::string& shownDir, std::string_view prefix,
                std::vector<ProjectFile>& out, std::vector<Diagnostic>& diagnostics) {
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, ec);
    if (ec) {
        Error(diagnostics, shownDir, "cannot list the folder: " + ec.message());
        return;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            Error(diagnostics, shownDir, "cannot list the folder: " + ec.message());
            return;
        }
        const fs::directory_entry& entry = *it;
        const fs::path relative = entry.path().lexically_relative(dir);
        const std::string shown = shownDir + kShownDelim + U8(fs::path(relative).make_preferred());
        std::error_code e1, e2;
        if (entry.is_directory(e1)) {
            if (entry.is_symlink(e2)) Warning(diagnostics, shown, "a symbolic link to a folder: not followed");
            else if (fs::is_empty(entry.path(), e2)) Warning(diagnostics, shown, "an empty folder: a package holds files only");
            continue;
        }
        if (!entry.is_regular_file(e1)) {
            Warning(diagnostics, shown, "not a regular file: left out");
            continue;
        }
        ProjectFile file;
        file.source = entry.path();
        file.shown = shown;
        std::string relativeUtf8;
        bool bad = false;
        for (const fs::path& part : relative) {
            const std::string name = U8(part);
            if (const std::string problem = ComponentProblem(name); !problem.empty()) {
                Error(diagnostics, shown, "the name has " + problem);
                bad = true;
                break;
            }
            if (!relativeUtf8.empty()) relativeUtf8 += '\\';
            relativeUtf8 += name;
        }
        if (bad) continue;
        std::string character;
        if (!Utf8ToCodePage(relativeUtf8, project.codePage, file.relative, &character)) {
            Error(diagnostics, shown,
                  character.empty() ? "the name is not valid UTF-8"
                                    : "the name has a character that code page " + std::to_string(project.codePage) +
                                          " lacks (" + character + ")");
            continue;
        }
        file.stored = std::string(prefix) + file.relative;
        if (file.stored.size() > kMaxStoredName) {
            Error(diagnostics, shown,
                  "the stored name \"" + std::string(prefix) + relativeUtf8 + "\" is longer than 255 bytes");
            continue;
        }
        file.size = entry.file_size(e1);
        const fs::file_time_type mtime = entry.last_write_time(e2);
        if (e1 || e2) {
            Error(diagnostics, shown, "cannot read the file's size or time");
            continue;
        }
        DosDateTime(mtime, file.date, file.time);
        file.attributes = cab::kAttrArchive;
        std::error_code e3;
        const fs::perms perms = entry.status(e3).permissions();
        if (!e3 && (perms & fs::perms::owner_write) == fs::perms::none) file.attributes |= cab::kAttrReadOnly;
        out.push_back(std::move(file));
    }
    std::vector<std::pair<std::string, size_t>> order;
    for (size_t i = 0; i < out.size(); ++i) order.emplace_back(CodePageUpperCase(out[i].stored, project.codePage), i);
    std::sort(order.begin(), order.end(), [&out](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : out[a.second].stored < out[b.second].stored;
    });
    std::vector<ProjectFile> sorted;
    sorted.reserve(out.size());
    for (const auto& o : order) sorted.push_back(std::move(out[o.second]));
    out = std::move(sorted);
}

// A Presetup file directly in the Presetup folder, found by name without
// regard to case, as Windows finds it.
const ProjectFile* FindPresetupFile(const Project& project, std::string_view name) {
    const std::string want = CodePageUpperCase(name, project.codePage);
    for (const ProjectFile& f : project.presetup)
        if (CodePageUpperCase(f.relative, project.codePage) == want) return &f;
    return nullptr;
}

std::string ShownPresetup(const Project& project, std::string_view name) {
    return project.shownRoot + kShownDelim + "Presetup" + kShownDelim + std::string(name);
}

// The Data files as the engine's CopyFiles lookup sees them: a name without
// an extension gets a dot; an entry with wildcards in its file part takes
// every file whose name fits the mask in the entry's folder or below, one
// without wildcards only the same name. All without regard to case.
class DataNames {
public:
    explicit DataNames(const Project& project) {
        for (const ProjectFile& f : project.data) {
            const std::string upper = CodePageUpperCase(f.stored, project.codePage);
            plain_.insert(upper);
            const size_t slash = upper.rfind('\\');
            Name n{upper.substr(0, slash + 1), upper.substr(slash + 1)};
            if (n.name.find('.') == std::string::npos) n.name += '.';
            dotted_.insert(n.folder + n.name);
            names_.push_back(std::move(n));
        }
    }

    bool Matches(const std::string& entryUpper) const {
        const size_t slash = entryUpper.rfind('\\');
        const std::string folder = entryUpper.substr(0, slash + 1);
        const std::string mask = entryUpper.substr(slash + 1);
        if (mask.find_first_of("*?") == std::string::npos) return dotted_.count(entryUpper) > 0;
        for (const Name& n : names_)
            if (n.folder.compare(0, folder.size(), folder) == 0 && MatchesMask(n.name, mask, false)) return true;
        return false;
    }

    // The same name as stored, before the dot rule.
    bool IsStoredName(const std::string& entryUpper) const { return plain_.count(entryUpper) > 0; }

private:
    struct Name {
        std::string folder;  // with its trailing backslash
        std::string name;
    };
    std::vector<Name> names_;
    std::unordered_set<std::string> plain_;
    std::unordered_set<std::string> dotted_;
};

int32_t DecimalField(const std::string& text, int32_t defaultValue) {
    const std::string t(Trim(text));
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && end == t.data() + t.size() && !t.empty() ? value : defaultValue;
}

// The script's own section of a name: the name itself or the name with a
// language suffix ("CopyFiles.Deu").
bool IsSectionOf(std::string_view section, std::string_view name) {
    return section.size() >= name.size() && SameText(section.substr(0, name.size()), name) &&
           (section.size() == name.size() || (section[name.size()] == '.' && section.size() > name.size() + 1));
}

// A section the engine never reads is an author's slip ([CopyFile], an item
// section no index line names): its lines would do nothing, silently. So is
// an index line that names a section the script does not have.
void CheckScriptSections(const IniLineIndex& lines, TkpIniFile& ini, const ProjectFile& script,
                         std::vector<Diagnostic>& diagnostics) {
    const std::vector<std::string_view> own = ScriptSectionNames();
    std::set<std::string> named, present;  // upper case
    for (const IniLineIndex::Section& section : lines.Sections()) present.insert(AnsiUpperCase(section.name));
    std::vector<std::string_view> candidates(own.begin(), own.end());
    for (const IniLineIndex::Section& section : lines.Sections()) {
        bool indexed = false;
        for (const std::string_view name : own)
            indexed = indexed || (name != "RunApp" && IsSectionOf(section.name, name));
        if (!indexed || section.line != section.firstLine) continue;
        StringList index;
        ini.ReadSectionValues(section.name, index);
        for (const std::string& indexLine : index) {
            const std::string item(NamePart(indexLine));
            named.insert(AnsiUpperCase(item));
            if (!present.count(AnsiUpperCase(item)))
                Warning(diagnostics, script.shown,
                        "[" + section.name + "] names the item section [" + item + "], which this script does not have",
                        lines.Line(section.name, item));
        }
    }
    for (const IniLineIndex::Section& section : lines.Sections()) candidates.push_back(section.name);
    for (const IniLineIndex::Section& section : lines.Sections()) {
        bool known = named.count(AnsiUpperCase(section.name)) > 0 || IsSectionOf(section.name, "Uninstall");
        for (const std::string_view name : own) known = known || IsSectionOf(section.name, name);
        if (known) continue;
        std::vector<std::string_view> others;
        for (const std::string_view c : candidates)
            if (!SameText(c, section.name)) others.push_back(c);
        const std::string meant = ClosestName(section.name, others);
        Warning(diagnostics, script.shown,
                "section [" + section.name + "] is read by nothing: it is none of the script's sections (" +
                    "CopyFiles, DelFiles, AddReg, DelReg, Shortcuts, AddIni, RunApp, Uninstall.*) and no index line "
                    "names it" + (meant.empty() ? std::string() : " (did you mean [" + meant + "]?)"),
                section.line);
    }
}

// Registry items whose effect an author would not expect: a DelReg the
// engine refuses does nothing, silently (a root, or a root's direct child
// such as HKLM\Software); a key that starts with a root name the engine does
// not know (HKEY_CURRENT_CONFIG) lies under HKCU as a sub-key of that name.
void CheckRegistryItems(TkpIniFile& ini, const IniLineIndex& lines, const std::string& section, bool deletes,
                        const ProjectFile& script, std::vector<Diagnostic>& diagnostics) {
    StringList index;
    ini.ReadSectionValues(section, index);
    for (const std::string& indexLine : index) {
        const std::string itemSection(NamePart(indexLine));
        const std::string param(ValuePart(indexLine));
        StringList items;
        ini.ReadSectionValues(itemSection, items);
        for (const std::string& item : items) {
            const std::string name(NamePart(item));
            const std::string path = RegEntryName(param, name);
            const int line = lines.Line(itemSection, name);
            const std::string kind = deletes ? "DelReg of " : "AddReg of ";
            const RegPath parsed = ParseRegPath(path);
            const bool unrooted = path.compare(0, parsed.subKey.size(), parsed.subKey) == 0;
            if (parsed.root == RegRoot::CurrentUser && unrooted && AnsiUpperCase(path.substr(0, 5)) == "HKEY_") {
                Warning(diagnostics, script.shown,
                        kind + path + " in [" + itemSection + "]: " + path.substr(0, path.find('\\')) +
                            " is no registry root the engine knows (HKLM, HKCU, HKCR, HKU or their long names), "
                            "so this is " + ResolvedRegPath(path),
                        line);
            }
            const std::string refusal = deletes ? RegKeyDeleteRefusal(path) : std::string();
            if (!refusal.empty())
                Warning(diagnostics, script.shown,
                        kind + ResolvedRegPath(path) + " in [" + itemSection + "]: " + refusal + " by the engine",
                        line);
        }
    }
}

void CheckScript(const Project& project, const DataNames& data, const ProjectFile& script,
                 std::vector<Diagnostic>& diagnostics) {
    bool ok = false;
    const std::string text = ReadAll(script.source, ok);
    if (!ok) {
        Error(diagnostics, script.shown, "cannot read the file");
        return;
    }
    const IniLineIndex lines(text);
    if (lines.HasBareLineFeeds()) {
        Warning(diagnostics, script.shown,
                "lines end in a bare line feed; the engine ends lines only at a carriage return, so it reads "
                "this script as one line (save it with CR LF line ends)");
        return;
    }
    const std::unique_ptr<TkpIniFile> ini = OpenSetupFile(script.source.string());
    CheckScriptSections(lines, *ini, script, diagnostics);
    StringList sections;
    ini->ReadSections(sections);
    for (const std::string& section : sections) {
        const std::string upper = CodePageUpperCase(section, project.codePage);
        for (const char* kind : {"ADDREG", "DELREG"}) {
            if (upper == kind || upper.rfind(std::string(kind) + ".", 0) == 0)
                CheckRegistryItems(*ini, lines, section, kind[0] == 'D', script, diagnostics);
        }
        if (upper != "COPYFILES" && upper.rfind("COPYFILES.", 0) != 0) continue;
        StringList index;
        ini->ReadSectionValues(section, index);
        for (const std::string& indexLine : index) {
            const std::string itemSection(NamePart(indexLine));
            StringList items;
            ini->ReadSectionValues(itemSection, items);
            for (const std::string& item : items) {
                const std::string source(NamePart(item));
                const std::string value(ValuePart(item));
                // External files (flag 64) are not in the package; a source
                // with variables is known only on the target.
                if (DecimalField(FieldAt(2, value, ","), 0) & 64) continue;
                if (source.empty() || source.find('%') != std::string::npos) continue;
                const std::string entry = CodePageUpperCase(std::string(kDataPrefix) + source, project.codePage);
                if (data.Matches(entry)) continue;
                std::string message =
                    "CopyFiles source \"" + source + "\" in [" + itemSection + "] matches no Data file";
                if (data.IsStoredName(entry))
                    message += " (the engine compares a name without extension with a dot added: write \"" + source +
                               ".\")";
                Warning(diagnostics, script.shown, message, lines.Line(itemSection, source));
            }
        }
    }
}

}  // namespace

std::string Diagnostic::Format() const {
    std::string out;
    if (!file.empty()) {
        out = file;
        if (line > 0) out += ":" + std::to_string(line);
        out += ": ";
    }
    out += level == Level::Error ? "error: " : "warning: ";
    out += text;
    return out;
}

bool HasErrors(const std::vector<Diagnostic>& diagnostics) {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [](const Diagnostic& d) { return d.level == Diagnostic::Level::Error; });
}

void DosDateTime(fs::file_time_type time, uint16_t& date, uint16_t& dosTime) {
    const auto sys = std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(time));
    const std::time_t t = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
#ifdef _WIN32
    const bool ok = localtime_s(&tm, &t) == 0;
#else
    const bool ok = localtime_r(&t, &tm) != nullptr;
#endif
    int year = tm.tm_year + 1900;
    if (!ok || year < 1980) {
        date = (0 << 9) | (1 << 5) | 1;
        dosTime = 0;
        return;
    }
    if (year > 2107) {
        date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
        dosTime = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
        return;
    }
    date = static_cast<uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    dosTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (std::min(tm.tm_sec, 59) / 2));
}

IniLineIndex::IniLineIndex(std::string_view text) {
    std::map<std::string, int> seenSections;  // upper case -> first line
    std::string section;
    bool active = false;
    int number = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        ++number;
        const std::string line(Trim(text.substr(i, end - i)));
        if (end < text.size()) {
            if (text[end] == '\n') bareLineFeeds_ = true;
            end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        }
        i = end;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            section = AnsiUpperCase(line.substr(1, line.size() - 2));
            // Of same-named sections the engine keeps the first.
            const auto [first, fresh] = seenSections.emplace(section, number);
            active = fresh;
            sections_.push_back({std::string(Trim(std::string_view(line).substr(1, line.size() - 2))), number,
                                 first->second, {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || sections_.empty()) continue;
        size_t keyEnd = eq;
        while (keyEnd > 0 && (line[keyEnd - 1] == ' ' || line[keyEnd - 1] == '\t')) --keyEnd;
        size_t valueStart = eq + 1;
        while (valueStart < line.size() && (line[valueStart] == ' ' || line[valueStart] == '\t')) ++valueStart;
        // Quotes stay, as in the engine's reading of its setup files.
        sections_.back().keys.push_back({line.substr(0, keyEnd), line.substr(valueStart), number});
        if (!active) continue;
        std::string id = section + '\x01' + AnsiUpperCase(line.substr(0, keyEnd));
        if (!index_.emplace(std::move(id), entries_.size()).second) continue;
        entries_.push_back(Entry{number, line.substr(valueStart)});
    }
}

const IniLineIndex::Entry* IniLineIndex::Find(std::string_view section, std::string_view key) const {
    const auto it = index_.find(AnsiUpperCase(section) + '\x01' + AnsiUpperCase(key));
    return it == index_.end() ? nullptr : &entries_[it->second];
}

int IniLineIndex::Line(std::string_view section, std::string_view key) const {
    const Entry* e = Find(section, key);
    return e ? e->line : 0;
}

bool IniLineIndex::Value(std::string_view section, std::string_view key, std::string& value) const {
    const Entry* e = Find(section, key);
    if (!e) return false;
    value = e->value;
    return true;
}

void ScanProject(const fs::path& root, int codePage, Project& project, std::vector<Diagnostic>& diagnostics) {
    project = Project{};
    project.root = root;
    project.shownRoot = U8(root);
    while (project.shownRoot.size() > 1 && (project.shownRoot.back() == '/' || project.shownRoot.back() == '\\'))
        project.shownRoot.pop_back();
    project.codePage = codePage;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        Error(diagnostics, project.shownRoot, "the project folder does not exist");
        return;
    }
    fs::path presetup, data;
    for (const fs::directory_entry& entry : fs::directory_iterator(root, ec)) {
        std::error_code e;
        if (!entry.is_directory(e)) continue;
        const std::string name = U8(entry.path().filename());
        const std::string upper = AnsiUpperCase(name);
        fs::path* slot = upper == "PRESETUP" ? &presetup : upper == "DATA" ? &data : nullptr;
        if (!slot) continue;
        if (!slot->empty()) {
            Error(diagnostics, project.shownRoot + kShownDelim + name,
                  "two folders named \"" + U8(slot->filename()) + "\" and \"" + name + "\": Windows would merge them");
            continue;
        }
        *slot = entry.path();
    }
    if (ec) Error(diagnostics, project.shownRoot, "cannot list the folder: " + ec.message());
    if (!presetup.empty())
        ScanFolder(project, presetup, project.shownRoot + kShownDelim + U8(presetup.filename()), kPresetupPrefix,
                   project.presetup, diagnostics);
    if (!data.empty())
        ScanFolder(project, data, project.shownRoot + kShownDelim + U8(data.filename()), kDataPrefix, project.data,
                   diagnostics);
    for (size_t i = 0; i < project.presetup.size(); ++i)
        if (CodePageUpperCase(project.presetup[i].relative, codePage) == "BRIK.INI") project.settings = static_cast<int>(i);
}

bool AddUninstaller(Project& project, const fs::path& uninstaller, std::vector<Diagnostic>& diagnostics) {
    if (project.settings < 0) return false;
    const ProjectFile& settings = project.presetup[static_cast<size_t>(project.settings)];
    if (!OpenSetupFile(settings.source.string())->ReadBool("Config", "Uninstall", false)) return false;
    if (FindPresetupFile(project, kUninstallerName)) return false;
    std::error_code ec;
    const uint64_t size = uninstaller.empty() ? 0 : fs::file_size(uninstaller, ec);
    if (uninstaller.empty() || ec) {
        Warning(diagnostics, settings.shown,
                "[Config] Uninstall is on, but the project has no Presetup/UnInst.exe and brikpack has none to add: "
                "the install will register no uninstaller",
                SettingsLine(settings, "Config", "Uninstall"));
        return false;
    }
    ProjectFile file;
    file.source = uninstaller;
    file.shown = U8(uninstaller);
    file.relative = std::string(kUninstallerName);
    file.stored = std::string(kPresetupPrefix) + file.relative;
    file.size = size;
    DosDateTime(fs::last_write_time(uninstaller, ec), file.date, file.time);
    file.attributes = cab::kAttrArchive;
    const std::string key = CodePageUpperCase(file.stored, project.codePage);
    auto at = project.presetup.begin();
    while (at != project.presetup.end() && CodePageUpperCase(at->stored, project.codePage) < key) ++at;
    project.presetup.insert(at, std::move(file));
    for (size_t i = 0; i < project.presetup.size(); ++i)
        if (CodePageUpperCase(project.presetup[i].relative, project.codePage) == "BRIK.INI")
            project.settings = static_cast<int>(i);
    return true;
}

namespace {

std::string DidYouMean(std::string_view word, const std::vector<std::string_view>& names, std::string_view before = "",
                       std::string_view after = "") {
    const std::string meant = ClosestName(word, names);
    return meant.empty() ? std::string() : " (did you mean " + std::string(before) + meant + std::string(after) + "?)";
}

// The dialog names of a sequence setting, as the engine splits it: trimmed,
// upper case, empty items skipped.
std::vector<std::string> SequenceDialogs(std::string_view value) {
    std::vector<std::string> names;
    for (std::string_view rest = value; !rest.empty();) {
        const size_t comma = rest.find(',');
        std::string name = AnsiUpperCase(Trim(rest.substr(0, comma)));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

// An author's slips in the settings file that would otherwise pass without a
// word and leave the engine on its defaults: unknown sections and keys, a
// section written twice (the engine reads the first), dialogs that do not
// exist, bitmaps the project lacks. Names are checked against the table the
// engine is held to (config/SettingsKeys).
void CheckSettingsNames(const Project& project, const ProjectFile& settings, std::string_view text,
                        std::vector<Diagnostic>& diagnostics) {
    const IniLineIndex index(text);
    for (const IniLineIndex::Section& section : index.Sections()) {
        const std::string& name = section.name;
        if (section.firstLine != section.line) {
            Warning(diagnostics, settings.shown,
                    "a second [" + name + "] section (the first is at line " + std::to_string(section.firstLine) +
                        "): the engine reads only the first, so everything in this one is ignored",
                    section.line);
            continue;
        }
        if (!IsSettingsSection(name)) {
            Warning(diagnostics, settings.shown,
                    "unknown section [" + name + "], which the engine never reads" +
                        DidYouMean(name, SettingsSectionNames(), "[", "]"),
                    section.line);
            continue;
        }
        for (const IniLineIndex::Key& entry : section.keys) {
            const std::string& key = entry.name;
            const std::string value(Trim(entry.value));
            const int number = entry.line;
            if (SameText(name, "DialogBitmap")) {
                if (!std::count(WizardDialogNames().begin(), WizardDialogNames().end(), AnsiUpperCase(key)))
                    Warning(diagnostics, settings.shown,
                            "[DialogBitmap] names no dialog of the wizard: " + key + DidYouMean(key, WizardDialogNames()),
                            number);
                if (!value.empty() && !FindPresetupFile(project, value))
                    Warning(diagnostics, settings.shown,
                            "the bitmap \"" + value + "\" is not among the Presetup files", number);
                continue;
            }
            if (SettingsSectionTakesAnyKey(name)) continue;
            if (!FindSettingsKey(name, key)) {
                const char* other = SameText(name, "Config") ? "Display" : "Config";
                Warning(diagnostics, settings.shown,
                        FindSettingsKey(other, key)
                            ? key + " belongs in [" + other + "], not in [" + name + "]: the engine does not read it here"
                            : "unknown key " + key + " in [" + name + "], which the engine never reads" +
                                  DidYouMean(key, SettingsKeyNames(name)),
                        number);
                continue;
            }
            if (SameText(key, "PreInstallDialogSequence") || SameText(key, "PostInstallDialogSequence")) {
                for (const std::string& dialog : SequenceDialogs(value)) {
                    // A variable may stand for dialogs; the engine expands it first.
                    if (dialog.find('%') != std::string::npos) continue;
                    if (!std::count(WizardDialogNames().begin(), WizardDialogNames().end(), dialog))
                        Warning(diagnostics, settings.shown,
                                key + " names " + dialog + ", which is no dialog of the wizard" +
                                    DidYouMean(dialog, WizardDialogNames()),
                                number);
                }
            }
            if (SameText(key, "BackgroundBitmap") && !value.empty() && !FindPresetupFile(project, value))
                Warning(diagnostics, settings.shown, "the bitmap \"" + value + "\" is not among the Presetup files",
                        number);
        }
    }
}

// The dialogs an install of the project shows: those of its sequences and
// the ones every install shows, in upper case.
std::set<std::string> ShownDialogs(const Project& project) {
    std::set<std::string> dialogs = {"DLG_PROGRESS", "DLG_FINISH", "DLG_NOTFINISH"};
    if (project.settings < 0) return dialogs;
    const std::unique_ptr<TkpIniFile> ini =
        OpenSetupFile(project.presetup[static_cast<size_t>(project.settings)].source.string());
    for (const char* key : {"PreInstallDialogSequence", "PostInstallDialogSequence"})
        for (std::string& name : SequenceDialogs(ini->ReadString("Config", key, ""))) dialogs.insert(std::move(name));
    return dialogs;
}

// Valid UTF-8 with at least one letter beyond ASCII (or a byte-order mark):
// text saved by an editor's default, not in a Windows code page.
bool LooksLikeUtf8(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return true;
    bool multiByte = false;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int follow = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (follow < 0 || i + static_cast<size_t>(follow) >= text.size() + (follow == 0 ? 1 : 0)) return false;
        for (int k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0xC0) != 0x80) return false;
        multiByte = multiByte || follow > 0;
        i += static_cast<size_t>(follow) + 1;
    }
    return multiByte;
}

// A language file against the shipped English one: the texts of [Strings],
// [Dialogs], the dialogs every install shows and those the sequences name,
// which the engine would otherwise show empty.
void CheckLanguageTexts(const ProjectFile& file, std::string_view text, const std::set<std::string>& dialogs,
                        std::vector<Diagnostic>& diagnostics) {
    const IniLineIndex own(text);
    std::string missing;
    size_t count = 0;
    const IniLineIndex shipped(ShippedEnglishTexts());
    for (const IniLineIndex::Section& section : shipped.Sections()) {
        const std::string upper = AnsiUpperCase(section.name);
        if (upper != "STRINGS" && upper != "DIALOGS" && !dialogs.count(upper)) continue;
        std::string list;
        for (const IniLineIndex::Key& key : section.keys) {
            std::string value;
            if (own.Value(section.name, key.name, value)) continue;
            ++count;
            if (count <= 12) list += (list.empty() ? "" : ", ") + key.name;
        }
        if (!list.empty()) missing += (missing.empty() ? "[" : "; [") + section.name + "] " + list;
    }
    if (count > 0)
        Warning(diagnostics, file.shown,
                std::to_string(count) + " text" + (count == 1 ? "" : "s") +
                    " of the shipped Enu.lng missing here, which the engine would show empty: " + missing +
                    (count > 12 ? ", ..." : ""));
}

}  // namespace

void CheckProject(const Project& project, std::vector<Diagnostic>& diagnostics) {
    const int codePage = project.codePage;
    if (project.settings < 0)
        Error(diagnostics, ShownPresetup(project, kSettingsName),
              "the settings file is missing; every package needs Presetup/Brik.ini");

    // Windows names ignore case: of two such files one would replace the
    // other on the target, and a file may not share its name with a folder.
    std::map<std::string, const ProjectFile*> names;
    std::set<std::string> folders;
    for (const auto* list : {&project.presetup, &project.data})
        for (const ProjectFile& f : *list) {
            const std::string upper = CodePageUpperCase(f.stored, codePage);
            auto [it, fresh] = names.emplace(upper, &f);
            if (!fresh)
                Error(diagnostics, f.shown,
                      "the name differs only in case from \"" + it->second->shown +
                          "\"; Windows names ignore case, so one would replace the other");
            for (size_t slash = upper.find('\\'); slash != std::string::npos; slash = upper.find('\\', slash + 1))
                folders.insert(upper.substr(0, slash));
        }
    for (const auto* list : {&project.presetup, &project.data})
        for (const ProjectFile& f : *list)
            if (folders.count(CodePageUpperCase(f.stored, codePage)))
                Error(diagnostics, f.shown, "a file with the name of a folder (names ignore case on Windows)");

    for (const ProjectFile& f : project.presetup) {
        if (f.relative.find('\\') != std::string::npos) continue;
        const std::string upper = CodePageUpperCase(f.relative, codePage);
        if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".LNG") == 0) {
            bool ok = false;
            const std::string text = ReadAll(f.source, ok);
            if (ok && IniLineIndex(text).HasBareLineFeeds())
                Warning(diagnostics, f.shown,
                        "lines end in a bare line feed; the engine ends lines only at a carriage return, so it "
                        "reads this language file as one line (save it with CR LF line ends)");
            if (ok && LooksLikeUtf8(text))
                Warning(diagnostics, f.shown,
                        "the file is UTF-8 text, but the engine reads language files in code page " +
                            std::to_string(codePage) + ", so its letters beyond ASCII would show as garbage (save it "
                            "in code page " + std::to_string(codePage) + ")");
            if (ok) CheckLanguageTexts(f, text, ShownDialogs(project), diagnostics);
        }
    }

    if (project.settings < 0) return;
    const ProjectFile& settings = project.presetup[static_cast<size_t>(project.settings)];
    bool ok = false;
    const std::string text = ReadAll(settings.source, ok);
    if (!ok) {
        Error(diagnostics, settings.shown, "cannot read the file");
        return;
    }
    const IniLineIndex lines(text);
    if (lines.HasBareLineFeeds()) {
        Error(diagnostics, settings.shown,
              "lines end in a bare line feed; the engine ends lines only at a carriage return, so it would read "
              "the settings as one line (save the file with CR LF line ends)");
        return;
    }

    CheckSettingsNames(project, settings, text, diagnostics);

    // Values as the engine reads them: quotes an author wrote stay part of
    // them, so Languages="Enu" names a language "Enu" with its quotes.
    const std::unique_ptr<TkpIniFile> ini = OpenSetupFile(settings.source.string());
    // Language codes as the engine splits them; none means ENU.
    const std::vector<std::string> codes = SplitLanguageCodes(ini->ReadString("Config", "Languages", ""));
    const int languagesLine = lines.Line("Config", "Languages");
    if (codes.empty()) {
        if (!FindPresetupFile(project, "ENU.lng"))
            Warning(diagnostics, settings.shown,
                    "[Config] Languages is empty, so the engine offers ENU, but there is no Presetup/ENU.lng",
                    languagesLine);
    }
    for (const std::string& code : codes)
        if (!FindPresetupFile(project, code + ".lng"))
            Warning(diagnostics, settings.shown,
                    "language \"" + code + "\" of [Config] Languages has no language file Presetup/" + code + ".lng",
                    languagesLine);

    // The licence and readme pages show the first non-empty text among
    // License.<code>, License.rtf and License.txt; without one, an empty box.
    const std::set<std::string> pages = ShownDialogs(project);
    const std::vector<std::string> offered = codes.empty() ? std::vector<std::string>{"ENU"} : codes;
    for (const auto& [dialog, base] : {std::pair<std::string, std::string>{"DLG_LICENSE", "License"},
                                       std::pair<std::string, std::string>{"DLG_README", "Readme"}}) {
        if (!pages.count(dialog)) continue;
        std::string without;
        for (const std::string& code : offered) {
            bool found = false;
            for (const std::string& extension : {"." + code, std::string(".rtf"), std::string(".txt")}) {
                const ProjectFile* file = FindPresetupFile(project, base + extension);
                found = found || (file != nullptr && file->size > 0);
            }
            if (!found) without += (without.empty() ? "" : ", ") + code;
        }
        if (without.empty()) continue;
        const std::vector<std::string> before =
            SequenceDialogs(ini->ReadString("Config", "PreInstallDialogSequence", ""));
        const char* key =
            std::count(before.begin(), before.end(), dialog) ? "PreInstallDialogSequence" : "PostInstallDialogSequence";
        Warning(diagnostics, settings.shown,
                dialog + " is in the wizard, but no " + base + " text is among the Presetup files for " + without +
                    " (" + base + ".txt, " + base + ".rtf or " + base + ".<language code>, not empty): the page "
                    "would show an empty box",
                lines.Line("Config", key));
    }

    const std::string insFiles(Trim(ini->ReadString("Config", "InsFiles", "")));
    const int insLine = lines.Line("Config", "InsFiles");
    std::set<const ProjectFile*> scripts;
    for (int i = 1, n = TokenCount(insFiles, ","); i <= n; ++i) {
        const std::string base = TokenAt(i, insFiles, ",");
        bool any = false;
        for (const char* ext : kScriptExtensions)
            if (const ProjectFile* script = FindPresetupFile(project, base + ext)) {
                scripts.insert(script);
                any = true;
            }
        if (!any)
            Warning(diagnostics, settings.shown,
                    "script base name \"" + base + "\" of [Config] InsFiles has no script (" + base + ".ins, " + base +
                        ".nt, " + base + ".9x, ...) in Presetup",
                    insLine);
    }
    // In package order, so messages come in a stable order.
    const DataNames data(project);
    for (const ProjectFile& f : project.presetup)
        if (scripts.count(&f)) CheckScript(project, data, f, diagnostics);
}

std::string FileInfoLine(const ProjectFile& file, int codePage, std::vector<Diagnostic>& diagnostics) {
    const std::string& key = file.relative;
    if (key.find('=') != std::string::npos || key.front() == ';' || key.front() == '[' ||
        static_cast<unsigned char>(key.front()) <= ' ') {
        Warning(diagnostics, file.shown,
                "the name cannot be a key of [FileInfo] (it has \"=\" or starts with \";\", \"[\" or a blank); "
                "the engine will not find its size, version or font name");
        return "";
    }
    StreamSource source(file.source);
    std::string version = FileVersionText(source);
    std::string font = "''";
    if (IsFontFile(key)) {
        std::string name, problem;
        if (FontRegistryName(source, key, codePage, name, problem)) {
            // A field in single quotes keeps its commas and loses the quotes;
            // a quote inside is doubled.
            if (name.find_first_of(",'\"") != std::string::npos || name.front() == ' ') {
                std::string quoted = "'";
                for (char c : name) {
                    quoted += c;
                    if (c == '\'') quoted += '\'';
                }
                font = quoted + "'";
            } else {
                font = name;
            }
        } else {
            Warning(diagnostics, file.shown, "no font name for [FileInfo]: " + problem);
        }
    }
    return key + "=" + std::to_string(file.size) + "," + version + "," + font;
}

std::string RenderSettings(const fs::path& settingsFile, const std::vector<std::string>& fileInfo,
                           const std::string& pswCheckHash) {
    // Comments, blanks and quotes stay as written: the engine applies its
    // reading rules when it reads the packaged file.
    TkpIniFile ini(settingsFile.string(), {.readOnly = true,
                                           .stripComments = false,
                                           .skipLinesWithoutEquals = false,
                                           .trimAroundEquals = false,
                                           .stripQuotes = false});
    if (!pswCheckHash.empty()) {
        // Lines of the key however it is spaced, so that ours is the only one.
        for (IniSection& section : ini.Sections().Items()) {
            if (!SameText(section.name, kPasswordSection)) continue;
            std::erase_if(section.lines,
                          [](const std::string& line) { return SameText(Trim(NamePart(line)), kPswCheckHashKey); });
        }
        ini.WriteString(kPasswordSection, kPswCheckHashKey, pswCheckHash);
    }
    while (ini.Sections().IndexOf("FileInfo") >= 0) ini.EraseSection("FileInfo");
    if (!fileInfo.empty()) {
        ini.Sections().Add("FileInfo");
        ini.Sections()[ini.Sections().Count() - 1].lines = fileInfo;
    }
    StringList lines;
    ini.GetStrings(lines);
    std::string text;
    for (const std::string& line : lines) text.append(line).append("\r\n");
    return text;
}

std::string StubProblem(const std::vector<uint8_t>& stub) {
    if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') return "not a Windows program (no MZ header)";
    const uint32_t lfanew = static_cast<uint32_t>(stub[0x3C]) | static_cast<uint32_t>(stub[0x3D]) << 8 |
                            static_cast<uint32_t>(stub[0x3E]) << 16 | static_cast<uint32_t>(stub[0x3F]) << 24;
    if (lfanew > stub.size() - 4 || stub[lfanew] != 'P' || stub[lfanew + 1] != 'E' || stub[lfanew + 2] != 0 ||
        stub[lfanew + 3] != 0)
        return "not a PE program (no \"PE\" signature where the MZ header points)";
    if (stub.size() > kStubLimit)
        return "too large: " + std::to_string(stub.size()) + " bytes; the engine looks for its cabinet only in the first " +
               std::to_string(cab::kSearchLimit) + " bytes of the package";
    static const uint8_t kSignature[8] = {'M', 'S', 'C', 'F', 0, 0, 0, 0};
    const auto found = std::search(stub.begin(), stub.end(), std::begin(kSignature), std::end(kSignature));
    if (found != stub.end())
        return "it contains a cabinet signature (\"MSCF\" and four zero bytes) at offset " +
               std::to_string(found - stub.begin()) + "; the engine would take that for the package's cabinet";
    return "";
}

bool PasswordBytes(std::string_view utf8, int codePage, std::string& bytes, std::string& error) {
    if (utf8.empty()) {
        error = "the password is empty; the engine treats an empty password as no key";
        return false;
    }
    std::string bad;
    if (!Utf8ToCodePage(utf8, codePage, bytes, &bad)) {
        error = bad.empty() ? "the password is not valid UTF-8"
                            : "the password has a character that code page " + std::to_string(codePage) +
                                  " lacks (" + bad + "); choose the target's code page with --codepage";
        return false;
    }
    return true;
}

namespace {

// The checks of a project before it is packed: its files, its settings and
// scripts; false when one found an error.
bool CodePageUsable(int codePage, std::vector<Diagnostic>& diagnostics) {
    if (IsSupportedCodePage(codePage)) return true;
    Error(diagnostics, "",
          "code page " + std::to_string(codePage) + " is not supported (supported: " + SupportedCodePages() + ")");
    return false;
}

bool PrepareProject(const BuildOptions& options, Project& project, std::vector<Diagnostic>& diagnostics) {
    ScanProject(options.project, options.codePage, project, diagnostics);
    CheckProject(project, diagnostics);
    return !HasErrors(diagnostics);
}

}  // namespace

BuildResult CheckOnly(const BuildOptions& options) {
    BuildResult result;
    std::vector<Diagnostic>& diagnostics = result.diagnostics;
    if (!CodePageUsable(options.codePage, diagnostics)) return result;
    Project project;
    if (!PrepareProject(options, project, diagnostics)) return result;
    AddUninstaller(project, options.uninstaller, diagnostics);
    // The catalogue's warnings (names it cannot hold, unreadable versions).
    for (const ProjectFile& f : project.data) FileInfoLine(f, options.codePage, diagnostics);
    result.presetupFiles = static_cast<uint32_t>(project.presetup.size());
    result.dataFiles = static_cast<uint32_t>(project.data.size());
    result.ok = !HasErrors(diagnostics);
    return result;
}

BuildResult BuildPackage(const BuildOptions& options) {
    BuildResult result;
    std::vector<Diagnostic>& diagnostics = result.diagnostics;
    if (!CodePageUsable(options.codePage, diagnostics)) return result;
    std::string password;
    if (options.protect) {
        std::string why;
        if (!PasswordBytes(options.password, options.codePage, password, why)) {
            Error(diagnostics, "", why);
            return result;
        }
    }

    const std::string shownStub = U8(options.stub);
    std::vector<uint8_t> stub;
    {
        std::error_code ec;
        const uint64_t size = fs::file_size(options.stub, ec);
        if (ec) {
            Error(diagnostics, shownStub, "cannot read the stub: " + ec.message());
            return result;
        }
        if (size > kStubLimit) {
            Error(diagnostics, shownStub,
                  "unusable stub: too large: " + std::to_string(size) +
                      " bytes; the engine looks for its cabinet only in the first " +
                      std::to_string(cab::kSearchLimit) + " bytes of the package");
            return result;
        }
        stub.resize(static_cast<size_t>(size));
        std::ifstream in(options.stub, std::ios::binary);
        in.read(reinterpret_cast<char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
        if (!in) {
            Error(diagnostics, shownStub, "cannot read the stub");
            return result;
        }
        if (const std::string problem = StubProblem(stub); !problem.empty()) {
            Error(diagnostics, shownStub, "unusable stub: " + problem);
            return result;
        }
        // A signature made over the engine alone does not cover what follows
        // it, and Windows shows it as broken on the package.
        const cab::PackageExtent signature = cab::FindPackageEnd(
            stub.size(),
            [](void* bytes, uint64_t offset, void* buffer, size_t count) {
                const auto& from = *static_cast<const std::vector<uint8_t>*>(bytes);
                if (offset > from.size() || from.size() - offset < count) return false;
                std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(offset), count, static_cast<uint8_t*>(buffer));
                return true;
            },
            &stub);
        if (signature.signatureAt != 0)
            Warning(diagnostics, shownStub,
                    "the engine is signed, but its signature cannot cover the package: build with an unsigned "
                    "engine and sign the package (brikpack sign)");
    }

    Project project;
    if (!PrepareProject(options, project, diagnostics)) return result;
    result.uninstallerAdded = AddUninstaller(project, options.uninstaller, diagnostics);

    const ProjectFile& settings = project.presetup[static_cast<size_t>(project.settings)];
    std::string pswCheckHash;
    if (options.protect) {
        pswCheckHash = PasswordCheckHash(password);
        // The install checks the password before it changes anything; a
        // wizard that never asks for it makes a package nobody can install.
        const std::unique_ptr<TkpIniFile> ini = OpenSetupFile(settings.source.string());
        const std::string sequence = ini->ReadString("Config", "PreInstallDialogSequence", "");
        const std::vector<std::string> dialogs = SequenceDialogs(sequence);
        // A variable may bring the page in; only the target knows.
        if (sequence.find('%') == std::string::npos &&
            std::find(dialogs.begin(), dialogs.end(), "DLG_PASSWORD") == dialogs.end()) {
            Warning(diagnostics, settings.shown,
                    "the package is password-protected, but [Config] PreInstallDialogSequence has no DLG_PASSWORD: "
                    "the install would refuse every user with \"Incorrect password has been specified!\"",
                    SettingsLine(settings, "Config", "PreInstallDialogSequence"));
        }
    } else {
        // Any value the engine reads, even "" (two quote characters), makes it
        // ask for a password that nothing matches.
        const std::string existing =
            OpenSetupFile(settings.source.string())->ReadString(kPasswordSection, kPswCheckHashKey, "");
        if (IsPasswordProtected(existing)) {
            Error(diagnostics, settings.shown,
                  "[Config] PswCheckHash is set, but no --password was given: the engine would ask for a password "
                  "and try to decrypt data that is not encrypted",
                  SettingsLine(settings, kPasswordSection, kPswCheckHashKey));
            return result;
        }
    }

    std::vector<std::string> fileInfo;
    for (const ProjectFile& f : project.data) {
        std::string line = FileInfoLine(f, options.codePage, diagnostics);
        if (!line.empty()) fileInfo.push_back(std::move(line));
    }

    std::vector<CabFolderGroup> groups(2);
    groups[0].compression = CabCompression::Mszip;
    groups[1].compression = options.compression;
    groups[1].encrypt = options.protect;
    uint64_t presetupSize = 0;
    for (size_t i = 0; i < project.presetup.size(); ++i) {
        const ProjectFile& f = project.presetup[i];
        CabEntry e;
        e.name = f.stored;
        e.date = f.date;
        e.time = f.time;
        e.attributes = f.attributes;
        e.source = f.source;
        e.size = f.size;
        if (static_cast<int>(i) == project.settings) {
            e.inMemory = true;
            e.data = RenderSettings(f.source, fileInfo, pswCheckHash);
            e.size = e.data.size();
        }
        presetupSize += e.size;
        groups[0].files.push_back(std::move(e));
    }
    for (const ProjectFile& f : project.data) {
        CabEntry e;
        e.name = f.stored;
        e.size = f.size;
        e.date = f.date;
        e.time = f.time;
        e.attributes = f.attributes;
        e.source = f.source;
        groups[1].files.push_back(std::move(e));
    }
    if (presetupSize == 0 || presetupSize > 0xFFFFFFFFu) {
        Error(diagnostics, ShownPresetup(project, ""),
              presetupSize == 0 ? "the Presetup files are all empty; the trailer's Presetup size may not be 0"
                                : "the Presetup files hold more than 4 GB; the trailer's Presetup size is 32 bits");
        return result;
    }

    std::unique_ptr<GostCipher> cipher;
    if (options.protect) {
        const std::optional<HavalDigest> key = PackageKey(password);
        cipher = std::make_unique<GostCipher>(*key);
    }
    CabWriteOptions writeOptions;
    writeOptions.threads = options.threads;
    writeOptions.level = options.level;
    writeOptions.cipher = cipher.get();
    writeOptions.limits = options.limits;
    // The trailer's offset field is 32 bits too, and counts the stub.
    writeOptions.limits.maxSize = std::min<uint64_t>(options.limits.maxSize, 0xFFFFFFFFu - stub.size());
    writeOptions.progress = options.progress;

    const std::string shownOutput = U8(options.output);
    fs::path partial = options.output;
    partial += ".part";
    CabWriter writer;
    bool written = false;
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) {
            Error(diagnostics, shownOutput, "cannot create " + U8(partial));
            return result;
        }
        out.write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
        PackageOutput cabinet(out, stub.size());
        if (out && writer.Write(groups, cabinet, writeOptions)) {
            const uint64_t trailerOffset = stub.size() + writer.Size();
            uint8_t trailer[8];
            for (int i = 0; i < 4; ++i) {
                trailer[i] = static_cast<uint8_t>(presetupSize >> (8 * i));
                trailer[4 + i] = static_cast<uint8_t>(trailerOffset >> (8 * i));
            }
            out.write(reinterpret_cast<const char*>(trailer), sizeof trailer);
            out.close();
            written = !out.fail();
            if (!written) Error(diagnostics, shownOutput, "cannot write the package");
            result.packageBytes = trailerOffset + 8;
        } else {
            Error(diagnostics, shownOutput, writer.Error().empty() ? "cannot write the package" : writer.Error());
        }
    }
    std::error_code ec;
    if (written) {
        fs::rename(partial, options.output, ec);
        if (ec) {
            Error(diagnostics, shownOutput, "cannot replace the output: " + ec.message());
            written = false;
        }
    }
    if (!written) {
        fs::remove(partial, ec);
        return result;
    }
    result.ok = true;
    result.presetupFiles = static_cast<uint32_t>(project.presetup.size());
    result.dataFiles = static_cast<uint32_t>(project.data.size());
    result.inputBytes = writer.InputBytes();
    return result;
}

}  // namespace brik
