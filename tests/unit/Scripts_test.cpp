#include "install/Scripts.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "CodePageTest.h"
#include "TestUtil.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "util/kpStrUtils.h"

namespace brik {
namespace {

using test::ScratchDir;
using test::WriteBytes;
using Lines = std::vector<std::string>;

// A list as name=value lines, in its order.
Lines Entries(const TWorkList& list) {
    Lines lines;
    for (const TWorkList::TEntry& entry : list.Entries()) lines.push_back(entry.name + "=" + entry.value);
    return lines;
}

TEST(ScriptExtensions, FollowThePlatformVersionAndKind) {
    struct Case {
        const char* system;
        TScriptSystem os;
        Lines extensions;
    };
    const Case cases[] = {
        {"Win32s", {false, 3, 0}, {".ins", ".9x"}},
        {"Windows 95", {false, 4, 1}, {".ins", ".9x", ".95"}},
        {"Windows 98", {false, 4, 2}, {".ins", ".9x", ".98"}},
        {"Windows Me", {false, 4, 5}, {".ins", ".9x", ".me"}},
        {"NT 3.51", {true, 3, 3}, {".ins", ".nt"}},
        {"NT 4", {true, 4, 3}, {".ins", ".nt", ".nt4"}},
        {"Windows 2000", {true, 5, 4}, {".ins", ".nt", ".2k"}},
        {"Windows XP", {true, 5, 6}, {".ins", ".nt", ".xp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(ScriptExtensions(c.os), c.extensions);
    }
}

TEST(UninstallSections, TakenByFirstAndThirdWord) {
    struct Case {
        const char* section;
        const char* suffixWord;
        bool taken;
    };
    const Case cases[] = {
        {"Uninstall.RunApp", "", true},
        {"Uninstall", "", true},
        {"uninstall.DelReg", "", true},
        {"Uninstall..Files", "", true},  // runs of dots count as one
        {"Uninstall.RunApp.Enu", "", false},
        {"Uninstall.RunApp.Enu", "Enu", true},
        {"UNINSTALL.RunApp.enu", "ENU", true},
        {"Uninstall..RunApp...Enu", "Enu", true},
        {"Uninstall.RunApp.Enu.More", "Enu", true},
        {"Uninstall.RunApp.Deu", "Enu", false},
        {"Uninstall.RunApp", "Enu", false},
        {"UninstallRunApp", "", false},
        {"RunApp.Uninstall", "", false},
        {".Uninstall.RunApp", "", true},
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " / " + c.suffixWord);
        EXPECT_EQ(IsUninstallSectionFor(c.section, c.suffixWord), c.taken);
    }
}

TEST(WorkList, SetReplacesInPlaceWithoutRegardToCase) {
    TWorkList list;
    list.Set("Data\\App.exe", "C:\\App\\App.exe");
    list.Set("Data\\Help.hlp", "C:\\App\\Help.hlp");
    list.Set("DATA\\app.EXE", "D:\\App.exe,32");
    EXPECT_EQ(Entries(list), (Lines{"Data\\App.exe=D:\\App.exe,32", "Data\\Help.hlp=C:\\App\\Help.hlp"}));
    ASSERT_NE(list.Find("data\\app.exe"), nullptr);
    EXPECT_EQ(list.Find("data\\app.exe")->value, "D:\\App.exe,32");
    EXPECT_EQ(list.Find("Data\\Other"), nullptr);

    // Appending keeps every entry; a lookup sees the first of a name.
    list.Append("data\\help.hlp", "again");
    EXPECT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.Find("DATA\\HELP.HLP")->value, "C:\\App\\Help.hlp");
    // After an append, Set still replaces the first of the name.
    list.Set("Data\\Help.hlp", "changed");
    EXPECT_EQ(Entries(list), (Lines{"Data\\App.exe=D:\\App.exe,32", "Data\\Help.hlp=changed", "data\\help.hlp=again"}));

    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Find("Data\\App.exe"), nullptr);
    list.Set("x", "1");
    EXPECT_EQ(Entries(list), (Lines{"x=1"}));
}

class ScriptsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As the engine reads its setup files: quotes an author wrote stay.
        UseSetupFileReading();
        VariableList.Assign({"InstallPath=C:\\App", "System=C:\\Win\\System", "Sect=Real", "Self=%Self%!"});
        SetExpandErrorHandler([this](const std::string& m) { errors.push_back(m); });
        setup = dir.Root() + kDelim + "setup" + kDelim;
        std::filesystem::create_directory(dir.Root() + kDelim + "setup");
        WriteSettings("App");
    }
    void TearDown() override {
        CloseAllIniFiles();
        SetIniStripQuotes(true);
        SetExpandErrorHandler(nullptr);
        VariableList.Clear();
    }

    // A file with CR LF line ends, as the package carries it.
    void Write(const std::string& path, std::initializer_list<const char*> lines) {
        std::string text;
        for (const char* line : lines) text.append(line).append("\r\n");
        WriteBytes(path, text);
        CloseIniFile(path);
    }
    void WriteSettings(const std::string& insFiles) {
        WriteBytes(setup + "Brik.ini", "[Config]\r\nInsFiles=" + insFiles + "\r\n");
        CloseIniFile(setup + "Brik.ini");
    }
    TWorkLists Read(const TScriptSystem& os, const std::string& language = "Enu") {
        TWorkLists lists;
        ReadInstallScripts(setup + "Brik.ini", setup, os, language, lists);
        return lists;
    }

#ifdef _WIN32
    static constexpr const char* kDelim = "\\";
#else
    static constexpr const char* kDelim = "/";
#endif
    static constexpr TScriptSystem kWin98{false, 4, 2};
    static constexpr TScriptSystem kWin2000{true, 5, 4};

    ScratchDir dir;
    std::string setup;
    std::vector<std::string> errors;
};

TEST_F(ScriptsTest, PlatformFileOverridesAtTheInsLinesPosition) {
    Write(setup + "App.ins", {"[CopyFiles]", "Main=%InstallPath%", "[Main]", "a.dll=,0", "b.dll=", "c.dll="});
    Write(setup + "App.nt", {"[CopyFiles]", "Main=%System%", "[Main]", "A.DLL=new.dll", "d.dll="});
    Write(setup + "App.2k", {"[copyfiles]", "Sys=%System%\\2k", "[Sys]", "b.dll="});
    Write(setup + "App.9x", {"[CopyFiles]", "Main=%Windows%", "[Main]", "a.dll="});
    Write(setup + "App.xp", {"[CopyFiles]", "Main=xp", "[Main]", "c.dll="});

    EXPECT_EQ(Entries(Read(kWin2000).PackageFileList),
              (Lines{"Data\\a.dll=C:\\Win\\System\\new.dll", "Data\\b.dll=C:\\Win\\System\\2k\\b.dll",
                     "Data\\c.dll=C:\\App\\c.dll", "Data\\d.dll=C:\\Win\\System\\d.dll"}));
    EXPECT_EQ(Entries(Read(kWin98).PackageFileList),
              (Lines{"Data\\a.dll=%Windows%\\a.dll", "Data\\b.dll=C:\\App\\b.dll", "Data\\c.dll=C:\\App\\c.dll"}));
}

TEST_F(ScriptsTest, LanguagePassFollowsThePlainOneOfTheSameFile) {
    Write(setup + "App.ins", {"[RunApp]", "x=plain", "[RunApp.Enu]", "x=enu", "y=enu", "[runapp.ENU]",
                              "z=later same-named section", "[RunApp.Deu]", "w=deu"});
    Write(setup + "App.nt", {"[RunApp]", "x=nt", "v=nt", "[RunApp.Enu]", "v=nt enu"});

    EXPECT_EQ(Entries(Read(kWin2000).RunList), (Lines{"x=nt", "y=enu", "v=nt enu"}));
    EXPECT_EQ(Entries(Read(kWin2000, "Deu").RunList), (Lines{"x=nt", "w=deu", "v=nt"}));
    // Without a language only the plain sections count.
    EXPECT_EQ(Entries(Read(kWin2000, "").RunList), (Lines{"x=nt", "v=nt"}));
}

TEST_F(ScriptsTest, ItemHandlers) {
    Write(setup + "App.ins",
          {"[CopyFiles]", "Files=%InstallPath%", "NoFolder=", "Ext=%System%\\", "%Sect%=C:\\Wrong",
           "[Files]", "App.exe=", "dll\\*.*=", "ax\\*.*=*.*,4", "Readme.txt=Liesmich.txt,32,x", "Bad.dll=,notanumber",
           "[NoFolder]", "Loose.txt=Loose.txt", "[Ext]", "C:\\Tools\\t.exe=tool.exe,64", "\\\\srv\\s\\*.dat=,65",
           "[%Sect%]", "FromUnexpandedName.txt=", "[Real]", "NotThisOne.txt=",
           "[DelFiles]", "Old=%InstallPath%\\old", "[Old]", "*.tmp=", "a.bak=ignored",
           "[AddReg]", "Key=HKLM\\Software\\Demo", "Slash=HKCU\\Software\\Demo\\", "[Key]", "\\=default value",
           "Path=%InstallPath%", "sub\\Name=1,4,1", "[Slash]", "\\=x",
           "[DelReg]", "Gone=HKLM\\Software\\Old", "[Gone]", "\\=", "Value=",
           "[Shortcuts]", "Menu=%InstallPath%\\Menu", "[Menu]", "App=%InstallPath%\\App.exe,,,0",
           "[AddIni]", "Ini=%System%\\SYSTEM.INI,drivers32", "[Ini]", "vidc.DEMO=demo.dll",
           "[RunApp]", "Setup=x.exe,\"a, b\",,2", "Quoted=\"prog.exe\",\"Installing...\"", "%InstallPath%=%System%||next"});

    const TWorkLists lists = Read(kWin2000);
    EXPECT_EQ(Entries(lists.PackageFileList),
              (Lines{"Data\\App.exe=C:\\App\\App.exe", "Data\\dll\\*.*=C:\\App\\dll\\*.*", "Data\\ax\\*.*=C:\\App\\*.*,4",
                     "Data\\Readme.txt=C:\\App\\Liesmich.txt,32,x", "Data\\Bad.dll=C:\\App\\Bad.dll,notanumber",
                     "Data\\Loose.txt=Loose.txt", "Data\\FromUnexpandedName.txt=C:\\Wrong\\FromUnexpandedName.txt"}));
    EXPECT_EQ(Entries(lists.ExternalFileList),
              (Lines{"C:\\Tools\\t.exe=C:\\Win\\System\\tool.exe,64", "\\\\srv\\s\\*.dat=C:\\Win\\System\\\\\\srv\\s\\*.dat,65"}));
    EXPECT_EQ(Entries(lists.DeleteFileList), (Lines{"C:\\App\\old\\*.tmp=", "C:\\App\\old\\a.bak=ignored"}));
    EXPECT_EQ(Entries(lists.RegAddList),
              (Lines{"HKLM\\Software\\Demo\\=default value", "HKLM\\Software\\Demo\\Path=C:\\App",
                     "HKLM\\Software\\Demo\\sub\\Name=1,4,1", "HKCU\\Software\\Demo\\=x"}));
    EXPECT_EQ(Entries(lists.RegDeleteList), (Lines{"HKLM\\Software\\Old\\=", "HKLM\\Software\\Old\\Value="}));
    EXPECT_EQ(Entries(lists.ShortcutList), (Lines{"C:\\App\\Menu\\App=C:\\App\\App.exe,,,0"}));
    EXPECT_EQ(Entries(lists.IniAddList), (Lines{"C:\\Win\\System\\SYSTEM.INI,drivers32,vidc.DEMO=demo.dll"}));
    EXPECT_EQ(Entries(lists.RunList), (Lines{"Setup=x.exe,\"a, b\",,2", "Quoted=\"prog.exe\",\"Installing...\"",
                                             "C:\\App=C:\\Win\\System\r\nnext"}));
    EXPECT_TRUE(errors.empty());

    // The fields the later steps take apart: quotes that hold a comma keep
    // it in one field, and quotes around a whole value stay.
    const CharSet comma(",");
    const std::string setupLine = lists.RunList.Find("Setup")->value;
    EXPECT_EQ(FieldAt(2, setupLine, comma), "\"a, b\"");
    EXPECT_EQ(FieldAt(4, setupLine, comma), "2");
    const std::string quoted = lists.RunList.Find("Quoted")->value;
    EXPECT_EQ(FieldAt(1, quoted, comma), "\"prog.exe\"");
    EXPECT_EQ(FieldAt(2, quoted, comma), "\"Installing...\"");
}

TEST_F(ScriptsTest, InsFilesNamesReadOneAfterAnother) {
    WriteSettings(" App , ,Extra,,../Outside,");
    Write(setup + "App.ins", {"[AddReg]", "K=HKLM\\A", "[K]", "one=app", "two=app"});
    Write(setup + "App.nt", {"[AddReg]", "K=HKLM\\A", "[K]", "three=app nt"});
    Write(setup + "Extra.ins", {"[AddReg]", "K=HKLM\\A", "[K]", "one=extra", "four=extra"});
    // Beside the setup folder: no script of this package.
    Write(dir.Root() + kDelim + "Outside.ins", {"[AddReg]", "K=HKLM\\A", "[K]", "one=outside"});

    EXPECT_EQ(Entries(Read(kWin2000).RegAddList),
              (Lines{"HKLM\\A\\one=extra", "HKLM\\A\\two=app", "HKLM\\A\\three=app nt", "HKLM\\A\\four=extra"}));
}

TEST_F(ScriptsTest, UninstallSectionsOfEachPass) {
    Write(setup + "App.ins", {"[Uninstall.RunApp]", "a=1", "[Uninstall.RunApp.Enu]", "a=2", "[Uninstall.DelReg.Deu]",
                              "a=3", "[uninstall.delfiles]", "a=4", "[UninstallNot]", "a=5"});
    Write(setup + "App.nt", {"[Uninstall.RunApp.enu]", "a=1"});
    const std::string ins = setup + "App.ins";
    const std::string nt = setup + "App.nt";

    EXPECT_EQ(Entries(Read(kWin2000).UninstallSectionList),
              (Lines{ins + ",Uninstall.RunApp=", ins + ",uninstall.delfiles=", ins + ",Uninstall.RunApp.Enu=",
                     nt + ",Uninstall.RunApp.enu="}));
    EXPECT_EQ(Entries(Read(kWin2000, "Deu").UninstallSectionList),
              (Lines{ins + ",Uninstall.RunApp=", ins + ",uninstall.delfiles=", ins + ",Uninstall.DelReg.Deu="}));
}

TEST_F(ScriptsTest, NothingToReadLeavesTheListsEmpty) {
    TWorkLists lists;
    ReadScriptFile(setup + "Missing.ins", "Enu", lists);
    WriteSettings("");
    Write(setup + "App.ins", {"[RunApp]", "x=1"});
    lists = Read(kWin2000);
    EXPECT_TRUE(lists.RunList.Empty());
    WriteBytes(setup + "Brik.ini", "[Other]\r\nInsFiles=App\r\n");
    CloseIniFile(setup + "Brik.ini");
    EXPECT_TRUE(Read(kWin2000).RunList.Empty());
}

TEST_F(ScriptsTest, HostileScriptsEndWithoutHarm) {
    // An index naming itself or a missing section, lines without "=", a
    // runaway reference in a section two index lines name, and a huge line.
    const std::string huge(1 << 20, 'x');
    std::string text = "[CopyFiles]\r\nCopyFiles=%InstallPath%\r\nNowhere=x\r\nno equals here\r\n=\r\n"
                       "[AddReg]\r\nR=%Self%\r\nR=HKLM\\B\r\n[R]\r\nv=%Self%\r\n[RunApp]\r\n" + huge + "=" + huge + "\r\n";
    WriteBytes(setup + "App.ins", text);
    const TWorkLists lists = Read(kWin2000);
    EXPECT_EQ(Entries(lists.PackageFileList),
              (Lines{"Data\\CopyFiles=C:\\App\\C:\\App", "Data\\Nowhere=C:\\App\\x", "Data\\=C:\\App\\"}));
    // The runaway text stays as written, with one message for the index
    // line and one for the item, however many index lines name its section.
    EXPECT_EQ(Entries(lists.RegAddList), (Lines{"%Self%\\v=%Self%", "HKLM\\B\\v=%Self%"}));
    EXPECT_EQ(errors.size(), 2u);
    ASSERT_EQ(lists.RunList.Size(), 1u);
    EXPECT_EQ(lists.RunList.Entries()[0].value.size(), huge.size());
}

// Named for the Wine run in a Japanese locale, which picks the double-byte tests.
using ScriptsDoubleByte = test::CodePage932Test;

// A folder or key whose last character's second byte has a backslash's value
// still gets its backslash before the item's name.
TEST_F(ScriptsDoubleByte, TrailBytesAreNoBackslashes) {
    ScratchDir dir;
    const std::string script = dir.Path("App.ins");
    const std::string folder = "C:\\\x95\x5C";  // C:\ and a kanji whose trail byte is 0x5C
    WriteBytes(script, "[DelFiles]\r\nOld=" + folder + "\r\nRoot=C:\\\r\n[Old]\r\na.tmp=\r\n[Root]\r\nb.tmp=\r\n"
                       "[AddReg]\r\nK=HKCU\\" + folder.substr(3) + "\r\n[K]\r\n\\=x\r\n");
    TWorkLists lists;
    ReadScriptFile(script, "", lists);
    CloseAllIniFiles();
    EXPECT_EQ(Entries(lists.DeleteFileList), (Lines{folder + "\\a.tmp=", "C:\\b.tmp="}));
    EXPECT_EQ(Entries(lists.RegAddList), (Lines{"HKCU\\" + folder.substr(3) + "\\=x"}));
}

}  // namespace
}  // namespace brik
