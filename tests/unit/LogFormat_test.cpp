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

// What a registration says of a log: it vouches for it when its
// UninstallString names the log and its digest matches.
TEST(LogFormat, JudgingALog) {
    const std::string digest = LogDigestText("the log");
    const std::string command = UninstallCommandLine(R"(C:\Program Files\App\UnInst.exe)", kLog);
    struct Case {
        const char* what;
        std::string commandLine, stored;
        TLogTrust want;
    };
    std::string lower = digest;
    for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'F' ? ch + ('a' - 'A') : ch);
    const std::vector<Case> cases = {
        {"its own", command, digest, TLogTrust::Verified},
        {"its own, the digest in small letters", command, lower, TLogTrust::Verified},
        {"the log's path in other letters", UninstallCommandLine("u.exe", R"(c:\program files\app\INSTALL.LOG)"), digest,
         TLogTrust::Verified},
        {"changed since", command, LogDigestText("another log"), TLogTrust::Changed},
        {"without a digest (an older engine)", command, "", TLogTrust::Unverified},
        {"another program's registration", UninstallCommandLine("u.exe", R"(C:\Other\install.log)"), digest,
         TLogTrust::Unverified},
        {"no log named", "u.exe", digest, TLogTrust::Unverified},
    };
    for (const Case& c : cases) EXPECT_EQ(JudgeRegistration(kLog, digest, c.commandLine, c.stored), c.want) << c.what;
}

// Whether an entry of a folder's access list lets users who are not
// administrators put a file into it.
TEST(LogFormat, FoldersOpenToUsers) {
    constexpr uint32_t kReadExecute = 0x001200A9;
    constexpr uint32_t kAddFile = 0x0002;
    constexpr uint32_t kModify = 0x001301BF;
    constexpr uint32_t kGenericWrite = 0x40000000;
    constexpr uint32_t kWriteList = 0x00040000;
    struct Case {
        const char* what;
        TAccessEntry entry;
        bool open;
    };
    const std::vector<Case> cases = {
        {"users read", {true, false, true, kReadExecute}, false},
        {"administrators modify", {true, false, false, kModify}, false},
        {"users add files", {true, false, true, kAddFile}, true},
        {"everyone modifies", {true, false, true, kModify}, true},
        {"users may change the list", {true, false, true, kWriteList}, true},
        {"generic write for users, but only for what is made below", {true, true, true, kGenericWrite}, false},
        {"a denial grants nothing", {false, false, true, kModify}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(EntryOpensFolder(c.entry), c.open) << c.what;

    // Security identifiers as the system holds them.
    struct Sid {
        const char* what;
        std::vector<uint8_t> bytes;
        bool anyUser;
    };
    const auto sub = [](uint32_t v) {
        return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    const auto sid = [&sub](uint8_t authority, std::vector<uint32_t> subs) {
        std::vector<uint8_t> b = {1, uint8_t(subs.size()), 0, 0, 0, 0, 0, authority};
        for (uint32_t s : subs)
            for (uint8_t byte : sub(s)) b.push_back(byte);
        return b;
    };
    const std::vector<Sid> sids = {
        {"Everyone", sid(1, {0}), true},
        {"Interactive", sid(5, {4}), true},
        {"Authenticated Users", sid(5, {11}), true},
        {"Users", sid(5, {32, 545}), true},
        {"Guests", sid(5, {32, 546}), true},
        {"Administrators", sid(5, {32, 544}), false},
        {"Local System", sid(5, {18}), false},
        {"Creator Owner", sid(3, {0}), false},
        {"a user", sid(5, {21, 1, 2, 3, 1001}), false},
        {"cut short", std::vector<uint8_t>{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0}, false},
    };
    for (const Sid& s : sids) EXPECT_EQ(IsAnyUserSid(s.bytes.data(), s.bytes.size()), s.anyUser) << s.what;
}

}  // namespace
}  // namespace brik
