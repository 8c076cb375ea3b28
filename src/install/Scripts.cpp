#include "install/Scripts.h"

#include <utility>

#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

// Whether the last character is a backslash: in a double-byte code page the
// second byte of a character may have a backslash's value.
bool EndsWithBackslash(std::string_view path) {
    const bool* lead = platform::AnsiLeadTable();
    bool last = false;
    for (size_t i = 0; i < path.size();) {
        const auto byte = static_cast<unsigned char>(path[i]);
        last = byte == '\\';
        i += lead[byte] && i + 1 < path.size() ? 2 : 1;
    }
    return last;
}

// The index parameter as a folder or key path that a name can follow.
std::string WithBackslash(std::string path) {
    if (!path.empty() && !EndsWithBackslash(path)) path += '\\';
    return path;
}

// source=target[,flags]: an empty target keeps the source's own relative
// name below the destination folder. External files (flag 64) are named as
// written, package files as they are stored.
void AddCopyFile(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    const int32_t flags = ParseNumber(FieldAt(2, value, ","), 0);
    const size_t comma = value.find(',');
    std::string target = value.substr(0, comma);
    if (target.empty()) target = name;
    std::string destination = WithBackslash(param) + target;
    if (comma != std::string::npos) destination.append(value, comma);
    if (flags & 64)
        lists.ExternalFileList.Set(name, std::move(destination));
    else
        lists.PackageFileList.Set("Data\\" + name, std::move(destination));
}

void AddDeleteFile(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    lists.DeleteFileList.Set(WithBackslash(param) + name, value);
}

void AddRegValue(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    lists.RegAddList.Set(RegEntryName(param, name), value);
}

void AddRegDelete(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    lists.RegDeleteList.Set(RegEntryName(param, name), value);
}

void AddShortcut(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    lists.ShortcutList.Set(WithBackslash(param) + name, value);
}

// The parameter is "file,section" already; the key completes the entry.
void AddIniEntry(TWorkLists& lists, const std::string& name, const std::string& value, const std::string& param) {
    lists.IniAddList.Set(param + "," + name, value);
}

using ItemHandler = void (*)(TWorkLists&, const std::string& name, const std::string& value,
                             const std::string& param);

struct TIndexedSection {
    const char* name;
    ItemHandler handler;
};

// In the order a pass reads them; RunApp, which has no index, comes last.
constexpr TIndexedSection kIndexedSections[] = {
    {"CopyFiles", AddCopyFile},   {"DelFiles", AddDeleteFile}, {"AddReg", AddRegValue},
    {"DelReg", AddRegDelete},     {"Shortcuts", AddShortcut},  {"AddIni", AddIniEntry},
};

// The one-level section: each line is an item.
constexpr const char* kRunAppSection = "RunApp";

StringList SectionLines(const std::string& path, std::string_view section) {
    StringList lines;
    IniReadSectionValues(path, section, lines);
    return lines;
}

struct TItemSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> items;  // expanded name and value
};

// Each index line names an item section of the same script (as written, so
// a name is never looked up through a variable) and gives the parameter its
// items share. An item section may serve several index lines; it is read
// and expanded once, so that a script whose index names one section over and
// over costs a list update per item, not a read and an expansion.
void ReadIndexedSection(const std::string& path, std::string_view indexSection, ItemHandler handler,
                        TWorkLists& lists) {
    std::vector<TItemSection> read;
    for (const std::string& index : SectionLines(path, indexSection)) {
        const std::string param = ExpandText(ValuePart(index));
        const std::string_view name = NamePart(index);
        const TItemSection* section = nullptr;
        for (const TItemSection& s : read)
            if (s.name == name) {
                section = &s;
                break;
            }
        if (section == nullptr) {
            TItemSection& added = read.emplace_back();
            added.name = name;
            for (const std::string& item : SectionLines(path, name))
                added.items.emplace_back(ExpandText(NamePart(item)), ExpandText(ValuePart(item)));
            section = &added;
        }
        for (const auto& [itemName, itemValue] : section->items) handler(lists, itemName, itemValue, param);
    }
}

void ReadScriptPass(const std::string& path, const std::string& suffixWord, TWorkLists& lists) {
    const std::string suffix = suffixWord.empty() ? std::string() : "." + suffixWord;
    for (const TIndexedSection& section : kIndexedSections)
        ReadIndexedSection(path, section.name + suffix, section.handler, lists);
    for (const std::string& line : SectionLines(path, kRunAppSection + suffix))
        lists.RunList.Set(ExpandText(NamePart(line)), ExpandText(ValuePart(line)));

    StringList sections;
    IniReadSections(path, sections);
    for (const std::string& section : sections)
        if (IsUninstallSectionFor(section, suffixWord)) lists.UninstallSectionList.Set(path + "," + section, "");
}

}  // namespace

std::string RegEntryName(const std::string& param, const std::string& name) {
    std::string key = WithBackslash(param);
    if (name != "\\") key += name;
    return key;
}

std::vector<std::string> ScriptExtensions(const TScriptSystem& system) {
    std::vector<std::string> extensions{".ins"};
    const uint8_t kind = system.OsKind;
    if (system.PlatformNT) {
        extensions.emplace_back(".nt");
        if (system.MajorVersion == 4) extensions.emplace_back(".nt4");
        if (kind == 4) extensions.emplace_back(".2k");
        if (kind == 6) extensions.emplace_back(".xp");
    } else {
        extensions.emplace_back(".9x");
        if (kind == 1) extensions.emplace_back(".95");
        if (kind == 2) extensions.emplace_back(".98");
        if (kind == 5) extensions.emplace_back(".me");
    }
    return extensions;
}

void ReadInstallScripts(const std::string& settingsFile, const std::string& setupFolder,
                        const TScriptSystem& system, const std::string& languageCode, TWorkLists& lists) {
    const std::string names = IniReadString(settingsFile, "Config", "InsFiles", "");
    const std::vector<std::string> extensions = ScriptExtensions(system);
    const CharSet comma(",");
    for (int i = 1, n = TokenCount(names, comma); i <= n; ++i) {
        const std::string base(Trim(TokenAt(i, names, comma)));
        // A script lies in the setup folder or below it; a name that climbs
        // out or names another drive is no script of this package.
        if (base.empty() || !IsSafeRelativePath(base)) continue;
        for (const std::string& extension : extensions)
            ReadScriptFile(setupFolder + base + extension, languageCode, lists);
    }
}

void ReadScriptFile(const std::string& path, const std::string& languageCode, TWorkLists& lists) {
    if (!platform::FileExists(path)) return;
    ReadScriptPass(path, "", lists);
    // Without a language there are no language sections to read.
    if (!languageCode.empty()) ReadScriptPass(path, languageCode, lists);
}

std::vector<std::string_view> ScriptSectionNames() {
    std::vector<std::string_view> names;
    for (const TIndexedSection& section : kIndexedSections) names.push_back(section.name);
    names.push_back(kRunAppSection);
    return names;
}

std::string ScriptLanguageOf(const std::string& languageFile, const std::string& languageCode) {
    std::string name = languageFile.substr(platform::ExtractFilePath(languageFile).size());
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return name.empty() ? languageCode : name;
}

bool IsUninstallSectionFor(std::string_view section, std::string_view suffixWord) {
    const CharSet dot(".");
    if (!SameText(TokenAt(1, section, dot), "Uninstall")) return false;
    if (suffixWord.empty()) return TokenCount(section, dot) < 3;
    return TokenCount(section, dot) >= 3 && SameText(TokenAt(3, section, dot), suffixWord);
}

}  // namespace brik
