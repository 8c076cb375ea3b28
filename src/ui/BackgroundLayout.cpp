#include "ui/BackgroundLayout.h"

#include <limits>

#include "util/kpStrUtils.h"

namespace brik {

namespace {

// A field that is absent or no number keeps its default: ParseNumber gives
// it back for both.
int32_t NumberField(int n, std::string_view value, int32_t defaultValue) {
    return ParseNumber(FieldAt(n, value, ","), defaultValue);
}

}  // namespace

StaticBitmapPlace ParseStaticBitmap(std::string_view value) {
    StaticBitmapPlace place;
    place.file = FieldAt(1, value, ",");
    place.x = NumberField(2, value, 0);
    place.y = NumberField(3, value, 0);
    place.anchor = NumberField(4, value, kAnchorTopLeft);
    place.transparent = NumberField(5, value, -1);
    return place;
}

ScreenPoint StaticBitmapOrigin(const StaticBitmapPlace& place, int clientWidth, int clientHeight,
                               int width, int height) {
    const bool fromRight = place.anchor == kAnchorRight || place.anchor == kAnchorBottomRight;
    const bool fromBottom = place.anchor == kAnchorBottom || place.anchor == kAnchorBottomRight;
    // In 64 bits: settings may hold any 32-bit number.
    auto edge = [](int64_t value) {
        if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
        if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
        return static_cast<int>(value);
    };
    return {fromRight ? edge(int64_t{clientWidth} - place.x - width) : place.x,
            fromBottom ? edge(int64_t{clientHeight} - place.y - height) : place.y};
}

TileGrid BackgroundTiles(int clientWidth, int clientHeight, int bitmapWidth, int bitmapHeight) {
    if (clientWidth <= 0 || clientHeight <= 0 || bitmapWidth <= 0 || bitmapHeight <= 0) return {};
    return {clientWidth / bitmapWidth + 1, clientHeight / bitmapHeight + 1};
}

}  // namespace brik
