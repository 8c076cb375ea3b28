#include "config/Settings.h"

#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"

namespace brik {
namespace {

using test::ScratchDir;
using test::WriteBytes;

TEST(FontDescription, Fields) {
    struct Case {
        const char* text;
        const char* name;
        int32_t size;
        uint32_t color;
        uint8_t style;
    };
    const Case cases[] = {
        {"Times New Roman,30,$FF0000,B", "Times New Roman", 30, 0xFF0000, fsBold},
        {"MS Sans Serif,8", "MS Sans Serif", 8, 0, 0},
        {"Arial", "Arial", 8, 0, 0},
        {"Arial,12,255", "Arial", 12, 0xFF, 0},
        {"Arial,12,$FF", "Arial", 12, 0xFF, 0},
        {"Arial,12,$80000005,BIU", "Arial", 12, 0x80000005u, fsBold | fsItalic | fsUnderline},
        {"Arial,12,0,b", "Arial", 12, 0, 0},
        {"Arial,12,0,S", "Arial", 12, 0, fsStrikeOut},
        {"Arial,12,0,xUy", "Arial", 12, 0, fsUnderline},
        {"Arial,big,red,B", "Arial", 8, 0, fsBold},
        {"Arial,,,I", "Arial", 8, 0, fsItalic},
        {"Arial, 14", "Arial", 14, 0, 0},
        {"Arial,-3", "Arial", -3, 0, 0},
        {"'Face, with comma',9", "Face, with comma", 9, 0, 0},
        {"\"Quoted\",9", "\"Quoted\"", 9, 0, 0},
        {"", "", 8, 0, 0},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,10", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", 10, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TFontDescription f = ParseFontDescription(c.text);
        EXPECT_EQ(f.Name, c.name);
        EXPECT_EQ(f.Size, c.size);
        EXPECT_EQ(f.Color, c.color);
        EXPECT_EQ(f.Style, c.style);
    }
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ConfigPaths();
        ConfigPaths().SetupFolder = dir.Root() + kDelim;
        ConfigPaths().SettingsFile = ConfigPaths().SetupFolder + "Brik.ini";
        VariableList.Assign({"ProgramName=Demo", "Dir=C:\\App"});
    }
    void TearDown() override {
        CloseAllIniFiles();
        ConfigPaths() = saved_;
        SelectLanguageFile("");
        VariableList.Clear();
    }
    std::string InSetup(const std::string& name) { return ConfigPaths().SetupFolder + name; }

#ifdef _WIN32
    static constexpr const char* kDelim = "\\";
#else
    static constexpr const char* kDelim = "/";
#endif
    ScratchDir dir;
    TConfigPaths saved_;
};

TEST_F(SettingsTest, GetSettingExpandsAndTrims) {
    WriteBytes(ConfigPaths().SettingsFile,
               "[Config]\r\n"
               "Path=\"  %Dir%\\bin \"\r\n"
               "Seq=DLG_WELCOME,DLG_DIR\r\n"
               "Lines=a||b\r\n");
    EXPECT_EQ(GetSetting("config", "PATH", ""), "C:\\App\\bin");
    EXPECT_EQ(GetSetting("Config", "Seq", ""), "DLG_WELCOME,DLG_DIR");
    EXPECT_EQ(GetSetting("Config", "Missing", " %ProgramName% "), "Demo");
    // Line breaks at the ends are trimmed like blanks.
    EXPECT_EQ(GetSetting("Config", "Lines", ""), "a\r\nb");
    EXPECT_EQ(GetSetting("Config", "Edge", "||x||"), "x");
}

TEST_F(SettingsTest, LanguageLookupsFollowTheCurrentFile) {
    // Neither the language's file nor Enu.lng: defaults, expanded.
    ConfigPaths().SetupFolder = InSetup("missing") + kDelim;
    SelectLanguageFile("ENU");
    EXPECT_EQ(GetLangString("Dialogs", "Caption", "%ProgramName% setup"), "Demo setup");
    EXPECT_EQ(GetMessageString(2), "");
    ConfigPaths().SetupFolder = dir.Root() + kDelim;

    WriteBytes(InSetup("Enu.lng"),
               "[Strings]\r\n"
               "1=%ProgramName% is not fully installed on your computer.||Do you want to abort the installation?\r\n"
               "11=Can't extract file \"%s\".\r\n"
               "[Dialogs]\r\nCaption=%ProgramName% setup\r\n");
    WriteBytes(InSetup("Rus.lng"), "[Strings]\r\n2=\xD7\xF2\xE5\xED\xE8\xE5...\r\n");

    SelectLanguageFile("Enu");
    EXPECT_EQ(LanguageState().LanguageFile, InSetup("Enu.lng"));
    EXPECT_EQ(GetMessageString(1),
              "Demo is not fully installed on your computer.\r\nDo you want to abort the installation?");
    EXPECT_EQ(GetMessageString(11), "Can't extract file \"%s\".");
    EXPECT_EQ(GetLangString("Dialogs", "Caption"), "Demo setup");
    EXPECT_EQ(GetLangNumberString("Dialogs", 102), "");

    SelectLanguageFile("Rus");
    EXPECT_EQ(LanguageState().LanguageCode, "Rus");
    EXPECT_EQ(GetMessageString(2), "\xD7\xF2\xE5\xED\xE8\xE5...");

    // A code without a file speaks English.
    SelectLanguageFile("DEU");
    EXPECT_EQ(LanguageState().LanguageFile, InSetup("Enu.lng"));
    EXPECT_EQ(GetLangString("Dialogs", "Caption"), "Demo setup");
}

TEST_F(SettingsTest, ProgramTitleReportsChanges) {
    VariableList.Assign({"ProgramName=One"});
    UpdateProgramTitle();
    EXPECT_EQ(LanguageState().ProgramTitle, "One");
    EXPECT_FALSE(UpdateProgramTitle());
    SetVariable("ProgramName", "Two");
    EXPECT_TRUE(UpdateProgramTitle());
    EXPECT_EQ(LanguageState().ProgramTitle, "Two");
    // The launcher's "Setup" counts as a title of its own: a program named
    // that way is no change, an unnamed one is.
    SetInitialProgramTitle("Setup");
    SetVariable("ProgramName", "Setup");
    EXPECT_FALSE(UpdateProgramTitle());
    SetInitialProgramTitle("Setup");
    SetVariable("ProgramName", "");
    EXPECT_TRUE(UpdateProgramTitle());
    EXPECT_EQ(LanguageState().ProgramTitle, "");
}

}  // namespace
}  // namespace brik
