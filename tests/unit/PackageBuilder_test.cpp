#include "builder/PackageBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FileImages.h"
#include "TestUtil.h"
#include "builder/CodePage.h"
#include "builder/Extract.h"
#include "cab/Cabinet.h"
#include "config/kpIniFile.h"
#include "crypto/Password.h"

namespace brik {
namespace {

namespace fs = std::filesystem;

fs::path U8Path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The smallest program the builder takes as its stub.
std::string Stub() {
    std::string s(64, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    s[0x3C] = 64;
    s += std::string("PE\0\0", 4) + std::string(60, '\0');
    return s;
}

const char* const kSettings =
    "; written by hand\r\n"
    "[Config]\r\n"
    "; the offered languages\r\n"
    "Languages=Enu\r\n"
    "InsFiles=App\r\n"
    "\r\n"
    "[Display]\r\n"
    "MainTitleFont=\"Times New Roman,30\"\r\n"
    "\r\n"
    "[FileInfo]\r\n"
    "old.txt=1,,''\r\n";

// A setup project in a scratch folder; paths below it use forward slashes.
class ProjectDir {
public:
    ProjectDir() {
        Add("Presetup/Brik.ini", kSettings);
        // The shipped English texts, as an author starts from them.
        Add("Presetup/Enu.lng", std::string(ShippedEnglishTexts()));
        Add("Presetup/App.ins", "[CopyFiles]\r\nCopyApp=%InstallPath%\r\n\r\n[CopyApp]\r\n*.*=\r\n");
        Add("Presetup/images/Brik.bmp", "BM not really");
        Add("Data/app.exe", Str(test::MakePe((1u << 16) | 2, (3u << 16) | 4)));
        Add("Data/fonts/coure.fon", Str(test::MakeNe("FONTRES 100,96,96 : Courier 10,12,15", true)));
        Add("Data/readme.txt", "hello");
        std::string big;
        for (int i = 0; big.size() < 100000; ++i) big += std::to_string(i) + " ";
        big.resize(100000);
        Add("Data/sub/deep/big.bin", big);
        brik::Write(Path("stub.exe"), Stub());
    }

    void Add(const std::string& relative, const std::string& bytes) { brik::Write(Root() / U8Path(relative), bytes); }
    void Remove(const std::string& relative) { fs::remove(Root() / U8Path(relative)); }
    fs::path Root() const { return fs::path(dir_.Root()) / "proj"; }
    fs::path Path(const std::string& name) const { return fs::path(dir_.Root()) / name; }

    BuildOptions Options(const std::string& output = "out.exe") const {
        BuildOptions o;
        o.project = Root();
        o.output = Path(output);
        o.stub = Path("stub.exe");
        return o;
    }

private:
    test::ScratchDir dir_;
};

// Opens a built package and collects its files.
struct Package {
    explicit Package(const fs::path& path) : bytes(Read(path)), source(bytes.data(), bytes.size()) {
        EXPECT_EQ(cab.Open(source), cab::CabStatus::Ok) << cab.Error();
    }
    std::map<std::string, std::string> Files(const HavalDigest* key = nullptr, cab::CabStatus* status = nullptr) {
        struct Collect final : cab::WalkHandler {
            cab::FileAction BeginFile(const cab::CabFile& f) override {
                files[f.name];
                return cab::FileAction::Write;
            }
            bool WriteData(const cab::CabFile& f, const uint8_t* d, uint32_t n) override {
                files[f.name].append(reinterpret_cast<const char*>(d), n);
                return true;
            }
            bool EndFile(const cab::CabFile&) override { return true; }
            std::map<std::string, std::string> files;
        } collect;
        cab::CabStatus s;
        if (key) {
            DecryptingHandler decrypting(collect, cab, *key);
            s = cab.Walk(decrypting);
        } else {
            s = cab.Walk(collect);
        }
        if (status) *status = s;
        else EXPECT_EQ(s, cab::CabStatus::Ok) << cab.Error();
        return collect.files;
    }
    uint32_t Trailer(size_t word) const {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + bytes.size() - 8 + 4 * word);
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    std::string bytes;
    cab::MemorySource source;
    cab::Cabinet cab;
};

std::string Messages(const BuildResult& r) {
    std::string out;
    for (const Diagnostic& d : r.diagnostics) out += d.Format() + "\n";
    return out;
}

TEST(PackageBuilder, BuildsThePackageLayout) {
    ProjectDir project;
    const BuildResult result = BuildPackage(project.Options());
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_TRUE(result.diagnostics.empty()) << Messages(result);
    EXPECT_EQ(result.presetupFiles, 4u);
    EXPECT_EQ(result.dataFiles, 4u);

    Package package(project.Path("out.exe"));
    EXPECT_EQ(package.bytes.compare(0, Stub().size(), Stub()), 0);
    EXPECT_EQ(package.cab.Offset(), Stub().size());
    ASSERT_EQ(package.cab.Folders().size(), 2u);
    EXPECT_EQ(package.cab.Folders()[0].typeCompress, 1);
    EXPECT_EQ(package.cab.Folders()[1].typeCompress, 1);

    std::vector<std::string> names;
    uint32_t presetupSize = 0;
    for (const cab::CabFile& f : package.cab.Files()) {
        names.push_back(f.name);
        EXPECT_EQ(f.folder, IsPresetupName(f.name) ? 0 : 1) << f.name;
        if (IsPresetupName(f.name)) presetupSize += f.size;
    }
    const std::vector<std::string> expectedNames = {
        "Presetup\\App.ins", "Presetup\\Brik.ini",  "Presetup\\Enu.lng", "Presetup\\images\\Brik.bmp",
        "Data\\app.exe",     "Data\\fonts\\coure.fon", "Data\\readme.txt", "Data\\sub\\deep\\big.bin"};
    EXPECT_EQ(names, expectedNames);
    EXPECT_EQ(package.Trailer(0), presetupSize);
    EXPECT_EQ(package.Trailer(1), package.bytes.size() - 8);

    std::map<std::string, std::string> files = package.Files();
    // The settings as the INI engine writes them, [FileInfo] replaced: the
    // comment before the first section is not part of any section.
    EXPECT_EQ(files["Presetup\\Brik.ini"],
              "[Config]\r\n"
              "; the offered languages\r\n"
              "Languages=Enu\r\n"
              "InsFiles=App\r\n"
              "\r\n"
              "[Display]\r\n"
              "MainTitleFont=\"Times New Roman,30\"\r\n"
              "\r\n"
              "[FileInfo]\r\n"
              "app.exe=1024,1.2.3.4,''\r\n"
              "fonts\\coure.fon=1536,,'Courier 10,12,15'\r\n"
              "readme.txt=5,,''\r\n"
              "sub\\deep\\big.bin=100000,,''\r\n"
              "\r\n");
    EXPECT_EQ(Read(project.Root() / "Presetup" / "Brik.ini"), kSettings);
    for (const char* name : {"app.exe", "fonts/coure.fon", "readme.txt", "sub/deep/big.bin"}) {
        std::string stored = std::string("Data\\") + name;
        std::replace(stored.begin(), stored.end(), '/', '\\');
        EXPECT_EQ(files[stored], Read(project.Root() / "Data" / U8Path(name))) << name;
    }
}

TEST(PackageBuilder, SameProjectSameBytes) {
    ProjectDir project;
    BuildOptions options = project.Options("one.exe");
    options.threads = 1;
    ASSERT_TRUE(BuildPackage(options).ok);
    options = project.Options("two.exe");
    options.threads = 3;
    ASSERT_TRUE(BuildPackage(options).ok);
    EXPECT_EQ(Read(project.Path("one.exe")), Read(project.Path("two.exe")));
    EXPECT_FALSE(fs::exists(project.Path("two.exe.part")));
}

// With the uninstall on, a package carries an uninstaller: the project's own,
// else the one the builder brings; without one to add, a warning.
TEST(PackageBuilder, AddsTheUninstallerWhenTheProjectHasNone) {
    ProjectDir project;
    project.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nUninstall=1\r\n");
    brik::Write(project.Path("ours.exe"), "our uninstaller");
    BuildOptions options = project.Options();
    options.uninstaller = project.Path("ours.exe");
    BuildResult result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_TRUE(result.uninstallerAdded);
    EXPECT_EQ(Package(options.output).Files()["Presetup\\UnInst.exe"], "our uninstaller");

    project.Add("Presetup/uninst.EXE", "the project's own");
    result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_FALSE(result.uninstallerAdded);
    const std::map<std::string, std::string> files = Package(options.output).Files();
    EXPECT_EQ(files.count("Presetup\\UnInst.exe"), 0u);
    EXPECT_EQ(files.at("Presetup\\uninst.EXE"), "the project's own");

    project.Remove("Presetup/uninst.EXE");
    options.uninstaller.clear();
    result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_FALSE(result.uninstallerAdded);
    EXPECT_NE(Messages(result).find("Brik.ini:4: warning: [Config] Uninstall is on"), std::string::npos)
        << Messages(result);

    // Off: nothing added, nothing said.
    project.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nUninstall=0\r\n");
    options.uninstaller = project.Path("ours.exe");
    result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_FALSE(result.uninstallerAdded);
    EXPECT_EQ(Package(options.output).Files().count("Presetup\\UnInst.exe"), 0u);
    EXPECT_EQ(Messages(result), "");
}

// The slips a new author makes in Brik.ini are named, with the line and the
// name that was meant; what the engine reads is left alone.
TEST(PackageBuilder, NamesTheAuthorsSlipsInTheSettings) {
    ProjectDir project;
    project.Add("Presetup/Brik.ini",
                "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nUninstal=1\r\n"
                "PreInstallDialogSequence=DLG_WELCOME, DLG_LICENCE,%MoreDialogs%\r\nShowMainTitle=0\r\n"
                "[Dispaly]\r\nX=1\r\n[config]\r\nPswCheckHash=\r\n[DialogBitmap]\r\nDLG_DIR=images\\Brik.bmp\r\n"
                "DLG_WELCOM=Gone.bmp\r\n[Variables.Enu]\r\nAnything=1\r\n[Display]\r\nBackgroundBitmap=Back.bmp\r\n");
    BuildOptions options = project.Options();
    const BuildResult result = CheckOnly(options);
    EXPECT_TRUE(result.ok) << Messages(result);
    const std::string shown = (project.Root() / "Presetup" / "Brik.ini").string();
    std::string want;
    for (const char* line : {
             ":4: warning: unknown key Uninstal in [Config], which the engine never reads (did you mean Uninstall?)",
             ":5: warning: PreInstallDialogSequence names DLG_LICENCE, which is no dialog of the wizard (did you mean "
             "DLG_LICENSE?)",
             ":6: warning: ShowMainTitle belongs in [Display], not in [Config]: the engine does not read it here",
             ":7: warning: unknown section [Dispaly], which the engine never reads (did you mean [Display]?)",
             ":9: warning: a second [config] section (the first is at line 1): the engine reads only the first, so "
             "everything in this one is ignored",
             ":13: warning: [DialogBitmap] names no dialog of the wizard: DLG_WELCOM (did you mean DLG_WELCOME?)",
             ":13: warning: the bitmap \"Gone.bmp\" is not among the Presetup files",
             ":17: warning: the bitmap \"Back.bmp\" is not among the Presetup files"})
        want += shown + line + "\n";
    EXPECT_EQ(Messages(result), want);
}

// A language file saved as UTF-8, or without texts the engine shows, is
// named: the engine would show garbage or empty boxes.
TEST(PackageBuilder, HoldsLanguageFilesToTheShippedTexts) {
    ProjectDir project;
    project.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu,Deu\r\nInsFiles=App\r\n"
                                     "PreInstallDialogSequence=DLG_WELCOME\r\n");
    project.Add("Presetup/Deu.lng", "[Strings]\r\nLanguageName=Deutsch\r\n1=Abbrechen? \xC3\x84\r\n");
    const BuildResult result = CheckOnly(project.Options());
    EXPECT_TRUE(result.ok) << Messages(result);
    const std::string messages = Messages(result);
    EXPECT_NE(messages.find("Deu.lng: warning: the file is UTF-8 text, but the engine reads language files in code "
                            "page 1252"),
              std::string::npos)
        << messages;
    // The shipped file's [Strings] but the one given, [Dialogs], and the
    // dialogs the install shows: the sequence's and the progress and final ones.
    EXPECT_NE(messages.find("Deu.lng: warning: "), std::string::npos) << messages;
    EXPECT_NE(messages.find("missing here, which the engine would show empty: [Strings] 2, 3,"), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("Enu.lng: warning"), std::string::npos) << messages;

    // Latin-1 bytes are no UTF-8; a file with every text is not named.
    project.Add("Presetup/Deu.lng", std::string(ShippedEnglishTexts()) + "[Extra]\r\nName=\xC4pfel\r\n");
    EXPECT_EQ(Messages(CheckOnly(project.Options())), "");
}

// A script section nothing reads does nothing, silently: a misspelt index
// section, an item section no index line names, an index line naming a
// section the script lacks. Language and uninstall sections are read.
TEST(PackageBuilder, NamesScriptSectionsNothingReads) {
    ProjectDir project;
    project.Add("Presetup/App.ins",
                "[CopyFiles]\r\nCopyApp=%InstallPath%\r\nDocs=%InstallPath%\\docs\r\n[CopyApp]\r\n*.*=\r\n"
                "[CopyFiles.Deu]\r\nCopyApp=%InstallPath%\r\n[Shortcut]\r\nGroup=%ProgramsMenu%\r\n"
                "[Group]\r\nApp=%InstallPath%\\app.exe\r\n[RunApp.Deu]\r\nx=y\r\n[Uninstall.RunApp]\r\nx=y\r\n");
    const BuildResult result = CheckOnly(project.Options());
    EXPECT_TRUE(result.ok) << Messages(result);
    const std::string shown = (project.Root() / "Presetup" / "App.ins").string();
    std::string want;
    for (const char* line : {
             ":3: warning: [CopyFiles] names the item section [Docs], which this script does not have",
             ":8: warning: section [Shortcut] is read by nothing: it is none of the script's sections (CopyFiles, "
             "DelFiles, AddReg, DelReg, Shortcuts, AddIni, RunApp, Uninstall.*) and no index line names it (did you "
             "mean [Shortcuts]?)",
             ":10: warning: section [Group] is read by nothing: it is none of the script's sections (CopyFiles, "
             "DelFiles, AddReg, DelReg, Shortcuts, AddIni, RunApp, Uninstall.*) and no index line names it"})
        want += shown + line + "\n";
    EXPECT_EQ(Messages(result), want);
}

// Registry items that would not do what they say: a DelReg of a root or a
// root's direct child, which the engine refuses, and a key under a root name
// the engine does not know, which lies under HKCU. Deeper keys and the roots
// spelled out are fine.
TEST(PackageBuilder, NamesRegistryItemsTheEngineReadsOtherwise) {
    ProjectDir project;
    project.Add("Presetup/App.ins",
                "[AddReg]\r\nConfig=HKEY_CURRENT_CONFIG\\Software\\App\r\nLong=HKEY_LOCAL_MACHINE\\Software\\App\r\n"
                "[Config]\r\nx=1\r\n[Long]\r\ny=2\r\n"
                "[DelReg]\r\nMachine=HKLM\r\nUser=HKEY_CURRENT_USER\\Software\\Old\r\n"
                "[Machine]\r\nSoftware=\r\n[User]\r\nKey=\r\n");
    const BuildResult result = CheckOnly(project.Options());
    EXPECT_TRUE(result.ok) << Messages(result);
    const std::string shown = (project.Root() / "Presetup" / "App.ins").string();
    std::string want;
    for (const char* line : {
             ":5: warning: AddReg of HKEY_CURRENT_CONFIG\\Software\\App\\x in [Config]: HKEY_CURRENT_CONFIG is no "
             "registry root the engine knows (HKLM, HKCU, HKCR, HKU or their long names), so this is "
             "HKCU\\HKEY_CURRENT_CONFIG\\Software\\App\\x",
             ":12: warning: DelReg of HKLM\\Software in [Machine]: a registry root's direct child is never deleted by "
             "the engine"})
        want += shown + line + "\n";
    EXPECT_EQ(Messages(result), want);
}

// The licence and readme pages show a text among the setup files, by
// language first; a language with none would see an empty box.
TEST(PackageBuilder, NamesLicenceAndReadmePagesWithoutText) {
    ProjectDir project;
    project.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu,Deu\r\nInsFiles=App\r\n"
                                     "PreInstallDialogSequence=DLG_WELCOME,DLG_LICENSE\r\n"
                                     "PostInstallDialogSequence=DLG_README\r\n");
    project.Add("Presetup/Deu.lng", std::string(ShippedEnglishTexts()));
    project.Add("Presetup/License.txt", "");
    project.Add("Presetup/license.deu", "Lizenz");
    project.Add("Presetup/Readme.rtf", "{\\rtf1 read me}");
    const std::string shown = (project.Root() / "Presetup" / "Brik.ini").string();
    EXPECT_EQ(Messages(CheckOnly(project.Options())),
              shown + ":4: warning: DLG_LICENSE is in the wizard, but no License text is among the Presetup files "
                      "for Enu (License.txt, License.rtf or License.<language code>, not empty): the page would "
                      "show an empty box\n");
    project.Add("Presetup/License.txt", "The terms");
    project.Remove("Presetup/Readme.rtf");
    EXPECT_EQ(Messages(CheckOnly(project.Options())),
              shown + ":5: warning: DLG_README is in the wizard, but no Readme text is among the Presetup files "
                      "for Enu, Deu (Readme.txt, Readme.rtf or Readme.<language code>, not empty): the page would "
                      "show an empty box\n");
}

// A protected package whose wizard never asks for the password cannot be
// installed by anyone.
TEST(PackageBuilder, ProtectedPackageNeedsThePasswordPage) {
    ProjectDir project;
    BuildOptions options = project.Options();
    options.protect = true;
    options.password = "secret";
    BuildResult result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_NE(Messages(result).find("warning: the package is password-protected, but [Config] "
                                    "PreInstallDialogSequence has no DLG_PASSWORD"),
              std::string::npos)
        << Messages(result);
    project.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\n"
                                     "PreInstallDialogSequence=DLG_WELCOME,dlg_password\r\n");
    result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_EQ(Messages(result).find("DLG_PASSWORD"), std::string::npos) << Messages(result);
}

TEST(PackageBuilder, ChecksBeforeBuilding) {
    using Level = Diagnostic::Level;
    struct Case {
        const char* what;
        std::function<void(ProjectDir&)> change;
        bool builds;
        Level level;
        const char* file;  // the end of the reported path
        int line;
        const char* text;
        bool posixOnly = false;
    } cases[] = {
        {"settings missing", [](ProjectDir& p) { p.Remove("Presetup/Brik.ini"); }, false, Level::Error,
         "Presetup/Brik.ini", 0, "settings file is missing"},
        {"language without its file",
         [](ProjectDir& p) { p.Add("Presetup/Brik.ini", "[Config]\r\nInsFiles=App\r\nLanguages=Enu, Deu\r\n"); }, true,
         Level::Warning, "Presetup/Brik.ini", 3, "language \"Deu\" of [Config] Languages has no language file"},
        {"no languages and no ENU.lng",
         [](ProjectDir& p) {
             p.Remove("Presetup/Enu.lng");
             p.Add("Presetup/Brik.ini", "[Config]\r\nInsFiles=App\r\n");
         },
         true, Level::Warning, "Presetup/Brik.ini", 0, "Languages is empty, so the engine offers ENU"},
        {"script base name without a script",
         [](ProjectDir& p) { p.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\n\r\nInsFiles=App,,Base\r\n"); },
         true, Level::Warning, "Presetup/Brik.ini", 4, "script base name \"Base\" of [Config] InsFiles has no script"},
        {"CopyFiles source without a Data file",
         [](ProjectDir& p) {
             p.Add("Presetup/App.nt",
                   "[CopyFiles.Enu]\r\nCopyApp=%System%\r\n\r\n[CopyApp]\r\nREADME.TXT=\r\nsub\\*.bin=\r\n"
                   "outside.txt=,64\r\n%Src%\\x.txt=\r\nfonts\\*.ttf=*.*,8\r\n");
         },
         true, Level::Warning, "Presetup/App.nt", 9, "CopyFiles source \"fonts\\*.ttf\" in [CopyApp] matches no Data file"},
        {"CopyFiles source without extension",
         [](ProjectDir& p) {
             p.Add("Data/LICENSE", "text");
             p.Add("Presetup/App.ins", "[CopyFiles]\r\nCopyApp=%InstallPath%\r\n\r\n[CopyApp]\r\nLICENSE=\r\n");
         },
         true, Level::Warning, "Presetup/App.ins", 5, "with a dot added: write \"LICENSE.\""},
        {"settings with bare line feeds",
         [](ProjectDir& p) { p.Add("Presetup/Brik.ini", "[Config]\nLanguages=Enu\nInsFiles=App\n"); }, false,
         Level::Error, "Presetup/Brik.ini", 0, "bare line feed"},
        {"script with bare line feeds",
         [](ProjectDir& p) { p.Add("Presetup/App.ins", "[CopyFiles]\nCopyApp=x\n"); }, true, Level::Warning,
         "Presetup/App.ins", 0, "bare line feed"},
        {"check hash without a password",
         [](ProjectDir& p) {
             p.Add("Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nPswCheckHash = ABC\r\n");
         },
         false, Level::Error, "Presetup/Brik.ini", 4, "PswCheckHash is set, but no --password"},
        {"name outside the code page", [](ProjectDir& p) { p.Add("Data/\xd1\x84\xd0\xb0.txt", "x"); }, false,
         Level::Error, ".txt", 0, "a character that code page 1252 lacks (\xd1\x84)"},
        {"name that cannot be a [FileInfo] key", [](ProjectDir& p) { p.Add("Data/a=b.txt", "x"); }, true,
         Level::Warning, "Data/a=b.txt", 0, "cannot be a key of [FileInfo]"},
        {"names that differ only in case", [](ProjectDir& p) { p.Add("Data/README.txt", "x"); }, false, Level::Error,
         "Data/readme.txt", 0, "differs only in case from", true},
        {"a file named like a folder", [](ProjectDir& p) { p.Add("Data/SUB", "x"); }, false, Level::Error,
         "Data/SUB", 0, "a file with the name of a folder", true},
        {"a name Windows cannot hold", [](ProjectDir& p) { p.Add("Data/a:b", "x"); }, false, Level::Error,
         "Data/a:b", 0, "the character ':'", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
#ifdef _WIN32
        if (c.posixOnly) continue;
#endif
        ProjectDir project;
        c.change(project);
        const BuildResult result = BuildPackage(project.Options());
        EXPECT_EQ(result.ok, c.builds) << Messages(result);
        bool found = false;
        for (const Diagnostic& d : result.diagnostics) {
            const std::string end = c.file;
            std::string file = d.file;
            std::replace(file.begin(), file.end(), '\\', '/');
            if (d.level == c.level && d.line == c.line && file.size() >= end.size() &&
                file.compare(file.size() - end.size(), end.size(), end) == 0 &&
                d.text.find(c.text) != std::string::npos)
                found = true;
        }
        EXPECT_TRUE(found) << Messages(result);
        EXPECT_EQ(fs::exists(project.Path("out.exe")), c.builds);
    }
}

// The engine keeps quotes around values (it reads its setup files with
// quote stripping off), so a quoted value is what the builder must check.
TEST(PackageBuilder, QuotedValuesAreCheckedAsTheEngineReadsThem) {
    using Level = Diagnostic::Level;
    const std::string script = "[CopyFiles]\r\nCopyApp=%InstallPath%\r\n\r\n[CopyApp]\r\n";
    struct Case {
        const char* file;  // below the project
        std::string text;
        bool builds;
        Level level;
        int line;
        const char* message;  // null: no finding at all
    } cases[] = {
        // The engine reads the check hash as two quote characters and asks
        // for a password whose hash they never are.
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nPswCheckHash=\"\"\r\n", false, Level::Error, 4,
         "PswCheckHash is set, but no --password"},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nPswCheckHash=''\r\n", false, Level::Error, 4,
         "PswCheckHash is set, but no --password"},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=App\r\nPswCheckHash=\r\n", true, Level::Error, 0,
         nullptr},
        // Languages="Enu,Deu" offers the codes "Enu and Deu" with their quotes.
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=\"Enu,Deu\"\r\nInsFiles=App\r\n", true, Level::Warning, 2,
         "language \"\"Enu\" of [Config] Languages has no language file"},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=\"Enu,Deu\"\r\nInsFiles=App\r\n", true, Level::Warning, 2,
         "language \"Deu\"\" of [Config] Languages has no language file"},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=''\r\nInsFiles=App\r\n", true, Level::Warning, 2,
         "language \"''\" of [Config] Languages has no language file"},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages= Enu ,, Deu \r\nInsFiles=App\r\n", true, Level::Warning, 0, nullptr},
        {"Presetup/Brik.ini", "[Config]\r\nLanguages=Enu\r\nInsFiles=\"App\"\r\n", true, Level::Warning, 3,
         "script base name \"\"App\"\" of [Config] InsFiles has no script"},
        // A quoted value is one field: its flag 64 is not read as a flag.
        {"Presetup/App.ins", script + "missing.dll=\"%System%,64\"\r\n", true, Level::Warning, 5,
         "CopyFiles source \"missing.dll\" in [CopyApp] matches no Data file"},
        {"Presetup/App.ins", script + "missing.dll=\"%System%\",64\r\nreadme.txt=\"%InstallPath%\"\r\n", true,
         Level::Warning, 0, nullptr},
        {"Presetup/App.ins", script + "\"readme.txt\"=\r\n", true, Level::Warning, 5,
         "CopyFiles source \"\"readme.txt\"\" in [CopyApp] matches no Data file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ProjectDir project;
        project.Add("Presetup/Deu.lng", std::string(ShippedEnglishTexts()));
        project.Add(c.file, c.text);
        const BuildResult result = BuildPackage(project.Options());
        EXPECT_EQ(result.ok, c.builds) << Messages(result);
        if (!c.message) {
            EXPECT_TRUE(result.diagnostics.empty()) << Messages(result);
            continue;
        }
        bool found = false;
        for (const Diagnostic& d : result.diagnostics)
            if (d.level == c.level && d.line == c.line && d.text.find(c.message) != std::string::npos) found = true;
        EXPECT_TRUE(found) << Messages(result);
    }
}

// The builder's readers of settings and scripts give the engine's values:
// the cache as the engine sets it up, the reader the checks use, and the
// index of a packaged settings file in memory.
TEST(PackageBuilder, OneReadingOfSetupFiles) {
    const char* const values[] = {"plain", "\"\"", "''", "\"Enu,Deu\"", "'a'", "\"a'", " \"spaced\" ", "\"", "x\"y\""};
    test::ScratchDir dir;
    const std::string path = dir.Path("setup.ini");
    for (const char* value : values) {
        SCOPED_TRACE(value);
        const std::string text = std::string("[Config]\r\nKey = ") + value + "\r\n";
        test::WriteBytes(path, text);
        UseSetupFileReading();
        const std::string engine = IniReadString(path, "Config", "Key", "-");
        CloseIniFile(path);
        SetIniStripQuotes(true);
        EXPECT_EQ(OpenSetupFile(path)->ReadString("Config", "Key", "-"), engine);
        std::string indexed;
        ASSERT_TRUE(IniLineIndex(text).Value("Config", "Key", indexed));
        EXPECT_EQ(indexed, engine);
    }
}

TEST(PackageBuilder, CopyFilesMatchingFollowsTheEngine) {
    // Every source of the base project's script matches: no warnings at all.
    ProjectDir project;
    project.Add("Presetup/App.ins",
                "[CopyFiles]\r\nA=%InstallPath%\r\n[A]\r\nREADME.TXT=\r\nsub\\*.bin=\r\nsub\\*.*=\r\nfonts\\c*.f?n=,8\r\n"
                "app.exe=\r\nmissing.dll=,64\r\n");
    const BuildResult result = BuildPackage(project.Options());
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.diagnostics.empty()) << Messages(result);
}

TEST(PackageBuilder, RefusesBadStubs) {
    const std::string good = Stub();
    std::string noPe = good;
    noPe[64] = 'X';
    std::string farPe = good;
    farPe[0x3C] = static_cast<char>(0xF0);
    const std::string withCabinet = good + std::string("MSCF\0\0\0\0", 8);
    const std::string large = good + std::string(262128, '\0');
    struct Case {
        const std::string* stub;
        const char* problem;  // empty: accepted
    } cases[] = {
        {&good, ""},
        {&noPe, "not a PE program"},
        {&farPe, "not a PE program"},
        {&withCabinet, "contains a cabinet signature"},
        {&large, "too large"},
    };
    for (const Case& c : cases) {
        const std::string problem = StubProblem(std::vector<uint8_t>(c.stub->begin(), c.stub->end()));
        if (*c.problem == 0) EXPECT_EQ(problem, "");
        else EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    EXPECT_NE(StubProblem({'M', 'Z'}).find("no MZ header"), std::string::npos);

    ProjectDir project;
    Write(project.Path("stub.exe"), withCabinet);
    const BuildResult result = BuildPackage(project.Options());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(Messages(result).find("stub.exe: error: unusable stub: it contains"), std::string::npos)
        << Messages(result);
}

// An engine signed before it was packed: the package is built and read as
// one (its signature lies inside the host), with a warning that the
// signature cannot cover it.
TEST(PackageBuilder, WarnsOfASignedStub) {
    const std::string unsignedStub = Stub();
    std::vector<uint8_t> bytes(unsignedStub.begin(), unsignedStub.end());
    test::SignImage(bytes, 0, 0x40, 0x40);
    ProjectDir project;
    Write(project.Path("stub.exe"), Str(bytes));
    const BuildResult result = BuildPackage(project.Options());
    ASSERT_TRUE(result.ok) << Messages(result);
    EXPECT_NE(Messages(result).find("stub.exe: warning: the engine is signed"), std::string::npos)
        << Messages(result);
    Package package(project.Path("out.exe"));
    EXPECT_TRUE(package.cab.IsPackage());
    EXPECT_EQ(package.Files().size(), 8u);
}

TEST(PackageBuilder, ProtectedPackage) {
    ProjectDir project;
    BuildOptions options = project.Options();
    options.protect = true;
    options.password = "P\xc3\xa4ssw\xc3\xb6rd";  // UTF-8
    const BuildResult result = BuildPackage(options);
    ASSERT_TRUE(result.ok) << Messages(result);

    // The engine hashes the password's bytes in the ANSI code page.
    const std::string password = "P\xe4ssw\xf6rd";
    Package package(project.Path("out.exe"));
    SettingsReader settings;
    package.cab.Walk(settings);
    ASSERT_TRUE(settings.Found());
    EXPECT_NE(settings.Text().find("[Config]\r\n; the offered languages\r\nLanguages=Enu\r\nInsFiles=App\r\nPswCheckHash=" +
                                   PasswordCheckHash(password) + "\r\n"),
              std::string::npos)
        << settings.Text();

    const HavalDigest key = *PackageKey(password);
    std::map<std::string, std::string> files = package.Files(&key);
    EXPECT_EQ(files["Data\\readme.txt"], "hello");
    EXPECT_EQ(files["Data\\sub\\deep\\big.bin"], Read(project.Root() / "Data" / "sub" / "deep" / "big.bin"));

    const HavalDigest wrong = *PackageKey("P\xe4ssw\xf6rt");
    cab::CabStatus status;
    package.Files(&wrong, &status);
    EXPECT_NE(status, cab::CabStatus::Ok);

    // More than one folder of data cannot be one chain.
    project.Add("Data/zz.bin", std::string(60000, 'z'));
    options.limits.maxBlocksPerFolder = 4;
    const BuildResult spilled = BuildPackage(options);
    EXPECT_FALSE(spilled.ok);
    EXPECT_NE(Messages(spilled).find("one chain over a single folder"), std::string::npos) << Messages(spilled);
    options.protect = false;
    ASSERT_TRUE(BuildPackage(options).ok);
    EXPECT_EQ(Package(project.Path("out.exe")).cab.Folders().size(), 3u);
}

TEST(PackageBuilder, PasswordInTheTargetCodePage) {
    struct Case {
        const char* utf8;
        int codePage;
        const char* bytes;  // null: refused
    } cases[] = {
        {"secret", 1252, "secret"},
        {"\xc3\xa9t\xc3\xa9", 1252, "\xe9t\xe9"},
        {"\xc5\x81\xc3\xb3" "d\xc5\xba", 1250, "\xa3\xf3" "d\x9f"},
        {"\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", 1251, "\xef\xe0\xf0\xee\xeb\xfc"},
        {"\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", 1252, nullptr},
        {"\xe2\x82\xac", 1252, "\x80"},
        {"", 1252, nullptr},
        {"\xc3", 1252, nullptr},
    };
    for (const Case& c : cases) {
        std::string bytes, error;
        const bool ok = PasswordBytes(c.utf8, c.codePage, bytes, error);
        EXPECT_EQ(ok, c.bytes != nullptr) << c.utf8 << " " << error;
        if (ok) EXPECT_EQ(bytes, c.bytes);
        else EXPECT_FALSE(error.empty());
    }
}

TEST(PackageBuilder, SettingsRenderedAsTheIniEngineWrites) {
    test::ScratchDir dir;
    const fs::path file = fs::path(dir.Root()) / "Brik.ini";
    Write(file,
          "[Config]\r\n  PswCheckHash = OLD \r\nKey='quoted'\r\n[FileInfo]\r\na=1,,''\r\n[Other]\r\nx=1\r\n"
          "[config]\r\nLost=1\r\n");
    EXPECT_EQ(RenderSettings(file, {"b.dll=10,1.0.0.0,''"}, "NEW"),
              "[Config]\r\nKey='quoted'\r\nPswCheckHash=NEW\r\n\r\n[Other]\r\nx=1\r\n\r\n[FileInfo]\r\n"
              "b.dll=10,1.0.0.0,''\r\n\r\n");
    EXPECT_EQ(RenderSettings(file, {}, ""),
              "[Config]\r\nPswCheckHash = OLD\r\nKey='quoted'\r\n\r\n[Other]\r\nx=1\r\n\r\n");
}

TEST(PackageBuilder, IniLinesAndValues) {
    const IniLineIndex index(
        "; c\r\n[Config]\r\nA = 1\r\n\r\n;B=2\r\nB='two'\r\n[Other]\r\nA=3\r\n[CONFIG]\r\nC=4\r\n");
    EXPECT_EQ(index.Line("config", "a"), 3);
    EXPECT_EQ(index.Line("Config", "B"), 6);
    EXPECT_EQ(index.Line("Other", "A"), 8);
    EXPECT_EQ(index.Line("Config", "C"), 0);  // the second [Config] is not read
    std::string value;
    ASSERT_TRUE(index.Value("Config", "B", value));
    EXPECT_EQ(value, "'two'");  // quotes kept, as the engine reads its settings
    ASSERT_TRUE(index.Value("Config", "A", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(index.HasBareLineFeeds());
    EXPECT_TRUE(IniLineIndex("[a]\r\nb=1\nc=2\r\n").HasBareLineFeeds());
}

TEST(PackageBuilder, DosTimeFromFileTime) {
    auto fileTime = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    };
    uint16_t date, time;
    DosDateTime(fileTime(2020, 6, 15, 12, 34, 57), date, time);
    EXPECT_EQ(date, (40 << 9) | (6 << 5) | 15);
    EXPECT_EQ(time, (12 << 11) | (34 << 5) | 28);
    DosDateTime(fileTime(1979, 12, 31, 12, 0, 0), date, time);
    EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
    EXPECT_EQ(time, 0);
}

}  // namespace
}  // namespace brik
