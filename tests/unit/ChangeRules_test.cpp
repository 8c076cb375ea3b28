#include "install/ChangeRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brik {
namespace {

TEST(ChangeRules, ShortcutFields) {
    struct Case {
        const char* value;
        TShortcutFields want;
    };
    const std::vector<Case> cases = {
        // Every field in its place; quotes stay only in the arguments.
        {R"("C:\Program Files\App\app.exe","C:\My Docs\a b.txt" /x,"C:\Program Files\App","C:\App\app.ico",2,$0641,3,"Start, then go",1)",
         {R"(C:\Program Files\App\app.exe)", R"("C:\My Docs\a b.txt" /x)", R"(C:\Program Files\App)", R"(C:\App\app.ico)",
          "Start, then go", 2, 0x0641, 1, 1}},
        // The defaults: nothing but the target.
        {R"(C:\app.exe)", {R"(C:\app.exe)", "", "", "", "", 0, 0, 0, 0}},
        // Maximised, blanks around the numbers, flag 32 with flag 1.
        {R"(C:\app.exe,,,,  7 , 577 , 2 ,, 33 )", {R"(C:\app.exe)", "", "", "", "", 7, 577, 2, 33}},
        // Numbers that are none leave their defaults.
        {R"(C:\app.exe,,,,x,y,z,,w)", {R"(C:\app.exe)", "", "", "", "", 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const TShortcutFields got = ParseShortcutFields(c.value);
        SCOPED_TRACE(c.value);
        EXPECT_EQ(got.Target, c.want.Target);
        EXPECT_EQ(got.Arguments, c.want.Arguments);
        EXPECT_EQ(got.WorkingFolder, c.want.WorkingFolder);
        EXPECT_EQ(got.IconFile, c.want.IconFile);
        EXPECT_EQ(got.Description, c.want.Description);
        EXPECT_EQ(got.IconIndex, c.want.IconIndex);
        EXPECT_EQ(got.Hotkey, c.want.Hotkey);
        EXPECT_EQ(got.ShowMode, c.want.ShowMode);
        EXPECT_EQ(got.Flags, c.want.Flags);
    }
    EXPECT_EQ(ShortcutLinkPath(R"("C:\Menu\App Group\App")"), R"(C:\Menu\App Group\App.lnk)");
}

TEST(ChangeRules, ShowModes) {
    // show field -> the link's mode -> the command the link starts with
    struct Case {
        int field;
        uint8_t mode;
        int command;
    };
    const std::vector<Case> shortcuts = {{1, 0, 1}, {2, 2, 3}, {3, 1, 7}, {0, 0, 1}, {4, 0, 1}, {-1, 0, 1}};
    for (const Case& c : shortcuts) {
        EXPECT_EQ(ShortcutShowMode(c.field), c.mode) << c.field;
        EXPECT_EQ(ShortcutShowCommand(ShortcutShowMode(c.field)), c.command) << c.field;
    }
    // A program's show field: 0 hidden, 2 maximised, 3 minimised without
    // activation, anything else normal.
    const std::vector<std::pair<int, int>> programs = {{0, 0}, {1, 1}, {2, 3}, {3, 7}, {5, 1}, {-1, 1}};
    for (const auto& [field, command] : programs) EXPECT_EQ(ProgramShowCommand(field), command) << field;
}

TEST(ChangeRules, ProgramFields) {
    struct Case {
        const char* value;
        TProgramFields want;
    };
    const std::vector<Case> cases = {
        {R"("C:\Program Files\App\setup x.exe","C:\Docs\a, b.txt" -x,C:\Work,0,"Please wait, setting up",0,1)",
         {R"(C:\Program Files\App\setup x.exe)", R"("C:\Docs\a, b.txt" -x)", R"(C:\Work)", "Please wait, setting up", 0, false, true}},
        // Defaults: shown normally, waited for, now.
        {R"(C:\app.exe)", {R"(C:\app.exe)", "", "", "", 1, true, false}},
        {R"(C:\app.exe,-s,,3,,,)", {R"(C:\app.exe)", "-s", "", "", 7, true, false}},
        {R"(C:\app.exe,,,2,,5,9)", {R"(C:\app.exe)", "", "", "", 3, true, true}},
    };
    for (const Case& c : cases) {
        const TProgramFields got = ParseProgramFields(c.value);
        SCOPED_TRACE(c.value);
        EXPECT_EQ(got.Program, c.want.Program);
        EXPECT_EQ(got.Parameters, c.want.Parameters);
        EXPECT_EQ(got.WorkingFolder, c.want.WorkingFolder);
        EXPECT_EQ(got.Message, c.want.Message);
        EXPECT_EQ(got.ShowCommand, c.want.ShowCommand);
        EXPECT_EQ(got.Wait, c.want.Wait);
        EXPECT_EQ(got.AfterRestart, c.want.AfterRestart);
    }
}

TEST(ChangeRules, RunOnceCommand) {
    struct Case {
        const char* program;
        const char* parameters;
        const char* command;
    };
    const std::vector<Case> cases = {
        {R"(C:\Program Files\App\app.exe)", "/first run", R"("C:\Program Files\App\app.exe" /first run)"},
        {R"("C:\Program Files\App\app.exe")", "", R"("C:\Program Files\App\app.exe")"},
        {R"(C:\app.exe)", R"("C:\My Docs\a b.txt")", R"("C:\app.exe" "C:\My Docs\a b.txt")"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunOnceCommand(c.program, c.parameters), c.command);
}

TEST(ChangeRules, RegServerCommand) {
    struct Case {
        const char* path;
        const char* command;
    };
    const std::vector<Case> cases = {
        {R"(C:\Program Files\App\server.dll)", R"("C:\WINDOWS\SYSTEM\regsvr32.exe" /s "C:\Program Files\App\server.dll")"},
        {R"(C:\Program Files\App\Server.EXE)", R"("C:\Program Files\App\Server.EXE" /REGSERVER)"},
        {R"(C:\App.exe.d\server.ocx)", R"("C:\WINDOWS\SYSTEM\regsvr32.exe" /s "C:\App.exe.d\server.ocx")"},
        {R"("C:\App\a b.exe")", R"("C:\App\a b.exe" /REGSERVER)"},
    };
    for (const Case& c : cases) EXPECT_EQ(RegServerCommand(R"(C:\WINDOWS\SYSTEM)", c.path), c.command) << c.path;
}

TEST(ChangeRules, FontsKeyData) {
    EXPECT_STREQ(FontsKey(true), "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts\\");
    EXPECT_STREQ(FontsKey(false), "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\");
    const char* const fonts = R"(C:\WINDOWS\Fonts)";
    struct Case {
        const char* data;
        const char* file;
    };
    // What the key holds, read back as a file.
    for (const Case& c : std::vector<Case>{{"arial.ttf", R"(C:\WINDOWS\Fonts\arial.ttf)"},
                                           {R"(D:\Type\my font.ttf)", R"(D:\Type\my font.ttf)"},
                                           {"D:font.ttf", "D:font.ttf"}})
        EXPECT_EQ(FontFileFromRegistry(c.data, fonts), c.file) << c.data;
    // A file, as the key gets it: bare only in the fonts folder itself.
    for (const Case& c : std::vector<Case>{{"arial.ttf", R"(c:\windows\FONTS\arial.ttf)"},
                                           {R"(C:\WINDOWS\Fonts\Sub\a.ttf)", R"(C:\WINDOWS\Fonts\Sub\a.ttf)"},
                                           {R"(C:\App\a.ttf)", R"(C:\App\a.ttf)"}})
        EXPECT_EQ(FontRegistryData(c.file, fonts), c.data) << c.file;
}

}  // namespace
}  // namespace brik
