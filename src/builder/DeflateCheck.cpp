#include "builder/DeflateCheck.h"

#include <cstring>

namespace brik {

namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 9;

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits in deflate order (least significant first). Reading past the end
// yields zeros and is noticed by the caller through Overrun().
class Bits {
public:
    Bits(const uint8_t* data, size_t size) : p_(data), end_(data + size), total_(static_cast<uint64_t>(size) * 8) {}

    uint32_t Peek(int n) {
        while (count_ < n) {
            const uint64_t byte = p_ < end_ ? *p_++ : 0;
            buffer_ |= byte << count_;
            count_ += 8;
        }
        return static_cast<uint32_t>(buffer_ & ((1ull << n) - 1));
    }
    void Skip(int n) {
        buffer_ >>= n;
        count_ -= n;
        used_ += static_cast<uint64_t>(n);
    }
    uint32_t Get(int n) {
        if (n == 0) return 0;
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    void AlignToByte() { Skip(static_cast<int>((8 - used_ % 8) % 8)); }
    bool Overrun() const { return used_ > total_; }

private:
    const uint8_t* p_;
    const uint8_t* end_;
    uint64_t total_;
    uint64_t buffer_ = 0;
    int count_ = 0;
    uint64_t used_ = 0;
};

// A canonical Huffman code: a direct table for short codes, a walk over the
// code lengths for the rest.
class Huffman {
public:
    // False unless the code is complete: every bit pattern decodes.
    bool Build(const uint8_t* lengths, int symbols) {
        std::memset(count_, 0, sizeof count_);
        for (int s = 0; s < symbols; ++s) ++count_[lengths[s]];
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - count_[len];
            if (left < 0) return false;
        }
        if (left != 0) return false;
        int offsets[kMaxBits + 2];
        offsets[1] = 0;
        for (int len = 1; len <= kMaxBits; ++len) offsets[len + 1] = offsets[len] + count_[len];
        for (int s = 0; s < symbols; ++s)
            if (lengths[s]) sorted_[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
        std::memset(fast_, 0xFF, sizeof fast_);
        int code = 0;
        int index = 0;
        for (int len = 1; len <= kFastBits; ++len) {
            for (int k = 0; k < count_[len]; ++k, ++code, ++index) {
                int reversed = 0;
                for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
                for (int fill = reversed; fill < (1 << kFastBits); fill += 1 << len)
                    fast_[fill] = static_cast<uint16_t>(sorted_[index] << 4 | len);
            }
            code <<= 1;
        }
        return true;
    }

    int Decode(Bits& bits) const {
        const uint16_t entry = fast_[bits.Peek(kFastBits)];
        if (entry != 0xFFFF) {
            bits.Skip(entry & 15);
            return entry >> 4;
        }
        // Bit by bit over the code lengths.
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(bits.Get(1));
            const int count = count_[len];
            if (code - count < first) return sorted_[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    int count_[kMaxBits + 1];
    uint16_t sorted_[320];
    uint16_t fast_[1 << kFastBits];
};

bool Codes(Bits& bits, Huffman& literals, Huffman& distances) {
    const int nlen = static_cast<int>(bits.Get(5)) + 257;
    const int ndist = static_cast<int>(bits.Get(5)) + 1;
    const int ncode = static_cast<int>(bits.Get(4)) + 4;
    if (nlen > 286 || ndist > 30) return false;
    uint8_t lengths[320] = {};
    for (int i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.Get(3));
    Huffman codeLengths;
    if (!codeLengths.Build(lengths, 19)) return false;
    std::memset(lengths, 0, sizeof lengths);
    for (int i = 0; i < nlen + ndist;) {
        const int symbol = codeLengths.Decode(bits);
        if (symbol < 0 || bits.Overrun()) return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(bits.Get(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(bits.Get(3));
        } else {
            repeat = 11 + static_cast<int>(bits.Get(7));
        }
        if (i + repeat > nlen + ndist) return false;
        while (repeat--) lengths[i++] = value;
    }
    if (lengths[256] == 0) return false;
    return literals.Build(lengths, nlen) && distances.Build(lengths + nlen, ndist);
}

}  // namespace

bool HasCompleteCodes(const uint8_t* data, size_t size) {
    static Huffman fixedLiterals, fixedDistances;
    static const bool fixedReady = [] {
        uint8_t lengths[288];
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        // The fixed codes are complete over their full ranges (288 and 32
        // symbols); the unused symbols are refused while decoding.
        uint8_t distances32[32];
        std::memset(distances32, 5, sizeof distances32);
        return fixedLiterals.Build(lengths, 288) && fixedDistances.Build(distances32, 32);
    }();
    if (!fixedReady) return false;

    Bits bits(data, size);
    Huffman literals, distances;
    uint64_t out = 0;
    for (bool last = false; !last;) {
        last = bits.Get(1) != 0;
        const uint32_t type = bits.Get(2);
        if (type == 0) {
            bits.AlignToByte();
            const uint32_t len = bits.Get(16);
            const uint32_t nlen = bits.Get(16);
            if ((len ^ 0xFFFF) != nlen) return false;
            for (uint32_t i = 0; i < len; ++i) bits.Get(8);
            out += len;
            if (bits.Overrun()) return false;
            continue;
        }
        const Huffman* lit = &fixedLiterals;
        const Huffman* dist = &fixedDistances;
        if (type == 2) {
            if (!Codes(bits, literals, distances)) return false;
            lit = &literals;
            dist = &distances;
        } else if (type != 1) {
            return false;
        }
        if (last) return !bits.Overrun();
        for (;;) {
            const int symbol = lit->Decode(bits);
            if (symbol < 0 || bits.Overrun()) return false;
            if (symbol < 256) {
                ++out;
                continue;
            }
            if (symbol == 256) break;
            if (symbol > 285) return false;
            const uint32_t length = kLengthBase[symbol - 257] + bits.Get(kLengthExtra[symbol - 257]);
            const int d = dist->Decode(bits);
            if (d < 0 || d > 29) return false;
            const uint32_t distance = kDistanceBase[d] + bits.Get(kDistanceExtra[d]);
            if (distance > out) return false;
            out += length;
        }
    }
    return !bits.Overrun();
}

}  // namespace brik
