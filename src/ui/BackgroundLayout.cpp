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

StaticBitmapSpec ParseStaticBitmap(std::string_view value) {
    StaticBitmapSpec spec;
    spec.file = FieldAt(1, value, ",");
    spec.x = NumberField(2, value, 0);
    spec.y = NumberField(3, value, 0);
    spec.anchor = NumberField(4, value, kAnchorTopLeft);
    spec.transparent = NumberField(5, value, -1);
    return spec;
}

ScreenPoint StaticBitmapOrigin(const StaticBitmapSpec& spec, int clientWidth, int clientHeight,
                               int width, int height) {
    const bool fromRight = spec.anchor == kAnchorRight || spec.anchor == kAnchorBottomRight;
    const bool fromBottom = spec.anchor == kAnchorBottom || spec.anchor == kAnchorBottomRight;
    // In 64 bits: settings may hold any 32-bit number.
    auto edge = [](int64_t value) {
        if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
        if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
        return static_cast<int>(value);
    };
    return {fromRight ? edge(int64_t{clientWidth} - spec.x - width) : spec.x,
            fromBottom ? edge(int64_t{clientHeight} - spec.y - height) : spec.y};
}

TileGrid BackgroundTiles(int clientWidth, int clientHeight, int bitmapWidth, int bitmapHeight) {
    if (clientWidth <= 0 || clientHeight <= 0 || bitmapWidth <= 0 || bitmapHeight <= 0) return {};
    return {clientWidth / bitmapWidth + 1, clientHeight / bitmapHeight + 1};
}

}  // namespace brik
