#include "crypto/Haval.h"

#include <algorithm>
#include <cstring>

namespace brik {

namespace {

constexpr uint8_t kPasses = 5;
constexpr uint8_t kVersion = 1;

// The order in which each pass reads the 32 message words.
constexpr uint8_t kWordOrder[kPasses][32] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
     16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31},
    {5, 14, 26, 18, 11, 28, 7, 16, 0, 23, 20, 22, 1, 10, 4, 8,
     30, 3, 21, 9, 17, 24, 29, 6, 19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9, 4, 20, 28, 17, 8, 22, 29, 14, 25, 12, 24, 30, 16, 26,
     31, 15, 7, 3, 1, 0, 18, 27, 13, 6, 21, 10, 23, 11, 5, 2},
    {24, 4, 0, 14, 2, 7, 28, 23, 26, 6, 30, 20, 18, 25, 19, 3,
     22, 11, 31, 21, 8, 27, 12, 9, 1, 29, 5, 15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0, 12, 7, 13, 8, 31, 10,
     5, 9, 14, 30, 18, 6, 28, 24, 2, 23, 16, 22, 4, 1, 25, 15},
};

// Pass constants: the fraction digits of pi that follow the initial chaining
// words. The first pass adds none.
constexpr uint32_t kPassConstants[kPasses][32] = {
    {},
    {0x452821E6, 0x38D01377, 0xBE5466CF, 0x34E90C6C, 0xC0AC29B7, 0xC97C50DD, 0x3F84D5B5, 0xB5470917,
     0x9216D5D9, 0x8979FB1B, 0xD1310BA6, 0x98DFB5AC, 0x2FFD72DB, 0xD01ADFB7, 0xB8E1AFED, 0x6A267E96,
     0xBA7C9045, 0xF12C7F99, 0x24A19947, 0xB3916CF7, 0x0801F2E2, 0x858EFC16, 0x636920D8, 0x71574E69,
     0xA458FEA3, 0xF4933D7E, 0x0D95748F, 0x728EB658, 0x718BCD58, 0x82154AEE, 0x7B54A41D, 0xC25A59B5},
    {0x9C30D539, 0x2AF26013, 0xC5D1B023, 0x286085F0, 0xCA417918, 0xB8DB38EF, 0x8E79DCB0, 0x603A180E,
     0x6C9E0E8B, 0xB01E8A3E, 0xD71577C1, 0xBD314B27, 0x78AF2FDA, 0x55605C60, 0xE65525F3, 0xAA55AB94,
     0x57489862, 0x63E81440, 0x55CA396A, 0x2AAB10B6, 0xB4CC5C34, 0x1141E8CE, 0xA15486AF, 0x7C72E993,
     0xB3EE1411, 0x636FBC2A, 0x2BA9C55D, 0x741831F6, 0xCE5C3E16, 0x9B87931E, 0xAFD6BA33, 0x6C24CF5C},
    {0x7A325381, 0x28958677, 0x3B8F4898, 0x6B4BB9AF, 0xC4BFE81B, 0x66282193, 0x61D809CC, 0xFB21A991,
     0x487CAC60, 0x5DEC8032, 0xEF845D5D, 0xE98575B1, 0xDC262302, 0xEB651B88, 0x23893E81, 0xD396ACC5,
     0x0F6D6FF3, 0x83F44239, 0x2E0B4482, 0xA4842004, 0x69C8F04A, 0x9E1F9B5E, 0x21C66842, 0xF6E96C9A,
     0x670C9C61, 0xABD388F0, 0x6A51A0D2, 0xD8542F68, 0x960FA728, 0xAB5133A3, 0x6EEF0B6C, 0x137A3BE4},
    {0xBA3BF050, 0x7EFB2A98, 0xA1F1651D, 0x39AF0176, 0x66CA593E, 0x82430E88, 0x8CEE8619, 0x456F9FB4,
     0x7D84A5C3, 0x3B8B5EBE, 0xE06F75D8, 0x85C12073, 0x401A449F, 0x56C16AA6, 0x4ED3AA62, 0x363F7706,
     0x1BFEDF72, 0x429B023D, 0x37D0D724, 0xD00A1248, 0xDB0FEAD3, 0x49F1C09B, 0x075372C9, 0x80991B7B,
     0x25D479D8, 0xF6E8DEF7, 0xE3FE501A, 0xB6794C3B, 0x976CE0BD, 0x04C006BA, 0xC1A94FB6, 0x409F60C4},
};

inline uint32_t Rotr(uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadLE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The Boolean functions, arguments in the order x6 ... x0.
inline uint32_t F1(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x1 & (x0 ^ x4)) ^ (x2 & x5) ^ (x3 & x6) ^ x0;
}
inline uint32_t F2(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x2 & ((x1 & ~x3) ^ (x4 & x5) ^ x6 ^ x0)) ^ (x4 & (x1 ^ x5)) ^ (x3 & x5) ^ x0;
}
inline uint32_t F3(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x3 & ((x1 & x2) ^ x6 ^ x0)) ^ (x1 & x4) ^ (x2 & x5) ^ x0;
}
inline uint32_t F4(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x4 & ((x5 & ~x2) ^ (x3 & ~x6) ^ x1 ^ x6 ^ x0)) ^ (x3 & ((x1 & x2) ^ x5 ^ x6)) ^
           (x2 & x6) ^ x0;
}
inline uint32_t F5(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                   uint32_t x0) {
    return (x0 & ((x1 & x2 & x3) ^ ~x5)) ^ (x1 & x4) ^ (x2 & x5) ^ (x3 & x6);
}

// One pass of 32 steps. In step i the register written is x7 = t[7 - i mod 8]
// and the others follow it downwards, x_k = t[k - i mod 8]; each pass feeds
// them to its Boolean function through the 5-pass permutation phi.
template <int Pass>
void RunPass(uint32_t t[8], const uint32_t w[32]) {
    for (unsigned i = 0; i < 32; ++i) {
        const unsigned s = i & 7;
        auto x = [t, s](unsigned k) { return t[(k - s) & 7]; };
        uint32_t f;
        if constexpr (Pass == 0) {
            f = F1(x(3), x(4), x(1), x(0), x(5), x(2), x(6));
        } else if constexpr (Pass == 1) {
            f = F2(x(6), x(2), x(1), x(0), x(3), x(4), x(5));
        } else if constexpr (Pass == 2) {
            f = F3(x(2), x(6), x(0), x(4), x(3), x(1), x(5));
        } else if constexpr (Pass == 3) {
            f = F4(x(1), x(5), x(3), x(2), x(0), x(4), x(6));
        } else {
            f = F5(x(2), x(5), x(0), x(6), x(4), x(3), x(1));
        }
        uint32_t& x7 = t[(7 - s) & 7];
        x7 = Rotr(f, 7) + Rotr(x7, 11) + w[kWordOrder[Pass][i]] + kPassConstants[Pass][i];
    }
}

}  // namespace

void THaval::Compress(uint32_t state[8], const uint8_t block[128]) {
    uint32_t w[32];
    for (unsigned i = 0; i < 32; ++i) w[i] = LoadLE(block + 4 * i);
    uint32_t t[8];
    std::copy(state, state + 8, t);
    RunPass<0>(t, w);
    RunPass<1>(t, w);
    RunPass<2>(t, w);
    RunPass<3>(t, w);
    RunPass<4>(t, w);
    for (unsigned i = 0; i < 8; ++i) state[i] += t[i];
}

void THaval::Init() {
    static constexpr uint32_t kInitial[8] = {0x243F6A88, 0x85A308D3, 0x13198A2E, 0x03707344,
                                             0xA4093822, 0x299F31D0, 0x082EFA98, 0xEC4E6C89};
    std::copy(kInitial, kInitial + 8, state_);
    bitCount_ = 0;
    pending_ = 0;
    std::memset(buffer_, 0, sizeof buffer_);
}

void THaval::CompressBuffer() {
    Compress(state_, buffer_);
    std::memset(buffer_, 0, sizeof buffer_);
    pending_ = 0;
}

void THaval::Update(const void* data, size_t size) {
    auto p = static_cast<const uint8_t*>(data);
    bitCount_ += static_cast<uint64_t>(size) * 8;
    while (size > 0) {
        if (pending_ == 0 && size >= sizeof buffer_) {
            Compress(state_, p);
            p += sizeof buffer_;
            size -= sizeof buffer_;
            continue;
        }
        const size_t n = std::min(sizeof buffer_ - pending_, size);
        std::memcpy(buffer_ + pending_, p, n);
        pending_ += n;
        p += n;
        size -= n;
        if (pending_ == sizeof buffer_) CompressBuffer();
    }
}

HavalDigest THaval::Final() {
    // The buffer past the pending bytes is always zero, which is the padding.
    const bool published = padding_ == HavalPadding::Published;
    buffer_[pending_] = published ? 0x01 : 0x80;
    const bool spills = published ? pending_ >= 118 : pending_ > 118;
    if (spills) CompressBuffer();
    buffer_[118] = static_cast<uint8_t>(((kOutputBits & 3) << 6) | (kPasses << 3) | kVersion);
    buffer_[119] = static_cast<uint8_t>(kOutputBits >> 2);
    for (unsigned i = 0; i < 8; ++i) buffer_[120 + i] = static_cast<uint8_t>(bitCount_ >> (8 * i));
    Compress(state_, buffer_);

    HavalDigest digest;
    for (unsigned i = 0; i < 32; ++i) digest[i] = static_cast<uint8_t>(state_[i / 4] >> (8 * (i % 4)));
    Init();
    return digest;
}

HavalDigest HavalHash(std::string_view text, HavalPadding padding) {
    THaval haval(padding);
    haval.Update(text);
    return haval.Final();
}

}  // namespace brik
