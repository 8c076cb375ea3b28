// GOST 28147-89 with the test parameter set of S-boxes (the set published
// with GOST R 34.11-94), and the chaining mode that protects the data blocks
// of password-protected packages.
//
// The mode is CBC over whole 8-byte blocks; a remainder of r < 8 bytes is
// XORed with the first r bytes of E(chaining value) and does not advance the
// chain, so that mode is its own inverse for the remainder. The chaining value
// carries over from call to call: all the data blocks of a package form one
// chain in reading order, one call per block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brik {

class TGost {
public:
    static constexpr size_t kBlockSize = 8;

    TGost() = default;
    ~TGost() { Wipe(); }
    TGost(const TGost&) = delete;
    TGost& operator=(const TGost&) = delete;

    // keyBits must lie in 8..256 and be a multiple of 8, else nothing happens
    // and the result is false. Key bytes fill K0..K7 as little-endian words,
    // missing bytes zero. Without an iv the vector is eight 0xFF bytes
    // encrypted once with the key. The chaining value starts at the vector.
    bool Initialise(const uint8_t* key, size_t keyBits, const uint8_t* iv = nullptr);

    // One 64-bit block; in and out may be the same.
    void EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;
    void DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

    // Chaining mode over n bytes; in and out may be the same buffer.
    void Decrypt(const uint8_t* in, uint8_t* out, size_t n);
    void Encrypt(const uint8_t* in, uint8_t* out, size_t n);

    // Overwrites key, vector, chaining value and scratch block with 0xFF.
    void Wipe();

private:
    void EncryptWords(uint32_t& n1, uint32_t& n2) const;
    void DecryptWords(uint32_t& n1, uint32_t& n2) const;
    void XorRemainder(const uint8_t* in, uint8_t* out, size_t r);

    uint32_t key_[8] = {};
    uint8_t iv_[kBlockSize] = {};
    uint8_t chain_[kBlockSize] = {};
    uint8_t scratch_[kBlockSize] = {};
};

}  // namespace brik
