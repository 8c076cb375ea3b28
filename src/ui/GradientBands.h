// The band arithmetic of the stepped two-colour gradient, apart from any
// drawing so that it can be checked on every platform.
#pragma once

#include <cstdint>
#include <vector>

namespace brik {

// Gradient directions: 0 top to bottom from the first colour to the second,
// 1 top to bottom from the second to the first, 2 left to right from the
// first to the second, 3 left to right from the second to the first.
enum GradientDirection : int {
    kGradientDown = 0,
    kGradientUp = 1,
    kGradientRight = 2,
    kGradientLeft = 3,
};

// True for the directions whose bands are rows (0 and 1). Other values than
// 0 to 3 draw columns.
bool GradientIsVertical(int direction);

// One band along the gradient's axis: the half-open span [from, to) in
// device units and its colour (0x00BBGGRR).
struct GradientBand {
    int from = 0;
    int to = 0;
    uint32_t color = 0;

    bool operator==(const GradientBand&) const = default;
};

// The bands that fill the axis span [start, start + length) for two resolved
// colours. Fewer than 2 bands asked: one band of the first colour over the
// whole span. Otherwise min(bands, length) bands, at least 2, each
// overlapping the next by one unit; the last one reaches one unit past the
// span, as the background painting has always done. An empty span gives no
// bands.
std::vector<GradientBand> GradientBands(int start, int length, uint32_t first, uint32_t second,
                                        int direction, int bands);

// a * b / c rounded to the nearest integer, halves away from zero, the way
// the system's MulDiv rounds; 0 when c is 0.
int MulDivRound(int a, int b, int c);

}  // namespace brik
