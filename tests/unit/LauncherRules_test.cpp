#include "launcher/RunRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brik {
namespace {

TEST(OSVersion, KindVersionTextAndDescription) {
    struct Case {
        int platform, major, minor, build;
        const char* csd;
        uint8_t kind;
        const char* versionText;
        int storedBuild;
        const char* description;
    };
    const std::vector<Case> cases = {
        {0, 3, 10, 0, "", osWin32s, "3.10", 0, "Windows 32s 3.10.0000"},
        // The 9x platform keeps the version in the build's high word.
        {1, 4, 0, 0x040003B6, "", osWin95, "4.0", 950, "Windows 95 4.0.0950"},
        {1, 4, 0, 0x04000457, " B ", osWin95, "4.0", 1111, "Windows 95 4.0.1111  B"},
        {1, 4, 10, 0x040A07CE, "", osWin98, "4.10", 1998, "Windows 98 4.10.1998"},
        {1, 4, 10, 0x040A08AE, " A ", osWin98, "4.10", 2222, "Windows 98 4.10.2222  A"},
        {1, 4, 1, 5, "", osWin98, "4.01", 5, "Windows 98 4.01.0005"},
        {1, 4, 90, 0x045A0BB8, " ", osWinMe, "4.90", 3000, "Windows Me 4.90.3000"},
        {1, 5, 0, 1, "", osWinMe, "5.0", 1, "Windows Me 5.0.0001"},
        {2, 3, 51, 1057, "Service Pack 5", osWinNT, "3.51", 1057, "Windows NT 3.51.1057 Service Pack 5"},
        {2, 4, 0, 1381, "Service Pack 6", osWinNT, "4.0", 1381, "Windows NT 4.0.1381 Service Pack 6"},
        {2, 5, 0, 2195, "", osWin2000, "5.0", 2195, "Windows 2000 5.0.2195"},
        {2, 5, 1, 2600, "Service Pack 3", osWinXP, "5.01", 2600, "Windows XP 5.01.2600 Service Pack 3"},
        {2, 5, 2, 3790, "", osWinXP, "5.02", 3790, "Windows XP 5.02.3790"},
        // Later systems fall under the two newest kinds by the minor version alone.
        {2, 6, 0, 6002, "", osWin2000, "6.0", 6002, "Windows 2000 6.0.6002"},
        {2, 10, 0, 19045, "", osWin2000, "10.0", 19045, "Windows 2000 10.0.19045"},
        // NT keeps the whole build number.
        {2, 5, 1, 0x10000 + 2600, "", osWinXP, "5.01", 0x10000 + 2600, "Windows XP 5.01.68136"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        TOSVersion v = MakeOSVersion(c.platform, c.major, c.minor, c.build, c.csd);
        EXPECT_EQ(v.OsKind, c.kind);
        EXPECT_EQ(v.VersionText, c.versionText);
        EXPECT_EQ(v.Build, c.storedBuild);
        EXPECT_EQ(v.ServicePack, c.csd);
        EXPECT_EQ(v.Description, c.description);
    }
}

TEST(OSVersion, SupportedOSTokens) {
    const TOSVersion win95 = MakeOSVersion(1, 4, 0, 950, "");
    const TOSVersion win98 = MakeOSVersion(1, 4, 10, 1998, "");
    const TOSVersion winMe = MakeOSVersion(1, 4, 90, 3000, "");
    const TOSVersion nt4 = MakeOSVersion(2, 4, 0, 1381, "");
    const TOSVersion w2k = MakeOSVersion(2, 5, 0, 2195, "");
    const TOSVersion xp = MakeOSVersion(2, 5, 1, 2600, "");
    const TOSVersion* all[] = {&win95, &win98, &winMe, &nt4, &w2k, &xp};
    struct Case {
        const char* value;
        bool expected[6];  // 95, 98, Me, NT4, 2000, XP
    };
    const std::vector<Case> cases = {
        {"", {true, true, true, true, true, true}},
        {"9x", {true, true, true, false, false, false}},
        {"nt", {false, false, false, true, true, true}},
        {"9x,nt", {true, true, true, true, true, true}},
        {"9X,NT", {true, true, true, true, true, true}},
        // A blank after the comma makes the next token unknown.
        {"9x, nt", {true, true, true, false, false, false}},
        {" 9x", {false, false, false, false, false, false}},
        {"95", {true, false, false, false, false, false}},
        {"98,me", {false, true, true, false, false, false}},
        {"nt4", {false, false, false, true, false, false}},
        {"2k", {false, false, false, false, true, false}},
        {"xp", {false, false, false, false, false, true}},
        {"2k,,xp", {false, false, false, false, true, true}},
        {",", {false, false, false, false, false, false}},
        {"nt4x,win", {false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("SupportedOS=") + c.value);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(IsOSSupported(c.value, *all[i]), c.expected[i]) << all[i]->Description;
    }
}

TEST(OSVersion, MinOSVersion) {
    const TOSVersion w2k = MakeOSVersion(2, 5, 0, 2195, "");
    const TOSVersion xp = MakeOSVersion(2, 5, 1, 2600, "");
    const TOSVersion win98 = MakeOSVersion(1, 4, 10, 0x040A08AE, "");
    struct Case {
        const char* value;
        bool w2k, xp, win98;
    };
    const std::vector<Case> cases = {
        {"", true, true, true},
        {"4", true, true, true},
        {"5", true, true, false},
        {"5.1", false, true, false},
        {"5.01", false, true, false},
        {"5.0.2195", true, true, false},
        {"5.0.2196", false, true, false},
        {"5.1.2601", false, false, false},
        {"4.10.2222", true, true, true},
        {"4.10.2223", true, true, false},
        // Parts that are not numbers take the system's own value.
        {"x.y.z", true, true, true},
        {"5.x", true, true, false},
        {"..3000", false, false, false},
        {"6", false, false, false},
        {"$5.$1", false, true, false},
        {"5.1.0.9", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("MinOSVersion=") + c.value);
        EXPECT_EQ(MeetsMinOSVersion(c.value, w2k), c.w2k);
        EXPECT_EQ(MeetsMinOSVersion(c.value, xp), c.xp);
        EXPECT_EQ(MeetsMinOSVersion(c.value, win98), c.win98);
    }
}

TEST(UniqueName, ClockCodeAndPrefixRules) {
    struct CodeCase {
        int y, mo, d, h, mi, s, ms;
        const char* code;
    };
    const std::vector<CodeCase> codes = {
        {2024, 1, 1, 0, 0, 0, 0, "1DM00000"},
        {2009, 12, 31, 23, 59, 59, 999, "3I487LFV"},  // the largest values of the cycle
        {2000, 12, 31, 12, 0, 0, 5, "0BE43QO0"},      // leap year, day 366
        {2024, 3, 1, 8, 30, 15, 250, "1FI2TDOL"},     // after a leap day
        {2023, 2, 28, 0, 0, 0, 19, "14200001"},
    };
    for (const CodeCase& c : codes)
        EXPECT_EQ(UniqueNameCode(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms), c.code) << c.code;

    struct NameCase {
        const char* prefix;
        const char* extension;
        bool shortName;
        const char* name;
    };
    const std::vector<NameCase> names = {
        {"", "", true, "1FI2TDOL"},
        {"font", ".tmp", true, "fontTDOL.tmp"},
        {"fontcache", ".tmp", true, "fontTDOL.tmp"},
        {"ab", "", true, "abI2TDOL"},
        {"prefix", ".x", false, "prefix1FI2TDOL.x"},
    };
    for (const NameCase& c : names)
        EXPECT_EQ(UniqueNameFromCode(c.prefix, c.extension, c.shortName, "1FI2TDOL"), c.name) << c.name;
}

TEST(SettingsLists, LanguagesDialogSequencesAndChoice) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLanguageCodes("ENU, DEU,,FRA ,"), (V{"ENU", "DEU", "FRA"}));
    EXPECT_EQ(SplitLanguageCodes(""), V{});
    EXPECT_EQ(SplitLanguageCodes(" , "), V{});
    EXPECT_EQ(SplitDialogSequence("dlg_welcome, DLG_Dir,,dlg_start "),
              (V{"DLG_WELCOME", "DLG_DIR", "DLG_START"}));
    EXPECT_EQ(SplitDialogSequence(",,"), V{});

    const V list = {"ENU=English", "DEU=Deutsch", "FRA=Francais"};
    struct Case {
        const char* user;
        bool autoSelect;
        const char* chosen;
    };
    const std::vector<Case> cases = {
        {"DEU", true, "DEU"},
        {"deu", true, "deu"},  // the system's own spelling
        {"DEU", false, "ENU"},
        {"RUS", true, "ENU"},
        {"", true, "ENU"},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseLanguage(list, c.user, c.autoSelect), c.chosen) << c.user;
    EXPECT_EQ(ChooseLanguage({}, "ENU", true), "");
}

TEST(Presetup, RoundingHalfToEven) {
    struct Case {
        uint64_t num, den, expected;
    };
    const std::vector<Case> cases = {
        {0, 1024, 0},     {511, 1024, 0},   {512, 1024, 0},  {513, 1024, 1},
        {1536, 1024, 2},  {2560, 1024, 2},  {3584, 1024, 4}, {1023, 1024, 1},
        {1024, 1024, 1},  {5, 0, 0},        {50, 100, 0},    {150, 100, 2},
        {0xFFFFFFFFull * 100, 0xFFFFFFFFull, 100},
    };
    for (const Case& c : cases) EXPECT_EQ(RoundDivHalfEven(c.num, c.den), c.expected) << c.num << "/" << c.den;
}

TEST(Presetup, DestinationOfStoredNames) {
    const std::string folder = "C:\\TEMP\\1DM00000\\";
    struct Case {
        std::string name;
        PresetupName what;
        std::string destination;
    };
    const std::string longName(kMaxDestinationLength - folder.size(), 'a');
    const std::vector<Case> cases = {
        {"Presetup\\Brik.ini", PresetupName::Extract, folder + "Brik.ini"},
        {"PRESETUP\\Enu.lng", PresetupName::Extract, folder + "Enu.lng"},
        {"presetup\\Bitmaps\\Brik.bmp", PresetupName::Extract, folder + "Bitmaps\\Brik.bmp"},
        {"Presetup\\" + longName, PresetupName::Extract, folder + longName},
        {"Data\\App.exe", PresetupName::End, ""},
        {"PresetupX\\a", PresetupName::End, ""},
        {"Presetup", PresetupName::End, ""},
        {"Presetup/Brik.ini", PresetupName::End, ""},
        {"Presetup\\", PresetupName::Refuse, ""},
        {"Presetup\\..\\evil.exe", PresetupName::Refuse, ""},
        {"Presetup\\a\\..\\..\\evil.exe", PresetupName::Refuse, ""},
        {"Presetup\\C:\\evil.exe", PresetupName::Refuse, ""},
        {"Presetup\\\\\\server\\share\\evil.exe", PresetupName::Refuse, ""},
        {"Presetup\\\\evil.exe", PresetupName::Refuse, ""},
        {"Presetup\\" + longName + "b", PresetupName::Refuse, ""},
        // Device names, in any component, any case, with an extension or
        // the dots and blanks Windows strips; names that only start or end
        // like one are files.
        {"Presetup\\CON", PresetupName::Refuse, ""},
        {"Presetup\\nul.txt", PresetupName::Refuse, ""},
        {"Presetup\\Aux.ini.bak", PresetupName::Refuse, ""},
        {"Presetup\\prn.", PresetupName::Refuse, ""},
        {"Presetup\\com1 ", PresetupName::Refuse, ""},
        {"Presetup\\COM9 .log", PresetupName::Refuse, ""},
        {"Presetup\\lpt1. .", PresetupName::Refuse, ""},
        {"Presetup\\LPT5", PresetupName::Refuse, ""},
        {"Presetup\\con\\Brik.ini", PresetupName::Refuse, ""},
        {"Presetup\\sub\\Nul.\\x.txt", PresetupName::Refuse, ""},
        {"Presetup\\sub\\aux", PresetupName::Refuse, ""},
        {"Presetup\\COM0", PresetupName::Extract, folder + "COM0"},
        {"Presetup\\COM10", PresetupName::Extract, folder + "COM10"},
        {"Presetup\\LPT", PresetupName::Extract, folder + "LPT"},
        {"Presetup\\console.txt", PresetupName::Extract, folder + "console.txt"},
        {"Presetup\\xnul.txt", PresetupName::Extract, folder + "xnul.txt"},
        {"Presetup\\auxi\\a", PresetupName::Extract, folder + "auxi\\a"},
        {"Presetup\\my.con", PresetupName::Extract, folder + "my.con"},
    };
    for (const Case& c : cases) {
        std::string destination = "stale";
        EXPECT_EQ(PresetupDestination(c.name, folder, destination), c.what) << c.name;
        EXPECT_EQ(destination, c.destination) << c.name;
    }
}

TEST(TempFolder, CurrentFolderIsNeverTheTemporaryFolder) {
    struct Case {
        const char *temp, *current;
        bool win9x;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"C:\\WINDOWS\\TEMP\\", "C:\\Setup", false, "C:\\WINDOWS\\TEMP\\"},
        {"C:\\Users\\x\\Temp", "C:\\Setup", false, "C:\\Users\\x\\Temp\\"},
        {"C:\\Setup\\", "c:\\setup", false, "C:\\Temp\\"},
        {"C:\\Setup", "C:\\SETUP\\", true, "C:\\WINDOWS\\Temp\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseTempPath(c.temp, c.current, c.win9x, "C:\\WINDOWS"), c.expected) << c.temp;
}

}  // namespace
}  // namespace brik
