#include "config/RegPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brik {
namespace {

TEST(RegPath, RootNamesInEverySpelling) {
    struct Case {
        const char* path;
        RegRoot root;
        const char* subKey;
    };
    const Case cases[] = {
        {"HKLM\\SOFTWARE\\Microsoft", RegRoot::LocalMachine, "SOFTWARE\\Microsoft"},
        {"hklm\\SOFTWARE\\Microsoft\\", RegRoot::LocalMachine, "SOFTWARE\\Microsoft"},
        {"HkCr\\.txt", RegRoot::ClassesRoot, ".txt"},
        {"HKCU\\Software", RegRoot::CurrentUser, "Software"},
        {"hku\\.DEFAULT\\", RegRoot::Users, ".DEFAULT"},
        {"HKLM", RegRoot::LocalMachine, ""},
        {"HKLM\\", RegRoot::LocalMachine, ""},
        {"hku", RegRoot::Users, ""},
        // Only one trailing backslash goes.
        {"HKLM\\A\\\\", RegRoot::LocalMachine, "A\\"},
        // The system's own spelled-out names are roots too: a key under
        // HKCU\HKEY_LOCAL_MACHINE is never what an author means.
        {"HKEY_LOCAL_MACHINE\\SOFTWARE", RegRoot::LocalMachine, "SOFTWARE"},
        {"hkey_classes_root\\.txt\\", RegRoot::ClassesRoot, ".txt"},
        {"HKEY_CURRENT_USER\\Software", RegRoot::CurrentUser, "Software"},
        {"HKEY_USERS", RegRoot::Users, ""},
        // Without a known root name the whole path lies under HKCU.
        {"Software\\Vendor\\", RegRoot::CurrentUser, "Software\\Vendor"},
        {"HKEY_CURRENT_CONFIG\\System", RegRoot::CurrentUser, "HKEY_CURRENT_CONFIG\\System"},
        {"HKEY_LOCAL_MACHINEX\\A", RegRoot::CurrentUser, "HKEY_LOCAL_MACHINEX\\A"},
        {"HKLMX\\A", RegRoot::CurrentUser, "HKLMX\\A"},
        {"\\HKLM\\A", RegRoot::CurrentUser, "\\HKLM\\A"},
        {"", RegRoot::CurrentUser, ""},
        {"\\", RegRoot::CurrentUser, "\\"},
        {"C:\\", RegRoot::CurrentUser, "C:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const RegPath p = ParseRegPath(c.path);
        EXPECT_EQ(p.root, c.root);
        EXPECT_EQ(p.subKey, c.subKey);
    }
}

// What the install logs: the key written out whole, its root by the short
// name, whatever the script's spelling.
TEST(RegPath, ResolvedPathsNameTheirRoot) {
    struct Case {
        const char* path;
        const char* resolved;
    };
    const Case cases[] = {
        {"Software\\X", "HKCU\\Software\\X"},
        {"HKEY_LOCAL_MACHINE\\Software\\X\\", "HKLM\\Software\\X"},
        {"hklm\\Software", "HKLM\\Software"},
        {"Hkey_Users\\.DEFAULT", "HKU\\.DEFAULT"},
        {"HKEY_CLASSES_ROOT\\.txt", "HKCR\\.txt"},
        {"HKEY_CURRENT_CONFIG\\A", "HKCU\\HKEY_CURRENT_CONFIG\\A"},
        {"HKLM", "HKLM"},
        {"", "HKCU"},
    };
    for (const Case& c : cases) EXPECT_EQ(ResolvedRegPath(c.path), c.resolved) << c.path;
}

TEST(RegPath, ValuePathDividedAtLastUnquotedBackslash) {
    struct Case {
        const char* full;
        const char* keyPath;
        const char* valueName;
    };
    const Case cases[] = {
        {"HKLM\\Software\\Vendor\\Dir", "HKLM\\Software\\Vendor", "Dir"},
        {"HKLM\\Software\\Vendor\\'a\\b'", "HKLM\\Software\\Vendor", "a\\b"},
        {"HKLM\\Software\\Vendor\\'it''s'", "HKLM\\Software\\Vendor", "it's"},
        {"HKLM\\Software\\Vendor\\\"a\\b\"", "HKLM\\Software\\Vendor", "\"a\\b\""},
        {"HKLM\\Soft\"x\\y\"\\Name", "HKLM\\Soft\"x\\y\"", "Name"},
        {"HKLM\\Key\\", "HKLM\\Key", ""},
        {"Name", "", "Name"},
        {"'a\\b'", "", "a\\b"},
        {"", "", ""},
        // An unclosed quote hides every backslash before it.
        {"HKLM\\Key\\a'b", "", "HKLM\\Key\\a'b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        std::string keyPath = "stale";
        std::string valueName = "stale";
        SplitRegValuePath(c.full, keyPath, valueName);
        EXPECT_EQ(keyPath, c.keyPath);
        EXPECT_EQ(valueName, c.valueName);
    }
}

TEST(RegPath, KeyParentAndName) {
    struct Case {
        const char* keyPath;
        const char* parent;
        const char* name;
    };
    const Case cases[] = {
        {"HKLM\\Software\\Vendor", "HKLM\\Software", "Vendor"},
        {"HKLM\\Software\\Vendor\\", "HKLM\\Software", "Vendor"},
        {"HKLM\\X", "HKLM", "X"},
        {"X", "", "X"},
        {"C:X", "C:", "X"},
        {"A\\\\B", "A\\", "B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyPath);
        std::string parent;
        std::string name;
        SplitRegKeyParent(c.keyPath, parent, name);
        EXPECT_EQ(parent, c.parent);
        EXPECT_EQ(name, c.name);
    }
}

TEST(RegPath, HexTextAndBytes) {
    struct Case {
        const char* text;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"01 AB FF", {0x01, 0xAB, 0xFF}},
        {"ABC", {0xAB}},
        {"abcd", {0xAB, 0xCD}},
        {"  0 1  ", {0x01}},
        {"zz10", {0x00, 0x10}},
        {"$1-1+1", {0x00, 0x00, 0x00}},
        {"1\t2", {0x00}},
        {"", {}},
        {"7", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(HexTextToBytes(c.text), c.bytes) << c.text;

    const uint8_t data[] = {0x01, 0xAB, 0x00, 0xFF};
    EXPECT_EQ(BytesToHexText(data, sizeof data), "01AB00FF");
    EXPECT_EQ(BytesToHexText(data, 0), "");
}

}  // namespace
}  // namespace brik
