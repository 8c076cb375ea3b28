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

}  // namespace
}  // namespace brik::cab
