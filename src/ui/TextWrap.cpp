#include "ui/TextWrap.h"

#include <algorithm>

#include "util/kpStrUtils.h"

namespace brik {

std::string WrapText(std::string_view text, int width, const TextMeasure& measure) {
    const CharSet blank(" ");
    const int words = TokenCount(text, blank);
    std::string result;
    std::string line;
    for (int i = 1; i <= words; ++i) {
        const std::string word = TokenAt(i, text, blank);
        std::string candidate = line;
        if (!candidate.empty()) candidate += ' ';
        candidate += word;
        if (line.empty() || measure(candidate) <= width) {
            line = std::move(candidate);
        } else {
            result += line;
            result += "\r\n";
            line = word;
        }
    }
    result += line;
    return result;
}

int CountTextLines(std::string_view wrapped) { return TokenCount(wrapped, CharSet("\r")); }

VerticalSpan AlignTextVertically(int top, int bottom, int lineHeight, int lines, int code) {
    const int gap = std::max((bottom - top - lineHeight * lines) / 2, 0);
    switch (code) {
        case kAlignMiddle: return {top + gap, bottom - gap};
        case kAlignBottom: return {top + 2 * gap, bottom};
        default: return {top, bottom};
    }
}

}  // namespace brik
