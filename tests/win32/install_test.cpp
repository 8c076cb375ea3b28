// The install's file operations and install log against the real (Wine) file
// system and registry: searches by attribute masks, version resources,
// copying with progress, putting a file over one in use on both platforms,
// the logged folders, the uninstall registration, the uninstall sections,
// the clean-up of an earlier install driven by its log, and the rollback of
// a run that failed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "config/Common.h"
#include "config/kpIniFile.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/Reboot.h"
#include "install/Rollback.h"
#include "config/kpRegIni.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

const std::string kUninstallRoot = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

// Read-only files stay behind a scratch folder's removal otherwise.
void ClearAttributes(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ClearAttributes(path);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    } while (FindNextFileA(find, &data));
    ::FindClose(find);
}

class Scratch : public ScratchDir {
public:
    ~Scratch() { ClearAttributes(Root()); }
};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Held open as a running program holds its file: others may read and
// write, but not delete or rename it.
HANDLE HoldOpen(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

void SetWriteTime(const std::string& path, const FILETIME& time) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

FILETIME WriteTimeOf(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    return data.ftLastWriteTime;
}

std::vector<std::string> Found(const std::string& pattern, DWORD include, DWORD exclude, int& first) {
    std::vector<std::string> names;
    TSearchRecExd rec;
    first = FindFirst(pattern, include, exclude, rec);
    for (int rc = first; rc == 0; rc = FindNext(rec)) {
        EXPECT_EQ(rec.FullName, rec.Folder + rec.Name);
        names.push_back(rec.Name);
    }
    FindClose(rec);
    EXPECT_EQ(rec.FindHandle, INVALID_HANDLE_VALUE);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileOps, FindHandsOutWhatTheMasksAllow) {
    Scratch dir;
    WriteBytes(dir.Path("a.txt"), "aaaa");
    WriteBytes(dir.Path("b.dat"), "b");
    WriteBytes(dir.Path("h.txt"), "h");
    CreateDirectoryA(dir.Path("sub").c_str(), nullptr);
    SetFileAttributesA(dir.Path("b.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(dir.Path("h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    struct Case {
        const char* pattern;
        DWORD include, exclude;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*", 0, 0, {"a.txt", "b.dat", "h.txt", "sub"}},
        {"*", 63, 0, {"a.txt", "b.dat", "h.txt", "sub"}},
        {"*", FILE_ATTRIBUTE_DIRECTORY, 0, {"sub"}},
        {"*", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0, {"b.dat", "h.txt"}},
        {"*", 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, {"a.txt", "b.dat"}},
        {"*.txt", 0, FILE_ATTRIBUTE_HIDDEN, {"a.txt"}},
        {"*.none", 0, 0, {}},
        {"*", FILE_ATTRIBUTE_SYSTEM, 0, {}},
    };
    for (const Case& c : cases) {
        int first = 0;
        EXPECT_EQ(Found(dir.Path(c.pattern), c.include, c.exclude, first), c.names) << c.pattern << " " << c.include;
        EXPECT_EQ(first == 0, !c.names.empty()) << c.pattern << " " << c.include;
    }
    TSearchRecExd rec;
    ASSERT_EQ(FindFirst(dir.Path("a.txt"), 0, 0, rec), 0);
    EXPECT_EQ(rec.Folder, dir.Root() + "\\");
    EXPECT_EQ(rec.Size, 4);
    EXPECT_NE(FindNext(rec), 0);
    FindClose(rec);
}

TEST(FileOps, VersionTimeAndSizeOfAFile) {
    Scratch dir;
    const std::string folder = ModulePath();
    const std::string dll = folder.substr(0, folder.rfind('\\') + 1) + "install_verinfo.dll";
    ASSERT_TRUE(Exists(dll)) << dll;
    // The fixed version counts, not the text ones.
    EXPECT_EQ(GetFileVersionText(dll), "1.2.3.4");
    EXPECT_EQ(GetFileVersionText(ModulePath()), "");
    EXPECT_EQ(GetFileVersionText(dir.Path("missing.dll")), "");

    const std::string copy = dir.Path("v.dll");
    ASSERT_TRUE(CopyFileA(dll.c_str(), copy.c_str(), FALSE));
    SetWriteTime(copy, FileTimeOf(2003, 4, 5, 6, 7, 8));
    const TFileFacts facts = FileFacts(copy);
    EXPECT_TRUE(facts.exists);
    EXPECT_TRUE(facts.hasVersion);
    EXPECT_EQ(facts.version, (TFileVersion{0x00010002u, 0x00030004u}));
    EXPECT_EQ(facts.time, (((2003u - 1980u) << 9 | 4u << 5 | 5u) << 16) | (6u << 11 | 7u << 5 | 4u));
    EXPECT_EQ(facts.size, static_cast<int64_t>(ReadBytes(copy).size()));
    EXPECT_EQ(GetFileSizeByFind(copy), facts.size);

    WriteBytes(dir.Path("plain.txt"), "text");
    const TFileFacts plain = FileFacts(dir.Path("plain.txt"));
    EXPECT_TRUE(plain.exists);
    EXPECT_FALSE(plain.hasVersion);
    EXPECT_EQ(plain.size, 4);
    EXPECT_FALSE(FileFacts(dir.Root()).exists);
    EXPECT_FALSE(FileFacts(dir.Path("missing")).exists);
    EXPECT_EQ(GetFileSizeByFind(dir.Path("missing")), -1);
}

TEST(FileOps, DeleteFileForcedTakesReadOnlyFilesButNotOnesInUse) {
    Scratch dir;
    const std::string file = dir.Path("ro.txt");
    WriteBytes(file, "x");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = HoldOpen(file);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileForced(file));
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
    CloseHandle(held);
    EXPECT_TRUE(DeleteFileForced(file));
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(DeleteFileForced(file));
}

TEST(FileOps, CopyWithProgressInChunksWithTimeAndAttributes) {
    Scratch dir;
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 1000);
    const std::string source = dir.Path("src.bin");
    const std::string dest = dir.Path("dst.bin");
    WriteBytes(source, data);
    const FILETIME stamp = FileTimeOf(2001, 2, 3, 4, 5, 6);
    SetWriteTime(source, stamp);
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    std::vector<int64_t> chunks;
    int64_t lastCopied = 0;
    ASSERT_TRUE(CopyFileWithProgress(
        source, dest,
        [&](const std::string& s, const std::string& d, int64_t chunk, int64_t total, int64_t copied) {
            EXPECT_EQ(s, source);
            EXPECT_EQ(d, dest);
            EXPECT_EQ(total, 300000);
            chunks.push_back(chunk);
            lastCopied = copied;
            return true;
        },
        false));
    EXPECT_EQ(chunks, (std::vector<int64_t>{131072, 131072, 37856}));
    EXPECT_EQ(lastCopied, 300000);
    EXPECT_EQ(ReadBytes(dest), data);
    const FILETIME destTime = WriteTimeOf(dest);
    EXPECT_EQ(CompareFileTime(&stamp, &destTime), 0);
    const DWORD attributes = GetFileAttributesA(dest.c_str());
    EXPECT_EQ(attributes, GetFileAttributesA(source.c_str()));
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});

    // Told to stop after the second chunk: no half file stays.
    const std::string stopped = dir.Path("stopped.bin");
    int calls = 0;
    EXPECT_FALSE(CopyFileWithProgress(
        source, stopped, [&](const std::string&, const std::string&, int64_t, int64_t, int64_t) { return ++calls < 2; },
        false));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(Exists(stopped));

    // Appended behind what is there.
    const std::string appended = dir.Path("appended.bin");
    WriteBytes(appended, "head");
    EXPECT_TRUE(CopyFileWithProgress(source, appended, {}, true));
    EXPECT_EQ(ReadBytes(appended), "head" + data);

    EXPECT_FALSE(CopyFileWithProgress(dir.Path("missing"), dir.Path("never"), {}, false));
    EXPECT_FALSE(Exists(dir.Path("never")));
}

// Moving a finished file over its target, on NT and on the 9x path.
class MoveOverTargetTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { InstallState().System.PlatformNT = GetParam(); }
    void TearDown() override { InstallState().System.PlatformNT = true; }
    // The Brik*.tmp files left in the folder.
    static int TempFiles(const Scratch& dir) {
        int first = 0;
        return static_cast<int>(Found(dir.Path("Bri*.tmp"), 0, 0, first).size());
    }
};

TEST_P(MoveOverTargetTest, ReplacesOrLeavesBothFilesIntact) {
    Scratch dir;
    const std::string target = dir.Path("app.exe");
    const std::string temp = NewTempFileIn(dir.Root());
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.rfind(dir.Root() + "\\Bri", 0), 0u) << temp;
    EXPECT_EQ(NewTempFileIn(dir.Path("missing")), "");

    // A new target.
    WriteBytes(temp, "new one");
    ASSERT_TRUE(MoveOverTarget(temp, target));
    EXPECT_EQ(ReadBytes(target), "new one");
    EXPECT_FALSE(Exists(temp));

    // A read-only target is replaced.
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string second = NewTempFileIn(dir.Root());
    WriteBytes(second, "second");
    EXPECT_TRUE(MoveOverTarget(second, target));
    EXPECT_EQ(ReadBytes(target), "second");
    EXPECT_FALSE(Exists(second));

    // A target in use stays whole, and so does the written file.
    const std::string third = NewTempFileIn(dir.Root());
    WriteBytes(third, "third");
    HANDLE held = HoldOpen(target);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveOverTarget(third, target));
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(target), "second");
    EXPECT_EQ(ReadBytes(third), "third");
    EXPECT_EQ(TempFiles(dir), 1);
    EXPECT_TRUE(MoveOverTarget(third, target));
    EXPECT_EQ(ReadBytes(target), "third");
    EXPECT_EQ(TempFiles(dir), 0);

    // A written file that cannot be moved leaves the target where it was,
    // read-only as before.
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(MoveOverTarget(dir.Path("vanished.tmp"), target));
    EXPECT_EQ(ReadBytes(target), "third");
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(TempFiles(dir), 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, MoveOverTargetTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "NT" : "Win9x"; });

// An install run: a setup folder with its settings, language file and
// uninstaller, an install folder whose name holds a blank, the log on.
class InstallLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        CloseAllIniFiles();
        setup_ = dir_.Path("setup") + "\\";
        install_ = dir_.Path("My App") + "\\";
        CreateDirectoryA(setup_.c_str(), nullptr);
        CreateDirectoryA(install_.c_str(), nullptr);
        ConfigPaths() = {ModulePath(), setup_, setup_ + "Brik.ini"};
        WriteSettings("");
        WriteBytes(setup_ + "Enu.lng",
                   "[Strings]\r\n1=x\r\n[Uninstall.Strings]\r\nTitle=Remove %ProgramName%\r\n"
                   "[Uninstall.Strings.Deu]\r\nTitle=no\r\n[Uninstaller]\r\nA=1\r\n");
        SelectLanguageFile("Enu");
        program_ = "Brik Install Test " + Pid();
        SetVariable("ProgramName", program_);
        SetPathVariable("InstallPath", install_);
        TInstallState& state = InstallState();
        state.Lists.Clear();
        state.UninstallEnabled = true;
        state.Logging = true;
        state.LogPath = install_ + "install.log";
    }
    void TearDown() override {
        CloseAllIniFiles();
        for (const std::string& key : keys_) RegRemoveKey(key, true);
        InstallState().Logging = false;
        InstallState().LogPath.clear();
        InstallState().Lists.Clear();
        ConfigPaths() = {};
    }
    void WriteSettings(const std::string& extra) {
        CloseIniFile(setup_ + "Brik.ini");
        WriteBytes(setup_ + "Brik.ini", "[Config]\r\nUninstall=1\r\n" + extra);
    }
    std::string Key(const std::string& name) {
        keys_.push_back(kUninstallRoot + "\\" + name);
        return keys_.back();
    }
    // A section of the log as it reached the disk.
    StringList LogSection(const std::string& section) {
        CloseAllIniFiles();
        StringList lines;
        IniReadSectionValues(InstallState().LogPath, section, lines);
        return lines;
    }

    Scratch dir_;
    std::string setup_, install_, program_;
    std::vector<std::string> keys_;
};

TEST_F(InstallLogTest, RecordsGoToTheirSectionsOnlyWhileLogging) {
    for (int kind = 0; kind <= 8; ++kind) EXPECT_TRUE(WriteLogEntry(kind, "N" + std::to_string(kind), "v"));
    EXPECT_TRUE(WriteLogEntry(kLogAddReg, "N1", "w"));  // replaces in place
    EXPECT_FALSE(WriteLogEntry(9, "x"));
    EXPECT_TRUE(LogHasEntry(kLogRegFonts, "n7"));
    EXPECT_FALSE(LogHasEntry(kLogRegFonts, "N6"));
    const char* sections[] = {"CopyFiles",  "AddReg",     "AddIni",   "Shortcuts",  "CreateDirs",
                              "CreateKeys", "RegServers", "RegFonts", "SharedFiles"};
    for (int kind = 0; kind <= 8; ++kind) {
        EXPECT_STREQ(LogSectionName(kind), sections[kind]);
        EXPECT_EQ(LogSection(sections[kind]),
                  StringList{"N" + std::to_string(kind) + (kind == kLogAddReg ? "=w" : "=v")});
    }
    InstallState().Logging = false;
    EXPECT_FALSE(LogEnabled());
    EXPECT_FALSE(WriteLogEntry(kLogCopyFiles, "off"));
    EXPECT_FALSE(LogHasEntry(kLogCopyFiles, "N0"));
    InstallState().Logging = true;
    EXPECT_EQ(LogSection("CopyFiles"), StringList{"N0=v"});
}

TEST_F(InstallLogTest, ForcedFoldersLoggedParentsFirstExistingOnesNot) {
    const std::string base = install_ + "a";
    CreateDirectoryA(base.c_str(), nullptr);
    ForceDirectoriesLogged(base + "\\b\\c\\");
    EXPECT_TRUE(Exists(base + "\\b\\c"));
    ForceDirectoriesLogged(base + "\\b\\d");
    EXPECT_EQ(LogSection("CreateDirs"), (StringList{base + "\\b=", base + "\\b\\c=", base + "\\b\\d="}));
    InstallState().Logging = false;
    ForceDirectoriesLogged(base + "\\e");
    EXPECT_TRUE(Exists(base + "\\e"));
    InstallState().Logging = true;
    EXPECT_EQ(LogSection("CreateDirs").size(), 3u);
}

TEST_F(InstallLogTest, RegisterUninstallUnderTheProgramName) {
    WriteSettings("[Display]\r\nUninstallTitleFont=Arial,12\r\n");
    WriteBytes(setup_ + "UnInst.exe", "uninstaller");
    WriteBytes(setup_ + "UnBrik.bmp", "bitmap");
    const std::string key = Key(program_);
    ASSERT_TRUE(RegisterUninstall());
    EXPECT_EQ(ReadBytes(install_ + "UnInst.exe"), "uninstaller");
    EXPECT_EQ(ReadBytes(install_ + "UnBrik.bmp"), "bitmap");
    EXPECT_EQ(RegReadString(key, "DisplayName", "?"), program_);
    EXPECT_EQ(RegReadString(key, "UninstallString", "?"),
              "\"" + install_ + "UnInst.exe\" \"" + install_ + "install.log\"");
    EXPECT_EQ(LogSection("CreateKeys"), StringList{key + "="});
    EXPECT_EQ(LogSection("Display"), (StringList{"DialogTitleFont=Arial,12",
                                                 "Charset=" + std::to_string(LanguageCharset("Enu"))}));
    // The language file's own uninstall section, not its language variant.
    std::vector<std::string> sections;
    for (const auto& entry : InstallState().Lists.UninstallSectionList.Entries()) sections.push_back(entry.name);
    EXPECT_EQ(sections, StringList{setup_ + "Enu.lng,Uninstall.Strings"});
    CopyUninstallSections();
    EXPECT_EQ(LogSection("Strings"), StringList{"Title=Remove " + program_});
    // No temporary file stays in the install folder.
    int first = 0;
    EXPECT_TRUE(Found(install_ + "Bri*.tmp", 0, 0, first).empty());
}

TEST_F(InstallLogTest, WithoutUninstallNothingIsRegistered) {
    WriteBytes(setup_ + "UnInst.exe", "uninstaller");
    const std::string key = Key(program_);
    InstallState().UninstallEnabled = false;
    EXPECT_TRUE(RegisterUninstall());
    CloseAllIniFiles();
    EXPECT_FALSE(Exists(install_ + "UnInst.exe"));
    EXPECT_FALSE(Exists(InstallState().LogPath));
    EXPECT_FALSE(RegKeyExists(key));
}

TEST_F(InstallLogTest, RegisterUninstallUnderTheKeyOfTheSettingsKeepingANewerUninstaller) {
    const std::string name = "BrikInstallTestKey" + Pid();
    WriteSettings("UninstallKey=" + name + "\r\n");
    WriteBytes(setup_ + "UnInst.exe", "older");
    SetWriteTime(setup_ + "UnInst.exe", FileTimeOf(2000, 1, 1, 0, 0, 0));
    WriteBytes(install_ + "UnInst.exe", "newer");
    SetWriteTime(install_ + "UnInst.exe", FileTimeOf(2005, 1, 1, 0, 0, 0));
    const std::string key = Key(name);
    Key(program_);
    ASSERT_TRUE(RegisterUninstall());
    EXPECT_EQ(ReadBytes(install_ + "UnInst.exe"), "newer");
    EXPECT_EQ(RegReadString(key, "DisplayName", "?"), program_);
    EXPECT_FALSE(RegKeyExists(kUninstallRoot + "\\" + program_));
    EXPECT_EQ(LogSection("CreateKeys"), StringList{key + "="});
}

TEST_F(InstallLogTest, AnUninstallerInUseIsAnErrorAndStaysWhole) {
    WriteBytes(setup_ + "UnInst.exe", "newer");
    SetWriteTime(setup_ + "UnInst.exe", FileTimeOf(2005, 1, 1, 0, 0, 0));
    WriteBytes(install_ + "UnInst.exe", "older");
    SetWriteTime(install_ + "UnInst.exe", FileTimeOf(2000, 1, 1, 0, 0, 0));
    const std::string key = Key(program_);
    HANDLE held = HoldOpen(install_ + "UnInst.exe");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string text;
    bool result = true;
    {
        uitest::DialogWatcher watcher([&](HWND box) {
            text = uitest::WindowText(GetDlgItem(box, 0xFFFF));
            uitest::PostClick(box, IDOK);
        });
        result = RegisterUninstall();
        EXPECT_TRUE(watcher.Fired());
    }
    CloseHandle(held);
    EXPECT_FALSE(result);
    EXPECT_EQ(text, "Can not copy UnInst.exe!");
    EXPECT_EQ(ReadBytes(install_ + "UnInst.exe"), "older");
    EXPECT_FALSE(RegKeyExists(key));
    int first = 0;
    EXPECT_TRUE(Found(install_ + "Bri*.tmp", 0, 0, first).empty());
}

TEST_F(InstallLogTest, UninstallSectionsLanguageLinesOverridePlainOnes) {
    const std::string script = setup_ + "App.ins";
    WriteBytes(script,
               "[Uninstall.RunApp]\r\nfirst=%ProgramName%\r\nsecond=plain\r\n"
               "[Uninstall.RunApp.Enu]\r\nsecond=language\r\nthird=3\r\n");
    InstallState().Lists.UninstallSectionList.Set(script + ",Uninstall.RunApp", "");
    InstallState().Lists.UninstallSectionList.Set(script + ",,Uninstall.RunApp.Enu", "");
    CopyUninstallSections();
    EXPECT_EQ(LogSection("RunApp"), (StringList{"first=" + program_, "second=language", "third=3"}));
}

TEST_F(InstallLogTest, PreviousReferencesRemovedOnlyAsTheLogNamesThem) {
    const std::string root = dir_.Root() + "\\";
    CreateDirectoryA((root + "links").c_str(), nullptr);
    WriteBytes(root + "links\\old.lnk", "link");
    WriteBytes(root + "keep.txt", "not a shortcut");
    WriteBytes(root + "victim.lnk", "outside");
    for (const char* d : {"d", "d\\e", "d\\e\\f", "g"}) CreateDirectoryA((root + d).c_str(), nullptr);
    WriteBytes(root + "g\\file", "g stays");
    const std::string oldKey = Key("BrikOldInstall" + Pid());
    const std::string neighbour = kUninstallRoot + "BrikNeighbour" + Pid();
    const std::string other = "HKCU\\Software\\BrikInstallTestOther" + Pid();
    keys_.push_back(neighbour);
    keys_.push_back(other);
    ASSERT_TRUE(RegWriteString(oldKey + "\\Sub", "v", "x"));
    ASSERT_TRUE(RegWriteString(neighbour, "v", "x"));
    ASSERT_TRUE(RegWriteString(other, "v", "x"));
    WriteBytes(InstallState().LogPath,
               "[Shortcuts]\r\n" + root + "links\\old.lnk=\r\n" + root + "keep.txt=\r\n" + root +
                   "links\\..\\victim.lnk=\r\nlinks\\old.lnk=\r\n\r\n"
                   "[CreateDirs]\r\n" + root + "d=\r\n" + root + "d\\e\\f=\r\n" + root + "d\\e=\r\n" + root +
                   "g=\r\n\r\n"
                   "[CreateKeys]\r\n" + oldKey + "=\r\n" + neighbour + "=\r\n" + other + "=\r\n\r\n");

    // Only when the settings ask for it.
    RemovePreviousReferences();
    EXPECT_TRUE(Exists(root + "links\\old.lnk"));
    EXPECT_TRUE(RegKeyExists(oldKey));

    WriteSettings("RemoveOldReferences=1\r\n");
    // Only on a log that a registration naming it vouches for: one planted
    // in the folder changes nothing.
    RemovePreviousReferences();
    EXPECT_TRUE(Exists(root + "links\\old.lnk"));
    EXPECT_TRUE(RegKeyExists(oldKey));
    ASSERT_TRUE(RegWriteString(oldKey, "UninstallString",
                               UninstallCommandLine(root + "UnInst.exe", InstallState().LogPath)));
    ASSERT_TRUE(StoreLogDigest(InstallState().LogPath, oldKey));
    RemovePreviousReferences();
    EXPECT_FALSE(Exists(root + "links\\old.lnk"));
    EXPECT_TRUE(Exists(root + "keep.txt"));
    EXPECT_TRUE(Exists(root + "victim.lnk"));
    EXPECT_FALSE(Exists(root + "d"));
    EXPECT_EQ(ReadBytes(root + "g\\file"), "g stays");
    EXPECT_FALSE(RegKeyExists(oldKey));
    EXPECT_TRUE(RegKeyExists(neighbour));
    EXPECT_TRUE(RegKeyExists(other));
    EXPECT_TRUE(RegKeyExists(kUninstallRoot));
    // The log itself stays for the new records.
    EXPECT_TRUE(Exists(InstallState().LogPath));
}

// A run that fails after changing a bit of everything: the rollback leaves
// every file, folder, key, value and the earlier log as they were, on both
// ways of replacing a file.
TEST_F(InstallLogTest, RollbackLeavesEverythingAsItWas) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        InstallState().System.PlatformNT = nt;
        const std::string old = install_ + "old.txt";
        const std::string ini = install_ + "user.ini";
        const std::string gone = install_ + "gone.txt";
        const std::string log = InstallState().LogPath;
        const std::string iniBytes = "; mine\r\n[Main]\r\nA = 1\r\n";
        const std::string logBytes = "[CopyFiles]\r\nC:\\earlier.txt=\r\n\r\n";
        WriteBytes(old, "old");
        SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY);
        WriteBytes(ini, iniBytes);
        WriteBytes(gone, "deleted first");
        WriteBytes(log, logBytes);
        const std::string key = "HKCU\\Software\\BrikRollbackTest" + Pid();
        keys_.push_back(key);
        ASSERT_TRUE(RegWriteString(key, "V", "before"));

        BeginRollbackJournal(true, log);
        EXPECT_TRUE(RemoveFileKept(gone));
        EXPECT_FALSE(Exists(gone));
        ForceDirectoriesLogged(install_ + "sub\\deep");
        WriteBytes(install_ + "sub\\deep\\new.txt", "new");
        JournalCreatedFile(install_ + "sub\\deep\\new.txt");
        const std::string written = NewTempFileIn(install_);
        WriteBytes(written, "replaced");
        ASSERT_TRUE(PlaceFile(written, old));
        EXPECT_EQ(ReadBytes(old), "replaced");
        JournalRegWrite(key, "V");
        RegWriteString(key, "V", "after");
        JournalRegWrite(key + "\\New\\Deeper", "X");
        RegWriteString(key + "\\New\\Deeper", "X", "x");
        ASSERT_TRUE(JournalFileChange(ini));
        WriteBytes(ini, "[Main]\r\nA=2\r\n");
        WriteLogEntry(kLogCopyFiles, install_ + "sub\\deep\\new.txt");

        RollBackInstall();
        EXPECT_EQ(ReadBytes(old), "old");
        EXPECT_EQ(GetFileAttributesA(old.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
        EXPECT_EQ(ReadBytes(ini), iniBytes);
        EXPECT_EQ(ReadBytes(gone), "deleted first");
        EXPECT_EQ(ReadBytes(log), logBytes);
        EXPECT_FALSE(Exists(install_ + "sub"));
        EXPECT_EQ(RegReadString(key, "V", ""), "before");
        EXPECT_FALSE(RegKeyExists(key + "\\New"));
        int first = 0;
        EXPECT_EQ(Found(install_ + "Bri*.tmp", 0, 0, first).size(), 0u);
        // Nothing is recorded after the rollback.
        EXPECT_FALSE(LogEnabled());
        InstallState().Logging = true;
        SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    InstallState().System.PlatformNT = true;
}

// On success the old files kept aside go and the new ones stay; a log this
// run made goes on a rollback; with the journal off, nothing is kept aside.
TEST_F(InstallLogTest, SuccessDropsTheKeptFilesAndOffKeepsNone) {
    const std::string target = install_ + "app.dll";
    const std::string log = InstallState().LogPath;
    int first = 0;
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "on" : "off");
        WriteBytes(target, "old");
        BeginRollbackJournal(enabled, log);
        const std::string written = NewTempFileIn(install_);
        WriteBytes(written, "new");
        ASSERT_TRUE(PlaceFile(written, target));
        EXPECT_EQ(Found(install_ + "Bri*.tmp", 0, 0, first).size(), enabled ? 1u : 0u);
        CommitInstall();
        EXPECT_EQ(ReadBytes(target), "new");
        EXPECT_EQ(Found(install_ + "Bri*.tmp", 0, 0, first).size(), 0u);
    }
    BeginRollbackJournal(true, log);
    WriteLogEntry(kLogCopyFiles, target);
    RollBackInstall();
    EXPECT_FALSE(Exists(log));
    InstallState().Logging = true;
}

// A target in use waits for the restart; the rollback takes both delayed
// moves back out of the restart's list, and the waiting file goes.
TEST_F(InstallLogTest, RollbackTakesTheRestartMovesBackOut) {
    const std::string target = install_ + "held.dll";
    WriteBytes(target, "old");
    BeginRollbackJournal(true, std::string());
    const std::string written = NewTempFileIn(install_);
    WriteBytes(written, "new");
    HANDLE held = HoldOpen(target);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PlaceFile(written, target));
    ASSERT_TRUE(ScheduleReplaceOnReboot(written, target));
    JournalScheduledReplace(target, written);
    // The list as upper-case text, the names' zero bytes and all.
    const auto pending = [] {
        std::vector<uint8_t> data;
        RegReadBinary("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                      data);
        return AnsiUpperCase(std::string(data.begin(), data.end()));
    };
    const auto upper = [](const std::string& text) { return AnsiUpperCase(text); };
    EXPECT_NE(pending().find(upper(written)), std::string::npos);
    RollBackInstall();
    CloseHandle(held);
    EXPECT_EQ(pending().find(upper(written)), std::string::npos);
    EXPECT_EQ(pending().find(upper(target)), std::string::npos);
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_FALSE(Exists(written));
    InstallState().Logging = true;
}

}  // namespace
}  // namespace brik
