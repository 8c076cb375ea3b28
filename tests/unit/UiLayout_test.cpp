#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/BackgroundLayout.h"
#include "ui/GradientBands.h"
#include "ui/Placement.h"
#include "ui/TextWrap.h"

namespace brik {
namespace {

using Bands = std::vector<GradientBand>;

TEST(UiGradientBands, BandSpansAndColours) {
    struct Case {
        const char* what;
        int start, length;
        uint32_t first, second;
        int direction, bands;
        Bands expected;
    };
    const Case cases[] = {
        {"empty span", 0, 0, 0x0000FF, 0xFF0000, 0, 10, {}},
        {"one band: solid first colour", 5, 20, 0x123456, 0xFF0000, 1, 1, {{5, 25, 0x123456}}},
        {"no bands asked", 0, 7, 0xABCDEF, 0, 0, 0, {{0, 7, 0xABCDEF}}},
        {"halves go to the even neighbour", 0, 5, 0x000000, 0x0000FF, 0, 2,
         {{0, 3, 0x000000}, {2, 5, 0x000080}}},
        {"offset start, halves to even", 1, 3, 0x000000, 0x0000FF, 2, 2,
         {{1, 3, 0x000000}, {2, 5, 0x000080}}},
        {"more bands than pixels: at least 2", 0, 1, 0x000000, 0x00FF00, 0, 5,
         {{0, 1, 0x000000}, {0, 1, 0x008000}}},
        {"reversed: from the second colour", 0, 4, 0x0000FF, 0xFF0000, 1, 2,
         {{0, 3, 0xFF0000}, {2, 5, 0x7F0080}}},
        {"left to right, reversed", 10, 4, 0x0000FF, 0xFF0000, 3, 2,
         {{10, 13, 0xFF0000}, {12, 15, 0x7F0080}}},
        {"falling channel rounds away from zero", 0, 2, 0x0000FF, 0x000000, 0, 2,
         {{0, 2, 0x0000FF}, {1, 3, 0x00007F}}},
        {"three channels at once", 0, 3, 0x102030, 0x403020, 2, 3,
         {{0, 2, 0x102030}, {1, 3, 0x20252B}, {2, 4, 0x302B25}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(GradientBands(c.start, c.length, c.first, c.second, c.direction, c.bands),
                  c.expected);
    }
}

TEST(UiGradientBands, BackgroundExample) {
    // 90 rows from black to blue in 30 bands of 3 rows.
    const Bands bands = GradientBands(0, 90, 0x000000, 0xFF0000, 0, 30);
    ASSERT_EQ(bands.size(), 30u);
    EXPECT_EQ(bands[0], (GradientBand{0, 4, 0x000000}));
    EXPECT_EQ(bands[1].from, 3);
    EXPECT_EQ(bands[15], (GradientBand{45, 49, 128u << 16}));
    // The last band stops short of the end colour and reaches one row past.
    EXPECT_EQ(bands[29], (GradientBand{87, 91, 247u << 16}));

    EXPECT_EQ(GradientBands(0, 300, 0, 0xFFFFFF, 0, 1000).size(), 300u);
    EXPECT_EQ(GradientBands(0, 300, 0, 0xFFFFFF, 2, 100).size(), 100u);
}

TEST(UiGradientBands, BandsCoverTheSpanWithoutGaps) {
    for (int length : {1, 2, 3, 7, 90, 301, 1024}) {
        for (int count : {2, 3, 7, 30, 256, 5000}) {
            SCOPED_TRACE(std::to_string(length) + " px, " + std::to_string(count) + " bands");
            const Bands bands = GradientBands(-3, length, 0, 0xFFFFFF, 0, count);
            ASSERT_FALSE(bands.empty());
            EXPECT_EQ(bands.front().from, -3);
            EXPECT_GE(bands.back().to, length - 3);
            for (size_t i = 1; i < bands.size(); ++i) {
                EXPECT_LE(bands[i].from, bands[i - 1].to) << "gap before band " << i;
                EXPECT_GE(bands[i].from, bands[i - 1].from) << "band " << i << " goes back";
            }
        }
    }
}

TEST(UiGradientBands, MulDivRoundsLikeTheSystem) {
    struct Case { int a, b, c, expected; };
    const Case cases[] = {
        {15, 255, 30, 128}, {1, 255, 2, 128}, {1, -255, 2, -128}, {-1, -1, 2, 1},
        {2, 3, -4, -2},     {1, 1, 3, 0},     {2, 1, 3, 1},       {7, 3, 0, 0},
        {0x7FFFFFFF, 2, 4, 0x3FFFFFFF + 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDivRound(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
    }
}

// Ten pixels per character, so widths are easy to follow.
int TenPerChar(std::string_view s) { return static_cast<int>(s.size()) * 10; }

TEST(UiTextWrap, GreedyLinesAtBlanks) {
    struct Case { const char* text; int width; const char* expected; };
    const Case cases[] = {
        {"a b", 15, "a\r\nb"},
        {"a b", 29, "a\r\nb"},
        {"a b", 30, "a b"},
        {"", 100, ""},
        {"     ", 100, ""},
        {"   lead  and   trail  ", 1000, "lead and trail"},
        {"one two three four", 70, "one two\r\nthree\r\nfour"},
        {"supercalifragilistic short", 50, "supercalifragilistic\r\nshort"},
        {"short supercalifragilistic", 50, "short\r\nsupercalifragilistic"},
        {"a b c", 0, "a\r\nb\r\nc"},
        {"tab\tstays\r\ninside", 1000, "tab\tstays\r\ninside"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WrapText(c.text, c.width, TenPerChar), c.expected)
            << '"' << c.text << "\" in " << c.width << " px";
    }
}

TEST(UiTextWrap, LinesAndVerticalPlacement) {
    EXPECT_EQ(CountTextLines(""), 0);
    EXPECT_EQ(CountTextLines("one"), 1);
    EXPECT_EQ(CountTextLines("a\r\nb\r\nc"), 3);

    struct Case { int top, bottom, lineHeight, lines, code; VerticalSpan expected; };
    const Case cases[] = {
        {0, 100, 13, 2, kAlignTop, {0, 100}},
        {0, 100, 13, 2, kAlignMiddle, {37, 63}},
        {0, 100, 13, 2, kAlignBottom, {74, 100}},
        {10, 30, 13, 2, kAlignMiddle, {10, 30}},  // shorter than the text: starts at the top
        {10, 30, 13, 2, kAlignBottom, {10, 30}},
        {0, 11, 10, 1, kAlignMiddle, {0, 11}},
        {0, 100, 13, 2, 7, {0, 100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AlignTextVertically(c.top, c.bottom, c.lineHeight, c.lines, c.code), c.expected)
            << c.top << ".." << c.bottom << ", " << c.lines << " x " << c.lineHeight
            << ", code " << c.code;
    }
}

TEST(UiPlacement, CentredInTheWorkAreaAndKeptOnScreen) {
    struct Case { ScreenRect work; int screenW, screenH, w, h; ScreenPoint centred, placed; };
    const Case cases[] = {
        {{0, 0, 1024, 738}, 1024, 768, 200, 100, {412, 319}, {412, 319}},
        {{0, 30, 1024, 768}, 1024, 768, 201, 101, {411, 348}, {411, 348}},
        // Wider than the work area: halves truncate toward zero, then the
        // window is pulled back onto the screen.
        {{0, 0, 100, 100}, 100, 100, 105, 20, {-2, 40}, {0, 40}},
        {{50, 0, 1074, 768}, 1024, 768, 1000, 700, {62, 34}, {24, 34}},
        {{0, 0, 640, 480}, 640, 480, 700, 500, {-30, -10}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        EXPECT_EQ(CenterIn(c.work, c.w, c.h), c.centred);
        EXPECT_EQ(CenterInWorkArea(c.work, c.screenW, c.screenH, c.w, c.h), c.placed);
    }
}

TEST(UiPlacement, MessageTextWidthBetween50And300) {
    const std::pair<int, int> cases[] = {{0, 50}, {49, 50}, {50, 50}, {173, 173},
                                         {300, 300}, {301, 300}, {5000, 300}, {-4, 50}};
    for (auto [text, expected] : cases) EXPECT_EQ(MessageTextWidth(text), expected) << text;
}

TEST(UiBackground, StaticBitmapLines) {
    struct Case { const char* value; StaticBitmapPlace place; };
    const Case cases[] = {
        {"corner.bmp,10,10,3,$FF00FF", {"corner.bmp", 10, 10, kAnchorBottomRight, 0xFF00FF}},
        {"a.bmp", {"a.bmp", 0, 0, kAnchorTopLeft, -1}},
        {"a.bmp, 5, 7, 2", {"a.bmp", 5, 7, kAnchorBottom, -1}},
        // Fields that are no numbers keep their defaults.
        {"a.bmp,left,top,x,none", {"a.bmp", 0, 0, kAnchorTopLeft, -1}},
        {"a.bmp,-4,$10,1,0", {"a.bmp", -4, 16, kAnchorRight, 0}},
        {"'my logo.bmp',1,2", {"my logo.bmp", 1, 2, kAnchorTopLeft, -1}},
        {",1,2,3,4", {"", 1, 2, kAnchorBottomRight, 4}},
        {"", {}},
    };
    for (const Case& c : cases) {
        const StaticBitmapPlace place = ParseStaticBitmap(c.value);
        EXPECT_EQ(place, c.place) << c.value << ": " << place.file << "," << place.x << "," << place.y
                                << "," << place.anchor << "," << place.transparent;
    }
    EXPECT_TRUE(ParseStaticBitmap("a.bmp,1,1,0,-1").Opaque());
    // Black is a transparent colour like any other.
    EXPECT_FALSE(ParseStaticBitmap("a.bmp,1,1,0,0").Opaque());
}

TEST(UiBackground, StaticBitmapAnchors) {
    struct Case { int x, y, anchor; ScreenPoint at; };
    // A 40 x 30 bitmap in an 800 x 600 client area.
    const Case cases[] = {
        {10, 10, kAnchorTopLeft, {10, 10}},
        {10, 10, kAnchorRight, {750, 10}},
        {10, 10, kAnchorBottom, {10, 560}},
        {10, 10, kAnchorBottomRight, {750, 560}},
        {0, 0, kAnchorBottomRight, {760, 570}},
        {-5, -5, kAnchorBottomRight, {765, 575}},
        // Unknown anchors count from the top-left corner.
        {10, 10, 4, {10, 10}},
        {10, 10, -1, {10, 10}},
        // Extreme settings do not wrap around.
        {INT32_MIN, 0, kAnchorRight, {INT32_MAX, 0}},
    };
    for (const Case& c : cases) {
        StaticBitmapPlace place{"b.bmp", c.x, c.y, c.anchor, -1};
        EXPECT_EQ(StaticBitmapOrigin(place, 800, 600, 40, 30), c.at) << c.x << "," << c.y << " anchor " << c.anchor;
    }
    // The anchored corner follows the client's edges when it is resized.
    const StaticBitmapPlace corner{"b.bmp", 10, 10, kAnchorBottomRight, -1};
    EXPECT_EQ(StaticBitmapOrigin(corner, 1024, 738, 40, 30), (ScreenPoint{974, 698}));
}

TEST(UiBackground, TilesCoverTheClientArea) {
    struct Case { int clientW, clientH, bitmapW, bitmapH; TileGrid grid; };
    const Case cases[] = {
        {800, 600, 100, 100, {9, 7}},   // exact multiples: one spare column and row
        {801, 599, 100, 100, {9, 6}},
        {50, 50, 100, 100, {1, 1}},     // one tile larger than the client
        {800, 600, 1, 1, {801, 601}},
        {0, 600, 100, 100, {}},
        {800, 600, 0, 100, {}},
        {800, 600, 100, -1, {}},
    };
    for (const Case& c : cases) {
        const TileGrid grid = BackgroundTiles(c.clientW, c.clientH, c.bitmapW, c.bitmapH);
        EXPECT_EQ(grid, c.grid) << c.clientW << "x" << c.clientH << " by " << c.bitmapW << "x" << c.bitmapH;
        if (grid.columns > 0) {
            EXPECT_GE(grid.columns * c.bitmapW, c.clientW);
            EXPECT_GE(grid.rows * c.bitmapH, c.clientH);
        }
    }
}

TEST(UiBackground, GradientOfTheBackground) {
    // One band per three rows; the default colours from black to $FF8000.
    EXPECT_EQ(BackgroundGradientBands(738), 246);
    EXPECT_EQ(BackgroundGradientBands(5), 1);
    const Bands bands = GradientBands(0, 738, 0x000000, 0xFF8000, kGradientDown, BackgroundGradientBands(738));
    ASSERT_EQ(bands.size(), 246u);
    EXPECT_EQ(bands.front().color, 0x000000u);
    // The last band stops one step short of the bottom colour.
    EXPECT_EQ(bands.back().color, 0xFE7F00u);
    EXPECT_EQ(bands.back().to, 739);
}

}  // namespace
}  // namespace brik
