// Small text formats shared by every reader of settings, language files and
// install scripts: words, quote-aware fields, name=value lines, wildcard masks
// and numbers. All strings are 8-bit ANSI text; positions are 1-based.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

// A set of byte values used as delimiters.
class CharSet {
public:
    CharSet() = default;
    CharSet(std::string_view chars) {  // NOLINT: implicit on purpose, CharSet(",") reads well
        for (char c : chars) bits_.set(static_cast<unsigned char>(c));
    }
    CharSet(const char* chars) : CharSet(std::string_view(chars)) {}  // NOLINT: TokenCount(t, ",")
    bool contains(char c) const { return bits_.test(static_cast<unsigned char>(c)); }
    CharSet& add(char c) { bits_.set(static_cast<unsigned char>(c)); return *this; }
private:
    std::bitset<256> bits_;
};

// Words: maximal runs of non-delimiters; delimiter runs count as one separator.
int TokenCount(std::string_view text, const CharSet& delims);
int TokenPosition(int n, std::string_view text, const CharSet& delims);
std::string TokenAt(int n, std::string_view text, const CharSet& delims);
bool IsWordInList(std::string_view word, std::string_view list, const CharSet& delims,
                  bool caseSensitive);

// Fields: every delimiter outside a quoted run separates, so empty fields count.
std::string FieldAt(int n, std::string_view text, const CharSet& delims);

// The text without the bytes up to and including the blank at both ends:
// control characters, tabs and line ends go with the blanks, as the engine
// reads every line and value. Bytes above 127 always stay.
std::string_view Trim(std::string_view text);

// How a line without "=" is named.
enum class LineWithoutEquals {
    IsAllName,  // lists of codes and names: the whole line
    HasNoName,  // INI section listings: an empty name
};
// The name of a "name=value" line: what stands before its first "=", as it
// stands (blanks included). Inline: expansion asks for it in its inner loop.
inline std::string_view NamePart(std::string_view line,
                                 LineWithoutEquals rule = LineWithoutEquals::IsAllName) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return rule == LineWithoutEquals::IsAllName ? line : std::string_view();
    return line.substr(0, eq);
}
// What follows the first "="; empty without one.
inline std::string_view ValuePart(std::string_view line) {
    const size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
}

std::string Unquote(std::string_view text, char quote);

// A match never starts or ends inside a double-byte character of the
// system's code page.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);
// Matches single bytes by the fixed code-page-1251 upper-case table whatever
// the system's code page, so that expansion behaves the same on every
// machine; double-byte characters of the system's code page match only as
// they are.
std::string ReplaceAllNoCase(std::string_view text, std::string_view pattern,
                             std::string_view replacement);
char UpperCase1251(char c);
// The text by that table, double-byte characters left as they are.
std::string UpperCase1251Text(std::string_view text);

std::string RemoveChar(std::string_view text, char c);
std::string RemoveBlanks(std::string_view text);
std::string PadLeft(char fill, std::string_view text, size_t length);
std::string RightPart(std::string_view text, size_t n);

int WildcardPos(std::string_view pattern, std::string_view text);
bool MatchesMask(std::string_view name, std::string_view mask, bool ignoreCase);

// Replaces the first line named `name` (ignoring case) or appends one.
void SetValue(std::vector<std::string>& lines, std::string_view name, std::string_view value);

int32_t HexToInt(std::string_view text);
std::string IntToBase(int64_t value, int digits, int base);

// Reads "[blanks][sign]digits" or "[blanks][sign]$hexdigits" as a signed
// 32-bit integer; false when the whole text is not such a number.
bool TryStrToInt(std::string_view text, int32_t& value);
int32_t ParseNumber(std::string_view text, int32_t defaultValue);

// A stored name that may be joined to a destination folder: not absolute, no
// drive, UNC or stream prefix, no ".." component. Names inside packages are
// data from outside, never paths to trust.
bool IsSafeRelativePath(std::string_view name);

// A name the system opens as a device whatever folder it is in: CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, with any extension, and with
// the dots and blanks Windows strips from the end of a name ("nul.txt",
// "Com1 .log", "aux. ."). Writing to one would print, hang on a port or
// throw the data away while the setup believes its file is in place.
bool IsDeviceName(std::string_view component);
// True when any folder or file name of a path is a device name.
bool HasDeviceComponent(std::string_view path);

// ANSI case mapping of the system code page (the platform supplies the table).
char AnsiUpper(char c);
std::string AnsiUpperCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// Of the candidates, the one a mistyped word most likely meant: the fewest
// single-character edits (insert, delete, replace, swap of two neighbours;
// letters compared without regard to case), at most a third of the word's
// length and at least one; empty when none is that close.
std::string ClosestName(std::string_view word, const std::vector<std::string_view>& candidates);

}  // namespace brik
