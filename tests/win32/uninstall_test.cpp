// The uninstaller's actions against the real (Wine) file system and
// registry: each takes back what the install made, says when there was
// nothing left, keeps what holds more than the install made, and leaves a
// file in use to the next restart.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/LogFormat.h"
#include "uninstall/Undo.h"

namespace brik {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TUndoResult Undo(TUndoKind kind, const std::string& target, const std::string& name = {},
                 const std::string& section = {}) {
    return CarryOut({kind, target, section, name, {}});
}

class UndoTest : public testing::Test {
protected:
    void SetUp() override {
        InstallState().System.PlatformNT = true;
        base_ = "HKCU\\Software\\BriskUndoTest" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override { RegRemoveKey(base_, true); }
    ScratchDir dir_;
    std::string base_;
};

TEST_F(UndoTest, FilesAndFolders) {
    WriteBytes(dir_.Path("ours.txt"), "ours");
    EXPECT_EQ(Undo(TUndoKind::DeleteInstalledFile, dir_.Path("ours.txt")), TUndoResult::Done);
    EXPECT_FALSE(Exists(dir_.Path("ours.txt")));
    EXPECT_EQ(Undo(TUndoKind::DeleteInstalledFile, dir_.Path("ours.txt")), TUndoResult::Absent);

    // A read-only file of ours goes too.
    WriteBytes(dir_.Path("readonly.txt"), "r");
    SetFileAttributesA(dir_.Path("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Undo(TUndoKind::DeleteShortcut, dir_.Path("readonly.txt")), TUndoResult::Done);

    // What stands under a logged file's name now is a folder: not ours.
    CreateDirectoryA(dir_.Path("was a file").c_str(), nullptr);
    EXPECT_EQ(Undo(TUndoKind::DeleteInstalledFile, dir_.Path("was a file")), TUndoResult::Kept);

    CreateDirectoryA(dir_.Path("empty").c_str(), nullptr);
    CreateDirectoryA(dir_.Path("users").c_str(), nullptr);
    WriteBytes(dir_.Path("users\\letter.txt"), "the user's");
    EXPECT_EQ(Undo(TUndoKind::RemoveFolder, dir_.Path("empty")), TUndoResult::Done);
    EXPECT_EQ(Undo(TUndoKind::RemoveFolder, dir_.Path("empty")), TUndoResult::Absent);
    EXPECT_EQ(Undo(TUndoKind::RemoveFolder, dir_.Path("users")), TUndoResult::Kept);
    EXPECT_EQ(ReadBytes(dir_.Path("users\\letter.txt")), "the user's");
}

TEST_F(UndoTest, FileInUseGoesAtTheRestart) {
    const std::string path = dir_.Path("busy.dll");
    WriteBytes(path, "busy");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Undo(TUndoKind::DeleteInstalledFile, path), TUndoResult::AtRestart);
    CloseHandle(held);
    EXPECT_TRUE(Exists(path));
    // A list of strings, read as ANSI: looked for as bytes.
    std::vector<uint8_t> bytes(65536);
    uint32_t size = static_cast<uint32_t>(bytes.size());
    ASSERT_TRUE(RegReadValue("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                             "PendingFileRenameOperations", bytes.data(), size));
    const std::string raw(reinterpret_cast<const char*>(bytes.data()), size);
    EXPECT_NE(raw.find("busy.dll"), std::string::npos) << "no delayed delete of busy.dll";
    // Not left for the real restart of the prefix.
    MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    DeleteFileA(path.c_str());
}

TEST_F(UndoTest, SharedFilesCountDown) {
    const std::string path = dir_.Path("shared.dll");
    WriteBytes(path, "shared");
    RegWriteInteger(kSharedDllsKey, path, 2);
    EXPECT_EQ(Undo(TUndoKind::ReleaseSharedFile, path), TUndoResult::Kept);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(RegReadInteger(kSharedDllsKey, path, 0), 1);
    EXPECT_EQ(Undo(TUndoKind::ReleaseSharedFile, path), TUndoResult::Done);
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(RegValueExists(kSharedDllsKey, path));
}

TEST_F(UndoTest, RegistryValuesAndKeys) {
    const std::string app = base_ + "\\App";
    ASSERT_TRUE(RegWriteString(app, "ours", "1"));
    ASSERT_TRUE(RegWriteString(app, "", "default"));
    EXPECT_EQ(Undo(TUndoKind::DeleteRegValue, app, "ours"), TUndoResult::Done);
    EXPECT_EQ(Undo(TUndoKind::DeleteRegValue, app, "ours"), TUndoResult::Absent);
    // A key that still holds a value nobody logged stays.
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, app), TUndoResult::Kept);
    EXPECT_EQ(Undo(TUndoKind::DeleteRegValue, app, ""), TUndoResult::Done);
    RegCreateKeyPath(app + "\\Sub");
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, app), TUndoResult::Kept);
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, app + "\\Sub"), TUndoResult::Done);
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, app), TUndoResult::Done);
    EXPECT_FALSE(RegKeyExists(app));
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, app), TUndoResult::Absent);

    // The registration that vouches for the log goes whole; as an ordinary
    // key it would stay while it holds anything.
    const std::string registration =
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BriskUndoTest" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(RegWriteString(registration, "DisplayName", "Brisk"));
    RegCreateKeyPath(registration + "\\More");
    EXPECT_EQ(Undo(TUndoKind::DeleteRegKey, registration), TUndoResult::Kept);
    TUndoAction whole{TUndoKind::DeleteRegKey, registration, "", "", ""};
    whole.wholeKey = true;
    EXPECT_EQ(CarryOut(whole), TUndoResult::Done);
    EXPECT_FALSE(RegKeyExists(registration));
}

TEST_F(UndoTest, IniKeys) {
    const std::string path = dir_.Path("app.ini");
    WriteBytes(path, "[Main]\r\nOurs=1\r\nUsers=2\r\n");
    EXPECT_EQ(Undo(TUndoKind::DeleteIniKey, path, "Ours", "Main"), TUndoResult::Done);
    EXPECT_EQ(Undo(TUndoKind::DeleteIniKey, path, "Ours", "Main"), TUndoResult::Absent);
    CloseAllIniFiles();
    EXPECT_EQ(ReadBytes(path), "[Main]\r\nUsers=2\r\n");

    // A section goes with its last key only when the install made it and
    // nothing but blank lines is left in it; every other byte stays.
    struct Case {
        const char* section;
        bool ownSection;
    };
    WriteBytes(path, "; theirs\r\n[Before]\r\nOurs=1\r\n[Made]\r\nOurs=1\r\n[Noted]\r\n; mine\r\nOurs=1\r\n"
                     "[Before]\r\nk = \"v\"\r\n[Made2]\r\nOurs=1\r\n\r\n[End]\r\nx=1\r\nOurs=1");
    for (const Case& c : {Case{"Before", false}, Case{"Made", true}, Case{"Noted", true}, Case{"Made2", true},
                          Case{"End", false}}) {
        TUndoAction action{TUndoKind::DeleteIniKey, path, c.section, "Ours", ""};
        action.ownSection = c.ownSection;
        EXPECT_EQ(CarryOut(action), TUndoResult::Done) << c.section;
    }
    CloseAllIniFiles();
    EXPECT_EQ(ReadBytes(path), "; theirs\r\n[Before]\r\n[Noted]\r\n; mine\r\n[Before]\r\nk = \"v\"\r\n[End]\r\nx=1");
    EXPECT_EQ(Undo(TUndoKind::DeleteIniKey, dir_.Path("none.ini"), "Ours", "Main"), TUndoResult::Absent);
    EXPECT_FALSE(Exists(dir_.Path("none.ini")));
}

TEST_F(UndoTest, ProgramsRunAndAreWaitedFor) {
    const std::string mark = dir_.Path("ran.txt");
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string line = std::string(system) + "\\cmd.exe,/c echo ran>\"" + mark + "\",,0";
    EXPECT_EQ(Undo(TUndoKind::RunProgram, line), TUndoResult::Done);
    EXPECT_TRUE(Exists(mark)) << "not waited for";
}

// A file's stamp holds while nobody writes it; a missing file has nothing
// left to protect.
TEST_F(UndoTest, FileStamps) {
    const std::string file = dir_.Path("stamped.txt");
    WriteBytes(file, "as installed");
    const std::string stamp = LoggedFileStamp(file);
    ASSERT_FALSE(stamp.empty());
    EXPECT_TRUE(FileKeepsStamp(file, stamp));
    WriteBytes(file, "changed by the user");
    EXPECT_FALSE(FileKeepsStamp(file, stamp));
    EXPECT_FALSE(FileKeepsStamp(file, ""));
    DeleteFileA(file.c_str());
    EXPECT_TRUE(FileKeepsStamp(file, stamp));
    EXPECT_EQ(LoggedFileStamp(file), "");
}

// The digest under a registration that names the log vouches for it until a
// byte of the log changes; a registration that names another log vouches
// for nothing.
TEST_F(UndoTest, LogDigestInTheRegistration) {
    const std::string log = dir_.Path("install.log");
    const std::string registration =
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BriskUndoTest" + std::to_string(GetCurrentProcessId());
    WriteBytes(log, "[CreateKeys]\r\n" + registration + "=\r\n\r\n");
    std::string found;
    EXPECT_EQ(CheckInstallLog(log, &found), TLogTrust::Unverified);

    RegWriteString(registration, "UninstallString", UninstallCommandLine("C:\\x\\UnInst.exe", log));
    EXPECT_EQ(CheckInstallLog(log, &found), TLogTrust::Unverified) << "a registration without a digest";
    ASSERT_TRUE(StoreLogDigest(log, registration));
    EXPECT_EQ(CheckInstallLog(log, &found), TLogTrust::Verified);
    EXPECT_EQ(found, registration);

    WriteBytes(log, "[CreateKeys]\r\n" + registration + "=\r\n\r\n[CopyFiles]\r\nC:\\x.dll=\r\n\r\n");
    CloseAllIniFiles();
    EXPECT_EQ(CheckInstallLog(log, &found), TLogTrust::Changed);

    RegWriteString(registration, "UninstallString", UninstallCommandLine("C:\\x\\UnInst.exe", dir_.Path("other.log")));
    CloseAllIniFiles();
    EXPECT_EQ(CheckInstallLog(log, &found), TLogTrust::Unverified);
    CloseAllIniFiles();
    RegRemoveKey(registration, true);
}

// A folder other users may add files to: Wine keeps the access list a
// program sets, and the check reads it back.
TEST_F(UndoTest, FoldersOtherUsersCanWrite) {
    const std::string folder = dir_.Path("open");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(FolderWritableByUsers(folder));

    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    DWORD aclBytes[64] = {};
    auto* acl = reinterpret_cast<PACL>(aclBytes);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE, everyone));
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    ASSERT_TRUE(SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    FreeSid(everyone);
    EXPECT_TRUE(FolderWritableByUsers(folder));

    // Under Wine the user is an administrator: a log there is refused.
    WriteBytes(folder + "\\install.log", "[CopyFiles]\r\n");
    std::string found;
    EXPECT_EQ(CheckInstallLog(folder + "\\install.log", &found), TLogTrust::OpenFolder);
    CloseAllIniFiles();
}

}  // namespace
}  // namespace brik
