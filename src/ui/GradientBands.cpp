#include "ui/GradientBands.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace brik {

bool GradientIsVertical(int direction) {
    return direction == kGradientDown || direction == kGradientUp;
}

int MulDivRound(int a, int b, int c) {
    if (c == 0) return 0;
    int64_t num = static_cast<int64_t>(a) * b;
    int64_t den = c;
    if (den < 0) {
        num = -num;
        den = -den;
    }
    int64_t q = num >= 0 ? (num + den / 2) / den : (num - den / 2) / den;
    return static_cast<int>(q);
}

namespace {

int Channel(uint32_t color, int shift) { return static_cast<int>((color >> shift) & 0xFF); }

// Nearest integer, halves to the even neighbour (the FPU's default mode).
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

std::vector<GradientBand> GradientBands(int start, int length, uint32_t first, uint32_t second,
                                        int direction, int bands) {
    std::vector<GradientBand> out;
    if (length <= 0) return out;
    if (bands < 2) {
        out.push_back({start, start + length, first & 0xFFFFFF});
        return out;
    }
    const bool reversed = direction == kGradientUp || direction == kGradientLeft;
    const uint32_t from = reversed ? second : first;
    const uint32_t to = reversed ? first : second;
    const int n = std::max(std::min(bands, length), 2);
    const double size = static_cast<double>(length) / n;
    if (!(size > 0)) return out;

    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int bandStart = RoundEven(size * i + start);
        const int bandEnd = RoundEven(size + bandStart) + 1;
        uint32_t color = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int c0 = Channel(from, shift);
            const int value = c0 + MulDivRound(i, Channel(to, shift) - c0, n);
            color |= static_cast<uint32_t>(value & 0xFF) << shift;
        }
        out.push_back({bandStart, bandEnd, color});
    }
    return out;
}

}  // namespace brik
