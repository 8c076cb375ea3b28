#include "builder/Plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "install/LogFormat.h"
#include "install/Scripts.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {
namespace {

using test::ScratchDir;

// An INI-format text with the CR LF line ends the engine reads.
void WriteIni(const std::string& path, const std::string& text) {
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    test::WriteBytes(path, crlf);
}

// A package's setup files: two languages, a script per platform kind, files
// for the system folder, the install folder and the German language only.
class PlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.Root() + platform::PathDelim;
        WriteIni(folder_ + "Brik.ini",
                 "[Config]\nLanguages=Enu,Deu\nInsFiles=App\nUninstall=1\n"
                 "[Variables]\nProgramName=Plan Demo\nInstallPath=%ProgramFiles%\\Plan Demo\\\n"
                 "[FileInfo]\napp.exe=10,1.0.0.0,''\nsys\\helper.dll=3,,''\nreadme.txt=4,,''\n"
                 "evil.dll=5,,''\nfonts\\demo.ttf=6,,'Demo Sans'\n");
        // Named as the engine asks for them: in the system's spelling of the code.
        WriteIni(folder_ + "ENU.lng", "[Strings]\n11=Can't extract file \"%s\".\n");
        WriteIni(folder_ + "DEU.lng", "[Strings]\n11=Datei \"%s\" fehlt.\n");
        test::WriteBytes(folder_ + "UnInst.exe", "MZ");
        WriteIni(folder_ + "App.ins",
                 "[CopyFiles]\nMain=%InstallPath%\nSys=%System%\nFonts=%Fonts%\n"
                 "[Main]\napp.exe=,4\nreadme.txt=docs\\readme.txt\nevil.dll=..\\..\\evil.dll\n"
                 "[Sys]\nsys\\*.*=*.*,128\n[Fonts]\nfonts\\demo.ttf=demo.ttf,8\n"
                 "[CopyFiles.Deu]\nDe=%InstallPath%\\de\n[De]\nreadme.txt=liesmich.txt\n"
                 "[Shortcuts]\nLinks=%CommonProgramsMenu%\\Plan Demo\nBad=%InstallPath%\n"
                 "[Links]\nDemo=%InstallPath%\\app.exe,/x,%InstallPath%\n[Bad]\n..\\..\\..\\out=x.exe\n"
                 "[AddReg]\nKey=HKLM\\Software\\Plan Demo\n[Key]\nPath=%InstallPath%\nQuoted=say \"hi\" \\o/\n"
                 "Unknown=%NoSuchVariable%\n"
                 "[AddIni]\nIni=demo.ini,Main\n[Ini]\nLang=%LangStr%\n");
        for (const char* extension : {".nt", ".xp", ".9x", ".me"})
            WriteIni(folder_ + "App" + extension, "[RunApp]\nRun" + std::string(extension + 1) + "=x.exe\n");
    }

    TPlan Make(TPlanRequest request) {
        TPlan plan;
        std::string error;
        EXPECT_TRUE(MakePlan(folder_, request, plan, error)) << error;
        return plan;
    }

    static const TPlanGroup& Group(const TPlan& plan, std::string_view key) {
        for (const TPlanGroup& g : plan.groups)
            if (g.key == key) return g;
        ADD_FAILURE() << "no group " << key;
        return plan.groups.front();
    }
    static std::string Field(const TPlanItem& item, std::string_view name) {
        for (const TPlanField& f : item.fields)
            if (f.name == name) return f.value;
        ADD_FAILURE() << "no field " << name;
        return {};
    }
    static std::string Header(const TPlan& plan, std::string_view name) {
        for (const TPlanField& f : plan.header)
            if (f.name == name) return f.value;
        return {};
    }
    // The item of a group whose field has that value, or null.
    static const TPlanItem* Find(const TPlan& plan, std::string_view group, std::string_view name,
                                 std::string_view value) {
        for (const TPlanItem& item : Group(plan, group).items)
            if (Field(item, name) == value) return &item;
        return nullptr;
    }

    ScratchDir dir_;
    std::string folder_;
};

TEST_F(PlanTest, ScriptsAndFoldersFollowTheWindowsKindAndLanguage) {
    struct Case {
        const char* windows;
        const char* language;
        std::vector<std::string> read;  // scripts read
        const char* helper;             // where sys\helper.dll goes
        const char* link;               // the shortcut
        const char* readme;             // the language section's target wins
    };
    const Case cases[] = {
        {"95", "", {"App.ins", "App.9x"}, "C:\\WINDOWS\\SYSTEM\\helper.dll",
         "C:\\WINDOWS\\Start Menu\\Programs\\Plan Demo\\Demo.lnk",
         "C:\\Program Files\\Plan Demo\\docs\\readme.txt"},
        {"me", "deu", {"App.ins", "App.9x", "App.me"}, "C:\\WINDOWS\\SYSTEM\\helper.dll",
         "C:\\WINDOWS\\Start Menu\\Programs\\Plan Demo\\Demo.lnk",
         "C:\\Program Files\\Plan Demo\\de\\liesmich.txt"},
        {"nt4", "ENU", {"App.ins", "App.nt"}, "C:\\WINNT\\system32\\helper.dll",
         "C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Plan Demo\\Demo.lnk",
         "C:\\Program Files\\Plan Demo\\docs\\readme.txt"},
        {"2000", "", {"App.ins", "App.nt"}, "C:\\WINNT\\system32\\helper.dll",
         "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Plan Demo\\Demo.lnk",
         "C:\\Program Files\\Plan Demo\\docs\\readme.txt"},
        {"XP", "Deu", {"App.ins", "App.nt", "App.xp"}, "C:\\WINDOWS\\system32\\helper.dll",
         "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Plan Demo\\Demo.lnk",
         "C:\\Program Files\\Plan Demo\\de\\liesmich.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.windows) + " " + c.language);
        TPlanRequest request;
        ASSERT_TRUE(ParsePlanWindows(c.windows, request.windows));
        request.language = c.language;
        const TPlan plan = Make(request);
        std::vector<std::string> read;
        for (const TPlanItem& item : Group(plan, "scripts").items)
            if (Field(item, "read") == "true") read.push_back(Field(item, "file"));
        EXPECT_EQ(read, c.read);
        // Without a choice the engine starts in English: ENU is offered.
        EXPECT_EQ(Header(plan, "language"), *c.language ? AnsiUpperCase(c.language) : "ENU");
        EXPECT_EQ(Header(plan, "scriptSuffix"), "." + Header(plan, "language"));
        EXPECT_NE(Find(plan, "files", "target", c.helper), nullptr);
        EXPECT_NE(Find(plan, "shortcuts", "link", c.link), nullptr);
        EXPECT_NE(Find(plan, "files", "target", c.readme), nullptr);
        // Each platform script adds its program; the others are not read.
        EXPECT_EQ(Group(plan, "programs").items.size(), c.read.size() - 1);
        const TPlanItem* ini = Find(plan, "ini", "key", "Lang");
        ASSERT_NE(ini, nullptr);
        EXPECT_EQ(Field(*ini, "data"), Header(plan, "language"));
        EXPECT_EQ(Field(*ini, "file"), Header(plan, "windowsFolder") + "\\demo.ini");
    }
}

TEST_F(PlanTest, FlagsFontsComServersAndTheUninstallRegistration) {
    const TPlan plan = Make({});
    const TPlanItem* app = Find(plan, "files", "source", "Data\\app.exe");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(Field(*app, "target"), "C:\\Program Files\\Plan Demo\\app.exe");
    EXPECT_EQ(Field(*app, "flags"), "4");
    EXPECT_EQ(Field(*app, "version"), "1.0.0.0");
    EXPECT_NE(Find(plan, "comServers", "path", "C:\\Program Files\\Plan Demo\\app.exe"), nullptr);
    const TPlanItem* font = Find(plan, "fonts", "name", "Demo Sans (TrueType)");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(Field(*font, "file"), "C:\\WINDOWS\\Fonts\\demo.ttf");
    EXPECT_EQ(Field(*font, "data"), "demo.ttf");
    ASSERT_EQ(Group(plan, "uninstall").items.size(), 1u);
    const TPlanItem& uninstall = Group(plan, "uninstall").items.front();
    EXPECT_EQ(Field(uninstall, "key"), "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plan Demo");
    EXPECT_EQ(Field(uninstall, "uninstallString"),
              "\"C:\\Program Files\\Plan Demo\\UnInst.exe\" \"C:\\Program Files\\Plan Demo\\install.log\"");
}

// The plan reads registry paths with the engine's rule: a key without a
// root lies under HKCU, a root spelled out is that root, and a DelReg of a
// root's direct child is shown refused.
TEST_F(PlanTest, RegistryPathsResolvedAsTheEngineWritesThem) {
    WriteIni(folder_ + "App.ins",
             "[AddReg]\nUser=Software\\Plan User\nLong=hkey_local_machine\\Software\\Plan Long\n"
             "[User]\nA=1\n[Long]\nB=2\n"
             "[DelReg]\nTop=HKLM\nOld=Software\\Plan Old\n[Top]\nSoftware=\n[Old]\nKey=\n");
    const TPlan plan = Make({});
    const TPlanItem* user = Find(plan, "registry", "name", "A");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(Field(*user, "key"), "HKCU\\Software\\Plan User");
    const TPlanItem* spelled = Find(plan, "registry", "name", "B");
    ASSERT_NE(spelled, nullptr);
    EXPECT_EQ(Field(*spelled, "key"), "HKLM\\Software\\Plan Long");
    const TPlanItem* top = Find(plan, "registryDeletes", "path", "HKLM\\Software");
    ASSERT_NE(top, nullptr);
    EXPECT_NE(top->refused, "");
    const TPlanItem* old = Find(plan, "registryDeletes", "path", "HKCU\\Software\\Plan Old\\Key");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->refused, "");
}

TEST_F(PlanTest, SetVariablesOverrideTheSettingsAndUnknownOnesStay) {
    TPlanRequest request;
    request.variables = {{"InstallPath", "D:\\Apps\\Demo\\ "}};
    const TPlan plan = Make(request);
    // Trimmed as the install trims it.
    EXPECT_EQ(Header(plan, "installPath"), "D:\\Apps\\Demo");
    EXPECT_NE(Find(plan, "files", "target", "D:\\Apps\\Demo\\app.exe"), nullptr);
    const TPlanItem* path = Find(plan, "registry", "name", "Path");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(Field(*path, "data"), "D:\\Apps\\Demo");
    const TPlanItem* unknown = Find(plan, "registry", "name", "Unknown");
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(Field(*unknown, "data"), "%NoSuchVariable%");
}

// An INI variable naming a file of the planning machine takes its default:
// the plan never shows what the author's own files hold.
TEST_F(PlanTest, IniVariablesNeverReadTheHostsFiles) {
    const std::string secret = dir_.Root() + platform::PathDelim + "secret.ini";
    WriteIni(secret, "[Keys]\nToken=do-not-show\n");
    WriteIni(folder_ + "Brik.ini",
             "[Config]\nLanguages=Enu\nInsFiles=App\n[Variables]\nProgramName=Plan Demo\n"
             "InstallPath=C:\\%Token%\n[IniVariables]\nToken=" + secret + ",Keys,Token,fallback\n"
             "[FileInfo]\napp.exe=10,1.0.0.0,''\n");
    const TPlan plan = Make(TPlanRequest{});
    EXPECT_EQ(Header(plan, "installPath"), "C:\\fallback");
}

TEST_F(PlanTest, TargetsLeadingOutOfTheirFolderAreShownRefused) {
    for (const char* language : {"ENU", "DEU"}) {
        SCOPED_TRACE(language);
        TPlanRequest request;
        request.language = language;
        const TPlan plan = Make(request);
        const TPlanItem* evil = Find(plan, "files", "source", "Data\\evil.dll");
        ASSERT_NE(evil, nullptr);
        // In the language's own words, as the engine's box says it.
        EXPECT_NE(evil->refused.find(std::string(language) == "ENU" ? "Can't extract file" : "fehlt"),
                  std::string::npos)
            << evil->refused;
        for (const TPlanGroup& group : plan.groups) {
            if (std::string_view(group.key) != "comServers" && std::string_view(group.key) != "fonts") continue;
            for (const TPlanItem& item : group.items) EXPECT_EQ(item.line.find("evil"), std::string::npos);
        }
        const TPlanItem* link = Find(plan, "shortcuts", "link", "C:\\Program Files\\Plan Demo\\..\\..\\..\\out.lnk");
        ASSERT_NE(link, nullptr);
        EXPECT_NE(link->refused.find("Error creating shortcut"), std::string::npos);
        EXPECT_TRUE(Find(plan, "files", "source", "Data\\app.exe")->refused.empty());
    }
}

TEST_F(PlanTest, JsonEscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(JsonString("a\"b\\c\r\n\t\x01\x1f" "d\xc3\xa9"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u001fd\xc3\xa9\"");
    const TPlan plan = Make({});
    const std::string json = PlanJson(plan, 1252);
    EXPECT_NE(json.find("\"data\": \"say \\\"hi\\\" \\\\o/\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"target\": \"C:\\\\Program Files\\\\Plan Demo\\\\app.exe\""), std::string::npos);
    EXPECT_NE(json.find("\"refused\": null"), std::string::npos);
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.substr(json.size() - 2), "}\n");
}

TEST_F(PlanTest, TextIsInUtf8AndRequestsOutsideThePackageAreRefused) {
    TPlanRequest request;
    request.variables = {{"InstallPath", "C:\\Caf\xe9"}};  // 1252
    const std::string text = PlanText(Make(request), 1252);
    EXPECT_NE(text.find("C:\\Caf\xc3\xa9\\app.exe"), std::string::npos) << text;
    EXPECT_NE(text.find("REFUSED"), std::string::npos);

    TPlan plan;
    std::string error;
    request.language = "JPN";
    EXPECT_FALSE(MakePlan(folder_, request, plan, error));
    EXPECT_NE(error.find("offers no language JPN"), std::string::npos) << error;
    EXPECT_FALSE(MakePlan(folder_ + "missing" + platform::PathDelim, {}, plan, error));
}

TEST(PlanWindows, OptionNamesOnly) {
    TPlanWindows windows;
    for (const char* good : {"95", "98", "me", "ME", "nt4", "2000", "xp"}) EXPECT_TRUE(ParsePlanWindows(good, windows));
    for (const char* bad : {"", "vista", "nt", "2k", "xp "}) EXPECT_FALSE(ParsePlanWindows(bad, windows)) << bad;
}

// The rules the engine and the plan share.
TEST(PlanSharedRules, UninstallRegistrationAndScriptLanguage) {
    EXPECT_EQ(UninstallKeyPath("\\\\My App"), "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My App");
    EXPECT_EQ(UninstallKeyPath("\\\\"), "");
    EXPECT_EQ(UninstallKeyPath(""), "");
    EXPECT_EQ(UninstallCommandLine("C:\\A B\\UnInst.exe", "C:\\A B\\install.log"),
              "\"C:\\A B\\UnInst.exe\" \"C:\\A B\\install.log\"");
    EXPECT_EQ(ScriptLanguageOf("C:\\Temp\\x.y\\Deu.lng", "DEU"), "Deu");
    EXPECT_EQ(ScriptLanguageOf("", "ENU"), "ENU");
}

TEST(PlanStaging, AProjectsScriptIsFoundWhateverTheCaseOfItsName) {
    ScratchDir project;
    std::filesystem::create_directories(project.Path("Presetup"));
    std::filesystem::create_directories(project.Path("Data"));
    WriteIni(project.Path("Presetup/Brik.ini"), "[Config]\nInsFiles=App\n[Variables]\nInstallPath=C:\\Demo\n");
    WriteIni(project.Path("Presetup/app.INS"), "[CopyFiles]\nMain=%InstallPath%\n[Main]\n*.*=\n");
    test::WriteBytes(project.Path("Data/one.txt"), "1");
    ScratchDir staged;
    std::string error;
    ASSERT_TRUE(StageProject(project.Root(), 1252, staged.Root(), error)) << error;
    TPlan plan;
    ASSERT_TRUE(MakePlan(staged.Root() + platform::PathDelim, {}, plan, error)) << error;
    ASSERT_EQ(plan.groups[1].items.size(), 1u);
    EXPECT_EQ(plan.groups[1].items[0].fields[1].value, "C:\\Demo\\one.txt");
}

}  // namespace
}  // namespace brik
