#include "util/Lz.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace brik {
namespace {

std::string Expand(const std::string& packed, bool* ok = nullptr) {
    const auto* data = reinterpret_cast<const uint8_t*>(packed.data());
    const int64_t size = LzExpandedSize(data, packed.size());
    std::string out(size < 0 ? 0 : static_cast<size_t>(size), '\0');
    const bool expanded = size >= 0 && LzExpand(data, packed.size(), reinterpret_cast<uint8_t*>(out.data()), out.size());
    if (ok != nullptr) *ok = expanded;
    return expanded ? out : std::string("<damaged>");
}

std::string Random(size_t size, uint32_t seed, int alphabet = 256) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random() % static_cast<uint32_t>(alphabet));
    return out;
}

// Code-like data: short repeats at many distances, runs of zeros, distances
// past 256 and past 64 KB, matches that overlap themselves.
std::string Mixed() {
    std::string out = Random(300, 1, 16);
    out += std::string(5000, '\0');
    for (int i = 0; i < 200; ++i) out += Random(7, static_cast<uint32_t>(i % 13), 256) + "\x8B\x45\x08";
    out += Random(70000, 7);
    out += out.substr(10, 4000);  // a match over 64 KB back
    out += "abcabcabcabcabcabcabcabcabc";
    return out;
}

TEST(Lz, RoundTripsEveryShapeAndShrinksWhatRepeats) {
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"two equal bytes", "zz"},
        {"a run", std::string(100000, 'a')},
        {"random", Random(20000, 42)},
        {"text", std::string("The quick brown fox jumps over the lazy dog. ") + "The quick brown fox jumps again."},
        {"mixed", Mixed()},
    };
    for (const auto& c : cases) {
        const std::string packed = LzCompress(c.data);
        EXPECT_EQ(Expand(packed), c.data) << c.what;
        EXPECT_LE(packed.size(), kLzHeaderSize + c.data.size() * 9 / 8 + 2) << c.what;
    }
    EXPECT_LT(LzCompress(std::string(100000, 'a')).size(), 64u);
    // Random bytes cost a ninth more; the zeros and repeats around them
    // pay for that and more.
    EXPECT_LT(LzCompress(Mixed()).size(), Mixed().size());
}

// The engine expands what its own build packed, but a damaged image must
// still end in a refusal, never in a read or write out of bounds (the
// sanitizer build holds this).
TEST(Lz, DamagedStreamsAreRefused) {
    const std::string data = Mixed().substr(0, 9000);
    const std::string packed = LzCompress(data);
    bool ok = true;
    Expand("BLZ0" + packed.substr(4), &ok);
    EXPECT_FALSE(ok) << "wrong magic";
    Expand(packed.substr(0, 5), &ok);
    EXPECT_FALSE(ok) << "no header";
    for (size_t cut : {kLzHeaderSize, packed.size() / 2, packed.size() - 1}) {
        Expand(packed.substr(0, cut), &ok);
        EXPECT_FALSE(ok) << "cut at " << cut;
    }
    // A size that disagrees with the tokens.
    std::string wrongSize = packed;
    wrongSize[4] = static_cast<char>(wrongSize[4] + 1);
    Expand(wrongSize, &ok);
    EXPECT_FALSE(ok) << "size one more";
    // A match before anything was written, and an endless gamma code.
    const std::string header = std::string(kLzMagic, 4) + std::string("\x10\0\0\0", 4);
    Expand(header + std::string("\xC0\x00", 2), &ok);
    EXPECT_FALSE(ok) << "repeat with no distance";
    Expand(header + std::string(64, '\xFF'), &ok);
    EXPECT_FALSE(ok) << "endless gamma";
    // Every single flipped byte: refused or expanded, never more.
    for (size_t i = kLzHeaderSize; i < packed.size(); i += 7) {
        std::string flipped = packed;
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
        Expand(flipped);
    }
}

}  // namespace
}  // namespace brik
