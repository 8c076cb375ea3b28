#include "install/LogFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brik {
namespace {

constexpr char kLog[] = R"(C:\Program Files\App\install.log)";
constexpr char kKey[] = R"(HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\App)";

TEST(LogFormat, FileStampsRoundTripAndRefuseWhatIsNotOne) {
    int64_t size = -1;
    uint64_t time = 0;
    ASSERT_TRUE(ParseFileStamp(FileStampText(123456789012, 0x01D9ABCDEF012345ull), size, time));
    EXPECT_EQ(size, 123456789012);
    EXPECT_EQ(time, 0x01D9ABCDEF012345ull);
    ASSERT_TRUE(ParseFileStamp("0,1d9abcdef012345", size, time));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(time, 0x01D9ABCDEF012345ull);
    for (const char* bad : {"", ",", "12", "12,", ",AB", "-1,AB", "1 ,AB", "1,XY", "1,12345678901234567",
                            "99999999999999999999,1"})
        EXPECT_FALSE(ParseFileStamp(bad, size, time)) << bad;
}

TEST(LogFormat, TheLogARegistrationNames) {
    EXPECT_EQ(LogPathOfCommandLine(UninstallCommandLine(R"(C:\A B\UnInst.exe)", kLog)), kLog);
    // An engine that quoted only the log.
    EXPECT_EQ(LogPathOfCommandLine(std::string(R"(C:\A\UnInst.exe ")") + kLog + "\""), kLog);
    EXPECT_EQ(LogPathOfCommandLine(R"(C:\A\UnInst.exe C:\A\install.log)"), "");
    EXPECT_EQ(LogPathOfCommandLine(R"(")"), "");
}

TEST(LogFormat, ShortcutsAndFolders) {
    for (const char* yes : {R"(C:\Menu\App.lnk)", R"(C:\Menu\App.PIF)", R"(C:\Desktop\Site.url)"})
        EXPECT_TRUE(IsShortcutFile(yes)) << yes;
    for (const char* no : {R"(C:\Docs\letter.doc)", R"(C:\lnk)", ".lnk", R"(C:\Menu\App.lnk.exe)", ""})
        EXPECT_FALSE(IsShortcutFile(no)) << no;

    EXPECT_TRUE(IsInFolder(R"(C:\App\a.txt)", R"(C:\App)"));
    EXPECT_TRUE(IsInFolder(R"(c:\app\Sub\a.txt)", R"(C:\App\)"));
    EXPECT_FALSE(IsInFolder(R"(C:\App)", R"(C:\App)"));
    EXPECT_FALSE(IsInFolder(R"(C:\App\)", R"(C:\App)"));
    EXPECT_FALSE(IsInFolder(R"(C:\Application\a.txt)", R"(C:\App)"));
    EXPECT_FALSE(IsInFolder(R"(C:\App\\a.txt)", R"(C:\App)"));
    EXPECT_FALSE(IsInFolder(R"(C:\a.txt)", ""));
}

TEST(LogFormat, DigestFollowsEveryByte) {
    const std::string log = "[CopyFiles]\r\nC:\\App\\a.txt=1,2\r\n\r\n";
    const std::string digest = LogDigestText(log);
    EXPECT_EQ(digest.size(), 64u);
    EXPECT_EQ(digest.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(LogDigestText(log), digest);
    std::string changed = log;
    changed[12] ^= 1;
    EXPECT_NE(LogDigestText(changed), digest);
    EXPECT_NE(LogDigestText(log + "\r\n"), digest);
}

// Which registration vouches for a log: the one whose UninstallString names
// it and whose digest matches.
TEST(LogFormat, JudgingALog) {
    const std::string digest = LogDigestText("the log");
    const std::string command = UninstallCommandLine(R"(C:\Program Files\App\UnInst.exe)", kLog);
    const std::string otherCommand = UninstallCommandLine(R"(C:\Other\UnInst.exe)", R"(C:\Other\install.log)");
    struct Case {
        const char* what;
        std::vector<TLogRegistration> registrations;
        TLogTrust want;
        const char* key;
    };
    const std::vector<Case> cases = {
        {"no registration", {}, TLogTrust::Unverified, ""},
        {"its own", {{kKey, command, digest}}, TLogTrust::Verified, kKey},
        {"its own with another digest, and one without", {{kKey, command, "x"}, {"K2", command, ""}}, TLogTrust::Changed, ""},
        {"changed since", {{kKey, command, LogDigestText("another log")}}, TLogTrust::Changed, ""},
        {"without a digest (an older engine)", {{kKey, command, ""}}, TLogTrust::Unverified, ""},
        {"another program's registration", {{"Other", otherCommand, digest}}, TLogTrust::Unverified, ""},
        {"another's, then its own", {{"Other", otherCommand, digest}, {kKey, command, digest}}, TLogTrust::Verified, kKey},
        {"the log's path in other letters",
         {{kKey, UninstallCommandLine("u.exe", R"(c:\program files\app\INSTALL.LOG)"), digest}},
         TLogTrust::Verified,
         kKey},
    };
    for (const Case& c : cases) {
        std::string key;
        EXPECT_EQ(JudgeInstallLog(kLog, digest, c.registrations, &key), c.want) << c.what;
        EXPECT_EQ(key, c.key) << c.what;
    }
    std::string key;
    std::string lower = digest;
    for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'F' ? ch + ('a' - 'A') : ch);
    EXPECT_EQ(JudgeInstallLog(kLog, digest, {{kKey, command, lower}}, &key), TLogTrust::Verified);
}

// Whether users who are not administrators can put a file into a folder,
// from its access list.
TEST(LogFormat, FoldersOpenToUsers) {
    constexpr uint32_t kReadExecute = 0x001200A9;
    constexpr uint32_t kAddFile = 0x0002;
    constexpr uint32_t kModify = 0x001301BF;
    constexpr uint32_t kGenericWrite = 0x40000000;
    constexpr uint32_t kWriteList = 0x00040000;
    struct Case {
        const char* what;
        bool hasList;
        std::vector<TAccessEntry> entries;
        bool open;
    };
    const std::vector<Case> cases = {
        {"no access list at all", false, {}, true},
        {"an empty list", true, {}, false},
        {"users read", true, {{true, false, true, kReadExecute}}, false},
        {"administrators modify, users read", true, {{true, false, false, kModify}, {true, false, true, kReadExecute}}, false},
        {"users add files", true, {{true, false, true, kAddFile}}, true},
        {"everyone modifies", true, {{true, false, true, kModify}}, true},
        {"users may change the list", true, {{true, false, true, kWriteList}}, true},
        {"generic write for users, but only for what is made below", true, {{true, true, true, kGenericWrite}}, false},
        {"a denial grants nothing", true, {{false, false, true, kModify}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(FolderOpenToUsers(c.hasList, c.entries), c.open) << c.what;
}

}  // namespace
}  // namespace brik
