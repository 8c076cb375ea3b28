#include "util/kpStrUtils.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <utility>

#include "util/Platform.h"

namespace brik {

namespace {

constexpr char kSingleQuote = '\'';
constexpr char kDoubleQuote = '"';

bool IsQuote(char c) { return c == kSingleQuote || c == kDoubleQuote; }

// Positions handed out as int; texts never come near 2 GB, but a clamp keeps
// the conversion defined whatever happens.
int ToPosition(size_t index) {
    constexpr size_t kMax = static_cast<size_t>(std::numeric_limits<int>::max());
    return index + 1 > kMax ? std::numeric_limits<int>::max() : static_cast<int>(index + 1);
}

// Tracks which quote, if any, the walk is inside: a quote opens a run that
// only the same quote closes, so a doubled quote closes and reopens it.
class QuoteState {
public:
    // Returns true when `c` is to be read as plain text (outside any quotes and
    // not a quote itself).
    bool Step(char c) {
        if (open_ != '\0') {
            if (c == open_) open_ = '\0';
            return false;
        }
        if (IsQuote(c)) {
            open_ = c;
            return false;
        }
        return true;
    }
    bool Inside() const { return open_ != '\0'; }

private:
    char open_ = '\0';
};

// A delimiter outside quotes ends a field, even a quote character that the
// caller chose as delimiter; inside quotes only the closing quote matters.
bool SeparatesField(QuoteState& state, char c, const CharSet& delims) {
    if (!state.Inside() && delims.contains(c)) return true;
    state.Step(c);
    return false;
}

// The fixed upper-case table of Windows code page 1251: ASCII and the
// Cyrillic letters of that code page. Built at compile time so that the
// result never depends on the machine's code page.
constexpr std::array<unsigned char, 256> MakeUpper1251() {
    std::array<unsigned char, 256> t{};
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<unsigned char>(i);
    for (size_t i = 'a'; i <= 'z'; ++i) t[i] = static_cast<unsigned char>(i - 0x20);
    for (size_t i = 0xE0; i <= 0xFF; ++i) t[i] = static_cast<unsigned char>(i - 0x20);
    constexpr unsigned char pairs[][2] = {
        {0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
        {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xB3, 0xB2}, {0xB4, 0xA5},
        {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF},
    };
    for (const auto& p : pairs) t[p[0]] = p[1];
    return t;
}

constexpr std::array<unsigned char, 256> kUpper1251 = MakeUpper1251();

// The system code page's case rules, fetched once per folding call.
struct CaseRules {
    const unsigned char* upper = platform::AnsiUpperTable();
    const bool* lead = platform::AnsiLeadTable();

    bool IsLead(char c) const { return lead[static_cast<unsigned char>(c)]; }
    unsigned char Upper(char c) const { return upper[static_cast<unsigned char>(c)]; }
    // Bytes of the character at `at`: a lead byte takes the byte after it
    // along, unless it is the text's last.
    size_t CharSize(std::string_view s, size_t at) const {
        return at + 1 < s.size() && IsLead(s[at]) ? 2 : 1;
    }
};

// Shared by the case-sensitive and the 1251 replace: `haystack` and `needle`
// are the forms compared, `text` the one copied; the haystack has the text's
// length and its double-byte characters. A hit that starts or ends inside a
// character is none.
std::string ReplaceIn(std::string_view text, std::string_view haystack,
                      std::string_view needle, std::string_view replacement) {
    if (needle.empty()) return std::string(text);
    const CaseRules rules;
    std::string result;
    result.reserve(text.size());
    size_t from = 0;      // the text up to here is copied
    size_t search = 0;    // where the next search starts
    size_t boundary = 0;  // a character start, at most one character before `search`
    for (;;) {
        const size_t hit = haystack.find(needle, search);
        if (hit == std::string_view::npos) break;
        while (boundary < hit) boundary += rules.CharSize(text, boundary);
        size_t end = boundary;
        if (boundary == hit)
            while (end < hit + needle.size()) end += rules.CharSize(text, end);
        if (boundary != hit || end != hit + needle.size()) {
            search = hit + 1;
            continue;
        }
        result.append(text.substr(from, hit - from));
        result.append(replacement);
        from = search = boundary = end;
    }
    result.append(text.substr(from));
    return result;
}

// Matches a piece of a mask that holds no star at `at` of the text, which
// must be where a character starts. "?" stands for one character, whatever
// its size; a piece never matches half a character. Returns where the match
// ends, or npos.
size_t MatchPieceAt(const CaseRules& rules, std::string_view piece, std::string_view text, size_t at) {
    for (size_t p = 0; p < piece.size();) {
        if (at >= text.size()) return std::string_view::npos;
        const size_t textChar = rules.CharSize(text, at);
        if (piece[p] == '?') {
            at += textChar;
            ++p;
            continue;
        }
        const size_t pieceChar = rules.CharSize(piece, p);
        if (pieceChar != textChar || piece.substr(p, pieceChar) != text.substr(at, textChar))
            return std::string_view::npos;
        at += textChar;
        p += pieceChar;
    }
    return at;
}

// The first character position from `from` (a character start) where the
// piece matches; `end` receives where that match ends.
size_t FindWild(const CaseRules& rules, std::string_view piece, std::string_view text, size_t from,
                size_t& end) {
    for (size_t at = from; at <= text.size(); at += rules.CharSize(text, at)) {
        end = MatchPieceAt(rules, piece, text, at);
        if (end != std::string_view::npos) return at;
        if (at == text.size()) break;
    }
    return std::string_view::npos;
}

// The next star of a mask from `from`, walking characters so that the
// second byte of a double-byte character is never taken for one.
size_t NextStar(const CaseRules& rules, std::string_view mask, size_t from) {
    for (size_t i = from; i < mask.size(); i += rules.CharSize(mask, i))
        if (mask[i] == '*') return i;
    return std::string_view::npos;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int TokenCount(std::string_view text, const CharSet& delims) {
    int count = 0;
    bool inWord = false;
    for (char c : text) {
        const bool delim = delims.contains(c);
        if (!delim && !inWord && count < std::numeric_limits<int>::max()) ++count;
        inWord = !delim;
    }
    return count;
}

int TokenPosition(int n, std::string_view text, const CharSet& delims) {
    if (n <= 0) return 0;
    int count = 0;
    bool inWord = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool delim = delims.contains(text[i]);
        if (!delim && !inWord && ++count == n) return ToPosition(i);
        inWord = !delim;
    }
    return 0;
}

std::string TokenAt(int n, std::string_view text, const CharSet& delims) {
    const int pos = TokenPosition(n, text, delims);
    if (pos == 0) return {};
    const size_t start = static_cast<size_t>(pos - 1);
    size_t end = start;
    while (end < text.size() && !delims.contains(text[end])) ++end;
    return std::string(text.substr(start, end - start));
}

bool IsWordInList(std::string_view word, std::string_view list, const CharSet& delims,
                  bool caseSensitive) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && delims.contains(list[i])) ++i;
        const size_t start = i;
        while (i < list.size() && !delims.contains(list[i])) ++i;
        if (i == start) break;
        const std::string_view item = list.substr(start, i - start);
        if (caseSensitive ? item == word : SameText(item, word)) return true;
    }
    return false;
}

std::string FieldAt(int n, std::string_view text, const CharSet& delims) {
    if (n <= 0) return {};
    size_t i = 0;
    QuoteState skip;
    for (int seen = 0; seen < n - 1; ++i) {
        if (i >= text.size()) return {};
        if (SeparatesField(skip, text[i], delims)) ++seen;
    }
    const size_t start = i;
    QuoteState copy;
    while (i < text.size() && !SeparatesField(copy, text[i], delims)) ++i;
    return Unquote(text.substr(start, i - start), kSingleQuote);
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

std::string Unquote(std::string_view text, char quote) {
    if (text.empty() || text.front() != quote) return std::string(text);
    std::string result;
    result.reserve(text.size());
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                result += quote;
                ++i;
                continue;
            }
            break;
        }
        result += text[i];
    }
    return result;
}

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
    return ReplaceIn(text, text, pattern, replacement);
}

char UpperCase1251(char c) {
    return static_cast<char>(kUpper1251[static_cast<unsigned char>(c)]);
}

std::string UpperCase1251Text(std::string_view text) {
    const CaseRules rules;
    std::string result(text);
    for (size_t i = 0; i < result.size();) {
        if (rules.IsLead(result[i])) {
            i += 2;
            continue;
        }
        result[i] = UpperCase1251(result[i]);
        ++i;
    }
    return result;
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view pattern,
                             std::string_view replacement) {
    return ReplaceIn(text, UpperCase1251Text(text), UpperCase1251Text(pattern), replacement);
}

std::string RemoveChar(std::string_view text, char c) {
    std::string result;
    result.reserve(text.size());
    for (char ch : text) {
        if (ch != c) result += ch;
    }
    return result;
}

std::string RemoveBlanks(std::string_view text) {
    return RemoveChar(text, ' ');
}

std::string PadLeft(char fill, std::string_view text, size_t length) {
    if (text.size() >= length) return std::string(text);
    std::string result(length - text.size(), fill);
    result.append(text);
    return result;
}

std::string RightPart(std::string_view text, size_t n) {
    if (n >= text.size()) return std::string(text);
    return std::string(text.substr(text.size() - n));
}

int WildcardPos(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return 0;
    const CaseRules rules;
    size_t end = 0;
    const size_t at = FindWild(rules, pattern, text, 0, end);
    return at == std::string_view::npos ? 0 : ToPosition(at);
}

bool MatchesMask(std::string_view nameIn, std::string_view maskIn, bool ignoreCase) {
    std::string name = ignoreCase ? AnsiUpperCase(nameIn) : std::string(nameIn);
    std::string mask = ignoreCase ? AnsiUpperCase(maskIn) : std::string(maskIn);
    if (mask == name) return true;
    const CaseRules rules;

    // A run of stars means no more than one star; collapsing them also keeps
    // every piece between two stars non-empty.
    std::string collapsed;
    collapsed.reserve(mask.size());
    bool star = false;
    for (size_t i = 0; i < mask.size();) {
        const size_t size = rules.CharSize(mask, i);
        if (!(star && mask[i] == '*')) collapsed.append(mask, i, size);
        star = mask[i] == '*';
        i += size;
    }
    const std::string_view m = collapsed;
    const std::string_view n = name;

    // The part before the first star is anchored at the name's start.
    size_t mi = NextStar(rules, m, 0);
    size_t ni = MatchPieceAt(rules, m.substr(0, mi), n, 0);
    if (mi == std::string_view::npos) return ni == n.size();
    if (ni == std::string_view::npos) return false;

    // Each piece between stars takes its first occurrence; no backtracking,
    // so the work stays bounded by mask length times name length.
    for (;;) {
        ++mi;  // past the star
        if (mi == m.size()) return true;
        const size_t nextStar = NextStar(rules, m, mi);
        const std::string_view piece = m.substr(mi, nextStar == std::string_view::npos ? m.size() - mi
                                                                                         : nextStar - mi);
        if (nextStar == std::string_view::npos) {
            // The last piece must end where the name ends.
            for (size_t at = ni; at < n.size(); at += rules.CharSize(n, at))
                if (MatchPieceAt(rules, piece, n, at) == n.size()) return true;
            return false;
        }
        size_t end = 0;
        if (FindWild(rules, piece, n, ni, end) == std::string_view::npos) return false;
        ni = end;
        mi = nextStar;
    }
}

void SetValue(std::vector<std::string>& lines, std::string_view name, std::string_view value) {
    std::string line;
    line.reserve(name.size() + 1 + value.size());
    line.append(name).append("=").append(value);
    for (std::string& existing : lines) {
        if (SameText(NamePart(existing), name)) {
            existing = std::move(line);
            return;
        }
    }
    lines.push_back(std::move(line));
}

int32_t HexToInt(std::string_view text) {
    int32_t value = 0;
    bool ok = false;
    if (text.find('$') != std::string_view::npos) {
        ok = TryStrToInt(text, value);
    } else {
        std::string withPrefix = "$";
        withPrefix.append(text);
        ok = TryStrToInt(withPrefix, value);
    }
    return ok ? value : 0;
}

std::string IntToBase(int64_t value, int digits, int base) {
    if (value < 0 || base < 2 || base > 36) return {};
    std::string result;
    uint64_t rest = static_cast<uint64_t>(value);
    const auto b = static_cast<uint64_t>(base);
    do {
        const auto d = static_cast<int>(rest % b);
        result.insert(result.begin(), static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10));
        rest /= b;
    } while (rest != 0);
    if (digits > 0) result = PadLeft('0', result, static_cast<size_t>(digits));
    return result;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const bool hex = i < text.size() && text[i] == '$';
    if (hex) ++i;
    if (i == text.size()) return false;

    // Hexadecimal covers the full 32 bits as a bit pattern; decimal must fit
    // the signed range, the one extra step below zero included.
    const uint64_t base = hex ? 16 : 10;
    const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i]);
        if (d < 0 || static_cast<uint64_t>(d) >= base) return false;
        magnitude = magnitude * base + static_cast<uint64_t>(d);
        if (magnitude > limit) return false;
    }
    auto bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
}

int32_t ParseNumber(std::string_view text, int32_t defaultValue) {
    int32_t value = 0;
    if (TryStrToInt(text, value)) return value;
    // One digit too many for the signed range: the unsigned ten-digit values
    // that registry data is written with still arrive as their bit pattern.
    if (text.size() < 2) return defaultValue;
    int32_t head = 0;
    int32_t digit = 0;
    if (!TryStrToInt(text.substr(0, text.size() - 1), head)) return defaultValue;
    if (!TryStrToInt(text.substr(text.size() - 1), digit)) return defaultValue;
    const uint32_t bits = static_cast<uint32_t>(head) * 10u + static_cast<uint32_t>(digit);
    return static_cast<int32_t>(bits);
}

char AnsiUpper(char c) {
    return static_cast<char>(platform::AnsiUpperTable()[static_cast<unsigned char>(c)]);
}

std::string AnsiUpperCase(std::string_view text) {
    const CaseRules rules;
    std::string result(text);
    for (size_t i = 0; i < result.size();) {
        if (rules.IsLead(result[i])) {
            i += 2;  // both bytes of the character stay as they are
            continue;
        }
        result[i] = static_cast<char>(rules.Upper(result[i]));
        ++i;
    }
    return result;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

// A single byte never upper-cases to a lead byte, so where the folded bytes
// agree both texts have a character of the same size; the second byte of a
// double-byte character is compared as it is.
int CompareText(std::string_view a, std::string_view b) {
    const CaseRules rules;
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const int ua = rules.Upper(a[i]);
        const int ub = rules.Upper(b[i]);
        if (ua != ub) return ua - ub;
        if (rules.IsLead(a[i]) && i + 1 < common) {
            ++i;
            const int ta = static_cast<unsigned char>(a[i]);
            const int tb = static_cast<unsigned char>(b[i]);
            if (ta != tb) return ta - tb;
        }
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsSafeRelativePath(std::string_view name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
    // A colon is a drive ("C:x") or an alternate stream ("a:b") on Windows.
    if (name.find(':') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        // Windows ignores trailing dots and blanks, so "..." and ".. " climb too.
        size_t keep = part.find_last_not_of(". ");
        if (!part.empty() && keep == std::string_view::npos && part.find("..") != std::string_view::npos)
            return false;
        start = end + 1;
    }
    return true;
}

bool IsDeviceName(std::string_view component) {
    const size_t keep = component.find_last_not_of(". ");
    if (keep == std::string_view::npos) return false;
    std::string_view base = component.substr(0, keep + 1);
    base = base.substr(0, base.find('.'));
    const size_t blanks = base.find_last_not_of(' ');
    base = base.substr(0, blanks == std::string_view::npos ? 0 : blanks + 1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (SameText(base, device)) return true;
    if (base.size() != 4 || base[3] < '1' || base[3] > '9') return false;
    return SameText(base.substr(0, 3), "COM") || SameText(base.substr(0, 3), "LPT");
}

bool HasDeviceComponent(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        if (IsDeviceName(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

namespace {

char Folded(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Optimal string alignment distance.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = Folded(a[i - 1]) == Folded(b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && Folded(a[i - 1]) == Folded(b[j - 2]) && Folded(a[i - 2]) == Folded(b[j - 1]))
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

}  // namespace

std::string ClosestName(std::string_view word, const std::vector<std::string_view>& candidates) {
    const size_t limit = std::max<size_t>(1, word.size() / 3);
    size_t best = limit + 1;
    std::string_view found;
    for (std::string_view candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < best) {
            best = distance;
            found = candidate;
        }
    }
    return std::string(found);
}

}  // namespace brik
