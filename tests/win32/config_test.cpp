// The configuration against the real system: registry helpers on a test key
// of the (Wine) registry, LoadVariables with a settings file of every section
// kind checked against values asked of the system directly, and SetLanguage
// switching between two language files with a live main window.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "config/Common.h"
#include "config/kpIniFile.h"

namespace brik {
namespace {

using test::ScratchDir;
using test::WriteBytes;

// A test key of its own under HKCU, removed with everything below it.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = "HKCU\\Software\\BrikConfigTest" + std::to_string(GetCurrentProcessId());
        RegRemoveKey(base_, true);
    }
    void TearDown() override {
        RegRemoveKey(base_, true);
        EXPECT_FALSE(RegKeyExists(base_));
    }
    std::string Key(const std::string& rest) const { return base_ + "\\" + rest; }
    // The sub-key under HKEY_CURRENT_USER, for the raw API.
    std::string SubKey(const std::string& rest) const { return base_.substr(5) + "\\" + rest; }

    std::string base_;
};

// Reads a value with the plain API, bypassing the helpers.
bool RawRead(HKEY root, const std::string& subKey, const std::string& name, DWORD& type,
             std::vector<BYTE>& data) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data.resize(size);
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

TEST_F(RegistryTest, PathSpellingsAddressTheSameKeys) {
    ASSERT_TRUE(RegWriteString(Key("Deep\\Er\\Level"), "Name", "value"));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(RawRead(HKEY_CURRENT_USER, SubKey("Deep\\Er\\Level"), "Name", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), "value");

    struct Case {
        std::string path;
        bool exists;
    };
    const std::string tail = base_.substr(5) + "\\Deep\\Er\\Level";
    const Case cases[] = {
        {"hkcu\\" + tail + "\\", true},
        {"HkCu\\" + tail, true},
        {tail, true},                      // no root name: under HKCU
        {tail + "\\", true},
        {"HKLM\\" + tail, false},
        {"HKEY_CURRENT_USER\\" + tail, true},  // the root spelled out
        {"hkey_current_user\\" + tail + "\\", true},
        {"HKEY_CURRENT_CONFIG\\" + tail, false},  // no root of ours: a sub-key of HKCU
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(RegKeyExists(c.path), c.exists);
        EXPECT_EQ(RegReadString(c.path, "Name", "none"), c.exists ? "value" : "none");
    }

    // The long root name is the root: the key lies under HKEY_LOCAL_MACHINE,
    // none under HKCU\HKEY_LOCAL_MACHINE.
    const std::string longName = "HKEY_LOCAL_MACHINE\\" + base_.substr(5);
    ASSERT_TRUE(RegWriteString(longName, "X", "1"));
    EXPECT_TRUE(RawRead(HKEY_LOCAL_MACHINE, base_.substr(5), "X", type, data));
    EXPECT_FALSE(RawRead(HKEY_CURRENT_USER, longName, "X", type, data));
    EXPECT_TRUE(RegRemoveKey("HKLM\\" + base_.substr(5), true));
    EXPECT_FALSE(RegKeyExists(longName));
    EXPECT_FALSE(RegRemoveKey("HKEY_LOCAL_MACHINE", true));

    // A bare root name is the root key itself.
    EXPECT_TRUE(RegKeyExists("HKLM"));
    StringList roots;
    RegListSubKeys("hklm\\", roots);
    bool software = false;
    for (const std::string& n : roots) software = software || lstrcmpiA(n.c_str(), "SOFTWARE") == 0;
    EXPECT_TRUE(software);
    EXPECT_FALSE(RegRemoveKey("HKCU", true));
    EXPECT_FALSE(RegRemoveKey("", true));
}

TEST_F(RegistryTest, ReadStringByType) {
    const std::string k = Key("Types");
    const DWORD allOnes = 0xFFFFFFFFu;
    const BYTE binary[] = {1, 171};
    const char expandable[] = "%SystemRoot%\\x";
    const DWORD shortDword = 0x1234;
    const char multi[] = "a\0b\0";
    ASSERT_TRUE(RegWriteData(k, "Dword", REG_DWORD, 4, &allOnes));
    ASSERT_TRUE(RegWriteInteger(k, "Int", -7));
    ASSERT_TRUE(RegWriteBinary(k, "Binary", binary, sizeof binary));
    ASSERT_TRUE(RegWriteData(k, "Expand", REG_EXPAND_SZ, sizeof expandable, expandable));
    ASSERT_TRUE(RegWriteData(k, "ShortDword", REG_DWORD, 2, &shortDword));
    ASSERT_TRUE(RegWriteData(k, "Multi", REG_MULTI_SZ, sizeof multi, multi));
    ASSERT_TRUE(RegWriteString(k, "", "default value"));
    ASSERT_TRUE(RegWriteString(k, "Max", std::string(4095, 'm')));
    ASSERT_TRUE(RegWriteString(k, "TooLong", std::string(4096, 'l')));
    ASSERT_TRUE(RegWriteData(k, "NoZero", REG_SZ, 3, "abc"));

    struct Case {
        const char* name;
        const char* defaultValue;
        std::string expected;
        uint32_t type;
    };
    const Case cases[] = {
        {"Dword", "x", "-1", REG_DWORD},
        {"Int", "x", "-7", REG_DWORD},
        {"Binary", "x", "01AB", REG_BINARY},
        {"Expand", "x", expandable, REG_EXPAND_SZ},
        // A DWORD that cannot be read as 4 bytes: the default as a number.
        {"ShortDword", "$10", "16", REG_DWORD},
        {"ShortDword", "junk", "0", REG_DWORD},
        {"Multi", "other type", "other type", REG_MULTI_SZ},
        {"", "x", "default value", REG_SZ},
        {"Max", "x", std::string(4095, 'm'), REG_SZ},
        {"TooLong", "too long", "too long", REG_SZ},
        {"NoZero", "x", "abc", REG_SZ},
        {"Missing", "$10", "$10", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RegReadString(k, c.name, c.defaultValue), c.expected);
        EXPECT_EQ(RegValueType(k, c.name), c.type);
    }
    EXPECT_EQ(RegValueType(Key("NoSuchKey"), "Dword"), 0u);
    EXPECT_EQ(RegReadString(Key("NoSuchKey"), "Dword", "d"), "d");

    EXPECT_EQ(RegReadInteger(k, "Dword", 5), -1);
    EXPECT_EQ(RegReadInteger(k, "ShortDword", 5), 5);
    EXPECT_EQ(RegReadInteger(k, "Missing", 5), 5);

    char buffer[8] = {};
    uint32_t size = sizeof buffer;
    ASSERT_TRUE(RegReadValue(k, "Binary", buffer, size));
    EXPECT_EQ(size, 2u);
    size = 1;
    EXPECT_FALSE(RegReadValue(k, "Binary", buffer, size));

    std::vector<uint8_t> block;
    ASSERT_TRUE(RegReadBinary(k, "Binary", block));
    EXPECT_EQ(block, (std::vector<uint8_t>{1, 171}));
    EXPECT_FALSE(RegReadBinary(k, "Missing", block));
    EXPECT_EQ(RegReadHex(k, "Binary", "d"), "01AB");
    EXPECT_EQ(RegReadHex(k, "Missing", "d"), "d");
}

TEST_F(RegistryTest, WriteHexValuesAndRemoval) {
    const std::string k = Key("Hex");
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"01 AB FF", {0x01, 0xAB, 0xFF}},
        {"ABC", {0xAB}},
        {"x1", {0x00}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(RegWriteHex(k, "V", c.text));
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(RawRead(HKEY_CURRENT_USER, SubKey("Hex"), "V", type, data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), c.bytes);
    }

    EXPECT_TRUE(RegValueExists(k, "V"));
    EXPECT_FALSE(RegValueExists(k, "W"));
    EXPECT_TRUE(RegRemoveValue(k, "V"));
    EXPECT_FALSE(RegValueExists(k, "V"));
    EXPECT_FALSE(RegRemoveValue(k, "V"));
    EXPECT_FALSE(RegRemoveValue(Key("NoSuchKey"), "V"));

    const std::string name = RegUniqueValueName(k, "Item");
    ASSERT_GT(name.size(), 4u);
    EXPECT_EQ(name.substr(0, 4), "Item");
    EXPECT_FALSE(RegValueExists(k, name));
    const std::string digits = name.substr(4);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_LE(std::stoll(digits), 2147483646LL);

    // A tree: the recursive removal takes the sub-keys first.
    for (const char* sub : {"Tree\\A\\A1", "Tree\\A\\A2\\Deep", "Tree\\B"})
        ASSERT_TRUE(RegWriteString(Key(sub), "v", "1"));
    StringList subKeys;
    RegListSubKeys(Key("Tree"), subKeys);
    EXPECT_EQ(subKeys, (StringList{"A", "B"}));
    RegListSubKeys(Key("NoSuchKey"), subKeys);
    EXPECT_TRUE(subKeys.empty());
    // Without the flag a key with sub-keys stays, whole, on every system
    // (Windows 95/98/Me would delete the tree).
    EXPECT_FALSE(RegRemoveKey(Key("Tree\\A"), false));
    EXPECT_TRUE(RegKeyExists(Key("Tree\\A\\A2\\Deep")));
    EXPECT_TRUE(RegRemoveKey(Key("Tree\\"), true));
    EXPECT_FALSE(RegKeyExists(Key("Tree")));
    EXPECT_FALSE(RegRemoveKey(Key("Tree"), true));
    ASSERT_TRUE(RegWriteString(Key("Leaf"), "v", "1"));
    EXPECT_TRUE(RegRemoveKey(Key("Leaf"), false));
    EXPECT_FALSE(RegKeyExists(Key("Leaf")));
}

std::string ShellFolderDirect(int csidl) {
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != NOERROR) return {};
    char path[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListA(list, path);
    CoTaskMemFree(list);
    return ok ? path : "";
}

std::string NoTrailingBackslash(std::string s) {
    if (!s.empty() && s.back() == '\\') s.pop_back();
    return s;
}

std::string RawString(HKEY root, const std::string& subKey, const std::string& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RawRead(root, subKey, name, type, data) || data.empty()) return {};
    return std::string(reinterpret_cast<const char*>(data.data()));
}

// Sets up a setup folder, the run's paths and a main window; undoes all of
// it afterwards.
class EngineTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        saved_ = ConfigPaths();
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        ConfigPaths().SetupExePath = exe;
        ConfigPaths().SetupFolder = dir_.Root() + "\\";
        ConfigPaths().SettingsFile = ConfigPaths().SetupFolder + "Brik.ini";
    }
    void TearDown() override {
        CloseAllIniFiles();
        ConfigPaths() = saved_;
        VariableList.Clear();
        RegistryTest::TearDown();
    }
    std::string InSetup(const std::string& name) const { return ConfigPaths().SetupFolder + name; }

    ScratchDir dir_;
    TConfigPaths saved_;
};

TEST_F(EngineTest, LoadVariablesAgainstTheSystem) {
    // Values of other products that a Wine prefix lacks, made for the test
    // and removed again whatever happens (Wine itself keeps a few settings
    // under the database engine's key).
    const std::string products = "HKLM\\SOFTWARE\\Borland";
    if (RegValueExists(products + "\\Database Engine", "DLLPATH") || RegKeyExists(products + "\\Delphi"))
        GTEST_SKIP() << "the prefix has the product values this test writes";
    struct Cleanup {
        std::string key;
        bool hadKey;
        ~Cleanup() {
            RegRemoveValue(key + "\\Database Engine", "DLLPATH");
            RegRemoveKey(key + "\\Delphi", true);
            if (!hadKey) RegRemoveKey(key, true);
        }
    } cleanup{products, RegKeyExists(products)};
    ASSERT_TRUE(RegWriteString("HKLM\\SOFTWARE\\Borland\\Database Engine", "DLLPATH", "C:\\BDE32;D:\\other"));
    ASSERT_TRUE(RegWriteString("HKLM\\SOFTWARE\\Borland\\Delphi\\5.0", "RootDir", "C:\\D5\\"));
    ASSERT_TRUE(RegWriteString("HKLM\\SOFTWARE\\Borland\\Delphi\\7.0", "RootDir", "C:\\D7\\"));
    ASSERT_TRUE(RegWriteString("HKLM\\SOFTWARE\\Borland\\Delphi\\10.0", "RootDir", "C:\\D10\\"));

    ASSERT_TRUE(RegWriteString(Key("App"), "Dir", "C:\\From\\Registry"));
    ASSERT_TRUE(RegWriteString(Key("App"), "a\\b", "backslash name"));
    ASSERT_TRUE(RegWriteInteger(Key("App"), "Count", -2));
    ASSERT_TRUE(RegWriteString(Key("App"), "English", "english registry"));
    SetEnvironmentVariableA("BRIK_TEST_ENV", "from environment");

    WriteBytes(InSetup("other.ini"), "[Sec]\r\nKey=ini value\r\nEnglish=english ini\r\n");
    WriteBytes(ConfigPaths().SettingsFile,
               "[Variables]\r\n"
               "ProgramName=Demo\r\n"
               "AppKey=" + Key("App") + "\r\n"
               "Desktop=mine\r\n"
               "Lang=base\r\n"
               "[Variables.ENU]\r\n"
               "Lang=english\r\n"
               "[RegVariables]\r\n"
               "RegDir=%AppKey%\\Dir,none\r\n"
               "RegQuoted=%AppKey%\\'a\\b',none\r\n"
               "RegCount=%AppKey%\\Count\r\n"
               "RegMissing=%AppKey%\\Missing,fallback\r\n"
               "[RegVariables.ENU]\r\n"
               "RegLang=%AppKey%\\English,none\r\n"
               "[IniVariables]\r\n"
               "IniKey=%Presetup%\\other.ini,Sec,Key,none\r\n"
               "IniMissing=%Presetup%\\other.ini,Sec,Nope,dflt\r\n"
               "[IniVariables.ENU]\r\n"
               "IniLang=%Presetup%\\other.ini,Sec,English,none\r\n");
    SelectLanguageFile("ENU");
    LoadVariables();

    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    char date[100];
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
    const std::string currentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const std::string programFiles = RawString(HKEY_LOCAL_MACHINE, currentVersion, "ProgramFilesDir");
    ASSERT_FALSE(programFiles.empty());
    std::string commonFiles = RawString(HKEY_LOCAL_MACHINE, currentVersion, "CommonFilesDir");
    if (commonFiles.empty()) commonFiles = programFiles + "\\Common Files";
    std::string appData = RawString(HKEY_CURRENT_USER, currentVersion + "\\Explorer\\Shell Folders", "AppData");
    if (appData.empty()) appData = std::string(windows) + "\\Application Data";
    std::string exeFolder = ConfigPaths().SetupExePath;
    exeFolder.resize(exeFolder.rfind('\\'));

    std::map<std::string, std::string> expected = {
        {"BRIK_TEST_ENV", "from environment"},
        {"SourcePath", exeFolder},
        {"Presetup", NoTrailingBackslash(ConfigPaths().SetupFolder)},
        {"Windows", NoTrailingBackslash(windows)},
        {"System", NoTrailingBackslash(system)},
        {"Desktop", "mine"},  // [Variables] over the built-in
        {"Fonts", NoTrailingBackslash(ShellFolderDirect(CSIDL_FONTS))},
        {"Personal", NoTrailingBackslash(ShellFolderDirect(CSIDL_PERSONAL))},
        {"ProgramsMenu", NoTrailingBackslash(ShellFolderDirect(CSIDL_PROGRAMS))},
        {"StartupMenu", NoTrailingBackslash(ShellFolderDirect(CSIDL_STARTUP))},
        {"Templates", NoTrailingBackslash(ShellFolderDirect(CSIDL_TEMPLATES))},
        {"ProgramFiles", NoTrailingBackslash(programFiles)},
        {"CommonFiles", NoTrailingBackslash(commonFiles)},
        {"ApplicationData", NoTrailingBackslash(appData)},
        {"BDE", "C:\\BDE32"},
        {"Delphi", "C:\\D7"},
        {"Date", date},
        {"LangStr", "ENU"},
        {"MainTitle", "Demo"},
        {"Lang", "english"},
        {"RegDir", "C:\\From\\Registry"},
        {"RegQuoted", "backslash name"},
        {"RegCount", "-2"},
        {"RegMissing", "fallback"},
        {"RegLang", "english registry"},
        {"IniKey", "ini value"},
        {"IniMissing", "dflt"},
        {"IniLang", "english ini"},
    };
    for (int csidl : {CSIDL_COMMON_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY}) {
        std::string path = ShellFolderDirect(csidl);
        if (path.empty())
            path = ShellFolderDirect(csidl == CSIDL_COMMON_STARTMENU ? CSIDL_STARTMENU : CSIDL_DESKTOPDIRECTORY);
        expected[csidl == CSIDL_COMMON_STARTMENU ? "CommonStartMenu" : "CommonDesktop"] = NoTrailingBackslash(path);
    }
    for (const auto& [name, value] : expected) EXPECT_EQ(GetVariable(name), value) << name;
    EXPECT_EQ(GetVariable("QuickLaunch"), NoTrailingBackslash(appData) + "\\Microsoft\\Internet Explorer\\Quick Launch");
    SetEnvironmentVariableA("BRIK_TEST_ENV", nullptr);
}

// Counts the paints of the test's main window.
int g_paints = 0;
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        ++g_paints;
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(EngineTest, SetLanguageSwitchesBetweenFiles) {
    WriteBytes(ConfigPaths().SettingsFile,
               "[Variables]\r\nProgramName=Demo\r\n"
               "[Variables.RUS]\r\nProgramName=\xC4\xE5\xEC\xEE\r\n");
    WriteBytes(InSetup("Enu.lng"),
               "[Strings]\r\n2=Reading install information files...\r\n"
               "[Dialogs]\r\nCaption=%ProgramName% Setup\r\n");
    WriteBytes(InSetup("Rus.lng"),
               "[Strings]\r\n2=\xD7\xF2\xE5\xED\xE8\xE5...\r\n"
               "[Dialogs]\r\nCaption=\xD3\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 %ProgramName%\r\n");

    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BrikConfigTestMain";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("BrikConfigTestMain", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    // What the run does with a change: the caption, and a redraw when the
    // title it draws changed.
    std::vector<std::string> titles;
    SetLanguageChangedHook([&](const TLanguageChange& change) {
        titles.push_back(change.ProgramTitle);
        SetWindowTextA(window, change.Caption.c_str());
        if (change.TitleChanged) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    });
    MainTitleFont = MakeLogFont("Arial", 24, fsBold | fsItalic);
    DialogFont = MakeLogFont("MS Sans Serif", 8, 0);
    EXPECT_EQ(MainTitleFont.lfWeight, 700);
    EXPECT_EQ(MainTitleFont.lfItalic, 1);
    EXPECT_EQ(DialogFont.lfWeight, 400);
    EXPECT_LT(MainTitleFont.lfHeight, 0);
    EXPECT_STREQ(MainTitleFont.lfFaceName, "Arial");

    auto caption = [&] {
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        return std::string(text);
    };

    struct Step {
        const char* code;
        const char* caption;
        const char* title;
        const char* message;
        BYTE charset;
        bool redraw;
    };
    const Step steps[] = {
        {"ENU", "Demo Setup", "Demo", "Reading install information files...", ANSI_CHARSET, true},
        {"rus", "\xD3\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 \xC4\xE5\xEC\xEE", "\xC4\xE5\xEC\xEE",
         "\xD7\xF2\xE5\xED\xE8\xE5...", RUSSIAN_CHARSET, true},
        {"ENU", "Demo Setup", "Demo", "Reading install information files...", ANSI_CHARSET, true},
        {"ENU", "Demo Setup", "Demo", "Reading install information files...", ANSI_CHARSET, false},
        // No file and no locale: English texts, default character set.
        {"XYZ", "Demo Setup", "Demo", "Reading install information files...", DEFAULT_CHARSET, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.code);
        SetVariable("InstallPath", "C:\\Chosen");
        const int paintsBefore = g_paints;
        SetLanguage(s.code);
        EXPECT_EQ(LanguageState().LanguageCode, s.code);
        EXPECT_EQ(caption(), s.caption);
        EXPECT_EQ(LanguageState().ProgramTitle, s.title);
        ASSERT_FALSE(titles.empty());
        EXPECT_EQ(titles.back(), s.title);
        EXPECT_EQ(GetMessageString(2), s.message);
        EXPECT_EQ(GetVariable("LangStr"), s.code);
        EXPECT_EQ(GetVariable("InstallPath"), "");  // rebuilt: dialog values are gone
        EXPECT_EQ(MainTitleFont.lfCharSet, s.charset);
        EXPECT_EQ(DialogFont.lfCharSet, s.charset);
        EXPECT_EQ(DialogTitleFont.lfCharSet, s.charset);
        EXPECT_EQ(g_paints > paintsBefore, s.redraw);
    }
    EXPECT_EQ(titles.size(), std::size(steps));

    SetLanguageChangedHook(nullptr);
    DestroyWindow(window);
}

TEST(LanguageCharsetTest, InstalledLocales) {
    EXPECT_EQ(LanguageCharset("ENU"), ANSI_CHARSET);
    EXPECT_EQ(LanguageCharset("enu"), ANSI_CHARSET);
    EXPECT_EQ(LanguageCharset("RUS"), RUSSIAN_CHARSET);
    EXPECT_EQ(LanguageCharset("ELL"), GREEK_CHARSET);
    EXPECT_EQ(LanguageCharset("XYZ"), DEFAULT_CHARSET);
    EXPECT_EQ(LanguageCharset(""), DEFAULT_CHARSET);
}

}  // namespace
}  // namespace brik
