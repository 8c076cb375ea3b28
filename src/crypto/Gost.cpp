#include "crypto/Gost.h"

#include <array>
#include <cstring>

namespace brik {

namespace {

// The test parameter set; row k substitutes nibble k, counted from the low end.
constexpr uint8_t kSBox[8][16] = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};

using RoundTables = std::array<std::array<uint32_t, 256>, 4>;

// Table k maps byte k of the round input straight to its share of the round
// output: both nibbles substituted, put in place and rotated left by 11. The
// four shares occupy disjoint bits, so XOR joins them.
// Filled at first use rather than at compile time: the 128-byte S-box
// travels in every package's engine, 4 KB of tables would too.
RoundTables g_roundTables;

void FillRoundTables(RoundTables& tables) {
    for (unsigned k = 0; k < 4; ++k) {
        for (unsigned b = 0; b < 256; ++b) {
            const uint32_t v = (static_cast<uint32_t>(kSBox[2 * k + 1][b >> 4]) << 4 |
                                kSBox[2 * k][b & 15])
                               << (8 * k);
            tables[k][b] = v << 11 | v >> 21;
        }
    }
}

// Once per process; a function-local static, so that threads of the
// builder that start ciphers at once fill it once.
void NeedRoundTables() {
    static const bool filled = (FillRoundTables(g_roundTables), true);
    (void)filled;
}

inline uint32_t Round(uint32_t x) {
    return g_roundTables[0][x & 0xFF] ^ g_roundTables[1][(x >> 8) & 0xFF] ^ g_roundTables[2][(x >> 16) & 0xFF] ^
           g_roundTables[3][x >> 24];
}

inline uint32_t LoadLE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The Feistel halves are updated in place, a and b taking turns, which saves
// the swap of every round; after the 32 rounds b holds the first output half.
inline void KeysUp(uint32_t& a, uint32_t& b, const uint32_t* k) {
    b ^= Round(a + k[0]);
    a ^= Round(b + k[1]);
    b ^= Round(a + k[2]);
    a ^= Round(b + k[3]);
    b ^= Round(a + k[4]);
    a ^= Round(b + k[5]);
    b ^= Round(a + k[6]);
    a ^= Round(b + k[7]);
}

inline void KeysDown(uint32_t& a, uint32_t& b, const uint32_t* k) {
    b ^= Round(a + k[7]);
    a ^= Round(b + k[6]);
    b ^= Round(a + k[5]);
    a ^= Round(b + k[4]);
    b ^= Round(a + k[3]);
    a ^= Round(b + k[2]);
    b ^= Round(a + k[1]);
    a ^= Round(b + k[0]);
}

// Two independent blocks side by side: CBC decryption may work on two
// ciphertext blocks at once, and interleaving their rounds hides most of the
// latency of the table lookups.
inline void Step2(uint32_t x1, uint32_t& y1, uint32_t x2, uint32_t& y2, uint32_t k) {
    y1 ^= Round(x1 + k);
    y2 ^= Round(x2 + k);
}

inline void KeysUp2(uint32_t& a1, uint32_t& b1, uint32_t& a2, uint32_t& b2, const uint32_t* k) {
    for (unsigned i = 0; i < 8; i += 2) {
        Step2(a1, b1, a2, b2, k[i]);
        Step2(b1, a1, b2, a2, k[i + 1]);
    }
}

inline void KeysDown2(uint32_t& a1, uint32_t& b1, uint32_t& a2, uint32_t& b2, const uint32_t* k) {
    for (unsigned i = 8; i > 0; i -= 2) {
        Step2(a1, b1, a2, b2, k[i - 1]);
        Step2(b1, a1, b2, a2, k[i - 2]);
    }
}

// Plain stores into an object that dies right after could be dropped.
template <typename T>
void Fill(T& object, uint8_t value) {
    volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(&object);
    for (size_t i = 0; i < sizeof object; ++i) p[i] = value;
}

}  // namespace

void TGost::EncryptWords(uint32_t& n1, uint32_t& n2) const {
    NeedRoundTables();
    uint32_t a = n1, b = n2;
    KeysUp(a, b, key_);
    KeysUp(a, b, key_);
    KeysUp(a, b, key_);
    KeysDown(a, b, key_);
    n1 = b;
    n2 = a;
}

void TGost::DecryptWords(uint32_t& n1, uint32_t& n2) const {
    NeedRoundTables();
    uint32_t a = n1, b = n2;
    KeysUp(a, b, key_);
    KeysDown(a, b, key_);
    KeysDown(a, b, key_);
    KeysDown(a, b, key_);
    n1 = b;
    n2 = a;
}

void TGost::EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
    uint32_t n1 = LoadLE(in), n2 = LoadLE(in + 4);
    EncryptWords(n1, n2);
    StoreLE(out, n1);
    StoreLE(out + 4, n2);
}

void TGost::DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
    uint32_t n1 = LoadLE(in), n2 = LoadLE(in + 4);
    DecryptWords(n1, n2);
    StoreLE(out, n1);
    StoreLE(out + 4, n2);
}

bool TGost::Initialise(const uint8_t* key, size_t keyBits, const uint8_t* iv) {
    if (key == nullptr || keyBits < 8 || keyBits > 256 || keyBits % 8 != 0) return false;
    uint8_t bytes[32] = {};
    std::memcpy(bytes, key, keyBits / 8);
    for (unsigned i = 0; i < 8; ++i) key_[i] = LoadLE(bytes + 4 * i);
    Fill(bytes, 0);
    if (iv != nullptr) {
        std::memcpy(iv_, iv, kBlockSize);
    } else {
        std::memset(iv_, 0xFF, kBlockSize);
        EncryptBlock(iv_, iv_);
    }
    std::memcpy(chain_, iv_, kBlockSize);
    return true;
}

void TGost::XorRemainder(const uint8_t* in, uint8_t* out, size_t r) {
    EncryptBlock(chain_, scratch_);
    for (size_t i = 0; i < r; ++i) out[i] = static_cast<uint8_t>(in[i] ^ scratch_[i]);
    Fill(scratch_, 0xFF);
}

void TGost::Decrypt(const uint8_t* in, uint8_t* out, size_t n) {
    uint32_t chain1 = LoadLE(chain_), chain2 = LoadLE(chain_ + 4);
    for (; n >= 2 * kBlockSize; n -= 2 * kBlockSize, in += 2 * kBlockSize, out += 2 * kBlockSize) {
        const uint32_t c1 = LoadLE(in), c2 = LoadLE(in + 4);
        const uint32_t c3 = LoadLE(in + 8), c4 = LoadLE(in + 12);
        uint32_t a1 = c1, b1 = c2, a2 = c3, b2 = c4;
        KeysUp2(a1, b1, a2, b2, key_);
        KeysDown2(a1, b1, a2, b2, key_);
        KeysDown2(a1, b1, a2, b2, key_);
        KeysDown2(a1, b1, a2, b2, key_);
        StoreLE(out, b1 ^ chain1);
        StoreLE(out + 4, a1 ^ chain2);
        StoreLE(out + 8, b2 ^ c1);
        StoreLE(out + 12, a2 ^ c2);
        chain1 = c3;
        chain2 = c4;
    }
    for (; n >= kBlockSize; n -= kBlockSize, in += kBlockSize, out += kBlockSize) {
        const uint32_t c1 = LoadLE(in), c2 = LoadLE(in + 4);
        uint32_t p1 = c1, p2 = c2;
        DecryptWords(p1, p2);
        StoreLE(out, p1 ^ chain1);
        StoreLE(out + 4, p2 ^ chain2);
        chain1 = c1;
        chain2 = c2;
    }
    StoreLE(chain_, chain1);
    StoreLE(chain_ + 4, chain2);
    if (n > 0) XorRemainder(in, out, n);
}

void TGost::Encrypt(const uint8_t* in, uint8_t* out, size_t n) {
    uint32_t chain1 = LoadLE(chain_), chain2 = LoadLE(chain_ + 4);
    for (; n >= kBlockSize; n -= kBlockSize, in += kBlockSize, out += kBlockSize) {
        chain1 ^= LoadLE(in);
        chain2 ^= LoadLE(in + 4);
        EncryptWords(chain1, chain2);
        StoreLE(out, chain1);
        StoreLE(out + 4, chain2);
    }
    StoreLE(chain_, chain1);
    StoreLE(chain_ + 4, chain2);
    if (n > 0) XorRemainder(in, out, n);
}

void TGost::Wipe() {
    Fill(key_, 0xFF);
    Fill(iv_, 0xFF);
    Fill(chain_, 0xFF);
    Fill(scratch_, 0xFF);
}

}  // namespace brik
