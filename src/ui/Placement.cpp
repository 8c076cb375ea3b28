#include "ui/Placement.h"

#include <algorithm>

namespace brik {

ScreenPoint CenterIn(const ScreenRect& workArea, int width, int height) {
    return {workArea.left + (workArea.right - workArea.left - width) / 2,
            workArea.top + (workArea.bottom - workArea.top - height) / 2};
}

ScreenPoint CenterInWorkArea(const ScreenRect& workArea, int screenWidth, int screenHeight,
                             int width, int height) {
    ScreenPoint p = CenterIn(workArea, width, height);
    if (p.x + width > screenWidth) p.x = screenWidth - width;
    if (p.x < 0) p.x = 0;
    if (p.y + height > screenHeight) p.y = screenHeight - height;
    if (p.y < 0) p.y = 0;
    return p;
}

int MessageTextWidth(int textWidth) { return std::clamp(textWidth, 50, 300); }

}  // namespace brik
