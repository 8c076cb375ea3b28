#include "crypto/Gost.h"
#include "crypto/Haval.h"
#include "crypto/Password.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace brik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(std::string_view hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

template <typename Container>
std::string ToHex(const Container& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

Bytes RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// --- HAVAL ------------------------------------------------------------------

// The digest of an already padded message, straight from the compression
// function.
HavalDigest DigestOfPaddedMessage(const Bytes& message) {
    uint32_t state[8] = {0x243F6A88, 0x85A308D3, 0x13198A2E, 0x03707344,
                         0xA4093822, 0x299F31D0, 0x082EFA98, 0xEC4E6C89};
    for (size_t at = 0; at < message.size(); at += 128) THaval::Compress(state, message.data() + at);
    HavalDigest digest;
    for (unsigned i = 0; i < 32; ++i) digest[i] = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

TEST(Haval, PublishedVectorsOfTheStandardPadding) {
    // HAVAL-256/5 test vectors of the reference implementation.
    struct Case { const char* text; const char* digest; };
    const Case cases[] = {
        {"", "BE417BB4DD5CFB76C7126F4F8EEB1553A449039307B1A3CD451DBFDC0FBBE330"},
        {"a", "DE8FD5EE72A5E4265AF0A756F4E1A1F65C9B2B2F47CF17ECF0D1B88679A3E22F"},
        {"HAVAL", "153D2C81CD3C24249AB7CD476934287AF845AF37F53F51F5C7E2BE99BA28443F"},
        {"0123456789", "357E2032774ABBF5F04D5F1DEC665112EA03B23E6E00425D0DF75EA155813126"},
        {"abcdefghijklmnopqrstuvwxyz",
         "C9C7D8AFA159FD9E965CB83FF5EE6F58AEDA352C0EFF005548153A61551C38EE"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "B45CB6E62F2B1320E4F8F1B0B273D45ADD47C321FD23999DCF403AC37636D963"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ToHex(HavalHash(c.text, HavalPadding::Published)), c.digest);
    }
}

TEST(Haval, EmptyTextIsOneFinalBlock) {
    Bytes block(128, 0);
    block[0] = 0x80;
    block[118] = 0x29;
    block[119] = 0x40;
    EXPECT_EQ(HavalHash(""), DigestOfPaddedMessage(block));
}

TEST(Haval, NumberOfFinalBlocks) {
    // The padded message is the text, the first pad byte, zeros, and the last
    // ten bytes of the last block: 0x29, 0x40, the bit count. Only the number
    // of blocks differs between the cases; with exactly 118 bytes our form
    // lets the trailer overwrite the pad byte, the published form spills.
    struct Case { size_t length; HavalPadding padding; size_t blocks; };
    const Case cases[] = {
        {0, HavalPadding::Variant, 1},     {117, HavalPadding::Variant, 1},
        {118, HavalPadding::Variant, 1},   {119, HavalPadding::Variant, 2},
        {127, HavalPadding::Variant, 2},   {128, HavalPadding::Variant, 2},
        {246, HavalPadding::Variant, 2},   {247, HavalPadding::Variant, 3},
        {300, HavalPadding::Variant, 3},   {117, HavalPadding::Published, 1},
        {118, HavalPadding::Published, 2}, {119, HavalPadding::Published, 2},
        {246, HavalPadding::Published, 3}, {300, HavalPadding::Published, 3},
    };
    for (const Case& c : cases) {
        const bool published = c.padding == HavalPadding::Published;
        SCOPED_TRACE(std::to_string(c.length) + (published ? " published" : ""));
        const Bytes text = RandomBytes(c.length, static_cast<unsigned>(c.length));
        Bytes padded = text;
        padded.push_back(published ? 0x01 : 0x80);
        padded.resize(128 * c.blocks, 0);
        const size_t tail = padded.size() - 10;
        padded[tail] = 0x29;
        padded[tail + 1] = 0x40;
        for (unsigned i = 0; i < 8; ++i)
            padded[tail + 2 + i] = static_cast<uint8_t>((uint64_t{c.length} * 8) >> (8 * i));
        const std::string s(text.begin(), text.end());
        EXPECT_EQ(HavalHash(s, c.padding), DigestOfPaddedMessage(padded));
    }
}

TEST(Haval, PiecewiseUpdatesMatchOneShot) {
    const Bytes data = RandomBytes(1000, 7);
    const std::string all(data.begin(), data.end());
    const HavalDigest expected = HavalHash(all);

    THaval haval;
    for (size_t piece : {size_t{1}, size_t{5}, size_t{127}, size_t{128}, size_t{129}, size_t{300}}) {
        SCOPED_TRACE(piece);
        for (size_t at = 0; at < data.size(); at += piece)
            haval.Update(data.data() + at, std::min(piece, data.size() - at));
        haval.Update(nullptr, 0);
        EXPECT_EQ(haval.Final(), expected);  // Final leaves the context fresh for the next round
    }
}

// --- Password ---------------------------------------------------------------

TEST(Password, HashHexIsTheDigestInUpperCaseHex) {
    const std::string text = "p\xE4ssw\xF6rd";  // bytes of the ANSI code page
    EXPECT_EQ(HashHex(text), ToHex(HavalHash(text)));
    EXPECT_EQ(HashHex(""), ToHex(HavalHash("")));
    EXPECT_EQ(PasswordCheckHash("secret"), HashHex("chksecretchk"));
}

TEST(Password, CheckAgainstTheStoredHash) {
    const std::string stored = PasswordCheckHash("secret");
    std::string lower = stored;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ASSERT_NE(lower, stored);

    struct Case { const char* password; std::string hash; bool protectedPackage; bool passes; };
    const Case cases[] = {
        {"", "", false, true},
        {"anything", "", false, true},
        {"secret", stored, true, true},
        {"Secret", stored, true, false},
        {"", stored, true, false},
        {"secret", lower, true, false},
        {"secret", HashHex("secret"), true, false},  // the bare digest is the key, not the check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.password) + " / " + c.hash);
        EXPECT_EQ(IsPasswordProtected(c.hash), c.protectedPackage);
        EXPECT_EQ(CheckPassword(c.password, c.hash), c.passes);
    }
}

TEST(Password, PackageKeyIsTheDigestOfTheBarePassword) {
    EXPECT_FALSE(PackageKey("").has_value());
    const auto key = PackageKey("secret");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(*key, HavalHash("secret"));
}

// --- GOST 28147-89 ----------------------------------------------------------

TEST(Gost, PublishedVectorsOfTheTestParameterSet) {
    // The first encryption of the GOST R 34.11-94 hash example (key words
    // K0..K7 = 33206D54 ... 733D2C20, zero block), and a one-block CBC vector
    // of a well-known implementation with the same S-boxes.
    TGost gost;
    const Bytes key1 = FromHex("546D203368656C326973652073736E62206167796967747473656865202C3D73");
    ASSERT_TRUE(gost.Initialise(key1.data(), 256));
    uint8_t block[8] = {};
    gost.EncryptBlock(block, block);
    EXPECT_EQ(ToHex(block), "1B0BBC32CEBCAB42");
    gost.DecryptBlock(block, block);
    EXPECT_EQ(ToHex(block), "0000000000000000");

    const Bytes key2 = FromHex("00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF");
    const Bytes iv = FromHex("1234567890ABCDEF");
    Bytes data = FromHex("BC350E71AAC5F5C2");
    ASSERT_TRUE(gost.Initialise(key2.data(), 256, iv.data()));
    gost.Encrypt(data.data(), data.data(), data.size());
    EXPECT_EQ(ToHex(data), "D35AB653493B49F5");
    ASSERT_TRUE(gost.Initialise(key2.data(), 256, iv.data()));
    gost.Decrypt(data.data(), data.data(), data.size());
    EXPECT_EQ(ToHex(data), "BC350E71AAC5F5C2");
}

// The ciphertext of one zero block under a fresh context: shows key and vector.
std::string FirstBlock(TGost& gost) {
    uint8_t block[8] = {};
    gost.Encrypt(block, block, 8);
    return ToHex(block);
}

TEST(Gost, KeyLengthAndDefaultVector) {
    const Bytes full = RandomBytes(32, 1);
    const uint8_t ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

    TGost reference;
    ASSERT_TRUE(reference.Initialise(full.data(), 256));
    const std::string referenceBlock = FirstBlock(reference);

    // Rejected lengths leave the context as it was.
    for (size_t bits : {size_t{0}, size_t{4}, size_t{12}, size_t{257}, size_t{264}}) {
        SCOPED_TRACE(bits);
        TGost gost;
        ASSERT_TRUE(gost.Initialise(full.data(), 256));
        EXPECT_FALSE(gost.Initialise(ones, bits));
        EXPECT_EQ(FirstBlock(gost), referenceBlock);
    }

    // Short keys are the same key padded with zeros; without a vector the
    // vector is E(FF..FF).
    for (size_t bits : {size_t{8}, size_t{40}, size_t{128}, size_t{248}}) {
        SCOPED_TRACE(bits);
        Bytes padded(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(bits / 8));
        padded.resize(32, 0);
        TGost block;
        ASSERT_TRUE(block.Initialise(padded.data(), 256, ones));
        uint8_t iv[8];
        block.EncryptBlock(ones, iv);
        TGost expected;
        ASSERT_TRUE(expected.Initialise(padded.data(), 256, iv));

        TGost gost;
        ASSERT_TRUE(gost.Initialise(full.data(), bits));
        EXPECT_EQ(FirstBlock(gost), FirstBlock(expected));
    }
}

TEST(Gost, DecryptionChainsWholeBlocksAcrossCalls) {
    // Two calls of 20 bytes: two whole blocks and a 4-byte remainder each.
    // Remainders never enter the chain, so the first block of the second call
    // is chained to the second whole block of the first.
    const Bytes key = RandomBytes(32, 2);
    const Bytes cipher = RandomBytes(40, 3);
    TGost blocks;
    ASSERT_TRUE(blocks.Initialise(key.data(), 256));
    uint8_t iv[8];
    const uint8_t ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    blocks.EncryptBlock(ones, iv);

    const uint8_t* c = cipher.data();
    // Whole blocks of call 1 at 0 and 8, remainder at 16; call 2 at 20, 28, 36.
    struct Part { size_t at; const uint8_t* chain; bool whole; };
    const Part parts[] = {
        {0, iv, true}, {8, c, true}, {16, c + 8, false},
        {20, c + 8, true}, {28, c + 20, true}, {36, c + 28, false},
    };
    Bytes expected(40);
    for (const Part& p : parts) {
        uint8_t pad[8];
        if (p.whole) {
            blocks.DecryptBlock(c + p.at, pad);
            for (int i = 0; i < 8; ++i) expected[p.at + i] = static_cast<uint8_t>(pad[i] ^ p.chain[i]);
        } else {
            blocks.EncryptBlock(p.chain, pad);
            for (int i = 0; i < 4; ++i) expected[p.at + i] = static_cast<uint8_t>(c[p.at + i] ^ pad[i]);
        }
    }

    TGost gost;
    ASSERT_TRUE(gost.Initialise(key.data(), 256));
    Bytes data = cipher;
    gost.Decrypt(data.data(), data.data(), 20);
    gost.Decrypt(data.data() + 20, data.data() + 20, 20);
    EXPECT_EQ(ToHex(data), ToHex(expected));
}

TEST(Gost, EncryptionRoundTripsCallByCall) {
    const Bytes key = RandomBytes(32, 4);
    const std::vector<size_t> calls = {0, 1, 7, 8, 9, 15, 16, 20, 64, 3, 8, 1000, 5};
    size_t total = 0;
    for (size_t n : calls) total += n;
    const Bytes plain = RandomBytes(total, 5);

    TGost encryptor;
    ASSERT_TRUE(encryptor.Initialise(key.data(), 256));
    Bytes cipher(total);
    size_t at = 0;
    for (size_t n : calls) {
        encryptor.Encrypt(plain.data() + at, cipher.data() + at, n);
        at += n;
    }
    EXPECT_NE(cipher, plain);

    TGost decryptor;
    ASSERT_TRUE(decryptor.Initialise(key.data(), 256));
    Bytes data = cipher;
    at = 0;
    for (size_t n : calls) {
        decryptor.Decrypt(data.data() + at, data.data() + at, n);
        at += n;
    }
    EXPECT_EQ(data, plain);
}

TEST(Gost, WipeLeavesOnlyOnes) {
    const Bytes key = RandomBytes(32, 6);
    TGost gost;
    ASSERT_TRUE(gost.Initialise(key.data(), 256));
    Bytes data = RandomBytes(21, 7);
    gost.Decrypt(data.data(), data.data(), data.size());
    gost.Wipe();

    const Bytes ones(32, 0xFF);
    TGost expected;
    ASSERT_TRUE(expected.Initialise(ones.data(), 256, ones.data()));
    Bytes a = RandomBytes(21, 8), b = a;
    gost.Decrypt(a.data(), a.data(), a.size());
    expected.Decrypt(b.data(), b.data(), b.size());
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace brik
