// The authors' guide (docs/guide.md) and the engine cannot drift apart: its
// tables of keys, flags, fields, texts and script files are rendered here
// from the tables the engine, the builder and the uninstaller use, and must
// stand in the guide as rendered. BRIK_UPDATE_GUIDE=1 writes them in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "builder/PackageBuilder.h"
#include "builder/Plan.h"
#include "config/Variables.h"
#include "config/SettingsKeys.h"
#include "install/ScriptFormat.h"
#include "install/Scripts.h"
#include "uninstall/UninstallRules.h"

namespace brik {
namespace {

// A table cell: a bar would end it.
std::string Cell(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string Code(std::string_view text) { return text.empty() ? "(empty)" : "`" + std::string(text) + "`"; }

std::string SettingsTable(std::string_view section) {
    std::string out = "| Key | Kind | Default | What it does |\n|---|---|---|---|\n";
    for (const TSettingsKey& k : SettingsKeys())
        if (section == k.section)
            out += "| `" + std::string(k.key) + "` | " + k.kind + " | " + Cell(Code(k.defaultValue)) + " | " +
                   Cell(k.effect) + " |\n";
    return out;
}

std::string FlagTable(const std::vector<TScriptFlag>& flags, const char* head) {
    std::string out = std::string("| ") + head + " | Meaning |\n|---|---|\n";
    for (const TScriptFlag& f : flags) out += "| " + std::to_string(f.bit) + " | " + Cell(f.meaning) + " |\n";
    return out;
}

std::string FieldTable(const std::vector<TScriptField>& fields) {
    std::string out = "| Field | Name | Default | Meaning |\n|---|---|---|---|\n";
    int n = 0;
    for (const TScriptField& f : fields)
        out += "| " + std::to_string(++n) + " | " + f.name + " | " + Cell(Code(f.defaultValue)) + " | " +
               Cell(f.meaning) + " |\n";
    return out;
}

std::string SectionTable() {
    std::string out = "| Section | The index line's value | An item line | What it does |\n|---|---|---|---|\n";
    for (const TScriptSection& s : ScriptSections())
        out += "| `[" + std::string(s.name) + "]` | " + (*s.index ? s.index : "(one level: each line is an item)") +
               " | `" + Cell(s.item) + "` | " + Cell(s.effect) + " |\n";
    return out;
}

std::string ScriptFileTable() {
    struct Kind {
        const char* name;
        TScriptSystem system;
    };
    const Kind kinds[] = {{"Windows 95", {false, 4, 1}}, {"Windows 98", {false, 4, 2}}, {"Windows Me", {false, 4, 5}},
                          {"Windows NT 4", {true, 4, 3}}, {"Windows 2000", {true, 5, 4}}, {"Windows XP", {true, 5, 6}}};
    std::string out = "| Windows | Files read for `InsFiles=App`, in this order |\n|---|---|\n";
    for (const Kind& kind : kinds) {
        out += std::string("| ") + kind.name + " |";
        for (const std::string& extension : ScriptExtensions(kind.system)) out += " `App" + extension + "`";
        out += " |\n";
    }
    return out;
}

std::string LanguageTable() {
    std::string out = "| Section | Key | The shipped English text |\n|---|---|---|\n";
    const IniLineIndex shipped(ShippedEnglishTexts());
    for (const IniLineIndex::Section& section : shipped.Sections())
        for (const IniLineIndex::Key& key : section.keys)
            out += "| `[" + section.name + "]` | `" + key.name + "` | " + Cell(key.value) + " |\n";
    return out;
}

std::string UninstallTextTable() {
    std::string out = "| Number | Our English default |\n|---|---|\n";
    for (int n = 1; n <= kTextLast; ++n) out += "| " + std::to_string(n) + " | " + Cell(DefaultUninstallText(n)) + " |\n";
    return out;
}

// The built-in folders as brikpack plan resolves them for each Windows kind.
std::string FolderTable() {
    const TPlanWindows kinds[] = {TPlanWindows::Win95, TPlanWindows::Win98,   TPlanWindows::WinMe,
                                  TPlanWindows::NT4,   TPlanWindows::Win2000, TPlanWindows::WinXP};
    std::string out = "| Variable |";
    std::string rule = "|---|";
    for (const TPlanWindows kind : kinds) {
        out += std::string(" ") + PlanWindowsTitle(kind) + " |";
        rule += "---|";
    }
    out += "\n" + rule + "\n";
    const char* names[] = {"Windows",       "System",        "ProgramFiles",       "CommonFiles",
                           "ProgramsMenu",  "StartMenu",     "CommonProgramsMenu", "Desktop",
                           "CommonDesktop", "Fonts",         "Personal",           "ApplicationData"};
    std::vector<std::vector<std::string>> values(std::size(names));
    for (const TPlanWindows kind : kinds) {
        const std::unique_ptr<IVariableSources> sources = DefaultSystemSources(kind);
        LoadVariablesFrom(*sources, VariableContext{});
        for (size_t i = 0; i < std::size(names); ++i) values[i].push_back(GetVariable(names[i]));
    }
    for (size_t i = 0; i < std::size(names); ++i) {
        out += std::string("| `") + names[i] + "` |";
        for (const std::string& value : values[i]) out += " " + Cell(value) + " |";
        out += "\n";
    }
    return out;
}

[[maybe_unused]] std::map<std::string, std::string> RenderedBlocks() {
    return {
        {"config-keys", SettingsTable("Config")},
        {"display-keys", SettingsTable("Display")},
        {"script-files", ScriptFileTable()},
        {"script-sections", SectionTable()},
        {"copy-flags", FlagTable(CopyFlags(), "Flag")},
        {"change-flags", FlagTable(ChangeFlags(), "Flag")},
        {"registry-types", FlagTable(RegistryTypes(), "Type")},
        {"shortcut-fields", FieldTable(ShortcutFields())},
        {"program-fields", FieldTable(ProgramFields())},
        {"language-texts", LanguageTable()},
        {"uninstall-texts", UninstallTextTable()},
        {"plan-folders", FolderTable()},
    };
}

TEST(ScriptFormat, TheSectionsAreTheOnesTheEngineReads) {
    const std::vector<std::string_view> read = ScriptSectionNames();
    ASSERT_EQ(read.size(), ScriptSections().size());
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], ScriptSections()[i].name);
}

#ifdef BRIK_SOURCE_DIR
TEST(Guide, ItsTablesAreTheEnginesOwn) {
    const std::string path = std::string(BRIK_SOURCE_DIR) + "/docs/guide.md";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream read;
    read << in.rdbuf();
    std::string guide = read.str();
    const bool update = std::getenv("BRIK_UPDATE_GUIDE") != nullptr;
    for (const auto& [name, table] : RenderedBlocks()) {
        const std::string begin = "<!-- begin generated: " + name + " -->\n";
        const std::string end = "<!-- end generated: " + name + " -->";
        const size_t from = guide.find(begin);
        const size_t to = from == std::string::npos ? from : guide.find(end, from);
        if (from == std::string::npos || to == std::string::npos) {
            ADD_FAILURE() << "the guide has no block \"" << name << "\"";
            continue;
        }
        const size_t body = from + begin.size();
        if (update) guide.replace(body, to - body, table);
        else EXPECT_EQ(guide.substr(body, to - body), table)
            << "the guide's table \"" << name << "\" is not the code's: run BRIK_UPDATE_GUIDE=1 core_tests "
               "--gtest_filter=Guide.*";
    }
    if (update) std::ofstream(path, std::ios::binary) << guide;
}
#endif

}  // namespace
}  // namespace brik
