#include "config/Variables.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "ExpandReference.h"
#include "CodePageTest.h"
#include "TestUtil.h"
#include "config/kpIniFile.h"
#include "util/Platform.h"

namespace brik {
namespace {

using test::ExpandLiterally;
using test::ScratchDir;
using test::WriteBytes;

// Collects the error messages that expansion shows.
class ExpandTest : public ::testing::Test {
protected:
    void SetUp() override {
        VariableList.Clear();
        SetExpandErrorHandler([this](const std::string& m) { errors.push_back(m); });
    }
    void TearDown() override {
        SetExpandErrorHandler(nullptr);
        VariableList.Clear();
    }
    std::vector<std::string> errors;
};

TEST_F(ExpandTest, ReferencesCaseAndLiteralText) {
    struct Case {
        const char* what;
        StringList store;
        const char* text;
        const char* expected;
    };
    // Cyrillic names in cp1251 bytes: "Путь" written as "пУТЬ" in the text.
    const Case cases[] = {
        {"nested references resolve", {"ProgramName=X", "InstallPath=%ProgramFiles%\\%ProgramName%",
                                       "ProgramFiles=C:\\Program Files"},
         "%InstallPath%", "C:\\Program Files\\X"},
        {"three deep, later lines first", {"C=z", "B=%C%%C%", "A=<%B%>"}, "%A%", "<zz>"},
        {"three deep, earlier lines first", {"A=<%B%>", "B=%C%%C%", "C=z"}, "%A%", "<zz>"},
        {"any case of an ASCII name", {"ProgramName=X"}, "%programname%/%PROGRAMNAME%", "X/X"},
        {"Cyrillic in another case", {"\xCF\xF3\xF2\xFC=D:\\"}, "%\xEF\xD3\xD2\xDC%", "D:\\"},
        {"Cyrillic yo pair", {"\xB8\xEB\xEA\xE0=1"}, "%\xA8\xCB\xCA\xC0%", "1"},
        {"unknown names stay", {"A=1"}, "%Unknown% %A%", "%Unknown% 1"},
        {"a lone percent stays", {"A=1"}, "100% of %A%", "100% of 1"},
        {"percent pairs that name nothing", {"A=1"}, "%%A%%", "%1%"},
        {"empty value", {"A="}, "[%A%]", "[]"},
        {"|| is left alone", {"A=a||b"}, "%A%", "a||b"},
        {"a replacement joins a pattern for a later line", {"A=%B", "B=2"}, "%A%%", "2"},
        {"list order decides overlapping patterns", {"A=a", "B=b"}, "%A%B%", "aB%"},
        {"list order decides overlapping patterns (reversed)", {"B=b", "A=a"}, "%A%B%", "%Ab"},
        {"the first of two same names wins", {"A=first", "A=second"}, "%A%", "first"},
        {"a name holding a percent", {"A%B=x", "A=y"}, "%A%B%", "x"},
        {"no percent at all", {"A=1"}, "plain text", "plain text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VariableList.Assign(c.store);
        EXPECT_EQ(ExpandVariables(c.text), c.expected);
        std::string literal;
        ASSERT_TRUE(ExpandLiterally(c.store, c.text, literal));
        EXPECT_EQ(literal, c.expected);
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ExpandTest, ExpandTextBreaksLinesAndGetVariableExpands) {
    VariableList.Assign({"Name=Brisk", "Intro=Welcome to %name%.||Click Next.", "Bars=a|||b"});
    EXPECT_EQ(ExpandText("%Intro%"), "Welcome to Brisk.\r\nClick Next.");
    EXPECT_EQ(GetVariable("INTRO"), "Welcome to Brisk.\r\nClick Next.");
    EXPECT_EQ(GetVariable("bars"), "a\r\n|b");
    EXPECT_EQ(GetVariable("Missing"), "");
    EXPECT_EQ(ExpandVariables("%Intro%"), "Welcome to Brisk.||Click Next.");
}

TEST_F(ExpandTest, RunawayReferencesFailOncePerExpansion) {
    struct Case {
        const char* what;
        StringList store;
        const char* text;
    };
    const Case cases[] = {
        {"value is its own reference", {"X=%X%"}, "[%x%]"},
        {"value grows with its own reference", {"X=a%X%"}, "%X%"},
        {"two variables refer to each other", {"A=%B%", "B=%A%"}, "%A%"},
        {"cycle behind a chain", {"P=%Q%", "Q=%R%", "R=%q%"}, "go %P%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        errors.clear();
        VariableList.Assign(c.store);
        EXPECT_EQ(ExpandVariables(c.text), c.text);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], std::string("Infinite reference in the string \"") + c.text + "\"!");
        std::string literal;
        EXPECT_FALSE(ExpandLiterally(c.store, c.text, literal));
    }
    errors.clear();
    VariableList.Assign({"X=%X%"});
    EXPECT_EQ(GetVariable("X"), "%X%");
    EXPECT_EQ(errors.size(), 1u);
}

// A chain whose lines stand in reverse order resolves one level per pass:
// text that still changes in the 100th pass fails, one level less passes.
TEST_F(ExpandTest, PassLimitBoundary) {
    for (int levels : {98, 99}) {
        SCOPED_TRACE(levels);
        StringList store;
        store.push_back("V" + std::to_string(levels) + "=end");
        for (int k = levels - 1; k >= 0; --k)
            store.push_back("V" + std::to_string(k) + "=%V" + std::to_string(k + 1) + "%");
        VariableList.Assign(store);
        errors.clear();
        std::string literal;
        const bool literalOk = ExpandLiterally(store, "%V0%", literal);
        // levels + 1 passes change the text.
        const bool expectOk = levels + 1 < kMaxExpandPasses;
        EXPECT_EQ(literalOk, expectOk);
        EXPECT_EQ(ExpandVariables("%V0%"), expectOk ? "end" : "%V0%");
        EXPECT_EQ(errors.size(), expectOk ? 0u : 1u);
    }
}

// The indexed passes against the literal ones on random stores of the
// names given and texts of the pieces given; returns how many expansions
// failed (both outcomes should occur).
int ExpandLikeLiteralPasses(const std::vector<std::string>& names, const std::vector<std::string>& pieces,
                            unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    auto randomText = [&](size_t maxPieces) {
        std::string text;
        const size_t n = pick(maxPieces + 1);
        for (size_t i = 0; i < n; ++i) text += pieces[pick(pieces.size())];
        return text;
    };
    SetExpandErrorHandler(nullptr);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        StringList store;
        const size_t count = 1 + pick(10);
        for (size_t i = 0; i < count; ++i) store.push_back(names[pick(names.size())] + "=" + randomText(4));
        VariableList.Assign(store);
        for (int t = 0; t < 30; ++t) {
            const std::string text = randomText(8);
            // A small growth limit keeps doubling values cheap and tries the
            // limit too.
            std::string expected;
            const bool ok = ExpandLiterally(store, text, expected, 4096);
            std::string actual;
            EXPECT_EQ(VariableList.Expand(text, actual, 4096), ok) << text;
            EXPECT_EQ(actual, expected) << "text: " << text;
            if (actual != expected) return failures;
            failures += ok ? 0 : 1;
        }
    }
    VariableList.Clear();
    return failures;
}

// Cyrillic letters in both cases, lone "%", unknown names, names holding
// "%", duplicate and empty names, self and mutual references.
TEST(ExpandRandom, SameAsLiteralPasses) {
    const std::vector<std::string> names = {
        "A", "b", "Path", "pATH", "\xCF\xF3\xF2\xFC", "\xEF\xD3\xD2\xDC", "\xB8\xEB", "\xA8\xCB",
        "X%Y", "%", "Ab", "AB", "", "Q", "long_name_1", "LONG_NAME_1"};
    const std::vector<std::string> pieces = {
        "%", "%%", "a", "b", "B", "\\", " ", "||", "\xE0", "\xC0", "Y", "X", "ath", "%A%", "%b%",
        "%Path%", "%\xEF\xF3\xF2\xFC%", "%\xB8\xcb%", "%X%Y%", "%Unknown%", "%long_NAME_1%", "%Q%"};
    EXPECT_GT(ExpandLikeLiteralPasses(names, pieces, 20240611), 0);
}

// The same in Shift-JIS (932), natively by choice, on Windows where the
// system runs it: the 1251 table would take 0x83 0x61 for 0x81 0x41 and
// 0x83 0x41, three different characters; "|" and "\\" may be second bytes.
class ExpandDoubleByte : public test::CodePage932Test {
protected:
    void TearDown() override {
        CodePage932Test::TearDown();
        VariableList.Clear();
    }
};

TEST_F(ExpandDoubleByte, NamesDifferingInSecondBytesStayApart) {
    VariableList.Assign({"\x83\x61=small", "\x83\x41=capital", "\x81\x41=other", "a\x83\x7C=bar", "x=\x83|"});
    struct Case { const char* text; const char* expected; };
    const Case cases[] = {
        {"%\x83\x41%", "capital"},
        {"%\x81\x41%", "other"},
        {"%\x83\x61%", "small"},
        {"%A\x83\x7C%", "bar"},
        {"%A\x83\x5C%", "%A\x83\x5C%"},
        {"%X%|", "\x83||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string result;
        EXPECT_TRUE(VariableList.Expand(c.text, result));
        EXPECT_EQ(result, c.expected);
    }
    // "||" breaks the line only where it stands as two characters.
    EXPECT_EQ(ExpandText("%x%|"), "\x83||");
    EXPECT_EQ(ExpandText("%x%||"), "\x83|\r\n");
}

TEST_F(ExpandDoubleByte, SameAsLiteralPasses) {
    const std::vector<std::string> names = {
        "\x83\x41", "\x83\x61", "\x81\x41", "\x81\x61", "a\x83\x7C", "A\x83\x5C", "\x95\x5C", "A", "a",
        "\xB3", "\xB2", "%\x83\x41", "", "\x83"};
    const std::vector<std::string> pieces = {
        "%", "%%", "a", "A", "\x83", "\x41", "\x61", "\x7C", "|", "\\", "\xB3", "%\x83\x41%", "%\x83\x61%",
        "%\x81\x61%", "%a\x83\x7C%", "%\x95\x5C%", "%A%", "%\x83%", "%\xB2%"};
    EXPECT_GT(ExpandLikeLiteralPasses(names, pieces, 20261210), 0);
}

TEST_F(ExpandTest, SetVariableAndSetPathVariable) {
    VariableList.Assign({"Path=old", "Other=1", "PATH=second"});
    SetVariable("PATH", "new");
    EXPECT_EQ(VariableList.Lines(), (StringList{"PATH=new", "Other=1", "PATH=second"}));
    SetVariable("Added", "v=w");
    EXPECT_EQ(VariableList.Lines().back(), "Added=v=w");
    EXPECT_EQ(GetVariable("added"), "v=w");
    EXPECT_EQ(ExpandVariables("%PATH%/%added%"), "new/v=w");

    struct Case {
        const char* value;
        const char* stored;
    };
    const Case cases[] = {
        {"  C:\\Program Files\\ \t", "C:\\Program Files"},
        {"\\", ""},
        {"C:\\", "C:"},
        {"D:\\a\\\\", "D:\\a\\"},
        {"\x01\x1f x \x20", "x"},
        {"", ""},
        {"no slash", "no slash"},
    };
    for (const Case& c : cases) {
        SetPathVariable("Dir", c.value);
        EXPECT_EQ(VariableList.Value("Dir"), c.stored) << '"' << c.value << '"';
    }
}

// The locale's case mapping finds the line to replace; expansion matches by
// the 1251 table. Whatever line the locale picks, expansion must follow the
// store as it now is.
TEST_F(ExpandTest, RenamingALineKeepsExpansionInStep) {
    for (const char* spelling : {"ABC", "\x9F", "\xDF", "\xFF"}) {
        SCOPED_TRACE(spelling);
        VariableList.Assign({"abc=1", "\xFF=2"});
        SetVariable(spelling, "new");
        for (const char* text : {"%abc%", "%\xFF%", "%\x9F%", "%\xDF%"}) {
            std::string literal;
            ASSERT_TRUE(ExpandLiterally(VariableList.Lines(), text, literal));
            EXPECT_EQ(ExpandVariables(text), literal) << text;
        }
    }
    VariableList.Assign({"abc=1"});
    VariableList.Append("=C:=C:\\work");  // an environment line without a name
    EXPECT_EQ(ExpandVariables("50%% %ABC%"), "50%% 1");
}

TEST(VariableWords, FirstWordAndDrive) {
    EXPECT_EQ(FirstWord(";;C:\\BDE;D:\\x", ';'), "C:\\BDE");
    EXPECT_EQ(FirstWord("c:\\inetpub\\wwwroot,,201", ','), "c:\\inetpub\\wwwroot");
    EXPECT_EQ(FirstWord(";;;", ';'), "");
    struct Case {
        const char* path;
        const char* drive;
    };
    const Case cases[] = {
        {"C:\\WINDOWS", "C:"}, {"d:", "d:"}, {"\\\\srv\\share\\dir", "\\\\srv\\share"},
        {"\\\\srv\\share", "\\\\srv\\share"}, {"\\\\srv", "\\\\srv"}, {"\\dir", ""}, {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractFileDrive(c.path), c.drive) << c.path;
}

// Answers LoadVariables from tables.
class FakeSources : public IVariableSources {
public:
    StringList environment;
    std::map<int, std::string> folders;
    std::map<std::string, std::string> values;  // "key path|value name" -> data
    std::map<std::string, StringList> subKeys;
    std::vector<std::string> reads;

    StringList Environment() override { return environment; }
    std::string WindowsDirectory() override { return "C:\\WINDOWS\\"; }
    std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM"; }
    std::string ShellFolder(int csidl) override {
        auto it = folders.find(csidl);
        return it == folders.end() ? std::string() : it->second;
    }
    std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultValue) override {
        reads.push_back(keyPath + "|" + valueName);
        auto it = values.find(keyPath + "|" + valueName);
        return it == values.end() ? defaultValue : it->second;
    }
    void RegListSubKeys(const std::string& keyPath, StringList& names) override {
        auto it = subKeys.find(keyPath);
        names = it == subKeys.end() ? StringList{} : it->second;
    }
    std::string ShortDate() override { return "11.06.2024"; }
};

class LoadVariablesTest : public ExpandTest {
protected:
    void TearDown() override {
        CloseAllIniFiles();
        ExpandTest::TearDown();
    }
    VariableContext Context(const std::string& settings, const std::string& lang = "ENU") {
        return {"C:\\Temp\\setup.exe", "C:\\Temp\\~brik1\\", settings, lang};
    }
    ScratchDir dir;
    FakeSources src;
};

TEST_F(LoadVariablesTest, BuiltInsWithTheirSourcesAndFallbacks) {
    src.environment = {"=C:=C:\\work", "TEMP=C:\\TEMP", "Windows=from environment"};
    src.folders = {{16, "C:\\Desk\\"}, {2, "C:\\Menu\\Programs"}, {7, " C:\\Menu\\Startup "},
                   {11, "C:\\Menu"},   {22, "C:\\All\\Menu"},       {20, ""}};
    src.values = {
        {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup|BootDir", "D:\\"},
        {"HKLM\\SOFTWARE\\Borland\\Database Engine|DLLPATH", ";E:\\BDE;F:\\x"},
        {"HKLM\\SOFTWARE\\Borland\\Delphi\\7.0|RootDir", "C:\\Delphi7\\"},
        {"HKLM\\SOFTWARE\\Borland\\Delphi\\10.0|RootDir", "C:\\Delphi10\\"},
        {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots\\|/",
         "c:\\inetpub\\wwwroot,,201"},
    };
    src.subKeys = {{"HKLM\\SOFTWARE\\Borland\\Delphi", {"7.0", "10.0", "5.0"}}};
    LoadVariablesFrom(src, Context(""));

    // Text sort: "7.0" is last.
    const std::map<std::string, std::string> expected = {
        {"TEMP", "C:\\TEMP"},
        {"Windows", "C:\\WINDOWS"},  // built-in over environment
        {"SourcePath", "C:\\Temp"},
        {"Presetup", "C:\\Temp\\~brik1"},
        {"BootDrive", "D:"},
        {"System", "C:\\WINDOWS\\SYSTEM"},
        {"Desktop", "C:\\Desk"},
        {"Fonts", ""},
        {"StartupMenu", "C:\\Menu\\Startup"},
        {"CommonStartMenu", "C:\\All\\Menu"},
        {"CommonProgramsMenu", "C:\\Menu\\Programs"},
        {"CommonStartupMenu", "C:\\Menu\\Startup"},
        {"CommonDesktop", "C:\\Desk"},
        {"ProgramFiles", "D:\\Program Files"},
        {"CommonFiles", "D:\\Program Files\\Common Files"},
        {"ApplicationData", "C:\\WINDOWS\\Application Data"},
        {"Office97", "D:\\Program Files\\Microsoft Office\\Office"},
        {"Office97Templates", ""},
        {"Office2000", "D:\\Program Files\\Microsoft Office\\Office"},
        {"BDE", "E:\\BDE"},
        {"Delphi", "C:\\Delphi7"},
        {"Date", "11.06.2024"},
        {"LangStr", "ENU"},
        {"QuickLaunch", "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
        {"IIS-WWWRoot", "c:\\inetpub\\wwwroot"},
        {"IIS-Scripts", "c:\\inetpub\\wwwroot\\scripts"},
        {"MainTitle", "%ProgramName%"},  // not built in
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(GetVariable(name), value) << name;
    // Fallbacks are stored unexpanded.
    EXPECT_EQ(VariableList.Value("CommonFiles"), "%ProgramFiles%\\Common Files");
    EXPECT_EQ(VariableList.Value("IIS-Scripts"), "%IIS-WWWRoot%\\scripts");
    EXPECT_EQ(VariableList.Lines()[0], "=C:=C:\\work");
    EXPECT_EQ(VariableList.Lines()[2], "Windows=C:\\WINDOWS");

    // The order of the built-ins follows the table.
    std::vector<std::string> order;
    for (const std::string& line : VariableList.Lines()) order.emplace_back(NamePart(line));
    const std::vector<std::string> builtIns = {
        "SourcePath", "Presetup", "BootDrive", "System", "Desktop", "Fonts", "NetHood", "Personal",
        "ProgramsMenu", "Recent", "SendTo", "StartMenu", "StartupMenu", "Templates", "CommonStartMenu",
        "CommonProgramsMenu", "CommonStartupMenu", "CommonDesktop", "ProgramFiles", "CommonFiles",
        "ApplicationData", "Office97", "Office97Templates", "Office2000", "BDE", "Delphi", "Date",
        "LangStr", "QuickLaunch", "IIS-WWWRoot", "IIS-Scripts", "MainTitle"};
    EXPECT_EQ(std::vector<std::string>(order.begin() + 3, order.end()), builtIns);
}

TEST_F(LoadVariablesTest, EmptySourcesGiveTheFixedFallbacks) {
    LoadVariablesFrom(src, Context(""));
    EXPECT_EQ(GetVariable("BootDrive"), "");
    EXPECT_EQ(GetVariable("BDE"), "\\Program Files\\Common Files\\Borland Shared\\BDE");
    EXPECT_EQ(GetVariable("Delphi"), "C:");
    EXPECT_EQ(GetVariable("CommonDesktop"), "");
    EXPECT_EQ(GetVariable("IIS-WWWRoot"), "\\wwwroot");
}

// Below the folder a path was meant for, every name came from a script or a
// package: that is where the engine stops taking folders as given.
TEST_F(LoadVariablesTest, GivenFolderIsTheDeepestNamedFolderHoldingThePath) {
    src.folders = {{kCsidlDesktopDirectory, "C:\\Users\\u\\Desktop"}, {kCsidlPrograms, "C:\\Users\\u\\Menu\\Programs"}};
    src.values = {{"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\|ProgramFilesDir", "C:\\Program Files"}};
    LoadVariablesFrom(src, Context(""));
    SetPathVariable("InstallPath", "C:\\Program Files\\Brisk\\App\\");
    // An author's own variable names no folder of the system.
    SetVariable("MyDir", "C:\\App\\sub");
    struct Case {
        const char* path;
        const char* given;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Brisk\\App\\sub\\b.txt", "C:\\Program Files\\Brisk\\App"},
        {"c:\\program files\\brisk\\app\\b.txt", "C:\\Program Files\\Brisk\\App"},
        {"C:\\Program Files\\Brisk\\App", "C:\\Program Files\\Brisk\\App"},
        {"C:\\Program Files\\Brisk\\Apple\\b.txt", "C:\\Program Files"},
        {"C:\\Program Files\\Common Files\\Brisk\\x.dll", "C:\\Program Files\\Common Files"},
        {"C:\\WINDOWS\\SYSTEM\\x.dll", "C:\\WINDOWS\\SYSTEM"},
        {"C:\\WINDOWS\\win.ini", "C:\\WINDOWS"},
        {"C:\\Users\\u\\Desktop\\App.lnk", "C:\\Users\\u\\Desktop"},
        {"C:\\Users\\u\\Menu\\Programs\\Group\\App.lnk", "C:\\Users\\u\\Menu\\Programs"},
        {"C:\\App\\sub\\b.txt", "C:\\"},
        {"D:\\x.txt", "D:\\"},
        {"\\\\srv\\share\\d\\f.txt", "\\\\srv\\share"},
    };
    for (const Case& c : cases) EXPECT_EQ(GivenFolderOf(c.path), c.given) << c.path;
}

TEST_F(LoadVariablesTest, SettingsSectionsOverrideInOrder) {
    src.environment = {"TEMP=C:\\TEMP", "FromEnv=env"};
    src.values = {
        {"HKCU\\Software\\Vendor|Dir", "reg-dir"},
        {"HKCU\\Software\\Vendor|a\\b", "quoted-name"},
        {"HKCU\\Software\\Vendor|\"q\\r\"", "double-quoted"},
        {"|Bare", "no-key"},
        {"HKLM\\Lang|V", "lang-reg"},
    };
    const std::string settings = dir.Path("Brik.ini");
    const std::string other = dir.Path("other.ini");
    WriteBytes(other, "[Sec ENU]\r\nKey=ini-value\r\n");
    WriteBytes(settings,
               "[Variables]\r\n"
               "ProgramName=Demo\r\n"
               "FromEnv=settings\r\n"
               "Windows=mine\r\n"
               "Both=base\r\n"
               "Vendor=HKCU\\Software\\Vendor\r\n"
               "[Variables.ENU]\r\n"
               "Both=english\r\n"
               "[Variables.DEU]\r\n"
               "Both=german\r\n"
               "[RegVariables]\r\n"
               "R1=%Vendor%\\Dir,def\r\n"
               "R2=%Vendor%\\'a\\b',def\r\n"
               "R3=%Vendor%\\Missing,'a,b'\r\n"
               "R4=Bare,def\r\n"
               "R5=%Vendor%\\\"q\\r\"\r\n"
               "Both=HKLM\\Lang\\V,none\r\n"
               "[RegVariables.ENU]\r\n"
               "R1=HKLM\\Lang\\V\r\n"
               "[IniVariables]\r\n"
               "I1=" + other + ",Sec %LangStr%,Key,dflt\r\n"
               "I2=" + other + ",Sec ENU,Missing,%ProgramName%\r\n"
               "I3=,S,K,empty file\r\n"
               "R4=" + other + ",Sec ENU,Key,x\r\n"
               "[IniVariables.ENU]\r\n"
               "I1=" + other + ",Nowhere,Key,lang-default\r\n");
    LoadVariablesFrom(src, Context(settings));

    const std::map<std::string, std::string> expected = {
        {"FromEnv", "settings"},      // [Variables] over the environment
        {"Windows", "mine"},          // ... and over a built-in
        {"TEMP", "C:\\TEMP"},
        {"R1", "lang-reg"},           // [RegVariables.ENU] over [RegVariables]
        {"R2", "quoted-name"},        // a quoted value name keeps its backslash
        {"R3", "a,b"},                // default in single quotes
        {"R4", "ini-value"},          // [IniVariables] over [RegVariables]
        {"R5", "double-quoted"},      // double quotes stay in the value name
        {"Both", "lang-reg"},         // [RegVariables] over [Variables.ENU]
        {"I1", "lang-default"},       // [IniVariables.ENU] over [IniVariables]
        {"I2", "%ProgramName%"},      // the default is not expanded when read ...
        {"I3", "empty file"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(VariableList.Value(name), value) << name;
    EXPECT_EQ(GetVariable("I2"), "Demo");  // ... only when used

    // [Variables.ENU] lines come first, then the earlier lines they do not
    // name; later sources replace lines in place.
    EXPECT_EQ(VariableList.Lines()[0], "Both=lang-reg");
    EXPECT_EQ(NamePart(VariableList.Lines()[1]), "ProgramName");

    // The settings file is read afresh by every load.
    WriteBytes(settings, "[Variables]\r\nProgramName=Changed\r\n");
    LoadVariablesFrom(src, Context(settings, "DEU"));
    EXPECT_EQ(GetVariable("MainTitle"), "Changed");
    EXPECT_EQ(GetVariable("LangStr"), "DEU");
    EXPECT_EQ(VariableList.IndexOf("R1"), -1);  // earlier contents are gone
}

}  // namespace
}  // namespace brik
