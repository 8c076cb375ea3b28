// Where the background window puts its pieces: the static bitmaps of the
// settings with their anchors, the tiles of the background bitmap and the
// number of gradient bands, apart from any window so that the arithmetic can
// be checked everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/Placement.h"

namespace brik {

// Anchor codes of a static bitmap: which client edges x and y count from.
enum StaticBitmapAnchor : int {
    kAnchorTopLeft = 0,
    kAnchorRight = 1,   // x counts from the right edge
    kAnchorBottom = 2,  // y counts from the bottom edge
    kAnchorBottomRight = 3,
};

// The value of one [StaticBitmap] line: "file,x,y,anchor,transparent".
// Fields that are not numbers take their defaults (0, 0, 0, -1).
struct StaticBitmapPlace {
    std::string file;  // empty: the line draws nothing
    int x = 0;
    int y = 0;
    int anchor = kAnchorTopLeft;
    int32_t transparent = -1;  // -1: an opaque copy; else a colour value

    bool Opaque() const { return transparent == -1; }
    bool operator==(const StaticBitmapPlace&) const = default;
};

StaticBitmapPlace ParseStaticBitmap(std::string_view value);

// The top-left corner of a width x height bitmap in a client area of
// clientWidth x clientHeight. Anchors other than 1 to 3 count from the
// top-left corner.
ScreenPoint StaticBitmapOrigin(const StaticBitmapPlace& place, int clientWidth, int clientHeight,
                               int width, int height);

// Tiles of a background bitmap from the client's top-left corner: columns
// 0..columns-1 and rows 0..rows-1 cover the client area (the last ones
// reach past it). Nothing for an empty bitmap or client area.
struct TileGrid {
    int columns = 0;
    int rows = 0;

    bool operator==(const TileGrid&) const = default;
};
TileGrid BackgroundTiles(int clientWidth, int clientHeight, int bitmapWidth, int bitmapHeight);

// The background gradient's bands: one per three pixel rows of the client.
inline int BackgroundGradientBands(int clientHeight) { return clientHeight / 3; }

}  // namespace brik
