// Word wrapping and vertical placement of text, apart from any device
// context: the text measurer is passed in.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brik {

// Vertical alignment codes of aligned text drawing.
enum VerticalAlign : int { kAlignTop = 0, kAlignMiddle = 1, kAlignBottom = 2 };
// Horizontal alignment codes of aligned text drawing.
enum HorizontalAlign : int { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

// Width of a one-line text in pixels.
using TextMeasure = std::function<int(std::string_view)>;

// Breaks text into lines (joined by CR LF) at blanks, greedily: a word joins
// the current line while the line with a blank and the word is not wider than
// width. Runs of blanks count as one; a word wider than width keeps a line of
// its own and is never broken.
std::string WrapText(std::string_view text, int width, const TextMeasure& measure);

// Lines of a wrapped text: the non-empty pieces between carriage returns.
int CountTextLines(std::string_view wrapped);

// Top and bottom of a text rectangle moved for a vertical alignment code:
// the gap is (height - lineHeight * lines) / 2, at least 0; code 1 moves the
// top down and the bottom up by the gap, code 2 the top down by twice the gap,
// any other code leaves the rectangle alone.
struct VerticalSpan {
    int top = 0;
    int bottom = 0;

    bool operator==(const VerticalSpan&) const = default;
};
VerticalSpan AlignTextVertically(int top, int bottom, int lineHeight, int lines, int code);

}  // namespace brik
