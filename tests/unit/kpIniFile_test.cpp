#include "config/kpIniFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "CodePageTest.h"
#include "TestUtil.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace brik {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

// Loads raw bytes with the cache's parse options and renders what was kept.
StringList Parse(const ScratchDir& dir, const std::string& bytes) {
    std::string path = dir.Path("parse.ini");
    WriteBytes(path, bytes);
    TkpIniFile ini(path, {.readOnly = true});
    StringList out;
    ini.GetStrings(out);
    return out;
}

TEST(IniParse, LineRules) {
    struct Case {
        const char* what;
        std::string bytes;
        StringList expected;
    };
    const std::vector<Case> cases = {
        {"blanks and tabs around = vanish", "[S]\r\na \t= \tb c \r\n", {"[S]", "a=b c", ""}},
        {"inner blanks of a quoted value stay", "[S]\r\n105=\" Installation directory \"\r\n",
         {"[S]", "105= Installation directory ", ""}},
        {"mismatched quotes stay", "[S]\r\na=\"x'\r\n", {"[S]", "a=\"x'", ""}},
        {"single quotes are stripped too", "[S]\r\na='x'\r\n", {"[S]", "a=x", ""}},
        {"empty quoted value", "[S]\r\na=\"\"\r\n", {"[S]", "a=", ""}},
        {"a lone quote is no pair", "[S]\r\na=\"\r\n", {"[S]", "a=\"", ""}},
        {"quote only at the end", "[S]\r\na=x\"\r\n", {"[S]", "a=x\"", ""}},
        {"= first keeps the line", "[S]\r\n = \"x\" \r\n", {"[S]", "= \"x\"", ""}},
        {"blanks inside brackets belong to the name", "[ A b ]\r\nk=v\r\n", {"[ A b ]", "k=v", ""}},
        {"[ without ] is an ordinary line", "[S]\r\n[x=1\r\n", {"[S]", "[x=1", ""}},
        {"; comments go, # lines stay", "[S]\r\n;k=1\r\n#k=2\r\n", {"[S]", "#k=2", ""}},
        {"lines before the first header are dropped", "// English\r\nk=v\r\n[S]\r\nk=w\r\n",
         {"[S]", "k=w", ""}},
        {"lines without = are dropped", "[S]\r\njust text\r\nk=v\r\n", {"[S]", "k=v", ""}},
        {"lone CR ends lines, LF is removed", "[S]\rk\n=v\rm=w", {"[S]", "k=v", "m=w", ""}},
        {"LF alone makes one line", "[S]\nk=v\nm=w\n", {}},
        {"the end-of-file byte is an empty line", "[S]\r\n\x1a\r\nk=v\r\n\x1a", {"[S]", "k=v", ""}},
        {"empty header names a section", "[]\r\nk=v\r\n", {"[]", "k=v", ""}},
        {"empty sections are not listed", "[E]\r\n[S]\r\nk=v\r\n", {"[S]", "k=v", ""}},
        {"control characters are trimmed", "[S]\r\n\t\x01k=v\x02 \r\n", {"[S]", "k=v", ""}},
        {"no last line break", "[S]\r\nk=v", {"[S]", "k=v", ""}},
    };
    ScratchDir dir;
    for (const Case& c : cases) EXPECT_EQ(Parse(dir, c.bytes), c.expected) << c.what;
}

TEST(IniParse, OptionsOffKeepLinesAsTheyAre) {
    ScratchDir dir;
    std::string path = dir.Path("raw.ini");
    WriteBytes(path, "[S]\r\n;c\r\nplain\r\nk = \"v\"\r\n");
    TkpIniFile ini(path, {.readOnly = true,
                          .stripComments = false,
                          .skipLinesWithoutEquals = false,
                          .trimAroundEquals = false,
                          .stripQuotes = false});
    StringList lines;
    ini.GetStrings(lines);
    EXPECT_EQ(lines, (StringList{"[S]", ";c", "plain", "k = \"v\"", ""}));
    StringList names;
    ini.ReadSection("s", names);
    EXPECT_EQ(names, (StringList{"", "", "k "}));
}

TEST(IniDuplicates, EarliestSectionIsReadAndLaterOnesStayInTheFile) {
    ScratchDir dir;
    std::string path = dir.Path("dup.ini");
    const std::string original = "[A]\r\nx=1\r\n[B]\r\nk=v\r\n[a]\r\ny=2\r\nx=3\r\n[A]\r\nz=4\r\n";
    WriteBytes(path, original);
    {
        TkpIniFile ini(path, {.readOnly = false});
        EXPECT_EQ(ini.ReadString("a", "x", "-"), "1");
        EXPECT_EQ(ini.ReadString("A", "y", "-"), "-");
        EXPECT_EQ(ini.ReadString("A", "z", "-"), "-");
        ini.WriteString("B", "k", "w");
    }
    EXPECT_EQ(ReadBytes(path), "[A]\r\nx=1\r\n[B]\r\nk=w\r\n[a]\r\ny=2\r\nx=3\r\n[A]\r\nz=4\r\n");
}

TEST(IniDuplicates, CallbackDecidesInFileOrder) {
    ScratchDir dir;
    std::string path = dir.Path("dup.ini");
    WriteBytes(path, "[S]\r\nv=1\r\n[T]\r\nt=1\r\n[s]\r\nv=2\r\n[S]\r\nv=3\r\n");
    TkpIniFile ini("", {.readOnly = true});
    std::vector<std::string> calls;
    // Keeps the later section each time: the last one must survive.
    ini.OnDuplicateSection = [&](const std::string&, const StringList& first, const StringList& second) {
        calls.push_back(first.at(0) + "|" + second.at(0));
        return false;
    };
    ini.SetFileName(path);
    EXPECT_EQ(calls, (std::vector<std::string>{"v=1|v=2", "v=2|v=3"}));
    StringList names;
    ini.ReadSections(names);
    EXPECT_EQ(names, (StringList{"T", "S"}));
    EXPECT_EQ(ini.ReadString("S", "v", ""), "3");
}

TEST(IniKeys, FirstOfDuplicateKeysIsReadAndWritten) {
    ScratchDir dir;
    std::string path = dir.Path("keys.ini");
    WriteBytes(path, "[S]\r\nKey=1\r\nkey=2\r\nKeyX=3\r\n");
    {
        TkpIniFile ini(path, {.readOnly = false});
        EXPECT_EQ(ini.ReadString("s", "KEY", ""), "1");
        EXPECT_EQ(ini.ReadString("s", "Ke", "none"), "none");
        ini.WriteString("S", "kEY", "9");
        EXPECT_EQ(ini.ReadString("S", "key", ""), "9");
        ini.DeleteKey("S", "key");
        EXPECT_EQ(ini.ReadString("S", "key", ""), "2");
    }
    // The written line takes the key as the caller spelled it.
    EXPECT_EQ(ReadBytes(path), "[S]\r\nkey=2\r\nKeyX=3\r\n");
}

// Long sections find their keys through an index; reads, writes and
// deletions must come out exactly as a scan of the lines gives them. A model
// that scans is run beside the file over a few thousand mixed operations on
// a section loaded with duplicate keys and lines without "=".
TEST(IniKeys, LongSectionsAnswerAsAScanDoes) {
    ScratchDir dir;
    const std::string path = dir.Path("long.ini");
    StringList model;  // the section's lines
    std::string bytes = "[Log]\r\n";
    for (int i = 0; i < 150; ++i) {
        model.push_back("Key" + std::to_string(i % 120) + "=v" + std::to_string(i));
        if (i % 37 == 0) model.push_back("no equals here " + std::to_string(i));
    }
    for (const std::string& line : model) bytes += line + "\r\n";
    WriteBytes(path, bytes);
    TkpIniFile ini(path, {.readOnly = false, .skipLinesWithoutEquals = false});
    auto find = [&](const std::string& key) {
        for (size_t i = 0; i < model.size(); ++i)
            if (model[i].find('=') != std::string::npos && SameText(NamePart(model[i]), key)) return static_cast<int>(i);
        return -1;
    };
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int step = 0; step < 3000; ++step) {
        // Upper, lower and mixed spellings of the same keys, and new ones.
        std::string key = "key" + std::to_string(next(260));
        if (next(2)) key[0] = 'K';
        if (next(3) == 0) key = AnsiUpperCase(key);
        const int at = find(key);
        switch (next(4)) {
            case 0:
                ini.DeleteKey("LOG", key);
                if (at >= 0) model.erase(model.begin() + at);
                break;
            case 1: {
                const std::string value = "w" + std::to_string(step);
                ini.WriteString("log", key, value);
                if (at >= 0) model[static_cast<size_t>(at)] = key + "=" + value;
                else model.push_back(key + "=" + value);
                break;
            }
            default:
                ASSERT_EQ(ini.ReadString("Log", key, "-"),
                          at < 0 ? "-" : model[static_cast<size_t>(at)].substr(key.size() + 1))
                    << "step " << step << " key " << key;
        }
    }
    StringList lines;
    ini.GetStrings(lines);
    StringList want{"[Log]"};
    want.insert(want.end(), model.begin(), model.end());
    want.emplace_back();
    EXPECT_EQ(lines, want);
    // The file's text followed every change line by line.
    ASSERT_TRUE(ini.UpdateFile());
    std::string written = "[Log]\r\n";
    for (const std::string& line : model) written += line + "\r\n";
    EXPECT_EQ(ReadBytes(path), written);
}

TEST(IniWrite, SameValueWritesNothing) {
    ScratchDir dir;
    std::string path = dir.Path("same.ini");
    // The blanks around "=" are a change only when the line is set anew.
    const std::string original = "; keep me\r\n[S]\r\n\r\nk = v\r\n";
    WriteBytes(path, original);
    {
        TkpIniFile ini(path, {.readOnly = false});
        ini.WriteString("S", "k", "v");
        EXPECT_FALSE(ini.Modified());
        ini.WriteString("S", "K", "v");  // differs in the key's case: a change
        EXPECT_TRUE(ini.Modified());
        ini.WriteString("S", "k", "v");
    }
    EXPECT_EQ(ReadBytes(path), "; keep me\r\n[S]\r\n\r\nk=v\r\n");
}

TEST(IniWrite, WriteBackFormatAndTruncation) {
    ScratchDir dir;
    std::string path = dir.Path("out.ini");
    WriteBytes(path, "[Old]\r\n; a long comment that makes the old file longer than the new one\r\n"
                     "a = 1\r\n[Empty]\r\n[Keep]\r\nb=2\r\n");
    {
        TkpIniFile ini(path, {.readOnly = false});
        ini.WriteString("Old", "a", "x");
        ini.EraseSection("Old");
        ini.WriteString("New", "c", "3");
        ini.WriteInteger("New", "n", -12);
        ini.WriteBool("New", "f", true);
        ini.WriteSectionValues("Keep", {"d=4", "novalue"});
    }
    EXPECT_EQ(ReadBytes(path), "[Empty]\r\n[Keep]\r\nb=2\r\nd=4\r\nnovalue=\r\n[New]\r\nc=3\r\nn=-12\r\nf=1\r\n");
}

TEST(IniWrite, EmptyKeyErasesSectionAndAllEmptyFlushes) {
    ScratchDir dir;
    std::string path = dir.Path("erase.ini");
    WriteBytes(path, "[A]\r\na=1\r\n[B]\r\nb=2\r\n");
    TkpIniFile ini(path, {.readOnly = false});
    ini.WriteString("B", "", "ignored");
    EXPECT_TRUE(ini.Modified());
    ini.WriteString("", "", "");
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ReadBytes(path), "[A]\r\na=1\r\n");
}

// A file the setup does not own, with every oddity a reading drops or
// reads its own way: a write changes the lines it sets, adds or deletes and
// keeps every other byte.
const std::string kOddIni =
    "; preamble comment\r\n"
    "preamble line without equals\r\n"
    "\r\n"
    "[Main]\r\n"
    "; a comment\r\n"
    "Key1 = value one \r\n"
    "Plain line\r\n"
    "Path=\"C:\\x y\"\r\n"
    "\tPadded\t=\t 2\r\n"
    "\r\n"
    "[Empty]\r\n"
    "[main]\r\n"
    "Second=dup\r\n"
    "\r\n"
    "[Last]\r\n"
    "Quoted='q'\r\n";

TEST(IniWriteBack, OnlyTheLinesChangedChange) {
    using Op = std::function<void(TkpIniFile&)>;
    struct Edit {
        std::string from, to;  // bytes of the file, and what they become
    };
    struct Case {
        const char* what;
        std::string file;
        Op op;
        std::vector<Edit> edits;  // none: the file stays as it was
    };
    const std::string noEnd = "[A]\r\nx=1";
    const std::string lineFeeds = "[A]\nx=1\n";
    const std::string loneCr = "[A]\rx=1\r";
    const std::vector<Case> cases = {
        {"set a key", kOddIni, [](TkpIniFile& f) { f.WriteString("MAIN", "KEY1", "new"); },
         {{"Key1 = value one \r\n", "KEY1=new\r\n"}}},
        {"set a padded key", kOddIni, [](TkpIniFile& f) { f.WriteString("Main", "Padded", "3"); },
         {{"\tPadded\t=\t 2\r\n", "Padded=3\r\n"}}},
        {"a new key goes before the blank lines closing its section", kOddIni,
         [](TkpIniFile& f) { f.WriteString("Main", "Added", "1"); },
         {{"\t 2\r\n\r\n", "\t 2\r\nAdded=1\r\n\r\n"}}},
        {"a key of a later same-named section is written to the first", kOddIni,
         [](TkpIniFile& f) { f.WriteString("Main", "Second", "x"); },
         {{"\t 2\r\n\r\n", "\t 2\r\nSecond=x\r\n\r\n"}}},
        {"a new key in an empty section", kOddIni, [](TkpIniFile& f) { f.WriteString("Empty", "k", "v"); },
         {{"[Empty]\r\n", "[Empty]\r\nk=v\r\n"}}},
        {"a new key in the last section", kOddIni, [](TkpIniFile& f) { f.WriteString("Last", "Tail", "t"); },
         {{"Quoted='q'\r\n", "Quoted='q'\r\nTail=t\r\n"}}},
        {"a new section at the end", kOddIni, [](TkpIniFile& f) { f.WriteString("New", "k", "v"); },
         {{"Quoted='q'\r\n", "Quoted='q'\r\n[New]\r\nk=v\r\n"}}},
        {"delete a key", kOddIni, [](TkpIniFile& f) { f.DeleteKey("main", "path"); }, {{"Path=\"C:\\x y\"\r\n", ""}}},
        {"delete the last line", kOddIni, [](TkpIniFile& f) { f.DeleteKey("Last", "Quoted"); },
         {{"Quoted='q'\r\n", ""}}},
        {"a deletion, then a write below it", kOddIni,
         [](TkpIniFile& f) {
             f.DeleteKey("Main", "Key1");
             f.WriteString("Main", "Padded", "3");
         },
         {{"Key1 = value one \r\n", ""}, {"\tPadded\t=\t 2\r\n", "Padded=3\r\n"}}},
        {"erase the first of two same-named sections", kOddIni, [](TkpIniFile& f) { f.EraseSection("MAIN"); },
         {{"[Main]\r\n; a comment\r\nKey1 = value one \r\nPlain line\r\nPath=\"C:\\x y\"\r\n\tPadded\t=\t 2\r\n\r\n",
           ""}}},
        {"erase an empty section", kOddIni, [](TkpIniFile& f) { f.EraseSection("Empty"); }, {{"[Empty]\r\n", ""}}},
        {"no change: the values as read, keys and sections absent", kOddIni,
         [](TkpIniFile& f) {
             f.WriteString("Main", "Path", f.ReadString("main", "path", ""));
             f.WriteString("main", "Key1", "value one");
             f.DeleteKey("Main", "Nothing");
             f.DeleteKey("Nowhere", "Key1");
             f.EraseSection("Nowhere");
         },
         {}},
        {"a new key, deleted again", kOddIni,
         [](TkpIniFile& f) {
             f.WriteString("Main", "Added", "1");
             f.DeleteKey("Main", "Added");
         },
         {}},
        {"a new section, erased again", kOddIni,
         [](TkpIniFile& f) {
             f.WriteString("New", "k", "v");
             f.EraseSection("New");
         },
         {}},
        {"no final line end: set", noEnd, [](TkpIniFile& f) { f.WriteString("A", "x", "2"); }, {{"x=1", "x=2"}}},
        {"no final line end: a new key, still without", noEnd, [](TkpIniFile& f) { f.WriteString("A", "y", "2"); },
         {{"x=1", "x=1\r\ny=2"}}},
        {"no final line end: a new section, still without", noEnd,
         [](TkpIniFile& f) { f.WriteString("B", "y", "2"); }, {{"x=1", "x=1\r\n[B]\r\ny=2"}}},
        {"no final line end: delete the last line, and the file still has none", noEnd,
         [](TkpIniFile& f) { f.DeleteKey("A", "x"); }, {{"\r\nx=1", ""}}},
        {"no final line end: erase the section", noEnd, [](TkpIniFile& f) { f.EraseSection("A"); },
         {{"[A]\r\nx=1", ""}}},
        {"no final line end: a new key and a new section, taken back", noEnd,
         [](TkpIniFile& f) {
             f.WriteString("A", "y", "2");
             f.WriteString("B", "y", "2");
             f.WriteString("B", "z", "3");
             f.EraseSection("B");
             f.DeleteKey("A", "y");
         },
         {}},
        // Line feeds alone end no line for the engine's reading: the file is
        // one line, without an end, before any section; what is added ends
        // with CR LF to be found again, and the file still ends without one.
        {"bare line feeds: a key goes to a new section", lineFeeds,
         [](TkpIniFile& f) { f.WriteString("A", "x", "2"); }, {{"x=1\n", "x=1\n\r\n[A]\r\nx=2"}}},
        {"bare line feeds: a new section, erased again", lineFeeds,
         [](TkpIniFile& f) {
             f.WriteString("A", "x", "2");
             f.EraseSection("A");
         },
         {}},
        {"a bare line feed inside a CR LF file joins two lines", "[A]\r\nx=1\n[B]\r\ny=2\r\n",
         [](TkpIniFile& f) { f.WriteString("A", "y", "3"); }, {{"y=2\r\n", "y=3\r\n"}}},
        {"lone CR ends: new lines end so too", loneCr,
         [](TkpIniFile& f) {
             f.WriteString("A", "y", "2");
             f.WriteString("B", "z", "3");
         },
         {{"x=1\r", "x=1\ry=2\r[B]\rz=3\r"}}},
        {"a key goes before the end-of-file byte", "[A]\r\nx=1\r\n\x1a",
         [](TkpIniFile& f) { f.WriteString("A", "y", "2"); }, {{"x=1\r\n", "x=1\r\ny=2\r\n"}}},
    };
    ScratchDir dir;
    const std::string path = dir.Path("odd.ini");
    for (const bool stripQuotes : {true, false}) {
        for (const Case& c : cases) {
            WriteBytes(path, c.file);
            std::string want = c.file;
            for (const Edit& e : c.edits) {
                const size_t at = want.find(e.from);
                ASSERT_NE(at, std::string::npos) << c.what;
                ASSERT_EQ(want.find(e.from, at + 1), std::string::npos) << c.what << ": the bytes to change are not unique";
                want.replace(at, e.from.size(), e.to);
            }
            {
                TkpIniFile ini(path, {.readOnly = false, .stripQuotes = stripQuotes});
                c.op(ini);
                ASSERT_TRUE(ini.UpdateFile()) << c.what;
            }
            EXPECT_EQ(ReadBytes(path), want) << c.what << (stripQuotes ? "" : ", quotes kept");
        }
    }
}

// What a write leaves is read back as the write meant it: the file's text
// and the parsed view do not drift apart.
TEST(IniWriteBack, WrittenFileReadsBackAsWritten) {
    ScratchDir dir;
    const std::string path = dir.Path("odd.ini");
    WriteBytes(path, kOddIni);
    {
        TkpIniFile ini(path, {.readOnly = false});
        ini.WriteString("Main", "Added", "1");
        ini.WriteString("Empty", "k", "v");
        ini.WriteString("New", "n", "2");
        ini.DeleteKey("Main", "Path");
        ini.WriteString("Last", "Quoted", "r");
    }
    TkpIniFile again(path, {.readOnly = true});
    StringList lines;
    again.GetStrings(lines);
    EXPECT_EQ(lines, (StringList{"[Main]", "Key1=value one", "Padded=2", "Added=1", "", "[Empty]", "k=v", "", "[Last]",
                                 "Quoted=r", "", "[New]", "n=2", ""}));
}

// What an install adds, another object (the uninstaller's, in another
// process) takes back to the very bytes that were there.
TEST(IniWriteBack, AdditionsTakenBackByAnotherObject) {
    ScratchDir dir;
    const std::string path = dir.Path("undo.ini");
    for (const std::string& file : {kOddIni, std::string("[A]\r\nx=1"), std::string("[A]\nx=1\n"),
                                    std::string("[A]\rx=1\r"), std::string("[Empty]")}) {
        WriteBytes(path, file);
        std::vector<std::string> made;
        {
            TkpIniFile install(path, {.readOnly = false});
            for (const char* section : {"Main", "Empty", "Last", "A", "New"}) {
                if (install.Sections().IndexOf(section) < 0) made.push_back(section);
                install.WriteString(section, "Added", "1");
            }
        }
        TkpIniFile uninstall(path, {.readOnly = false});
        for (const char* section : {"Main", "Empty", "Last", "A", "New"}) uninstall.DeleteKey(section, "Added");
        // Only the sections the install made go, and with them what it added.
        for (const std::string& section : made)
            if (uninstall.SectionIsBare(section)) uninstall.EraseSection(section);
        ASSERT_TRUE(uninstall.UpdateFile());
        EXPECT_EQ(ReadBytes(path), file);
    }
}

// An uninstall takes a section away only when it holds nothing of anyone's.
TEST(IniWriteBack, BareSectionsHoldOnlyBlankLines) {
    ScratchDir dir;
    const std::string path = dir.Path("bare.ini");
    WriteBytes(path, "[Comment]\r\n; mine\r\n[Text]\r\nno equals\r\n[Blank]\r\n\r\n \t\r\n[Key]\r\nk=v\r\n[New]\r\n");
    TkpIniFile ini(path, {.readOnly = false});
    for (const char* bare : {"Blank", "new", "absent"}) EXPECT_TRUE(ini.SectionIsBare(bare)) << bare;
    for (const char* held : {"Comment", "Text", "Key"}) EXPECT_FALSE(ini.SectionIsBare(held)) << held;
    ini.DeleteKey("Key", "k");
    EXPECT_TRUE(ini.SectionIsBare("Key"));
}

TEST(IniWrite, EraseLastSectionResetsSearchHints) {
    ScratchDir dir;
    std::string path = dir.Path("hints.ini");
    WriteBytes(path, "[A]\r\na=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n");
    TkpIniFile ini(path, {.readOnly = false});
    EXPECT_EQ(ini.ReadString("C", "c", ""), "3");
    StringList names;
    ini.ReadSection("C", names);
    ini.EraseSection("c");
    EXPECT_EQ(ini.ReadString("A", "a", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "b", ""), "2");
    EXPECT_EQ(ini.ReadString("C", "c", "gone"), "gone");
    names.clear();
    ini.ReadSection("B", names);
    EXPECT_EQ(names, StringList{"b"});
}

TEST(IniRead, NumbersAndBooleans) {
    ScratchDir dir;
    std::string path = dir.Path("num.ini");
    WriteBytes(path, "[N]\r\nhex0x=0x10\r\nupper=0X1f\r\ndollar=$10\r\nneg=-5\r\nblank= 7\r\n"
                     "bad=12x\r\nempty=\r\ntwo=2\r\none=1\r\nzero=0\r\n");
    struct Case {
        const char* key;
        int32_t object;   // ReadInteger, default 99
        int32_t cached;   // IniReadInteger, default 99
        bool objectBool;  // ReadBool, default false
        bool cachedBool;  // IniReadBool, default false
    };
    const std::vector<Case> cases = {
        {"hex0x", 16, 99, true, false},   {"upper", 31, 99, true, false},
        {"dollar", 16, 16, true, false},  {"neg", -5, -5, true, false},
        {"blank", 7, 7, true, false},     {"bad", 99, 99, false, false},
        {"empty", 99, 99, false, false},  {"two", 2, 2, true, false},
        {"one", 1, 1, true, true},        {"zero", 0, 0, false, false},
        {"missing", 99, 99, false, false},
    };
    TkpIniFile ini(path, {.readOnly = true});
    for (const Case& c : cases) {
        EXPECT_EQ(ini.ReadInteger("N", c.key, 99), c.object) << c.key;
        EXPECT_EQ(IniReadInteger(path, "N", c.key, 99), c.cached) << c.key;
        EXPECT_EQ(ini.ReadBool("N", c.key, false), c.objectBool) << c.key;
        EXPECT_EQ(IniReadBool(path, "N", c.key, false), c.cachedBool) << c.key;
    }
    EXPECT_TRUE(IniReadBool(path, "N", "missing", true));
    EXPECT_TRUE(ini.ReadBool("N", "missing", true));
    CloseIniFile(path);
}

TEST(IniRead, SectionListsAndMergedValues) {
    ScratchDir dir;
    std::string path = dir.Path("lists.ini");
    WriteBytes(path, "[One]\r\na=1\r\nB=2\r\n[Two]\r\nc=3\r\n");
    StringList names = {"keep"};
    IniReadSections(path, names);
    EXPECT_EQ(names, (StringList{"One", "Two"}));

    StringList keys = {"old"};
    IniReadSection(path, "one", keys);
    EXPECT_EQ(keys, (StringList{"old", "a", "B"}));

    // Defaults merge under the section's own lines.
    StringList values = {"b=default", "x=9", "A=0"};
    IniReadSectionValues(path, "ONE", values);
    EXPECT_EQ(values, (StringList{"a=1", "B=2", "x=9"}));

    StringList untouched = {"x=9"};
    IniReadSectionValues(path, "missing", untouched);
    EXPECT_EQ(untouched, StringList{"x=9"});
    CloseAllIniFiles();
}

TEST(IniCache, ReadOnlyObjectIsReplacedForWritesAndReloadedAfterClose) {
    ScratchDir dir;
    std::string path = dir.Path("cache.ini");
    WriteBytes(path, "[S]\r\nk=disk\r\n");
    EXPECT_EQ(IniReadString(path, "S", "k", ""), "disk");
    EXPECT_TRUE(GetIniFile(path, true).ReadOnly());
    EXPECT_FALSE(GetIniFile(path, true).HasOpenHandle());

    // Reads are served from memory until the object is closed.
    WriteBytes(path, "[S]\r\nk=changed\r\n");
    EXPECT_EQ(IniReadString(path, "s", "K", ""), "disk");
    CloseIniFile(path);
    EXPECT_EQ(IniReadString(path, "S", "k", ""), "changed");

    // The name is looked up without regard to case.
    std::string other = path;
    for (char& c : other)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    EXPECT_TRUE(IniWriteString(path, "S", "w", "1"));
    TkpIniFile& rw = GetIniFile(path, true);
    EXPECT_FALSE(rw.ReadOnly());
    EXPECT_TRUE(rw.HasOpenHandle());
    EXPECT_EQ(IniReadString(path, "S", "w", ""), "1");
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=changed\r\n");  // not written before closing
    CloseIniFile(path);
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=changed\r\nw=1\r\n");
    CloseIniFile(path);  // not cached any more: nothing happens
}

// In Shift-JIS (932) 0x83 0x41 and 0x83 0x61 are two different katakana,
// though their second bytes look like "A" and "a": sections, keys and cached
// file names that differ there must stay apart.
class IniCacheDoubleByte : public test::CodePage932Test {};

TEST_F(IniCacheDoubleByte, NamesDifferingInSecondBytesStayApart) {
    ScratchDir dir;
    const std::string small = dir.Path("\x83\x61.ini");
    const std::string capital = dir.Path("\x83\x41.ini");
    WriteBytes(small, "[\x83\x61]\r\n\x83\x61=small\r\n[\x83\x41]\r\n\x83\x41=capital\r\n\x83\x61=second\r\n");
    WriteBytes(capital, "[S]\r\nk=other file\r\n");
    EXPECT_EQ(IniReadString(small, "\x83\x61", "\x83\x61", "-"), "small");
    EXPECT_EQ(IniReadString(small, "\x83\x41", "\x83\x41", "-"), "capital");
    EXPECT_EQ(IniReadString(small, "\x83\x41", "\x83\x61", "-"), "second");
    EXPECT_EQ(IniReadString(capital, "S", "k", "-"), "other file");
    StringList names;
    IniReadSections(small, names);
    EXPECT_EQ(names, (StringList{"\x83\x61", "\x83\x41"}));
    StringList values = {"\x83\x61=default", "\x83\x41=default"};
    IniReadSectionValues(small, "\x83\x61", values);
    EXPECT_EQ(values, (StringList{"\x83\x61=small", "\x83\x41=default"}));
    CloseAllIniFiles();
}

TEST(IniCache, StripQuotesSwitchAppliesToFilesOpenedLater) {
    ScratchDir dir;
    std::string before = dir.Path("before.ini");
    std::string after = dir.Path("after.ini");
    WriteBytes(before, "[S]\r\nk=\"quoted\"\r\n");
    WriteBytes(after, "[S]\r\nk=\"quoted\"\r\nq='x'\r\n");
    EXPECT_EQ(IniReadString(before, "S", "k", ""), "quoted");
    SetIniStripQuotes(false);
    EXPECT_EQ(IniReadString(after, "S", "k", ""), "\"quoted\"");
    EXPECT_EQ(IniReadString(after, "S", "q", ""), "'x'");
    EXPECT_EQ(IniReadString(before, "S", "k", ""), "quoted");  // cached before the switch
    CloseIniFile(before);
    EXPECT_EQ(IniReadString(before, "S", "k", ""), "\"quoted\"");
    SetIniStripQuotes(true);
    CloseAllIniFiles();
    EXPECT_EQ(IniReadString(after, "S", "k", ""), "quoted");
    CloseAllIniFiles();
}

TEST(IniCache, WriteCreatesFileAndFolders) {
    ScratchDir dir;
    std::string path = dir.Path("a") + "/b/c/new.ini";
    EXPECT_EQ(IniReadString(path, "S", "k", "dflt"), "dflt");
    IniWriteString(path, "S", "k", "v");
    IniWriteString(path, "T", "k", "");
    CloseAllIniFiles();
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=v\r\n\r\n[T]\r\nk=\r\n\r\n");
    // Reloading what was written gives the same values.
    EXPECT_EQ(IniReadString(path, "T", "k", "x"), "");
    EXPECT_EQ(IniReadString(path, "S", "k", "x"), "v");
    CloseAllIniFiles();
}

TEST(IniFileName, PathlessNameLivesInTheWindowsDirectory) {
#ifdef _WIN32
    const std::string name = "briktest-pathless.ini";
    TkpIniFile probe(name, {.readOnly = true});
    std::string full = probe.FileName();
    ASSERT_NE(full.find('\\'), std::string::npos);
#else
    ScratchDir dir;
    const char* old = std::getenv("WINDIR");
    std::string saved = old ? old : "";
    setenv("WINDIR", dir.Root().c_str(), 1);
    const std::string name = "pathless.ini";
    std::string full = dir.Path(name);
#endif
    IniWriteString(name, "S", "k", "v");
    CloseIniFile(name);
    EXPECT_EQ(ReadBytes(full), "[S]\r\nk=v\r\n\r\n");
    EXPECT_EQ(IniReadString(name, "S", "k", ""), "v");
    CloseIniFile(name);
    std::remove(full.c_str());
#ifndef _WIN32
    if (old) setenv("WINDIR", saved.c_str(), 1); else unsetenv("WINDIR");
#endif
}

TEST(IniFileName, ExistingFileThatCannotBeOpenedIsReportedAndKept) {
    ScratchDir dir;
    std::string path = dir.Path("locked.ini");
#ifdef _WIN32
    // A read-write object shares its file for reading only, so a second
    // writer is refused.
    WriteBytes(path, "[S]\r\nk=v\r\n");
    TkpIniFile holder(path, {.readOnly = false});
    holder.WriteString("S", "k", "held");
    const std::string before = ReadBytes(path);
#else
    // A socket exists but cannot be opened as a file, even by root.
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    path.copy(addr.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string before;
#endif
#ifdef BRIK_CORE_RAISES_FATAL
    // Built without exceptions, the library ends the process instead
    // (IniFileFatal below).
#else
    try {
        IniWriteString(path, "S", "k", "other");
        ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
#endif
#ifdef _WIN32
    // Readers share the file with its writer.
    EXPECT_EQ(IniReadString(path, "S", "k", ""), "v");
#else
    EXPECT_THROW(IniReadString(path, "S", "k", ""), EInOutError);
#endif
    CloseAllIniFiles();
#ifdef _WIN32
    EXPECT_EQ(ReadBytes(path), before);
#else
    close(fd);
#endif
}

#ifdef BRIK_CORE_RAISES_FATAL
// Built without exceptions, the library hands the error to the fatal handler,
// which ends the process. The child process of the death test runs this test
// from the top, so its files go to a folder of a fixed name that the parent
// removes afterwards.
TEST(IniFileFatal, FileThatCannotBeOpenedGoesToTheFatalHandler) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "briktest-fatal";
    EXPECT_EXIT(
        {
            std::filesystem::create_directories(folder);
            const std::string path = (folder / "locked.ini").string();
            WriteBytes(path, "[S]\r\nk=v\r\n");
            TkpIniFile holder(path, {.readOnly = false});
            holder.WriteString("S", "k", "held");
            SetFatalHandler([](const char* message) {
                std::fprintf(stderr, "raised: %s\n", message);
                std::exit(3);
            });
            IniWriteString(path, "S", "k", "other");
        },
        testing::ExitedWithCode(3), "raised: Cannot open file .*locked\\.ini");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
#endif

}  // namespace
}  // namespace brik
