#include "install/RegIniRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/RegPath.h"
#include "config/kpRegIni.h"

namespace brik {
namespace {

TEST(RegIniRules, RegistryEntries) {
    struct Case {
        const char* name;
        const char* value;
        const char* keyPath;
        const char* valueName;
        const char* data;
        uint32_t type;
        int32_t flags;
    };
    const std::vector<Case> cases = {
        // A "\" item: the key path alone, its default value.
        {"HKLM\\Software\\K\\", "Hello", "HKLM\\Software\\K", "", "Hello", kRegSz, 0},
        {"HKLM\\Software\\K\\x", "01 02 ff,2", "HKLM\\Software\\K", "x", "01 02 ff", kRegBinary, 0},
        {"HKLM\\Software\\K\\x", "4294967295,1,33", "HKLM\\Software\\K", "x", "4294967295", kRegDword, 33},
        // Any other type is a string; the flags are decimal.
        {"HKCU\\K\\x", "text,7,$20", "HKCU\\K", "x", "text", kRegSz, 32},
        {"HKCU\\K\\x", "", "HKCU\\K", "x", "", kRegSz, 0},
        // A value name in single quotes may hold backslashes; a backslash in
        // double quotes does not divide.
        {"HKCU\\K\\'a\\b'", "v", "HKCU\\K", "a\\b", "v", kRegSz, 0},
        {"HKCU\\K\\\"a\\b\"", "v", "HKCU\\K", "\"a\\b\"", "v", kRegSz, 0},
        // Data in single quotes may hold the comma.
        {"HKCU\\K\\x", "'a,b',0,1", "HKCU\\K", "x", "a,b", kRegSz, 1},
        // The key path resolved: a path without a root lies under HKCU, a
        // spelled-out root is the root.
        {"Software\\X\\v", "1", "HKCU\\Software\\X", "v", "1", kRegSz, 0},
        {"hkey_local_machine\\Software\\X\\v", "1", "HKLM\\Software\\X", "v", "1", kRegSz, 0},
        {"v", "1", "HKCU", "v", "1", kRegSz, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        const TRegValueEntry entry = ParseRegValueEntry(c.name, c.value);
        EXPECT_EQ(entry.keyPath, c.keyPath);
        EXPECT_EQ(entry.valueName, c.valueName);
        EXPECT_EQ(entry.data, c.data);
        EXPECT_EQ(entry.type, c.type);
        EXPECT_EQ(entry.flags, c.flags);
    }
}

// The log's record of a value: the resolved key and the value name as the
// script spells it, so that the uninstaller divides it as the install did.
TEST(RegIniRules, LoggedValuePaths) {
    struct Case {
        const char* name;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"Software\\X\\v", "HKCU\\Software\\X\\v"},
        {"HKEY_LOCAL_MACHINE\\Software\\X\\v", "HKLM\\Software\\X\\v"},
        {"HKEY_USERS\\.DEFAULT\\K\\", "HKU\\.DEFAULT\\K\\"},
        {"hklm\\Software\\K\\'a\\b'", "HKLM\\Software\\K\\'a\\b'"},
        {"HKCU\\K\\\"a\\b\"", "HKCU\\K\\\"a\\b\""},
        {"v", "HKCU\\v"},
    };
    for (const Case& c : cases) {
        const TRegValueEntry entry = ParseRegValueEntry(c.name, "");
        EXPECT_EQ(entry.fullPath, c.logged) << c.name;
        std::string key, value;
        SplitRegValuePath(entry.fullPath, key, value);
        EXPECT_EQ(key, entry.keyPath) << c.name;
        EXPECT_EQ(value, entry.valueName) << c.name;
    }
}

// A DelReg never takes a root or a root's direct child, whatever the
// spelling; deeper keys are the system's to refuse (when they have sub-keys).
TEST(RegIniRules, KeysADeleteMayTake) {
    struct Case {
        const char* path;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"HKLM", true},
        {"HKLM\\", true},
        {"HKLM\\Software", true},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", true},
        {"hkcu\\Software", true},
        {"Software", true},
        {"", true},
        {"HKU\\.DEFAULT", true},
        {"HKLM\\Software\\Vendor", false},
        {"Software\\Vendor", false},
        {"HKCR\\.txt\\ShellNew", false},
    };
    for (const Case& c : cases) EXPECT_EQ(!RegKeyDeleteRefusal(c.path).empty(), c.refused) << c.path;
}

TEST(RegIniRules, ValueBytes) {
    struct Case {
        const char* value;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"Hello", {'H', 'e', 'l', 'l', 'o', 0}},
        {"", {0}},
        {"01 02 ff,2", {0x01, 0x02, 0xFF}},
        // An odd last digit goes, a pair that is no number is 0.
        {"0102f,2", {0x01, 0x02}},
        {"1x 7F,2", {0x00, 0x7F}},
        {",2", {}},
        {"4294967295,1", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"$12345678,1", {0x78, 0x56, 0x34, 0x12}},
        {"-2,1", {0xFE, 0xFF, 0xFF, 0xFF}},
        {"abc,1", {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(RegValueBytes(ParseRegValueEntry("HKCU\\K\\x", c.value)), c.bytes);
    }
}

TEST(RegIniRules, ParentKeys) {
    struct Case {
        const char* path;
        const char* parent;
    };
    const std::vector<Case> cases = {
        {"HKLM\\Software\\A\\B", "HKLM\\Software\\A"},
        {"HKLM\\Software\\A\\", "HKLM\\Software"},
        {"HKLM", ""},
        {"", ""},
        {"HKCU\\K\\'a\\b'", "HKCU\\K"},
    };
    for (const Case& c : cases) EXPECT_EQ(RegParentKeyPath(c.path), c.parent) << c.path;
}

TEST(RegIniRules, IniEntries) {
    struct Case {
        const char* name;
        const char* value;
        TIniEntry entry;
    };
    const std::vector<Case> cases = {
        {"C:\\App\\app.ini,Options,Color", "red", {"C:\\App\\app.ini", "Options", "Color", "red", 0}},
        {"win.ini,Fonts,Name", "a b,33", {"win.ini", "Fonts", "Name", "a b", 33}},
        {"'C:\\a,b.ini',S,K", "'x,y',$20", {"C:\\a,b.ini", "S", "K", "x,y", 32}},
        {"f.ini,S,K", "", {"f.ini", "S", "K", "", 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        const TIniEntry entry = ParseIniEntry(c.name, c.value);
        EXPECT_EQ(entry.file, c.entry.file);
        EXPECT_EQ(entry.section, c.entry.section);
        EXPECT_EQ(entry.key, c.entry.key);
        EXPECT_EQ(entry.data, c.entry.data);
        EXPECT_EQ(entry.flags, c.entry.flags);
    }
}

}  // namespace
}  // namespace brik
