#include "config/SettingsKeys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "util/kpStrUtils.h"

namespace brik {
namespace {

TEST(SettingsKeys, SectionsAndKeys) {
    for (const char* section : {"Config", "display", "DialogBitmap", "FileInfo", "Variables", "Variables.Enu",
                                "RegVariables.Deu", "IniVariables"})
        EXPECT_TRUE(IsSettingsSection(section)) << section;
    for (const char* section : {"Confg", "Variables.", "Strings", "Dialogs", "", "VariablesX"})
        EXPECT_FALSE(IsSettingsSection(section)) << section;
    EXPECT_FALSE(SettingsSectionTakesAnyKey("Config"));
    EXPECT_TRUE(SettingsSectionTakesAnyKey("Variables.Enu"));
    EXPECT_TRUE(SettingsSectionTakesAnyKey("DialogBitmap"));
    ASSERT_NE(FindSettingsKey("config", "insfiles"), nullptr);
    EXPECT_STREQ(FindSettingsKey("Config", "InsFiles")->key, "InsFiles");
    EXPECT_EQ(FindSettingsKey("Display", "InsFiles"), nullptr);
    EXPECT_EQ(ClosestName("Langauges", SettingsKeyNames("Config")), "Languages");
    EXPECT_EQ(ClosestName("Uninstal", SettingsKeyNames("Config")), "Uninstall");
    EXPECT_EQ(ClosestName("Confg", SettingsSectionNames()), "Config");
    EXPECT_EQ(ClosestName("DLG_WELCOM", WizardDialogNames()), "DLG_WELCOME");
}

#ifdef BRIK_SOURCE_DIR
// The table and the engine cannot drift apart: every [Config] and [Display]
// key the engine's code reads is in the table, and every key of the table is
// read somewhere.
TEST(SettingsKeys, TheTableIsWhatTheEngineReads) {
    const std::regex reads(
        R"re((?:IniRead(?:String|Integer|Bool)\([^;]*?|GetSetting\()"(Config|Display)",\s*"(\w+)")re");
    // The launcher's own shorthands for its [Display] keys.
    const std::regex display(R"re((?:flag|colour)\("(\w+)"|\{"(\w+Font)",)re");
    // Sections the engine reads whole from the settings file.
    const std::regex sections(R"re(IniRead\w*\([^;]*?SettingsFile,\s*"(\w+)")re");
    std::set<std::string> read, sectionsRead;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(BRIK_SOURCE_DIR) + "/src")) {
        if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
        // The uninstaller reads sections of the same names from the install log.
        if (entry.path().parent_path().filename() == "uninstall") continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (std::sregex_iterator it(source.begin(), source.end(), reads), end; it != end; ++it)
            read.insert((*it)[1].str() + "/" + (*it)[2].str());
        for (std::sregex_iterator it(source.begin(), source.end(), sections), end; it != end; ++it)
            sectionsRead.insert((*it)[1].str());
        if (entry.path().filename() == "Main.cpp" && entry.path().parent_path().filename() == "launcher")
            for (std::sregex_iterator it(source.begin(), source.end(), display), end; it != end; ++it)
                read.insert("Display/" + ((*it)[1].matched ? (*it)[1].str() : (*it)[2].str()));
    }
    read.insert("Config/PswCheckHash");  // read through its constant, kPswCheckHashKey
    std::set<std::string> table;
    for (const TSettingsKey& k : SettingsKeys()) table.insert(std::string(k.section) + "/" + k.key);
    for (const std::string& key : read) EXPECT_TRUE(table.count(key)) << key << " is read but not in the table";
    for (const std::string& key : table) EXPECT_TRUE(read.count(key)) << key << " is in the table but never read";
    EXPECT_TRUE(sectionsRead.count("PreRunApp") && sectionsRead.count("StaticBitmap"));
    for (const std::string& section : sectionsRead)
        EXPECT_TRUE(IsSettingsSection(section)) << "[" << section << "] is read but unknown to the builder's checks";
}
#endif

}  // namespace
}  // namespace brik
