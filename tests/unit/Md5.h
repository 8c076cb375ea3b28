// MD5 for comparing test output with published digests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace brik::test {

class Md5 {
public:
    void Update(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        length_ += size;
        while (size > 0) {
            size_t take = 64 - fill_ < size ? 64 - fill_ : size;
            std::memcpy(block_ + fill_, p, take);
            fill_ += take;
            p += take;
            size -= take;
            if (fill_ == 64) {
                Transform(block_);
                fill_ = 0;
            }
        }
    }

    std::string HexDigest() {
        uint64_t bits = length_ * 8;
        const uint8_t pad = 0x80;
        Update(&pad, 1);
        const uint8_t zero = 0;
        while (fill_ != 56) Update(&zero, 1);
        uint8_t len[8];
        for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (8 * i));
        Update(len, 8);
        static const char* hex = "0123456789abcdef";
        std::string out;
        for (uint32_t v : state_)
            for (int i = 0; i < 4; ++i) {
                uint8_t b = static_cast<uint8_t>(v >> (8 * i));
                out += hex[b >> 4];
                out += hex[b & 15];
            }
        return out;
    }

private:
    static uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

    void Transform(const uint8_t* b) {
        static const uint32_t K[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
            0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
            0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
            0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
            0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
            0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
            0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
        static const int R[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                  5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                  4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                  6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
        uint32_t m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = static_cast<uint32_t>(b[i * 4]) | static_cast<uint32_t>(b[i * 4 + 1]) << 8 |
                   static_cast<uint32_t>(b[i * 4 + 2]) << 16 | static_cast<uint32_t>(b[i * 4 + 3]) << 24;
        uint32_t a = state_[0], bb = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) { f = (bb & c) | (~bb & d); g = i; }
            else if (i < 32) { f = (d & bb) | (~d & c); g = (5 * i + 1) % 16; }
            else if (i < 48) { f = bb ^ c ^ d; g = (3 * i + 5) % 16; }
            else { f = c ^ (bb | ~d); g = (7 * i) % 16; }
            uint32_t t = d;
            d = c;
            c = bb;
            bb = bb + Rotl(a + f + K[i] + m[g], R[i]);
            a = t;
        }
        state_[0] += a; state_[1] += bb; state_[2] += c; state_[3] += d;
    }

    uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    uint8_t block_[64] = {};
    size_t fill_ = 0;
    uint64_t length_ = 0;
};

}  // namespace brik::test
