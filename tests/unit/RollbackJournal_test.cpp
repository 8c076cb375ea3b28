#include "install/RollbackJournal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brik {
namespace {

using K = TRollbackKind;

std::vector<std::string> Paths(const std::vector<TRollbackEntry>& entries) {
    std::vector<std::string> paths;
    for (const TRollbackEntry& e : entries) paths.push_back(e.path);
    return paths;
}

// An install as it goes: a folder, a file in it, the old file of a
// replaced target kept, a key and its value. The undo takes the value and
// the key before anything made earlier, and the folder after the files in
// it, whatever kinds they are.
TEST(RollbackJournal, UndoesTheLastChangeFirst) {
    TRollbackJournal journal;
    journal.Start(true);
    journal.Add({K::CreatedFolder, "C:\\App"});
    journal.Add({K::CreatedFile, "C:\\App\\a.txt"});
    journal.Add({K::ReplacedFile, "C:\\App\\b.dll", "C:\\App\\Brik1.tmp"});
    journal.Add({K::CreatedKey, "HKLM\\Software\\Co"});
    journal.Add({K::RegValue, "HKLM\\Software\\Co", {}, "Path"});
    const std::vector<TRollbackEntry> order = journal.TakeUndoOrder();
    EXPECT_EQ(Paths(order), (std::vector<std::string>{"HKLM\\Software\\Co", "HKLM\\Software\\Co", "C:\\App\\b.dll",
                                                      "C:\\App\\a.txt", "C:\\App"}));
    EXPECT_EQ(order[0].kind, K::RegValue);
    EXPECT_EQ(order[1].kind, K::CreatedKey);
    EXPECT_EQ(order[2].kept, "C:\\App\\Brik1.tmp");
    EXPECT_EQ(journal.Size(), 0u);
}

// A journal that is off records nothing: the install then works as it
// always did, and neither a rollback nor a success finds anything to do.
TEST(RollbackJournal, OffRecordsNothing) {
    TRollbackJournal journal;
    journal.Start(false);
    journal.Add({K::CreatedFile, "C:\\App\\a.txt"});
    journal.SetLog("C:\\App\\install.log", "C:\\App\\Brik2.tmp");
    EXPECT_FALSE(journal.Enabled());
    EXPECT_EQ(journal.Size(), 0u);
    EXPECT_TRUE(journal.LogPath().empty());
    EXPECT_TRUE(journal.TakeKeptFiles().empty());
    // A new run starts from nothing.
    journal.Start(true);
    journal.Add({K::CreatedFile, "C:\\App\\a.txt"});
    journal.Start(true);
    EXPECT_EQ(journal.Size(), 0u);
}

// The state before the run is the one on record: a file or value the run
// has changed once is covered (whatever the case of its name), so that a
// second change keeps no copy of what the run itself wrote.
TEST(RollbackJournal, CoversWhatItHoldsTheOldStateOf) {
    TRollbackJournal journal;
    journal.Start(true);
    journal.Add({K::CreatedFile, "C:\\App\\a.txt"});
    journal.Add({K::ReplacedFile, "C:\\Windows\\win.ini", "C:\\Windows\\Brik3.tmp"});
    journal.Add({K::CreatedFolder, "C:\\App\\sub"});
    journal.Add({K::RegValue, "HKLM\\Software\\Co", {}, "Path"});
    EXPECT_TRUE(journal.Covers("c:\\app\\A.TXT"));
    EXPECT_TRUE(journal.Covers("C:\\WINDOWS\\WIN.INI"));
    EXPECT_FALSE(journal.Covers("C:\\App\\sub"));
    EXPECT_FALSE(journal.Covers("C:\\App\\b.txt"));
    EXPECT_TRUE(journal.CoversValue("hklm\\software\\co", "PATH"));
    EXPECT_FALSE(journal.CoversValue("HKLM\\Software\\Co", ""));
    EXPECT_FALSE(journal.CoversValue("HKLM\\Software", "Path"));
}

// On success the old files kept aside go, the earlier log's copy among
// them; the files the run made and the targets stay.
TEST(RollbackJournal, SuccessLetsGoOfTheKeptFiles) {
    TRollbackJournal journal;
    journal.Start(true);
    journal.SetLog("C:\\App\\install.log", "C:\\App\\Brik1.tmp");
    journal.Add({K::CreatedFile, "C:\\App\\a.txt"});
    journal.Add({K::ReplacedFile, "C:\\App\\b.dll", "C:\\App\\Brik2.tmp"});
    journal.Add({K::ScheduledReplace, "C:\\App\\c.dll", "C:\\App\\Brik3.tmp"});
    journal.Add({K::ReplacedFile, "C:\\App\\d.txt", ""});
    EXPECT_EQ(journal.TakeKeptFiles(), (std::vector<std::string>{"C:\\App\\Brik1.tmp", "C:\\App\\Brik2.tmp"}));
    EXPECT_EQ(journal.Size(), 0u);
    EXPECT_TRUE(journal.LogKept().empty());
}

std::string List(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    return list + '\0';
}

// The restart's list keeps every move but the run's own: a delete of the
// target and the move of the waiting file onto it, whatever their case and
// prefixes; other programs' pairs stay in their order.
TEST(RollbackJournal, DelayedMovesOfTheRunComeOut) {
    const std::vector<std::string> ours = {"C:\\App\\b.dll", "C:\\App\\Brik1.tmp"};
    struct Case {
        std::vector<std::string> before;
        std::vector<std::string> after;  // empty: no list left at all
    };
    const std::vector<Case> cases = {
        {{"\\??\\C:\\App\\b.dll", "", "\\??\\C:\\App\\Brik1.tmp", "!\\??\\C:\\App\\b.dll"}, {}},
        {{"\\??\\C:\\Other\\x.dll", "", "\\??\\c:\\app\\B.DLL", "", "\\??\\C:\\App\\Brik1.tmp",
          "!\\??\\C:\\App\\b.dll", "\\??\\C:\\Other\\y.tmp", "!\\??\\C:\\Other\\y.dll"},
         {"\\??\\C:\\Other\\x.dll", "", "\\??\\C:\\Other\\y.tmp", "!\\??\\C:\\Other\\y.dll"}},
        // A target of another pair that names our file is not ours to drop.
        {{"\\??\\C:\\Other\\z.tmp", "!\\??\\C:\\App\\b.dll"}, {"\\??\\C:\\Other\\z.tmp", "!\\??\\C:\\App\\b.dll"}},
    };
    for (const Case& c : cases) {
        const std::string got = WithoutDelayedMoves(List(c.before), ours);
        EXPECT_EQ(got, c.after.empty() ? std::string() : List(c.after));
    }
    // A list cut off, or with nothing after its last source, ends there.
    EXPECT_EQ(WithoutDelayedMoves(std::string("\\??\\C:\\x", 8), ours), List({"\\??\\C:\\x", ""}));
    EXPECT_EQ(WithoutDelayedMoves("", ours), "");
}

}  // namespace
}  // namespace brik
