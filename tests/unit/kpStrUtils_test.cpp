#include "util/kpStrUtils.h"

#include <gtest/gtest.h>

#include "CodePageTest.h"

#include <cstdint>
#include <string>
#include <vector>

#include "util/Platform.h"

namespace brik {
namespace {

TEST(StrUtilsWords, CountPositionAndWord) {
    const CharSet comma(",");
    const std::string text = ",a,,b,";
    EXPECT_EQ(TokenCount(text, comma), 2);
    EXPECT_EQ(TokenAt(1, text, comma), "a");
    EXPECT_EQ(TokenAt(2, text, comma), "b");
    EXPECT_EQ(TokenAt(3, text, comma), "");
    EXPECT_EQ(TokenPosition(1, text, comma), 2);
    EXPECT_EQ(TokenPosition(2, text, comma), 5);
    EXPECT_EQ(TokenPosition(3, text, comma), 0);

    struct Case { int n; const char* text; const char* delims; int count; const char* word; };
    const Case cases[] = {
        {1, "", ",", 0, ""},
        {1, ",,,", ",", 0, ""},
        {1, "abc", ",", 1, "abc"},
        {0, "abc", ",", 1, ""},
        {-1, "abc", ",", 1, ""},
        {2, "  one \t two  ", " \t", 2, "two"},
        {3, "a;b,c", ",;", 3, "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TokenCount(c.text, CharSet(c.delims)), c.count);
        EXPECT_EQ(TokenAt(c.n, c.text, CharSet(c.delims)), c.word);
    }
}

TEST(StrUtilsWords, WordInList) {
    struct Case { const char* word; const char* list; bool caseSensitive; bool expected; };
    const Case cases[] = {
        {"nt", "9x,nt", true, true},
        {"NT", "9x,nt", true, false},
        {"NT", "9x,nt", false, true},
        {"n", "9x,nt", false, false},
        {"nt4", "9x,nt", false, false},
        {"nt", "9x, nt", false, false},  // a blank after the comma is part of the word
        {"", "a,,b", false, false},     // empty items are no words
        {"b", ",,b,,", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " in " + c.list);
        EXPECT_EQ(IsWordInList(c.word, c.list, CharSet(","), c.caseSensitive), c.expected);
    }
}

TEST(StrUtilsFields, FieldAt) {
    struct Case { const char* text; int n; const char* expected; };
    const Case cases[] = {
        {"a,,c", 3, "c"},
        {"a,,c", 2, ""},
        {"a,,c", 4, ""},
        {"a,", 2, ""},
        {"", 1, ""},
        {"abc", 0, ""},
        {"abc", -5, ""},
        {"\"x,y\",z", 1, "\"x,y\""},
        {"\"x,y\",z", 2, "z"},
        {"'it''s',b", 1, "it's"},
        {"'it''s',b", 2, "b"},
        // The other quote character inside a quoted run neither closes it
        // nor opens a new one.
        {"'a\"b,c',d", 1, "a\"b,c"},
        {"'a\"b,c',d", 2, "d"},
        {"\"a'b,c\",d", 1, "\"a'b,c\""},
        {"\"a'b,c\",d", 2, "d"},
        {"\"a\"\"b,c\",d", 2, "d"},
        // A quote in mid-field still protects the delimiters after it.
        {"ab'c,d',e", 1, "ab'c,d'"},
        {"ab'c,d',e", 2, "e"},
        // An unterminated quote runs to the end of the text.
        {"'abc,def", 1, "abc,def"},
        {"'abc,def", 2, ""},
        {"x,'abc,def", 2, "abc,def"},
        {"1,\"C:\\Program Files\\App\",'a,b'", 3, "a,b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " #" + std::to_string(c.n));
        EXPECT_EQ(FieldAt(c.n, c.text, CharSet(",")), c.expected);
    }
    EXPECT_EQ(FieldAt(3, "a;b,c", CharSet(",;")), "c");
}

TEST(StrUtilsFields, NameAndValueOfLines) {
    struct Case { const char* line; const char* name; const char* nameOrEmpty; const char* value; };
    const Case cases[] = {
        {"key=val=x", "key", "key", "val=x"},
        {"novalue", "novalue", "", ""},
        {"=v", "", "", "v"},
        {"k=", "k", "k", ""},
        {"", "", "", ""},
        {" k = v ", " k ", " k ", " v "},  // blanks belong to name and value
        {"ENU", "ENU", "", ""},
        {"\tk\x01=\x02", "\tk\x01", "\tk\x01", "\x02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(NamePart(c.line), c.name);
        EXPECT_EQ(NamePart(c.line, LineWithoutEquals::IsAllName), c.name);
        EXPECT_EQ(NamePart(c.line, LineWithoutEquals::HasNoName), c.nameOrEmpty);
        EXPECT_EQ(ValuePart(c.line), c.value);
    }
}

TEST(StrUtilsFields, TrimTakesEverythingUpToTheBlank) {
    struct Case { std::string text; std::string expected; };
    const Case cases[] = {
        {"", ""},
        {"   ", ""},
        {"abc", "abc"},
        {" a b ", "a b"},
        {"\t\r\nvalue\r\n", "value"},
        {"\x01\x1F\x1A k=v \x7F", "k=v \x7F"},  // DEL is no control to the engine
        {std::string("\0x\0", 3), "x"},
        {"\xA0x\xA0", "\xA0x\xA0"},  // no-break space and other bytes above 127 stay
        {"\x81\x20", "\x81"},
        {"a\tb", "a\tb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Trim(c.text), c.expected);
    }
}

TEST(StrUtilsFields, Unquote) {
    struct Case { const char* text; char quote; const char* expected; };
    const Case cases[] = {
        {"'abc'", '\'', "abc"},
        {"'it''s' tail", '\'', "it's"},
        {"'open", '\'', "open"},
        {"'", '\'', ""},
        {"''", '\'', ""},
        {"''''", '\'', "'"},
        {"", '\'', ""},
        {"abc", '\'', "abc"},
        {"x'y'", '\'', "x'y'"},
        {"\"x\"", '\'', "\"x\""},
        {"\"a\"\"b\"c", '"', "a\"b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Unquote(c.text, c.quote), c.expected);
    }
}

TEST(StrUtilsReplace, ReplaceAll) {
    struct Case { const char* text; const char* pattern; const char* replacement; const char* expected; };
    const Case cases[] = {
        {"a|||b", "||", "\r\n", "a\r\n|b"},
        {"aaa", "a", "aa", "aaaaaa"},    // the inserted text is not searched again
        {"aaaa", "aa", "b", "bb"},
        {"aaa", "aa", "b", "ba"},
        {"abab", "ab", "", ""},
        {"abc", "", "x", "abc"},
        {"", "a", "x", ""},
        {"Abc", "abc", "x", "Abc"},      // case matters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReplaceAll(c.text, c.pattern, c.replacement), c.expected);
    }
}

TEST(StrUtilsReplace, ReplaceAllNoCaseUsesCodePage1251) {
    struct Case { const char* text; const char* pattern; const char* replacement; const char* expected; };
    const Case cases[] = {
        {"%ProgramFiles%\\App", "%PROGRAMFILES%", "C:\\Program Files", "C:\\Program Files\\App"},
        {"xAbCxabc", "abc", "-", "x-x-"},
        {"aaa", "A", "aa", "aaaaaa"},
        // Cyrillic letters in cp1251 bytes, small and capital forms mixed.
        {"\xC0\xE1\xE2", "\xE0\xC1", "X", "X\xE2"},
        {"%\xCF\xF3\xF2\xFC%", "%\xEF\xD3\xD2\xDC%", "ok", "ok"},
        {"\xB8\xA8", "\xA8", "e", "ee"},
        {"\xBF\xB3\xAF\xB2", "\xAF\xB2", "-", "--"},
        // Not letters in cp1251: only the same byte matches.
        {"\xB5\xB5", "\xB5", "u", "uu"},
        {"\xD7\xF7", "\xB7", "x", "\xD7\xF7"},
        {"abc", "", "x", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReplaceAllNoCase(c.text, c.pattern, c.replacement), c.expected);
    }
}

TEST(StrUtilsReplace, UpperCase1251Table) {
    struct Case { unsigned char in; unsigned char out; };
    const Case cases[] = {
        {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'1', '1'}, {'{', '{'}, {'`', '`'},
        {0xE0, 0xC0}, {0xFF, 0xDF}, {0xC0, 0xC0}, {0xDF, 0xDF},
        {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2}, {0xB4, 0xA5},
        {0xA2, 0xA1}, {0xBC, 0xA3}, {0xBE, 0xBD}, {0x9A, 0x8A}, {0x9C, 0x8C},
        {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0x83, 0x81}, {0x90, 0x80},
        // Capitals, the micro sign and the unassigned byte stay.
        {0xB5, 0xB5}, {0x98, 0x98}, {0xAA, 0xAA}, {0x80, 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.in));
        EXPECT_EQ(static_cast<unsigned char>(UpperCase1251(static_cast<char>(c.in))), c.out);
    }
}

TEST(StrUtilsSmall, RemovePadRight) {
    EXPECT_EQ(RemoveChar("a,b,,c,", ','), "abc");
    EXPECT_EQ(RemoveChar("", ','), "");
    EXPECT_EQ(RemoveBlanks(" a b\t c "), "ab\tc");
    EXPECT_EQ(PadLeft('0', "7", 3), "007");
    EXPECT_EQ(PadLeft('0', "1234", 3), "1234");
    EXPECT_EQ(PadLeft(' ', "", 2), "  ");
    EXPECT_EQ(RightPart("abcdef", 2), "ef");
    EXPECT_EQ(RightPart("ab", 5), "ab");
    EXPECT_EQ(RightPart("ab", 0), "");
}

TEST(StrUtilsMask, WildcardPos) {
    struct Case { const char* pattern; const char* text; int expected; };
    const Case cases[] = {
        {"cd", "abcde", 3},
        {"b?d", "abcde", 2},
        {"??", "ab", 1},
        {"a?", "ba", 0},
        {"x", "abc", 0},
        {"abc", "ab", 0},
        {"?", "", 0},
        {"", "abc", 0},
        {"?d", "acbd", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " in " + c.text);
        EXPECT_EQ(WildcardPos(c.pattern, c.text), c.expected);
    }
}

TEST(StrUtilsMask, MatchesMask) {
    struct Case { const char* name; const char* mask; bool ignoreCase; bool expected; };
    const Case cases[] = {
        {"file.txt", "*.*", false, true},
        {".", "*.*", false, true},
        {"README", "*.*", false, false},
        {"App1.ini", "app?.ini", true, true},
        {"App1.ini", "app?.ini", false, false},
        {"ABC", "abc", true, true},
        {"acb", "a*b*c", false, false},
        {"aXbYc", "a*b*c", false, true},
        {"anything", "*", false, true},
        {"", "*", false, true},
        {"", "**", false, true},
        {"abc", "**", false, true},
        {"abc", "a**c", false, true},
        {"", "", false, true},
        {"", "a", false, false},
        {"a", "", false, false},
        {"", "?", false, false},
        // A trailing star takes any rest, the empty one included.
        {"abcdef", "abc*", false, true},
        {"abc", "abc*", false, true},
        {"ab", "abc*", false, false},
        // The piece after the last star is compared with the name's end only
        // and may not reuse what the part before it consumed.
        {"aba", "*a", false, true},
        {"a", "a*a", false, false},
        {"aa", "a*a", false, true},
        {"xyz.txt.bak", "*.txt", false, false},
        {"x.txt.txt", "*.txt", false, true},
        {"ab", "*b*b", false, false},
        // "?" stands for exactly one character.
        {"abc", "a?c", false, true},
        {"ac", "a?c", false, false},
        {"abbc", "a?c", false, false},
        {"abcd", "ab*?d", false, true},
        {"abd", "ab*?d", false, false},
        {"abc", "???", false, true},
        {"abc", "??", false, false},
        {"ab", "???", false, false},
        // Characters left over after the whole mask is used up.
        {"abcd", "abc", false, false},
        {"xaybzc", "*a*b*c", false, true},
        {"xaybz", "*a*b*c", false, false},
        {"setup.EXE", "*.exe", true, true},
        {"setup.EXE", "*.exe", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.mask);
        EXPECT_EQ(MatchesMask(c.name, c.mask, c.ignoreCase), c.expected);
    }
}

TEST(StrUtilsMask, ManyStarsStayCheap) {
    const std::string name(4000, 'a');
    std::string mask;
    for (int i = 0; i < 2000; ++i) mask += "*a";
    EXPECT_FALSE(MatchesMask(name, mask + "*b", false));
    EXPECT_TRUE(MatchesMask(name, mask, false));
    EXPECT_FALSE(MatchesMask(name, "?" + mask + "?*b", false));
    EXPECT_EQ(WildcardPos(std::string(2000, '?') + "b", name), 0);
}

TEST(StrUtilsLines, SetValue) {
    std::vector<std::string> lines = {"A=1", "b=2", "B=3", "flag"};
    SetValue(lines, "B", "x");
    SetValue(lines, "FLAG", "1");
    SetValue(lines, "c", "");
    const std::vector<std::string> expected = {"A=1", "B=x", "B=3", "FLAG=1", "c="};
    EXPECT_EQ(lines, expected);
}

TEST(StrUtilsNumbers, TryStrToInt) {
    struct Case { const char* text; bool ok; int32_t value; };
    const Case cases[] = {
        {"0", true, 0},
        {"123", true, 123},
        {"  42", true, 42},
        {"+7", true, 7},
        {"-7", true, -7},
        {"-0", true, 0},
        {"0000000000012", true, 12},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$FF", true, 255},
        {"$ff", true, 255},
        {"-$10", true, -16},
        {" +$A", true, 10},
        {"$FFFFFFFF", true, -1},
        {"$80000000", true, INT32_MIN},
        {"$100000000", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"-$", false, 0},
        {"12 ", false, 0},
        {"1x", false, 0},
        {"\t5", false, 0},
        {"- 5", false, 0},
        {"$-5", false, 0},
        {"$G", false, 0},
        {"12$", false, 0},
        {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t value = 12345;
        EXPECT_EQ(TryStrToInt(c.text, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(StrUtilsNumbers, ParseNumber) {
    struct Case { const char* text; int32_t expected; };
    const int32_t def = 77;
    const Case cases[] = {
        {"4294967295", -1},
        {"2147483648", INT32_MIN},
        {"3000000000", static_cast<int32_t>(3000000000u)},
        {"-1", -1},
        {"$10", 16},
        {" 7", 7},
        {"7", 7},
        {"12x", def},
        {"x", def},
        {"", def},
        {"1 ", def},
        {"42949672950", def},
        {"429496729+", def},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseNumber(c.text, def), c.expected);
    }
}

TEST(StrUtilsNumbers, HexToIntAndIntToBase) {
    struct Hex { const char* text; int32_t expected; };
    const Hex hexes[] = {
        {"FF", 255}, {"ff", 255}, {"$10", 16}, {"-$1", -1}, {"FFFFFFFF", -1},
        {"G", 0}, {"", 0}, {"x$1", 0}, {"100000000", 0},
    };
    for (const Hex& h : hexes) {
        SCOPED_TRACE(h.text);
        EXPECT_EQ(HexToInt(h.text), h.expected);
    }

    struct Base { int64_t value; int digits; int base; const char* expected; };
    const Base bases[] = {
        {255, 0, 16, "FF"},
        {255, 4, 16, "00FF"},
        {0, 0, 10, "0"},
        {0, 3, 2, "000"},
        {5, 1, 2, "101"},
        {10, 4, 10, "0010"},
        {35, 0, 36, "Z"},
        {4294967295, 0, 16, "FFFFFFFF"},
        {-1, 5, 10, ""},
    };
    for (const Base& b : bases) {
        SCOPED_TRACE(b.expected);
        EXPECT_EQ(IntToBase(b.value, b.digits, b.base), b.expected);
    }
}

TEST(StrUtilsCase, SystemCodePageComparison) {
    EXPECT_TRUE(SameText("Abc", "aBC"));
    EXPECT_FALSE(SameText("ab", "abc"));
    EXPECT_FALSE(SameText("ab", "ac"));
    EXPECT_EQ(AnsiUpperCase("mIx3d"), "MIX3D");
    EXPECT_EQ(AnsiUpper('q'), 'Q');
    EXPECT_EQ(CompareText("ab", "AB"), 0);
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_GT(CompareText("abc", "ab"), 0);
    // Bytes above 0x7F order after ASCII letters.
    EXPECT_GT(CompareText("\xE9", "z"), 0);
}

TEST(StrUtilsCase, LocaleComparisonOfTextsWithoutData) {
    // An empty view may carry no pointer; the system refuses to compare such
    // a text, and that must not make it equal to every other.
    EXPECT_NE(platform::CompareTextLocale(std::string_view(), "abc"), 0);
    EXPECT_NE(platform::CompareTextLocale("abc", std::string_view()), 0);
    EXPECT_EQ(platform::CompareTextLocale(std::string_view(), ""), 0);
    EXPECT_EQ(platform::CompareTextLocale("aBc", "AbC"), 0);
}

// Case rules of Shift-JIS (932): natively by choice, on Windows only where
// the system runs that code page. In 932 the second byte of a double-byte
// character may be an ASCII letter (0x83 0x41 and 0x83 0x61 are two
// different katakana) or a backslash (0x95 0x5C), and 0xE0..0xFC lead
// double-byte characters instead of being accented letters.
class DoubleByteCase : public test::CodePage932Test {};

TEST_F(DoubleByteCase, ComparisonLeavesSecondBytesAlone) {
    struct Case { const char* a; const char* b; bool same; };
    const Case cases[] = {
        {"\x83\x61", "\x83\x41", false},
        {"a\x83\x7A", "A\x83\x5A", false},
        {"\x82\x71.ini", "\x82\x51.INI", false},
        {"\xE0\x61", "\xC0\x41", false},  // accented letters in 1252
        {"\xE0\x61", "\xE0\x41", false},
        {"\x83", "\x83\x41", false},
        {"abc\x83\x41", "ABC\x83\x41", true},
        {"\x83\x41x", "\x83\x41X", true},
        {"\x95\x5Cz", "\x95\x5CZ", true},
        {"x\x83", "X\x83", true},  // a lead byte that ends the text stands alone
        {"\xB1" "a", "\xB1" "A", true},  // half-width katakana: single bytes without case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(SameText(c.a, c.b), c.same);
        EXPECT_EQ(CompareText(c.a, c.b) == 0, c.same);
        EXPECT_EQ(CompareText(c.b, c.a) == 0, c.same);
        EXPECT_EQ(platform::CompareTextLocale(c.a, c.b) == 0, c.same);
        EXPECT_EQ(AnsiUpperCase(c.a) == AnsiUpperCase(c.b), c.same);
        EXPECT_EQ(IsWordInList(c.a, std::string("x,") + c.b, CharSet(","), false), c.same);
    }
    EXPECT_EQ(AnsiUpperCase("a\x83\x61" "b\xE0\x61"), "A\x83\x61" "B\xE0\x61");
    // Order stays a strict one: the second bytes decide between characters.
    EXPECT_GT(CompareText("\x83\x61", "\x83\x41"), 0);
    EXPECT_LT(CompareText("\x83\x41", "\x83\x61"), 0);
}

TEST_F(DoubleByteCase, ReplaceMatchesWholeCharacters) {
    struct Case { const char* text; const char* pattern; bool ignoreCase; const char* expected; };
    const Case cases[] = {
        {"\x83\x41", "\x83\x61", true, "\x83\x41"},
        {"\x83\x41", "\x81\x41", true, "\x83\x41"},  // 0x83 is a small letter in 1251
        {"\x83\x41" "a", "A", true, "\x83\x41-"},
        {"\x83\x41" "A", "A", false, "\x83\x41-"},
        {"\x83||", "||", false, "\x83||"},
        {"\x83|||", "||", false, "\x83|-"},
        {"a\x83\x7C||b", "||", false, "a\x83\x7C-b"},
        {"\x83\x41\x83\x41", "\x41\x83", false, "\x83\x41\x83\x41"},
        {"\x83\x41\x83\x41", "\x83", false, "\x83\x41\x83\x41"},  // half a character
        {"%\x83\x41%\xE0", "%\x83\x41%\xE0", true, "-"},
        {"\xB3x", "\xB2X", true, "-"},  // single bytes still by the 1251 table
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.pattern);
        EXPECT_EQ(c.ignoreCase ? ReplaceAllNoCase(c.text, c.pattern, "-") : ReplaceAll(c.text, c.pattern, "-"),
                  c.expected);
    }
    EXPECT_EQ(UpperCase1251Text("a\x83\x61\xE0"), "A\x83\x61\xE0");
}

TEST_F(DoubleByteCase, MasksMatchWholeCharacters) {
    struct Case { const char* name; const char* mask; bool ignoreCase; bool expected; };
    const Case cases[] = {
        {"\x83\x41", "*a", true, false},  // the A is half of a katakana
        {"\x83\x41", "*A", false, false},
        {"\x83\x41" "A", "*a", true, true},
        {"\x83\x41", "?", false, true},  // one character of two bytes
        {"\x83\x41", "??", false, false},
        {"x\x83\x41y", "x?y", false, true},
        {"x\x83\x41y", "X??Y", true, false},
        {"\x95\x5C.txt", "*\\*", false, false},  // no backslash in this name
        {"dir\\\x95\x5C.txt", "DIR\\*.TXT", true, true},
        {"\x83\x61\x83\x61", "*\x83\x41*", true, false},
        {"\x83\x41\x83\x61", "*\x83\x61", true, true},
        {"\x83\x61.ini", "\x83\x41.INI", true, false},
        {"\x83\x41\x83\x41", "\x83*\x41", false, false},
        {"a\x83", "A?", true, true},  // a lead byte at the end is a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.mask);
        EXPECT_EQ(MatchesMask(c.name, c.mask, c.ignoreCase), c.expected);
    }
    EXPECT_EQ(WildcardPos("A", "\x83\x41" "A"), 3);
    EXPECT_EQ(WildcardPos("?A", "\x83\x41" "A"), 1);
    EXPECT_EQ(WildcardPos("\\", "\x95\x5C"), 0);
}

// A mistyped name finds what it meant; a word far from every candidate
// finds nothing.
TEST(kpStrUtils, ClosestName) {
    const std::vector<std::string_view> options = {"--compression", "--codepage", "--password", "--stub"};
    const struct {
        const char* word;
        const char* meant;
    } cases[] = {
        {"--compresion", "--compression"}, {"--COMPRESSION", "--compression"}, {"--pasword", "--password"},
        {"--stbu", "--stub"},              {"--threads", ""},                  {"-o", ""},
        {"Langauges", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ClosestName(c.word, options), c.meant) << c.word;
    EXPECT_EQ(ClosestName("Langauges", {"Languages", "Language"}), "Languages");
    EXPECT_EQ(ClosestName("Uninstal", {"Uninstall", "UninstallKey"}), "Uninstall");
    EXPECT_EQ(ClosestName("x", {}), "");
}

}  // namespace
}  // namespace brik
