#include <gtest/gtest.h>

#include <string>

#include "CodePageTest.h"
#include "ui/ShellRules.h"

namespace brik {
namespace {

TEST(ShellRules, LinkTextSplitsAtRunsOfBars) {
    struct Case {
        const char* text;
        const char* caption;
        const char* address;
    } const cases[] = {
        {"Brisk Installer", "Brisk Installer", ""},
        {"Home|http://example.com/", "Home", "http://example.com/"},
        {"||Home|||http://a/|extra", "Home", "http://a/"},
        {"Home|", "Home", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const LinkText link = SplitLinkText(c.text);
        EXPECT_EQ(link.caption, c.caption) << c.text;
        EXPECT_EQ(link.address, c.address) << c.text;
    }
}

TEST(ShellRules, OnlyWebAndMailAddressesOpen) {
    struct Case {
        const char* address;
        bool opens;
    } const cases[] = {
        {"http://example.com/", true},
        {"HTTPS://example.com/a?b=c&d", true},
        {"mailto:someone@example.com", true},
        {"http://", false},
        {"mailto:", false},
        {"", false},
        {"file:///C:/Windows/system.ini", false},
        {"C:\\Windows\\notepad.exe", false},
        {"cmd.exe /c del *", false},
        {"\\\\server\\share\\tool.exe", false},
        {"javascript:alert(1)", false},
        {"ftp://example.com/", false},
        {" http://example.com/", false},
        {"http://example.com/ -switch", false},
        {"http://example.com/\" --other", false},
        {"http://example.com/\tx", false},
        {"http://example.com/\x7f", false},
        {"httpx://example.com/", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsOpenableAddress(c.address), c.opens) << c.address;
}

TEST(ShellRules, ChosenFolderLosesOneBackslashButADriveRootKeepsIt) {
    struct Case {
        const char* path;
        const char* expected;
    } const cases[] = {
        {"C:\\", "C:\\"},          {"D:\\Apps\\", "D:\\Apps"}, {"D:\\Apps", "D:\\Apps"},
        {"D:\\Apps\\\\", "D:\\Apps\\"}, {"\\", "\\"},       {"\\\\srv\\share\\", "\\\\srv\\share"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(WithoutTrailingBackslash(c.path), c.expected) << c.path;
}

TEST(ShellRules, ProgramsByExtensionQuotedOnTheCommandLine) {
    struct Case {
        const char* file;
        bool program;
    } const cases[] = {
        {"C:\\a\\setup.exe", true}, {"x.COM", true},          {"run.Bat", true}, {"old.pif", true},
        {"link.lnk", true},         {"readme.txt", false},    {"C:\\a.exe\\file", false},
        {"noextension", false},     {"C:\\tool.exe2", false}, {"C:\\tool.ex", false},
    };
    for (const Case& c : cases) EXPECT_EQ(StartsAsProgram(c.file), c.program) << c.file;

    EXPECT_EQ(ProgramCommandLine("C:\\Program Files\\A\\a.exe", "/s x"), "\"C:\\Program Files\\A\\a.exe\" /s x");
    EXPECT_EQ(ProgramCommandLine("\"C:\\Program Files\\A\\a.exe\"", ""), "\"C:\\Program Files\\A\\a.exe\"");
    EXPECT_EQ(WithoutSurroundingQuotes("\"C:\\a b\""), "C:\\a b");
    EXPECT_EQ(WithoutSurroundingQuotes("\"C:\\a b"), "\"C:\\a b");
    EXPECT_EQ(WithoutSurroundingQuotes("\""), "\"");
}

TEST(ShellRules, NewFolderIsOnePlainNameUnderTheParent) {
    struct Case {
        const char* parent;
        const char* name;
        const char* expected;
    } const cases[] = {
        {"C:\\Apps", "New", "C:\\Apps\\New"},
        {"C:\\Apps\\", "  My Tools ", "C:\\Apps\\My Tools"},
        {"C:\\", "New", "C:\\New"},
        {"C:\\Apps", "", ""},
        {"C:\\Apps", "   ", ""},
        {"C:\\Apps", "..", ""},
        {"C:\\Apps", ".", ""},
        {"C:\\Apps", "..\\..\\Windows", ""},
        {"C:\\Apps", "a/b", ""},
        {"C:\\Apps", "D:x", ""},
        {"C:\\Apps", "a*", ""},
        {"C:\\Apps", "a\"b", ""},
        {"C:\\Apps", "a|b", ""},
        {"", "New", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(NewFolderPath(c.parent, c.name), c.expected) << c.parent << " + " << c.name;
}

// "表" is 0x95 0x5C in Shift-JIS: its second byte has a backslash's value.
using ShellRules932 = test::CodePage932Test;

TEST_F(ShellRules932, TrailBytesAreNoBackslashes) {
    EXPECT_EQ(WithoutTrailingBackslash("C:\\\x95\x5C"), "C:\\\x95\x5C");
    EXPECT_EQ(WithoutTrailingBackslash("C:\\\x95\x5C\\"), "C:\\\x95\x5C");
    EXPECT_EQ(NewFolderPath("C:\\\x95\x5C", "x"), "C:\\\x95\x5C\\x");
    EXPECT_EQ(NewFolderPath("C:\\", "\x95\x5C"), "C:\\\x95\x5C");
}

}  // namespace
}  // namespace brik
