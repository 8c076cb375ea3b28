// The bit reader, the Huffman tables and the MSZIP decoder, checked against
// hand-made bit streams and against zlib's deflate.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cab/BitReader.h"
#include "cab/Huffman.h"
#include "cab/Mszip.h"

#include <zlib.h>

namespace brik::cab {
namespace {

using Bytes = std::vector<uint8_t>;

// Hands out a list of blocks; a block's uncompressed size is its own size
// unless given.
class VectorSource final : public BlockSource {
public:
    VectorSource() = default;
    explicit VectorSource(std::vector<Bytes> blocks, std::vector<uint32_t> outs = {})
        : blocks_(std::move(blocks)), outs_(std::move(outs)) {}
    void Add(Bytes block, uint32_t out) {
        blocks_.push_back(std::move(block));
        outs_.push_back(out);
    }
    bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) override {
        if (next_ >= blocks_.size()) return false;
        // A copy of its own per call, so reading past a block is caught by
        // the sanitizers.
        current_ = blocks_[next_];
        data = current_.empty() ? nullptr : current_.data();
        size = static_cast<uint32_t>(current_.size());
        uncompressed = next_ < outs_.size() ? outs_[next_] : size;
        ++next_;
        return true;
    }
    CabStatus Status() const override { return CabStatus::Ok; }

private:
    std::vector<Bytes> blocks_;
    std::vector<uint32_t> outs_;
    Bytes current_;
    size_t next_ = 0;
};

// Writes bit streams in either order; Huffman codes go in as the decoder
// expects them (first code bit first).
class BitWriter {
public:
    explicit BitWriter(BitOrder order) : order_(order) {}
    void Put(uint32_t value, unsigned n) {  // value's low bit first (Lsb8) / high bit first (Msb16)
        for (unsigned i = 0; i < n; ++i) {
            const unsigned bit = order_ == BitOrder::Lsb8 ? (value >> i) & 1 : (value >> (n - 1 - i)) & 1;
            PutBit(bit);
        }
    }
    void PutCode(uint32_t code, unsigned len) {
        for (unsigned i = 0; i < len; ++i) PutBit((code >> (len - 1 - i)) & 1);
    }
    void AlignUnit() {
        while (count_ % (order_ == BitOrder::Lsb8 ? 8 : 16)) PutBit(0);
    }
    void PutBytes(const Bytes& b) {
        AlignUnit();
        Flush();
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        base_ = bytes_.size();
    }
    Bytes Take() {
        AlignUnit();
        Flush();
        return bytes_;
    }

private:
    void PutBit(unsigned bit) {
        pending_.push_back(static_cast<uint8_t>(bit));
        ++count_;
    }
    void Flush() {
        const unsigned unit = order_ == BitOrder::Lsb8 ? 8 : 16;
        for (size_t u = 0; u + unit <= pending_.size(); u += unit) {
            uint32_t v = 0;
            for (unsigned i = 0; i < unit; ++i) {
                if (order_ == BitOrder::Lsb8)
                    v |= uint32_t(pending_[u + i]) << i;
                else
                    v |= uint32_t(pending_[u + i]) << (unit - 1 - i);
            }
            bytes_.push_back(static_cast<uint8_t>(v));
            if (unit == 16) bytes_.push_back(static_cast<uint8_t>(v >> 8));
        }
        pending_.clear();
        count_ = 0;
    }
    BitOrder order_;
    std::vector<uint8_t> pending_;
    unsigned count_ = 0;
    Bytes bytes_;
    size_t base_ = 0;
};

template <class Reader>
void ExpectBits(Reader& br, const std::vector<std::pair<uint32_t, unsigned>>& fields) {
    for (auto [value, n] : fields) EXPECT_EQ(br.ReadLong(n), value) << n << " bits";
}

// ---- bit reader -----------------------------------------------------------

TEST(CabBitReader, FieldsRunAcrossBlocksInBothOrders) {
    const std::vector<std::pair<uint32_t, unsigned>> fields = {
        {1, 1}, {5, 3}, {0x1234, 16}, {0, 0}, {0x7F, 7}, {0xABCDE, 20}, {0xDEADBEEF, 32}, {3, 2},
        {0x155, 9}, {0x1FFFF, 17}, {0, 5}, {0x12345678, 31}};
    for (BitOrder order : {BitOrder::Lsb8, BitOrder::Msb16}) {
        BitWriter w(order);
        for (auto [value, n] : fields) w.Put(value, n);
        const Bytes all = w.Take();
        // Odd splits put 16-bit words across block boundaries, empty blocks
        // must be skipped.
        for (size_t cut : {size_t(1), size_t(3), size_t(7), size_t(11)}) {
            std::vector<Bytes> blocks;
            for (size_t i = 0; i < all.size(); i += cut) {
                blocks.emplace_back(all.begin() + i, all.begin() + std::min(all.size(), i + cut));
                if (i == 0) blocks.emplace_back();
            }
            VectorSource src(blocks);
            if (order == BitOrder::Lsb8) {
                BitReader<BitOrder::Lsb8> br(src, BlockSpan::WholeFolder);
                ASSERT_TRUE(br.StartNextBlock());
                ExpectBits(br, fields);
                EXPECT_EQ(br.OverrunBits(), 0u);
            } else {
                BitReader<BitOrder::Msb16> br(src, BlockSpan::WholeFolder);
                ASSERT_TRUE(br.StartNextBlock());
                ExpectBits(br, fields);
                EXPECT_EQ(br.OverrunBits(), 0u);
            }
        }
    }
}

TEST(CabBitReader, EndOfInputFeedsCountedZeros) {
    VectorSource src({{0xFF, 0x01}, {0xAA}});
    BitReader<BitOrder::Lsb8> br(src, BlockSpan::OneBlock);
    ASSERT_TRUE(br.StartNextBlock());
    EXPECT_EQ(br.Read(12), 0x1FFu);
    EXPECT_EQ(br.OverrunBits(), 0u);
    EXPECT_EQ(br.Read(4), 0u);
    EXPECT_EQ(br.OverrunBits(), 0u);
    EXPECT_EQ(br.Read(3), 0u);  // the next block is not this stream's
    EXPECT_EQ(br.OverrunBits(), 3u);
    EXPECT_FALSE(br.Exhausted());
    for (int i = 0; i < 100 && !br.Exhausted(); ++i) br.Read(16);
    EXPECT_TRUE(br.Exhausted());
    // Dropping the rest starts clean at the next block.
    ASSERT_TRUE(br.StartNextBlock());
    EXPECT_EQ(br.OverrunBits(), 0u);
    EXPECT_EQ(br.Read(8), 0xAAu);
    EXPECT_FALSE(br.StartNextBlock());
}

TEST(CabBitReader, ByteReadsContinueWhereBitsLeftOff) {
    // Bits, aligned bytes, bits again, across the pushed-back buffer and a
    // block boundary, in both orders; odd byte counts in Msb16 shift the
    // words that follow by a byte.
    Bytes raw(40);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(0x30 + i);
    for (BitOrder order : {BitOrder::Lsb8, BitOrder::Msb16}) {
        for (size_t first : {size_t(0), size_t(1), size_t(3), size_t(5), size_t(13)}) {
            BitWriter w(order);
            w.Put(5, 3);
            w.PutBytes(Bytes(raw.begin(), raw.begin() + first));
            w.PutBytes(Bytes(raw.begin() + first, raw.end()));
            w.Put(0x2A5, 10);
            w.Put(0x3, 2);
            const Bytes all = w.Take();
            VectorSource src({Bytes(all.begin(), all.begin() + 9), Bytes(all.begin() + 9, all.end())});
            auto run = [&](auto& br) {
                ASSERT_TRUE(br.StartNextBlock());
                EXPECT_EQ(br.Read(3), 5u);
                br.Align();
                Bytes got(raw.size());
                ASSERT_TRUE(br.ReadBytes(got.data(), first));
                // Peek a little into the next bytes before reading them raw.
                br.Ensure(9);
                br.Align();
                ASSERT_TRUE(br.ReadBytes(got.data() + first, raw.size() - first));
                EXPECT_EQ(got, raw);
                EXPECT_EQ(br.Read(10), 0x2A5u);
                EXPECT_EQ(br.Read(2), 3u);
                EXPECT_EQ(br.OverrunBits(), 0u);
                uint8_t more[4];
                EXPECT_FALSE(br.ReadBytes(more, sizeof more));
                EXPECT_GT(br.OverrunBits(), 0u);
            };
            if (order == BitOrder::Lsb8) {
                BitReader<BitOrder::Lsb8> br(src, BlockSpan::WholeFolder);
                run(br);
            } else {
                BitReader<BitOrder::Msb16> br(src, BlockSpan::WholeFolder);
                run(br);
            }
        }
    }
}

// ---- Huffman tables -------------------------------------------------------

// Canonical codes for a set of lengths, the way the format defines them.
std::vector<uint32_t> CanonicalCodes(const Bytes& lengths) {
    unsigned count[17] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    uint32_t next[18] = {}, code = 0;
    for (unsigned len = 1; len <= 16; ++len) next[len] = code = (code + count[len - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

template <BitOrder Order, unsigned TableBits>
void RoundTripCodes(const Bytes& lengths) {
    HuffmanTable<Order, 300, TableBits, 16> table;
    ASSERT_TRUE(table.Build(lengths.data(), static_cast<unsigned>(lengths.size())));
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    std::vector<uint32_t> symbols;
    for (uint32_t round = 0; round < 3; ++round)
        for (uint32_t s = 0; s < lengths.size(); ++s)
            if (lengths[s]) symbols.push_back((s * 7 + round) % static_cast<uint32_t>(lengths.size()));
    BitWriter w(Order);
    std::vector<uint32_t> expected;
    for (uint32_t s : symbols) {
        if (!lengths[s]) continue;
        w.PutCode(codes[s], lengths[s]);
        expected.push_back(s);
    }
    const Bytes bytes = w.Take();
    VectorSource src({bytes});
    BitReader<Order> br(src, BlockSpan::OneBlock);
    ASSERT_TRUE(br.StartNextBlock());
    for (uint32_t s : expected) ASSERT_EQ(table.Decode(br), s);
    EXPECT_EQ(br.OverrunBits(), 0u);
}

TEST(CabHuffman, DecodesCanonicalCodesInBothOrders) {
    // Complete sets: short codes only, codes up to 16 bits that need
    // subtables of several depths, and a skewed set with one very deep path.
    std::vector<Bytes> sets;
    sets.push_back({2, 2, 2, 3, 3});                       // 5 symbols
    sets.push_back({1, 1});
    Bytes deep;
    for (unsigned l = 1; l <= 15; ++l) deep.push_back(static_cast<uint8_t>(l));
    deep.push_back(16);
    deep.push_back(16);
    sets.push_back(deep);
    sets.push_back(Bytes(256, 8));
    // Random complete sets: split leaves of a complete tree until there are
    // enough symbols, then shuffle which symbol gets which length.
    std::mt19937 rng(7);
    for (unsigned target : {20u, 100u, 288u}) {
        Bytes set = {1, 1};
        while (set.size() < target) {
            const size_t i = rng() % set.size();
            if (set[i] >= 16) continue;
            ++set[i];
            set.push_back(set[i]);
        }
        std::shuffle(set.begin(), set.end(), rng);
        set.insert(set.begin() + 3, 0);  // unused symbols in between
        sets.push_back(set);
    }
    for (const Bytes& set : sets) {
        SCOPED_TRACE(set.size());
        RoundTripCodes<BitOrder::Lsb8, 4>(set);
        RoundTripCodes<BitOrder::Lsb8, 9>(set);
        RoundTripCodes<BitOrder::Msb16, 4>(set);
        RoundTripCodes<BitOrder::Msb16, 10>(set);
        RoundTripCodes<BitOrder::Msb16, 16>(set);
    }
}

TEST(CabHuffman, RejectsBadSetsAndAcceptsAllowedIncompleteOnes) {
    struct Case {
        const char* what;
        Bytes lengths;
        unsigned allow;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"over-subscribed", {1, 1, 1}, kHuffmanAllowEmpty | kHuffmanAllowSingle, false},
        {"over-subscribed deep", {2, 2, 2, 2, 3}, kHuffmanComplete, false},
        {"incomplete", {1, 2}, kHuffmanAllowEmpty | kHuffmanAllowSingle, false},
        {"length above the maximum", {1, 2, 3, 4, 5, 6, 7, 8, 9, 9}, kHuffmanComplete, false},
        {"empty, not allowed", {0, 0, 0}, kHuffmanAllowSingle, false},
        {"empty, allowed", {0, 0, 0}, kHuffmanAllowEmpty, true},
        {"single, not allowed", {0, 1, 0}, kHuffmanAllowEmpty, false},
        {"single, allowed", {0, 1, 0}, kHuffmanAllowSingle, true},
        {"single but long", {0, 3, 0}, kHuffmanAllowSingle, false},
    };
    for (const Case& c : cases) {
        HuffmanTable<BitOrder::Lsb8, 19, 4, 8> table;
        EXPECT_EQ(table.Build(c.lengths.data(), static_cast<unsigned>(c.lengths.size()), c.allow), c.ok)
            << c.what;
    }
    // Patterns that are no code decode as invalid, consuming a bit.
    const Bytes single = {0, 1, 0};
    HuffmanTable<BitOrder::Lsb8, 19, 4, 8> table;
    ASSERT_TRUE(table.Build(single.data(), 3, kHuffmanAllowSingle));
    VectorSource src(std::vector<Bytes>{{0x02}});  // bits 0, 1, 0...
    BitReader<BitOrder::Lsb8> br(src, BlockSpan::OneBlock);
    ASSERT_TRUE(br.StartNextBlock());
    EXPECT_EQ(table.Decode(br), 1u);
    EXPECT_EQ(table.Decode(br), table.kInvalidSymbol);
    EXPECT_EQ(table.Decode(br), 1u);
    const Bytes none = {0, 0, 0};
    ASSERT_TRUE(table.Build(none.data(), 3, kHuffmanAllowEmpty));
    EXPECT_EQ(table.Decode(br), table.kInvalidSymbol);
}


// ---- MSZIP ----------------------------------------------------------------

struct Folder {
    std::vector<Bytes> blocks;
    std::vector<uint32_t> outs;
};

// Compresses `data` the way a cabinet writer does: blocks of the given sizes
// (the list repeats), each "CK" and a raw deflate stream of its own that may
// refer back into the 32 KB before it.
Folder Encode(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY,
              const std::vector<size_t>& sizes = {kFrameSize}) {
    Folder f;
    size_t pos = 0, which = 0;
    do {
        const size_t n = std::min(sizes[which++ % sizes.size()], data.size() - pos);
        z_stream z{};
        EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
        const size_t dict = std::min<size_t>(pos, 32768);
        if (dict) {
            EXPECT_EQ(deflateSetDictionary(&z, data.data() + pos - dict, static_cast<uInt>(dict)), Z_OK);
        }
        Bytes block(2 + deflateBound(&z, static_cast<uLong>(n)) + 16);
        block[0] = 'C';
        block[1] = 'K';
        z.next_in = const_cast<Bytef*>(data.data() + pos);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = block.data() + 2;
        z.avail_out = static_cast<uInt>(block.size() - 2);
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        block.resize(2 + z.total_out);
        deflateEnd(&z);
        EXPECT_LE(block.size(), kMaxBlockInput);
        f.blocks.push_back(std::move(block));
        f.outs.push_back(static_cast<uint32_t>(n));
        pos += n;
    } while (pos < data.size());
    return f;
}

// Decodes `frames` frames of a folder; the first failure ends it.
CabStatus Decode(const Folder& f, Bytes& out, size_t frames) {
    VectorSource src(f.blocks, f.outs);
    MszipDecoder dec(src);
    out.clear();
    for (size_t i = 0; i < frames; ++i) {
        const uint8_t* frame = nullptr;
        uint32_t size = 0;
        const CabStatus s = dec.NextFrame(frame, size);
        if (s != CabStatus::Ok) return s;
        EXPECT_EQ(size, i < f.outs.size() ? f.outs[i] : 0);
        out.insert(out.end(), frame, frame + size);
    }
    return CabStatus::Ok;
}

CabStatus Decode(const Folder& f, Bytes& out) { return Decode(f, out, f.blocks.size()); }

// Text-like runs, random bytes, zero runs and copies of earlier data from
// every distance up to and past the window.
Bytes Mixed(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* const words[] = {"cabinet ", "folder ",  "install ", "the ",  "data ",
                                        "block ",   "window ",  "\r\n",     "setup ", "Windows "};
    Bytes d;
    while (d.size() < size) {
        switch (rng() % 5) {
            case 0:
                for (auto i = rng() % 400; i > 0; --i) {
                    const char* w = words[rng() % 10];
                    d.insert(d.end(), w, w + std::strlen(w));
                }
                break;
            case 1:
                for (auto i = rng() % 3000; i > 0; --i) d.push_back(static_cast<uint8_t>(rng()));
                break;
            case 2: d.insert(d.end(), rng() % 2000, static_cast<uint8_t>(rng() % 3)); break;
            default:
                if (!d.empty()) {
                    const size_t dist = 1 + rng() % std::min<size_t>(d.size(), 40000);
                    const size_t len = 3 + rng() % 1500;
                    for (size_t i = 0; i < len; ++i) d.push_back(d[d.size() - dist]);
                }
                break;
        }
    }
    d.resize(size);
    return d;
}

TEST(Mszip, RoundTripsZlibOutput) {
    struct Case {
        const char* what;
        Bytes data;
        std::vector<size_t> sizes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, {kFrameSize}});
    cases.push_back({"one byte", {'x'}, {kFrameSize}});
    cases.push_back({"32767", Mixed(32767, 1), {kFrameSize}});
    cases.push_back({"32768", Mixed(32768, 2), {kFrameSize}});
    cases.push_back({"32769", Mixed(32769, 3), {kFrameSize}});
    cases.push_back({"mixed, odd block sizes", Mixed(300000, 4), {1, 32768, 777, 20000, 32768, 0x7FFF}});
    // A random 20000-byte pattern repeated: every block after the first is
    // matches into the blocks before it.
    Bytes repeated = Mixed(20000, 5);
    for (int i = 0; i < 6; ++i) repeated.insert(repeated.end(), repeated.begin(), repeated.begin() + 20000);
    cases.push_back({"long matches across blocks", repeated, {kFrameSize}});
    cases.push_back({"several MB", Mixed(3 << 20, 6), {kFrameSize}});

    struct Setting {
        int level, strategy;
    };
    const Setting settings[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY},
                                {9, Z_DEFAULT_STRATEGY}, {6, Z_FIXED},            {6, Z_HUFFMAN_ONLY},
                                {6, Z_RLE}};
    for (const Case& c : cases) {
        for (const Setting& st : settings) {
            SCOPED_TRACE(testing::Message() << c.what << ", level " << st.level << ", strategy " << st.strategy);
            const Folder f = Encode(c.data, st.level, st.strategy, c.sizes);
            Bytes out;
            ASSERT_EQ(Decode(f, out), CabStatus::Ok);
            ASSERT_TRUE(out == c.data);
        }
    }
}

// Hand-made deflate streams for what zlib never writes.
class Deflate {
public:
    Deflate() { w_.Put('C', 8), w_.Put('K', 8); }
    Deflate& Header(bool last, unsigned type) {
        w_.Put(last, 1);
        w_.Put(type, 2);
        return *this;
    }
    Deflate& Literal(unsigned v) {  // fixed code
        if (v < 144) w_.PutCode(0x30 + v, 8);
        else if (v < 256) w_.PutCode(0x190 + v - 144, 9);
        else if (v < 280) w_.PutCode(v - 256, 7);
        else w_.PutCode(0xC0 + v - 280, 8);
        return *this;
    }
    Deflate& End() { return Literal(256); }
    Deflate& Match(unsigned len, unsigned dist) {  // fixed codes
        static const unsigned lbase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const unsigned dbase[] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                         33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        unsigned l = 28;
        while (lbase[l] > len) --l;
        Literal(257 + l);
        if (l >= 8 && l < 28) w_.Put(len - lbase[l], (l - 4) / 4);
        unsigned d = 29;
        while (dbase[d] > dist) --d;
        w_.PutCode(d, 5);
        if (d >= 4) w_.Put(dist - dbase[d], (d - 2) / 2);
        return *this;
    }
    Deflate& Code(uint32_t code, unsigned len) {
        w_.PutCode(code, len);
        return *this;
    }
    Deflate& Bits(uint32_t v, unsigned n) {
        w_.Put(v, n);
        return *this;
    }
    Deflate& Stored(const Bytes& b) {
        w_.PutBytes({static_cast<uint8_t>(b.size()), static_cast<uint8_t>(b.size() >> 8),
                     static_cast<uint8_t>(~b.size()), static_cast<uint8_t>(~b.size() >> 8)});
        w_.PutBytes(b);
        return *this;
    }
    Bytes Take() { return w_.Take(); }

private:
    BitWriter w_{BitOrder::Lsb8};
};

TEST(Mszip, MatchesReachTheWholeWindowAcrossManyBlocks) {
    // A stored random block, then blocks that copy the 32 KB before them at
    // the greatest distance, past several moves of the history.
    Bytes first = Mixed(kFrameSize, 9);
    std::mt19937 rng(1);
    for (auto& b : first) b = static_cast<uint8_t>(rng());
    Folder f;
    Deflate d0;
    d0.Header(false, 0).Stored(Bytes(first.begin(), first.begin() + 40000 / 2));
    d0.Header(true, 0).Stored(Bytes(first.begin() + 20000, first.end()));
    f.blocks.push_back(d0.Take());
    f.outs.push_back(kFrameSize);
    for (int i = 0; i < 20; ++i) {
        Deflate d;
        d.Header(true, 1);
        for (int m = 0; m < 126; ++m) d.Match(258, 32768);
        d.Match(130, 32768).Match(130, 32768).End();
        f.blocks.push_back(d.Take());
        f.outs.push_back(kFrameSize);
    }
    Bytes out;
    ASSERT_EQ(Decode(f, out), CabStatus::Ok);
    ASSERT_EQ(out.size(), 21u * kFrameSize);
    for (size_t i = 0; i < out.size(); i += kFrameSize)
        ASSERT_TRUE(std::equal(first.begin(), first.end(), out.begin() + i)) << i;
}

Bytes Cut(Bytes b, size_t n) {
    b.resize(std::min(b.size(), n));
    return b;
}

TEST(Mszip, MalformedBlocksFailCleanly) {
    const Bytes text = Mixed(60000, 11);
    const Folder good = Encode(text, 6);
    ASSERT_EQ(good.blocks.size(), 2u);
    Bytes badSig = good.blocks[0];
    badSig[1] = 'X';

    struct Case {
        const char* what;
        Folder folder;
        size_t goodFrames;  // frames decoded before the failure
    };
    std::vector<Case> cases;
    cases.push_back({"missing CK", {{badSig, good.blocks[1]}, good.outs}, 0});
    cases.push_back({"no CK at all", {{{}}, {0}}, 0});
    cases.push_back({"truncated stream", {{good.blocks[0], Cut(good.blocks[1], good.blocks[1].size() / 2)}, good.outs}, 1});
    cases.push_back({"last byte missing", {{good.blocks[0], Cut(good.blocks[1], good.blocks[1].size() - 1)}, good.outs}, 1});
    cases.push_back({"output longer than the block's size", {good.blocks, {good.outs[0] - 1, good.outs[1]}}, 0});
    cases.push_back({"output shorter than the block's size", {good.blocks, {good.outs[0], good.outs[1] + 1}}, 1});
    cases.push_back({"block size above a frame", {{Deflate().Header(true, 0).Stored(Bytes(100, 1)).Take()}, {kFrameSize + 1}}, 0});
    cases.push_back({"no more blocks", {good.blocks, good.outs}, 2});

    const Bytes abc = {'a', 'b', 'c'};
    auto one = [](Bytes b, uint32_t out) { return Folder{{std::move(b)}, {out}}; };
    cases.push_back({"distance before the folder's start",
                     one(Deflate().Header(true, 1).Literal('a').Literal('b').Match(3, 3).End().Take(), 5), 0});
    cases.push_back({"distance before the folder's start, second block",
                     {{Deflate().Header(true, 0).Stored(abc).Take(),
                       Deflate().Header(true, 1).Match(4, 4).End().Take()},
                      {3, 4}},
                     1});
    cases.push_back({"block type 3", one(Deflate().Header(true, 3).Take(), 0), 0});
    cases.push_back({"stored length check", one(Deflate().Header(true, 0).Bits(3, 16).Bits(0, 16).Take(), 3), 0});
    cases.push_back({"stored block longer than its input", one(Cut(Deflate().Header(true, 0).Stored(abc).Take(), 8), 3), 0});
    cases.push_back({"literal/length symbol 286", one(Deflate().Header(true, 1).Literal(286).Take(), 1), 0});
    cases.push_back({"distance symbol 30",
                     one(Deflate().Header(true, 1).Literal('a').Literal(257).Bits(0x0F, 5).End().Take(), 4), 0});
    cases.push_back({"match past the block's size",
                     one(Deflate().Header(true, 1).Literal('a').Match(10, 1).End().Take(), 8), 0});
    // Never-ending streams: empty fixed blocks that are never the last, or
    // nothing but the start of one.
    {
        Deflate d;
        for (int i = 0; i < 3000; ++i) d.Header(false, 1).End();
        cases.push_back({"no final block", one(d.Take(), 0), 0});
    }
    cases.push_back({"no final block, stored", one(Deflate().Header(false, 0).Stored({}).Take(), 0), 0});

    // Dynamic headers. The code length code gives 16 17 18 0 8 the lengths
    // 2 3 3 2 2: codes 0=00 8=01 16=10 17=110 18=111.
    auto dynamic = [](unsigned hlit, unsigned hdist, const std::vector<uint8_t>& clens, auto body) {
        Deflate d;
        d.Header(true, 2).Bits(hlit - 257, 5).Bits(hdist - 1, 5).Bits(static_cast<uint32_t>(clens.size()) - 4, 4);
        for (uint8_t l : clens) d.Bits(l, 3);
        body(d);
        return d.Take();
    };
    const std::vector<uint8_t> clens = {2, 3, 3, 2, 2};
    auto eight = [](Deflate& d) { d.Code(1, 2); };
    auto zero = [](Deflate& d) { d.Code(0, 2); };
    auto repeat = [](Deflate& d, unsigned n) { d.Code(2, 2).Bits(n - 3, 2); };
    auto zeros = [](Deflate& d, unsigned n) {
        if (n <= 10) d.Code(6, 3).Bits(n - 3, 3);
        else d.Code(7, 3).Bits(n - 11, 7);
    };
    // Literals 0..254 get length 8; with the end-of-block code that is complete.
    auto literals = [&](Deflate& d) {
        eight(d);
        for (int i = 0; i < 41; ++i) repeat(d, 6);
        repeat(d, 5);
        repeat(d, 3);
    };
    auto hi = [](Deflate& d) { d.Code('h', 8).Code('i', 8).Code(255, 8); };
    const Bytes valid = dynamic(257, 1, clens, [&](Deflate& d) {
        literals(d);
        zero(d), eight(d), zero(d);  // 255, end of block, no distance code
        hi(d);
    });
    {
        Bytes out;
        ASSERT_EQ(Decode(one(valid, 2), out), CabStatus::Ok);
        EXPECT_EQ(out, Bytes({'h', 'i'}));
    }
    cases.push_back({"over-subscribed code length code", one(dynamic(257, 1, {1, 1, 1, 1}, hi), 2), 0});
    cases.push_back({"incomplete code length code", one(dynamic(257, 1, {0, 0, 0, 1}, hi), 2), 0});
    cases.push_back({"repeat with nothing before it", one(dynamic(257, 1, clens, [&](Deflate& d) {
                         repeat(d, 3);
                         literals(d);
                         zero(d), eight(d), zero(d), hi(d);
                     }), 2), 0});
    cases.push_back({"repeat past the table", one(dynamic(257, 1, clens, [&](Deflate& d) {
                         literals(d);
                         zero(d), eight(d), repeat(d, 3), hi(d);
                     }), 2), 0});
    cases.push_back({"zeros past the table", one(dynamic(257, 1, clens, [&](Deflate& d) {
                         zeros(d, 138), zeros(d, 138);
                         hi(d);
                     }), 2), 0});
    cases.push_back({"no end-of-block code", one(dynamic(257, 1, clens, [&](Deflate& d) {
                         literals(d);
                         eight(d), zero(d), zero(d), hi(d);
                     }), 2), 0});
    cases.push_back({"over-subscribed literal lengths", one(dynamic(257, 1, clens, [&](Deflate& d) {
                         literals(d);
                         eight(d), eight(d), zero(d), hi(d);
                     }), 2), 0});
    cases.push_back({"287 literal/length codes", one(dynamic(287, 1, clens, hi), 2), 0});
    cases.push_back({"31 distance codes", one(dynamic(257, 31, clens, hi), 2), 0});

    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(Decode(c.folder, out, c.goodFrames + 1), CabStatus::BadData) << c.what;
        // The frames before the failure decode fine.
        EXPECT_EQ(Decode(c.folder, out, c.goodFrames), CabStatus::Ok) << c.what;
    }
}

TEST(Mszip, FailureIsFinal) {
    const Folder good = Encode(Mixed(70000, 12), 6);
    Folder f = good;
    f.blocks[0][0] = 'X';
    VectorSource src(f.blocks, f.outs);
    MszipDecoder dec(src);
    const uint8_t* frame = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(dec.NextFrame(frame, size), CabStatus::BadData);
    EXPECT_EQ(dec.NextFrame(frame, size), CabStatus::BadData);
    EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace brik::cab
