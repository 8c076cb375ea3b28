// Replacement at restart against the real (Wine) system: the delayed moves
// of NT read back from the registry, and on the 9x path the wininit.ini in
// the Windows folder and the RunOnce rename. The prefix is shared with the
// other tests and a restart of it would act on what is registered here, so
// every test puts the pending renames, wininit.ini and RunOnce back as they
// were. Nothing here restarts anything.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "config/kpRegIni.h"
#include "install/InstallContext.h"
#include "install/Reboot.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

constexpr const char* kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingValue = "PendingFileRenameOperations";
constexpr const char* kRunOnceKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The raw value, to be put back byte for byte; false when there is none.
bool ReadRaw(std::vector<BYTE>& data, DWORD& type) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data.resize(size);
        rc = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// The pending operations as strings: pairs of source and target ("" deletes).
std::vector<std::string> PendingRenames() {
    std::vector<std::string> list;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return list;
    DWORD size = 0;
    DWORD type = 0;
    std::string data;
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        if (RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            size = 0;
        data.resize(size);
    }
    RegCloseKey(key);
    // Each string ends in a zero, and the list in one more.
    if (!data.empty() && data.back() == '\0') data.pop_back();
    for (size_t at = 0; at < data.size();) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos) end = data.size();
        list.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    return list;
}

std::string WindowsFolderFile(const std::string& name) {
    std::string folder = platform::WindowsDirectory();
    if (folder.back() != '\\') folder += '\\';
    return folder + name;
}

// The Brk*.tmp files of the Windows folder: a failed rewrite leaves none.
std::vector<std::string> TempFilesOfWindowsFolder() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(WindowsFolderFile("Brk*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

std::string NamePartOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }
std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\') + 1); }

class RebootTest : public ::testing::Test {
protected:
    void SetUp() override {
        hadPending_ = ReadRaw(pending_, pendingType_);
        wininit_ = WindowsFolderFile("wininit.ini");
        hadWininit_ = platform::FileExists(wininit_);
        if (hadWininit_) {
            savedWininit_ = ReadBytes(wininit_);
            ASSERT_TRUE(DeleteFileA(wininit_.c_str()));
        }
        tempFiles_ = TempFilesOfWindowsFolder();
        // Scratch paths with a long folder name, so that short names differ.
        source_ = dir_.Path("Brik1.tmp");
        target_ = dir_.Path("x.dll");
        WriteBytes(source_, "new");
        WriteBytes(target_, "old");
    }
    void TearDown() override {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                                KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        if (hadPending_)
            RegSetValueExW(key, L"PendingFileRenameOperations", 0, pendingType_, pending_.data(),
                           static_cast<DWORD>(pending_.size()));
        else
            RegDeleteValueW(key, L"PendingFileRenameOperations");
        RegCloseKey(key);
        for (const std::string& name : runOnceNames_) RegRemoveValue(kRunOnceKey, name);
        DeleteFileA(wininit_.c_str());
        if (hadWininit_) WriteBytes(wininit_, savedWininit_);
        EXPECT_EQ(TempFilesOfWindowsFolder(), tempFiles_);
        InstallState().System.PlatformNT = true;
    }
    // A RunOnce value the test expects; removed afterwards whatever happens.
    std::string RunOnce(const std::string& name) {
        runOnceNames_.push_back(name);
        return RegReadString(kRunOnceKey, name, "<none>");
    }

    ScratchDir dir_;
    std::string source_, target_, wininit_, savedWininit_;
    bool hadPending_ = false, hadWininit_ = false;
    std::vector<BYTE> pending_;
    DWORD pendingType_ = REG_MULTI_SZ;
    std::vector<std::string> tempFiles_, runOnceNames_;
};

TEST_F(RebootTest, ShortPaths) {
    const std::string longName = dir_.Path("A long file name.dll");
    WriteBytes(longName, "x");
    const std::string shortName = GetShortPath(longName);
    EXPECT_NE(shortName, longName);
    EXPECT_EQ(shortName.find(' '), std::string::npos) << shortName;
    EXPECT_EQ(GetShortPath(shortName), shortName);
    EXPECT_EQ(FolderOf(GetShortPath(target_)), GetShortPath(dir_.Root()) + "\\");
    // Without a file there is no short name: the path comes back as it is.
    const std::string missing = dir_.Path("Not there at all.dll");
    EXPECT_EQ(GetShortPath(missing), missing);
}

TEST_F(RebootTest, NtRegistersTheDelayedMoves) {
    InstallState().System.PlatformNT = true;
    const std::vector<std::string> before = PendingRenames();

    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, target_));
    std::vector<std::string> after = PendingRenames();
    ASSERT_EQ(after.size(), before.size() + 4);
    // The target goes first, then the new file takes its name.
    EXPECT_TRUE(SameText(after[before.size()], "\\??\\" + target_)) << after[before.size()];
    EXPECT_EQ(after[before.size() + 1], "");
    EXPECT_TRUE(SameText(after[before.size() + 2], "\\??\\" + source_)) << after[before.size() + 2];
    EXPECT_TRUE(SameText(after[before.size() + 3], "\\??\\" + target_)) << after[before.size() + 3];
    // Nothing happens before the restart.
    EXPECT_EQ(ReadBytes(target_), "old");
    EXPECT_EQ(ReadBytes(source_), "new");

    // Without a target the file is only deleted.
    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, ""));
    after = PendingRenames();
    ASSERT_EQ(after.size(), before.size() + 6);
    EXPECT_TRUE(SameText(after[before.size() + 4], "\\??\\" + source_)) << after[before.size() + 4];
    EXPECT_EQ(after[before.size() + 5], "");

    // A source that is not there registers nothing.
    EXPECT_FALSE(ScheduleReplaceOnReboot(dir_.Path("gone.tmp"), target_));
    EXPECT_EQ(PendingRenames().size(), before.size() + 6);
    EXPECT_FALSE(platform::FileExists(wininit_));
}

TEST_F(RebootTest, NinetyFiveWritesWininitInShortNames) {
    InstallState().System.PlatformNT = false;
    const std::vector<std::string> pendingBefore = PendingRenames();
    const std::string shortTarget = GetShortPath(target_);
    const std::string shortSource = GetShortPath(source_);
    ASSERT_NE(shortTarget, target_);

    // No wininit.ini yet: a new one with the section.
    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, target_));
    const std::string first = "NUL=" + shortTarget + "\r\n" + shortTarget + "=" + shortSource + "\r\n";
    EXPECT_EQ(ReadBytes(wininit_), "[Rename]\r\n" + first);
    // The file name is short already: nothing to rename back.
    EXPECT_EQ(RunOnce("Rename " + shortTarget), "<none>");
    EXPECT_EQ(PendingRenames(), pendingBefore);

    // A source to be deleted joins the same section.
    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, ""));
    EXPECT_EQ(ReadBytes(wininit_), "[Rename]\r\n" + first + "NUL=" + shortSource + "\r\n");

    // A source that is not there changes nothing.
    EXPECT_FALSE(ScheduleReplaceOnReboot(dir_.Path("gone.tmp"), target_));
    EXPECT_EQ(ReadBytes(wininit_), "[Rename]\r\n" + first + "NUL=" + shortSource + "\r\n");
}

TEST_F(RebootTest, NinetyFiveAddsToTheRenameSectionOnly) {
    InstallState().System.PlatformNT = false;
    WriteBytes(wininit_, "[Rename]\r\nNUL=C:\\OLD.TMP\r\n\r\n[Other]\r\nA=1\r\n");
    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, target_));
    const std::string shortTarget = GetShortPath(target_);
    EXPECT_EQ(ReadBytes(wininit_), "[Rename]\r\nNUL=C:\\OLD.TMP\r\nNUL=" + shortTarget + "\r\n" + shortTarget + "=" +
                                       GetShortPath(source_) + "\r\n\r\n[Other]\r\nA=1\r\n");
}

TEST_F(RebootTest, NinetyFiveGivesALongNameBackAfterTheRestart) {
    InstallState().System.PlatformNT = false;
    // A target that does not exist yet still gets its short name.
    const std::string target = dir_.Path("Long Name Library.dll");
    ASSERT_TRUE(ScheduleReplaceOnReboot(source_, target));
    EXPECT_FALSE(platform::FileExists(target));

    const std::string text = ReadBytes(wininit_);
    ASSERT_EQ(text.rfind("[Rename]\r\nNUL=", 0), 0u) << text;
    const std::string shortTarget = text.substr(14, text.find("\r\n", 14) - 14);
    EXPECT_EQ(FolderOf(shortTarget), GetShortPath(dir_.Root()) + "\\");
    const std::string shortName = NamePartOf(shortTarget);
    EXPECT_LE(shortName.size(), 12u) << shortName;
    EXPECT_EQ(shortName.find(' '), std::string::npos) << shortName;
    EXPECT_EQ(text, "[Rename]\r\nNUL=" + shortTarget + "\r\n" + shortTarget + "=" + GetShortPath(source_) + "\r\n");
    // Both names quoted: the long one holds blanks.
    EXPECT_EQ(RunOnce("Rename " + shortTarget),
              "command.com /c ren \"" + shortTarget + "\" \"Long Name Library.dll\"");
}

TEST_F(RebootTest, NinetyFiveLeavesAWininitItCannotReplaceAsItWas) {
    InstallState().System.PlatformNT = false;
    const std::string original = "[Rename]\r\nNUL=C:\\OLD.TMP\r\n";
    WriteBytes(wininit_, original);
    const std::string target = dir_.Path("Long Name Library.dll");
    {
        // Another program holds the file: it may be read, not renamed.
        HANDLE held = CreateFileA(wininit_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(ScheduleReplaceOnReboot(source_, target));
        CloseHandle(held);
    }
    {
        // One that may not even be read is not written over either.
        HANDLE held = CreateFileA(wininit_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(ScheduleReplaceOnReboot(source_, target));
        CloseHandle(held);
    }
    EXPECT_EQ(ReadBytes(wininit_), original);
    EXPECT_FALSE(platform::FileExists(target));
    // No rename back either, for a replacement that was not registered.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (std::string(name).find(GetShortPath(dir_.Root())) == std::string::npos) continue;
        ADD_FAILURE() << name;
        runOnceNames_.push_back(name);
    }
    RegCloseKey(key);
}

}  // namespace
}  // namespace brik
