#include "install/CopyRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CodePageTest.h"

namespace brik {
namespace {

constexpr TDosTime Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<TDosTime>(((year - 1980) << 9 | month << 5 | day) << 16 | (hour << 11 | minute << 5 | second / 2));
}

TFileFacts Existing(const char* version, TDosTime time, int64_t size) {
    TFileFacts facts;
    facts.exists = true;
    facts.hasVersion = *version != '\0';
    facts.version = ParseVersionText(version);
    facts.time = time;
    facts.size = size;
    return facts;
}

TEST(CopyRules, VersionText) {
    struct Case {
        const char* text;
        TFileVersion version;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"1.2.3.4", {0x00010002, 0x00030004}, "1.2.3.4"},
        {"1.2", {0x00010002, 0}, "1.2.0.0"},
        {"", {0, 0}, "0.0.0.0"},
        {" 6 . 1 .7600. 16385", {0x00060001, 0x1DB04001}, "6.1.7600.16385"},
        {"65535.65535.65535.65535", {0xFFFFFFFF, 0xFFFFFFFF}, "65535.65535.65535.65535"},
        // Invalid parts count 0, the others keep their place.
        {"1.x.3.4", {0x00010000, 0x00030004}, "1.0.3.4"},
        {"70000.1.-2.4", {0x00000001, 0x00000004}, "0.1.0.4"},
        {"1.2.3.4.5", {0x00010002, 0x00030004}, "1.2.3.4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseVersionText(c.text), c.version) << c.text;
        EXPECT_EQ(VersionText(ParseVersionText(c.text)), c.shown) << c.text;
    }
}

TEST(CopyRules, OverwriteDecisions) {
    const TDosTime t = Dos(2004, 6, 15, 12, 30, 10);
    const TDosTime earlier = Dos(2004, 6, 15, 12, 30, 8);
    const TDosTime later = Dos(2004, 6, 15, 12, 30, 12);
    struct Case {
        const char* what;
        int flags;
        const char* sourceVersion;
        TDosTime sourceTime;
        int64_t sourceSize;
        TFileFacts dest;
        TCopyVerdict verdict;
    };
    const TFileFacts missing;
    const std::vector<Case> cases = {
        {"no destination", 0, "1.0.0.0", t, 10, missing, TCopyVerdict::Write},
        {"no destination, never replace", 32, "", t, 10, missing, TCopyVerdict::Write},
        {"never replace", 32, "2.0.0.0", later, 10, Existing("1.0.0.0", t, 10), TCopyVerdict::Skip},
        {"never replace wins over always", 34, "2.0.0.0", later, 10, Existing("1.0.0.0", t, 10), TCopyVerdict::Skip},
        {"always, over a newer one", 2, "1.0.0.0", t, 10, Existing("2.0.0.0", later, 10), TCopyVerdict::Write},
        {"always, over the same file", 2, "1.0.0.0", t, 10, Existing("1.0.0.0", t, 10), TCopyVerdict::Write},
        {"same version, time and size", 0, "1.0.0.0", t, 10, Existing("1.0.0.0", t, 10), TCopyVerdict::Skip},
        {"same version and time, other size", 0, "1.0.0.0", t, 10, Existing("1.0.0.0", t, 11), TCopyVerdict::Write},
        {"no versions, same time and size", 0, "", t, 10, Existing("", t, 10), TCopyVerdict::Skip},
        {"no version on the destination, older", 0, "1.0.0.0", t, 10, Existing("", earlier, 10), TCopyVerdict::Write},
        {"no version on the destination, newer", 0, "1.0.0.0", t, 10, Existing("", later, 10),
         TCopyVerdict::DestinationNewer},
        {"no source version, destination newer", 0, "", t, 10, Existing("1.0.0.0", later, 10),
         TCopyVerdict::DestinationNewer},
        {"destination newer by version", 0, "1.0.0.0", later, 10, Existing("2.0.0.0", earlier, 10),
         TCopyVerdict::DestinationNewer},
        {"destination newer by build only", 0, "1.0.0.1", t, 10, Existing("1.0.0.2", t, 10),
         TCopyVerdict::DestinationNewer},
        {"destination newer, keep it quietly", 16, "1.0.0.0", t, 10, Existing("2.0.0.0", t, 10), TCopyVerdict::Skip},
        {"same version, destination written later", 0, "1.0.0.0", t, 10, Existing("1.0.0.0", later, 10),
         TCopyVerdict::DestinationNewer},
        // Versions that differ decide alone; the times do not count then.
        {"source newer by version, older time", 0, "2.0.0.0", earlier, 10, Existing("1.0.0.0", later, 10),
         TCopyVerdict::Write},
        {"same time but other versions", 0, "2.0.0.0", t, 10, Existing("1.0.0.0", t, 10), TCopyVerdict::Write},
        // A DOS time compares by date first.
        {"over the turn of the year", 0, "", Dos(2000, 1, 1, 0, 0, 0), 10, Existing("", Dos(1999, 12, 31, 23, 59, 58), 10),
         TCopyVerdict::Write},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideCopy(c.flags, c.sourceVersion, c.sourceTime, c.sourceSize, c.dest), c.verdict) << c.what;
}

TEST(CopyRules, UninstallerReplacedOnlyByNewer) {
    const TDosTime t = Dos(2004, 6, 15, 12, 30, 10);
    const TDosTime later = Dos(2004, 6, 15, 12, 30, 12);
    struct Case {
        const char* what;
        TFileFacts source, dest;
        bool newer;
    };
    const std::vector<Case> cases = {
        {"nothing installed", Existing("1.0.0.0", t, 1), TFileFacts{}, true},
        {"higher version", Existing("1.1.0.0", t, 1), Existing("1.0.0.0", later, 1), true},
        {"same version, later time", Existing("1.0.0.0", later, 1), Existing("1.0.0.0", t, 1), false},
        {"lower version", Existing("1.0.0.0", later, 1), Existing("1.1.0.0", t, 1), false},
        {"no version, later", Existing("", later, 1), Existing("1.1.0.0", t, 1), true},
        {"no version, same time", Existing("", t, 1), Existing("", t, 1), false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsSourceNewer(c.source, c.dest), c.newer) << c.what;
}

TWorkList PackageList() {
    TWorkList list;
    list.Set("Data\\readme.", "C:\\App\\readme.txt");
    list.Set("Data\\App.exe", "C:\\App\\App.exe,2");
    list.Set("Data\\dll\\*.*", "C:\\App\\*.*,4");
    list.Set("Data\\dll\\special.dll", "C:\\Special\\special.dll");
    list.Set("Data\\fonts\\*.ttf", "C:\\Windows\\Fonts\\*.ttf,8");
    list.Set("Data\\a?.bin", "C:\\Bin\\*.*, 16 ");
    return list;
}

TEST(CopyRules, EntryAndDestinationOfAFile) {
    const TWorkList list = PackageList();
    struct Case {
        const char* file;
        const char* entry;  // null: no entry names the file
        const char* destination;
        int flags;
    };
    const std::vector<Case> cases = {
        {"Data\\App.exe", "Data\\App.exe", "C:\\App\\App.exe", 2},
        {"DATA\\app.EXE", "Data\\App.exe", "C:\\App\\App.exe", 2},
        // A name without extension is looked up with a dot added.
        {"Data\\readme", "Data\\readme.", "C:\\App\\readme.txt", 0},
        {"Data\\README", "Data\\readme.", "C:\\App\\readme.txt", 0},
        {"Data\\dll\\x.dll", "Data\\dll\\*.*", "C:\\App\\x.dll", 4},
        {"Data\\dll\\sub\\x.dll", "Data\\dll\\*.*", "C:\\App\\sub\\x.dll", 4},
        {"Data\\DLL\\Sub\\Deeper\\NoExt", "Data\\dll\\*.*", "C:\\App\\Sub\\Deeper\\NoExt", 4},
        // The first entry that matches wins.
        {"Data\\dll\\special.dll", "Data\\dll\\*.*", "C:\\App\\special.dll", 4},
        {"Data\\fonts\\Arial.TTF", "Data\\fonts\\*.ttf", "C:\\Windows\\Fonts\\Arial.TTF", 8},
        {"Data\\fonts\\sub\\b.ttf", "Data\\fonts\\*.ttf", "C:\\Windows\\Fonts\\sub\\b.ttf", 8},
        {"Data\\ab.bin", "Data\\a?.bin", "C:\\Bin\\ab.bin", 16},
        {"Data\\x\\ac.bin", "Data\\a?.bin", "C:\\Bin\\x\\ac.bin", 16},
        {"Data\\abc.bin", nullptr, nullptr, 0},
        {"Data\\fonts\\Courier.fon", nullptr, nullptr, 0},
        // The entry's folder is a whole folder, not the start of a name.
        {"Data\\dllx\\x.dll", nullptr, nullptr, 0},
        {"Data\\dll", nullptr, nullptr, 0},
        {"Data\\App.exe.bak", nullptr, nullptr, 0},
        {"Presetup\\Brik.ini", nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        const TWorkList::TEntry* entry = FindCopyEntry(list, c.file);
        if (!c.entry) {
            EXPECT_EQ(entry, nullptr) << c.file << " found " << entry->name;
            continue;
        }
        ASSERT_NE(entry, nullptr) << c.file;
        EXPECT_EQ(entry->name, c.entry) << c.file;
        EXPECT_EQ(CopyDestination(*entry, c.file), c.destination) << c.file;
        EXPECT_EQ(CopyFlagsOf(*entry), c.flags) << c.file;
    }
}

TEST(CopyRules, FlagsField) {
    struct Case {
        const char* value;
        int flags;
    };
    const std::vector<Case> cases = {
        {"C:\\a", 0}, {"C:\\a,", 0}, {"C:\\a,34", 34}, {"C:\\a, 128 ", 128}, {"C:\\a,abc", 0}, {"C:\\a,12x", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CopyFlagsOf({"Data\\a", c.value}), c.flags) << c.value;
}

// Names from a package or a disk walk that would leave the destination
// under a wildcard entry: matched, but given no destination.
TEST(CopyRules, HostileNamesUnderAWildcardEntryGetNoDestination) {
    const TWorkList list = PackageList();
    for (const char* file : {
             "Data\\dll\\..\\..\\evil.exe",
             "Data\\dll\\sub\\..\\..\\..\\Windows\\evil.dll",
             "Data\\dll\\.. \\evil.dll",
             "Data\\dll\\...\\evil.dll",
             "Data\\dll\\C:\\evil.dll",
             "Data\\dll\\x.dll:stream",
             "Data\\dll\\\\\\server\\share\\evil.dll",
             "Data\\dll\\\\evil.dll",
             "Data\\dll\\nul.dll",
             "Data\\dll\\com1\\x.dll",
             "Data\\dll\\Aux",
             "Data\\dll\\sub/../../evil.dll",
         }) {
        const TWorkList::TEntry* entry = FindCopyEntry(list, file);
        if (!entry) continue;  // not even matched: fine too
        EXPECT_EQ(CopyDestination(*entry, file), "") << file;
    }
    // A file outside the entry's folder has no place under it.
    EXPECT_EQ(CopyDestination({"Data\\dll\\*.*", "C:\\App\\*.*"}, "Data\\other\\x.dll"), "");
}

TEST(CopyRules, SafeTargetPaths) {
    struct Case {
        const char* path;
        bool safe;
    };
    const std::vector<Case> cases = {
        {"C:\\App\\x.dll", true},
        {"c:\\Program Files\\My App\\sub\\x.dll", true},
        {"\\\\server\\share\\App\\x.dll", true},
        {"C:\\App\\console.txt", true},
        {"C:\\App\\my.con", true},
        {"C:\\App\\COM10", true},
        {"", false},
        {"x.dll", false},
        {"App\\x.dll", false},
        {"\\App\\x.dll", false},
        {"C:x.dll", false},
        {"C:\\", false},
        {"C:/App/x.dll", false},
        {"1:\\App\\x.dll", false},
        {"C:\\App\\..\\Windows\\x.dll", false},
        {"C:\\App/../Windows/x.dll", false},
        {"C:\\App\\.\\x.dll", false},
        {"C:\\App\\...\\x.dll", false},
        {"C:\\App\\.. \\x.dll", false},
        {"C:\\App\\\\x.dll", false},
        {"C:\\App\\", false},
        {"C:\\App\\nul", false},
        {"C:\\App\\CON.txt", false},
        {"C:\\com1\\x.dll", false},
        {"C:\\App\\lpt1. .", false},
        {"C:\\App\\x.dll:stream", false},
        {"C:\\App\\*.dll", false},
        {"C:\\App\\a?.dll", false},
        {"C:\\App\\a<b.dll", false},
        {"C:\\App\\a|b.dll", false},
        {"C:\\App\\a\"b.dll", false},
        {"C:\\App\\a\tb.dll", false},
        {"\\\\?\\C:\\x.dll", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"\\\\.\\C:\\x.dll", false},
        {"\\\\server\\share", false},
        {"\\\\server\\share\\", false},
        {"\\\\server\\\\x.dll", false},
        {"\\\\..\\share\\x.dll", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsSafeTargetPath(c.path), c.safe) << c.path;
}

TEST(CopyRules, RequiredKilobytesRoundHalvesToEvenInSixtyFourBits) {
    constexpr uint64_t kGiB = 1ull << 30;
    struct Case {
        uint64_t bytes;
        int64_t extra;
        int64_t kilobytes;
    };
    const std::vector<Case> cases = {
        {0, 0, 0},
        {511, 0, 0},
        {512, 0, 0},
        {513, 0, 1},
        {1536, 0, 2},
        {2560, 0, 2},
        {1023, 0, 1},
        {0, 1024, 1024},
        {1024, 1024, 1025},
        // Past 2 and 4 GB nothing wraps.
        {2 * kGiB + 512, 0, 2 * 1024 * 1024},
        {3 * kGiB + 1536, 0, 3 * 1024 * 1024 + 2},
        {5 * kGiB, 7, 5 * 1024 * 1024 + 7},
        {1000 * kGiB + 1, 0, 1000ll * 1024 * 1024},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RequiredKilobytes(c.bytes, c.extra), c.kilobytes) << c.bytes << " + " << c.extra << " KB";
}

TEST(CopyRules, ProgressPercent) {
    constexpr int64_t kGiB = 1ll << 30;
    struct Case {
        int64_t done, total;
        int percent;
    };
    const std::vector<Case> cases = {
        {0, 0, 100},       {5, 0, 100},         {0, 100, 0},       {50, 100, 50},  {1, 3, 33},
        {2, 3, 67},        {1, 200, 0},         {3, 200, 2},       {100, 100, 100}, {150, 100, 100},
        {-5, 100, 0},      {3 * kGiB, 6 * kGiB, 50}, {5 * kGiB, 4 * kGiB, 100}, {INT64_MAX / 2, INT64_MAX, 50},
        {INT64_MAX - 1, INT64_MAX, 100},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}

TEST(CopyRules, WininitRewriting) {
    const std::vector<std::string> entries = {"NUL=C:\\WINDOWS\\SYSTEM\\X.DLL",
                                              "C:\\WINDOWS\\SYSTEM\\X.DLL=C:\\WINDOWS\\SYSTEM\\BRI1.TMP"};
    const std::string added = "NUL=C:\\WINDOWS\\SYSTEM\\X.DLL\r\nC:\\WINDOWS\\SYSTEM\\X.DLL=C:\\WINDOWS\\SYSTEM\\BRI1.TMP\r\n";
    struct Case {
        const char* what;
        const char* previous;  // null: no wininit.ini
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no file", nullptr, "[Rename]\r\n" + added},
        {"empty file", "", "[Rename]\r\n" + added},
        {"section, empty line, another section", "[Rename]\r\nNUL=C:\\OLD.TMP\r\n\r\n[Other]\r\nA=1\r\n",
         "[Rename]\r\nNUL=C:\\OLD.TMP\r\n" + added + "\r\n[Other]\r\nA=1\r\n"},
        {"no [Rename] section", "[Other]\r\nA=1\r\n", "[Other]\r\nA=1\r\n[Rename]\r\n" + added},
        {"section last, no final line end", "[Other]\r\nA=1\r\n\r\n[rename]\r\nB=C",
         "[Other]\r\nA=1\r\n\r\n[rename]\r\nB=C\r\n" + added},
        {"lines trimmed, any line end", "  [Rename]  \nx=y \r \t \r\n[Other]\n",
         "[Rename]\r\nx=y\r\n" + added + "\r\n[Other]\r\n"},
        // Without an empty line the section still ends where the next begins.
        {"next section right after", "[Rename]\r\nA=B\r\n[Other]\r\nx=1\r\n",
         "[Rename]\r\nA=B\r\n" + added + "[Other]\r\nx=1\r\n"},
        {"entries go in once", "[Rename]\r\n\r\n\r\n[Rename]\r\n\r\n",
         "[Rename]\r\n" + added + "\r\n\r\n[Rename]\r\n\r\n"},
        {"empty section last", "[Rename]\r\n", "[Rename]\r\n" + added},
    };
    for (const Case& c : cases) {
        const std::string previous = c.previous ? c.previous : "";
        EXPECT_EQ(RewriteWininit(c.previous ? &previous : nullptr, entries), c.expected) << c.what;
    }
    // A second locked file adds its lines after the first one's.
    const std::string first = RewriteWininit(nullptr, {"NUL=C:\\A.DLL", "C:\\A.DLL=C:\\BRI1.TMP"});
    EXPECT_EQ(RewriteWininit(&first, {"NUL=C:\\B.DLL", "C:\\B.DLL=C:\\BRI2.TMP"}),
              "[Rename]\r\nNUL=C:\\A.DLL\r\nC:\\A.DLL=C:\\BRI1.TMP\r\nNUL=C:\\B.DLL\r\nC:\\B.DLL=C:\\BRI2.TMP\r\n");
}

TEST(CopyRules, RenameBackQuotesBothNames) {
    const TRunOnceRename rename = RenameBackCommand("C:\\PROGRA~1\\APP\\LONGNA~1.DLL", "LongName.dll");
    EXPECT_EQ(rename.name, "Rename C:\\PROGRA~1\\APP\\LONGNA~1.DLL");
    EXPECT_EQ(rename.command, "command.com /c ren \"C:\\PROGRA~1\\APP\\LONGNA~1.DLL\" \"LongName.dll\"");
    const TRunOnceRename remove = RemoveFolderCommand("C:\\PROGRA~1\\APP");
    EXPECT_EQ(remove.name, "Remove C:\\PROGRA~1\\APP");
    EXPECT_EQ(remove.command, "command.com /c rd \"C:\\PROGRA~1\\APP\"");
}

// In Shift-JIS a double-byte character may end in the byte of a backslash
// (0x95 0x5C); it is part of the name, not a folder delimiter.
using CopyRules932 = test::CodePage932Test;
TEST_F(CopyRules932, BackslashByteInsideACharacterIsNoDelimiter) {
    TWorkList list;
    list.Set("Data\\dll\\a*", "C:\\App\\*.*");
    const std::string file = "Data\\dll\\a\x95\x5C" "b";
    const TWorkList::TEntry* entry = FindCopyEntry(list, file);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(CopyDestination(*entry, file), "C:\\App\\a\x95\x5C" "b");
}

// Japanese folder names such as "\x95\x5C" or "\x83\x7C" (a "|" as second
// byte) are ordinary names, and a ".." after them still climbs.
TEST_F(CopyRules932, TargetPathsWithDoubleByteNames) {
    struct Case {
        const char* path;
        bool safe;
    };
    const std::vector<Case> cases = {
        {"C:\\\x95\x5C\\x.dll", true},
        {"C:\\App\\\x83\x7C.dll", true},
        {"\\\\server\\\x95\x5C\\x.dll", true},
        {"C:\\\x95\x5C\\..\\x.dll", false},
        {"C:\\\x95\x5C\\nul", false},
        {"C:\\App\\|.dll", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsSafeTargetPath(c.path), c.safe) << c.path;
}

}  // namespace
}  // namespace brik
