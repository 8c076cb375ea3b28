// Where message boxes, the message window and the logo go on the screen,
// apart from any window so that the arithmetic can be checked everywhere.
#pragma once

namespace brik {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;

    bool operator==(const ScreenPoint&) const = default;
};

// Top-left corner that centres a width x height window in the work area
// (halves truncated toward zero), without clamping.
ScreenPoint CenterIn(const ScreenRect& workArea, int width, int height);

// CenterIn, then moved left (up) until the right (bottom) edge is within the
// screen, then right (down) to 0 when the left (top) edge is below 0.
ScreenPoint CenterInWorkArea(const ScreenRect& workArea, int screenWidth, int screenHeight,
                             int width, int height);

// Width of the message window's text area for a text that is textWidth
// pixels wide on one line: at least 50 and at most 300 pixels.
int MessageTextWidth(int textWidth);

}  // namespace brik
