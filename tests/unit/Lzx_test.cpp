// The LZX decoder: round trips through the test encoder over every block type,
// window size and E8 setting, real cabinets against the digests an
// independent decoder gives, and damaged streams, which must fail cleanly.
#include "cab/Lzx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LzxTestEncoder.h"
#include "Md5.h"
#include "ChunkSource.h"
#include "TestUtil.h"
#include "cab/Cabinet.h"

namespace brik::cab {
namespace {

using test::LzxBlock;
using test::LzxBlockType;
using test::LzxChunk;
using test::LzxEncodeOptions;
using test::LzxStream;
using test::LzxToken;
using Bytes = std::vector<uint8_t>;

using ChunkSource = brik::test::ChunkSource<LzxChunk>;

struct Decoded {
    CabStatus status = CabStatus::Ok;
    Bytes out;
    std::vector<uint32_t> frames;
};

Decoded Decode(BlockSource& source, unsigned windowBits, uint64_t total) {
    Decoded d;
    auto decoder = MakeLzxDecoder(source, windowBits, total, d.status);
    if (!decoder) return d;
    while (d.out.size() < total) {
        const uint8_t* frame = nullptr;
        uint32_t size = 0;
        d.status = decoder->NextFrame(frame, size);
        if (d.status != CabStatus::Ok) break;
        if (size == 0) {
            ADD_FAILURE() << "an empty frame before the end of the folder";
            break;
        }
        d.frames.push_back(size);
        d.out.insert(d.out.end(), frame, frame + size);
    }
    const uint8_t* frame = nullptr;
    uint32_t size = 1;
    if (d.status == CabStatus::Ok) {
        // Past the end the decoder has nothing more to say.
        EXPECT_EQ(decoder->NextFrame(frame, size), CabStatus::Ok);
        EXPECT_EQ(size, 0u);
    } else {
        // A failed decoder stays failed.
        EXPECT_EQ(decoder->NextFrame(frame, size), d.status);
    }
    return d;
}

uint64_t TotalOf(const std::vector<LzxChunk>& chunks) {
    uint64_t total = 0;
    for (const LzxChunk& c : chunks) total += c.uncompressed;
    return total;
}

Decoded Decode(const std::vector<LzxChunk>& chunks, unsigned windowBits, uint64_t total) {
    ChunkSource source(chunks);
    return Decode(source, windowBits, total);
}

Decoded Decode(const LzxStream& stream) {
    const std::vector<LzxChunk> chunks = test::WriteLzx(stream);
    return Decode(chunks, stream.windowBits, TotalOf(chunks));
}

std::string Md5Of(const Bytes& bytes, size_t from = 0, size_t size = SIZE_MAX) {
    brik::test::Md5 md5;
    size = std::min(size, bytes.size() - from);
    md5.Update(bytes.data() + from, size);
    return md5.HexDigest();
}

// What a hand-made stream decodes to, worked out from its tokens alone.
Bytes Expand(const LzxStream& stream) {
    Bytes out;
    for (const LzxBlock& b : stream.blocks) {
        out.insert(out.end(), b.raw.begin(), b.raw.end());
        for (const LzxToken& t : b.tokens) {
            if (t.length == 0) {
                out.push_back(t.literal);
                continue;
            }
            const size_t from = out.size() - t.offset;
            for (uint32_t i = 0; i < t.length; ++i) out.push_back(out[from + i]);
        }
    }
    return out;
}

// Text from a small vocabulary, random bytes, runs of one byte, long repeats
// from far back (up to `reach`), x86 calls with E8 opcodes and every byte
// value: literals of the whole alphabet and matches of every slot.
Bytes MixedData(size_t size, uint32_t seed, size_t reach = 1u << 21) {
    static const char* const words[] = {"the ",    "cabinet ", "frame ", "window ", "aligned ", "setup ",
                                        "\r\n",     "file ",    "folder ", "{ ",     "} ",       "0x1F, ",
                                        "verbatim ", "offset ", "Brisk ", "|~~| "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        switch (rng() % 9) {
            case 0: {  // random bytes
                const size_t n = 1 + rng() % 60;
                for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(rng()));
                break;
            }
            case 1: {  // a long repeat from far back
                if (out.size() < 1000) break;
                const size_t len = 2 + rng() % 600;
                const size_t back = std::min(out.size() - 1, 300 + rng() % reach);
                const size_t from = out.size() - back;
                for (size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
                break;
            }
            case 2: {  // a run of one byte
                const auto b = static_cast<uint8_t>(rng());
                out.insert(out.end(), 3 + rng() % 300, b);
                break;
            }
            case 3: {  // a call: E8 and a 32-bit displacement, near or far
                out.push_back(0xE8);
                const auto rel = static_cast<uint32_t>(rng() % 2 ? static_cast<int32_t>(rng() % 20000) - 10000
                                                                 : static_cast<int32_t>(rng()));
                for (unsigned k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(rel >> (8 * k)));
                break;
            }
            case 4: {  // every byte value once
                for (unsigned v = 0; v < 256; ++v) out.push_back(static_cast<uint8_t>(v));
                break;
            }
            default: {
                const char* w = words[rng() % (sizeof words / sizeof *words)];
                out.insert(out.end(), w, w + std::strlen(w));
                break;
            }
        }
    }
    out.resize(size);
    return out;
}

std::vector<LzxBlockType> Types(const char* letters) {
    std::vector<LzxBlockType> types;
    for (const char* p = letters; *p; ++p) {
        types.push_back(*p == 'V'   ? LzxBlockType::Verbatim
                        : *p == 'A' ? LzxBlockType::Aligned
                                    : LzxBlockType::Uncompressed);
    }
    return types;
}

void ExpectFrames(const Decoded& d, uint64_t total) {
    for (size_t i = 0; i < d.frames.size(); ++i) {
        EXPECT_EQ(d.frames[i], i + 1 < d.frames.size() ? kFrameSize : total - uint64_t{kFrameSize} * i)
            << "frame " << i;
    }
}

// Pieces of hand-made streams.

LzxToken Lit(uint8_t b) {
    LzxToken t;
    t.literal = b;
    return t;
}

LzxToken Match(uint32_t length, uint32_t offset, int repeat = -1) {
    LzxToken t;
    t.length = length;
    t.offset = offset;
    t.forceRepeat = repeat;
    return t;
}

LzxBlock Verbatim(std::vector<LzxToken> tokens) {
    LzxBlock b;
    b.tokens = std::move(tokens);
    return b;
}

LzxBlock Stored(size_t size, uint8_t fill = 'a') {
    LzxBlock b;
    b.type = LzxBlockType::Uncompressed;
    b.raw.assign(size, fill);
    return b;
}

std::vector<LzxToken> Literals(size_t n) {
    std::vector<LzxToken> t;
    for (size_t i = 0; i < n; ++i) t.push_back(Lit(static_cast<uint8_t>('a' + i % 26)));
    return t;
}

// ---------------------------------------------------------------------------
// Round trips.

TEST(LzxDecoder, RoundTrips) {
    struct Case {
        const char* name;
        unsigned windowBits;
        const char* types;
        uint32_t blockSize;
        uint32_t e8Size;
        size_t size;
        bool matches;
    };
    const Case cases[] = {
        {"smallest window, many wraps", 15, "V", 65536, 0, 300000, true},
        {"aligned blocks", 16, "A", 40000, 0, 200000, true},
        {"uncompressed, odd sizes", 17, "U", 32767, 0, 100001, true},
        {"all three in turn, blocks across frames", 18, "VAU", 7777, 0, 150000, true},
        {"tiny blocks", 16, "VUA", 97, 0, 6000, true},
        {"one-byte blocks", 15, "UVA", 1, 0, 600, true},
        {"literals only: empty length tree", 16, "VA", 50000, 0, 70000, false},
        {"E8 translation", 17, "VA", 30000, 120000, 120000, true},
        {"E8 against a small size", 16, "AUV", 25000, 3000, 100000, true},
        {"E8 against a negative size", 16, "V", 65536, 0x80000010, 50000, true},
        {"E8, frame of 11 bytes at the end", 15, "V", 65536, 65547, 65547, true},
        {"E8, frame of 10 bytes at the end", 15, "A", 65536, 65546, 65546, true},
        {"exactly two frames", 16, "V", 65536, 0, 65536, true},
        {"one byte", 15, "V", 65536, 0, 1, true},
        {"one byte stored", 15, "U", 65536, 0, 1, true},
        {"window 2^19", 19, "VA", 200000, 0, 700000, true},
        {"window 2^20", 20, "AV", 300000, 50000, 1200000, true},
        {"largest window", 21, "AVU", 500000, 0, 2500000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = MixedData(c.size, c.windowBits * 131 + static_cast<uint32_t>(c.size),
                                     size_t{1} << c.windowBits);
        LzxEncodeOptions options;
        options.windowBits = c.windowBits;
        options.types = Types(c.types);
        options.blockSize = c.blockSize;
        options.e8Size = c.e8Size;
        options.matches = c.matches;
        const std::vector<LzxChunk> chunks = test::EncodeLzx(data, options);
        const Decoded d = Decode(chunks, c.windowBits, data.size());
        ASSERT_EQ(d.status, CabStatus::Ok);
        EXPECT_TRUE(d.out == data);
        ExpectFrames(d, data.size());
    }
}

// The bit stream runs on across data blocks: where the cabinet cuts it must
// not matter, even inside a 16-bit word or an uncompressed block's header.
TEST(LzxDecoder, BlockBoundariesAnywhere) {
    const Bytes data = MixedData(120000, 7);
    LzxEncodeOptions options;
    options.windowBits = 16;
    options.types = Types("VUA");
    options.blockSize = 20001;
    options.e8Size = 100000;
    Bytes stream;
    for (const LzxChunk& c : test::EncodeLzx(data, options)) stream.insert(stream.end(), c.data.begin(), c.data.end());

    std::mt19937 rng(3);
    for (unsigned split : {1u, 3u, 0u}) {
        SCOPED_TRACE(split);
        std::vector<LzxChunk> chunks;
        for (size_t p = 0; p < stream.size();) {
            size_t n = split ? split : rng() % 5000;  // random cuts include empty blocks
            n = std::min(n, stream.size() - p);
            LzxChunk c;
            c.data.assign(stream.begin() + static_cast<std::ptrdiff_t>(p),
                          stream.begin() + static_cast<std::ptrdiff_t>(p + n));
            chunks.push_back(std::move(c));
            p += n;
        }
        const Decoded d = Decode(chunks, 16, data.size());
        ASSERT_EQ(d.status, CabStatus::Ok);
        EXPECT_TRUE(d.out == data);
    }
}

// Repeated offsets in all three slots, offsets stored by an uncompressed
// block, and matches whose source lies across the window's end.
TEST(LzxDecoder, RepeatsAndWindowWrap) {
    std::mt19937 rng(11);
    LzxStream s;
    s.windowBits = 15;
    LzxBlock stored;
    stored.type = LzxBlockType::Uncompressed;
    for (unsigned i = 0; i < 65536 + 100; ++i) stored.raw.push_back(static_cast<uint8_t>(rng()));
    s.blocks.push_back(stored);

    LzxBlock verbatim;
    verbatim.tokens = {
        Match(20, 105),          // window position 100: source 5 bytes before the end
        Match(257, 28669),       // the farthest offset slots reach in 2^15
        Match(30, 40),           // R0=40 R1=28669 R2=105
        Lit('x'),
        Match(9, 105),           // from R2: R0=105 R2=40
        Match(5, 28669),         // from R1: R0=28669 R1=105
        Match(7, 28669, 0),      // R0 again
        Match(45, 1),            // a run
    };
    s.blocks.push_back(verbatim);

    LzxBlock stored2;
    stored2.type = LzxBlockType::Uncompressed;
    stored2.raw = {1, 2, 3};
    stored2.storedRepeats = std::array<uint32_t, 3>{32768, 3, 7};  // the whole window back
    s.blocks.push_back(stored2);
    LzxBlock aligned;
    aligned.type = LzxBlockType::Aligned;
    aligned.tokens = {Match(100, 32768, 0), Match(4, 3, 1), Match(50, 7, 2), Match(40, 1000), Match(8, 12345)};
    s.blocks.push_back(aligned);

    const Decoded d = Decode(s);
    ASSERT_EQ(d.status, CabStatus::Ok);
    EXPECT_TRUE(d.out == Expand(s));
}

// The decoder's own E8 translation against worked examples: the stream
// carries the bytes as they are and only its header asks for translation.
TEST(LzxDecoder, E8TranslationRules) {
    Bytes data(32768 + 40, 0x90);
    auto call = [&](size_t at, int32_t operand) {
        data[at] = 0xE8;
        for (unsigned k = 0; k < 4; ++k) data[at + 1 + k] = static_cast<uint8_t>(static_cast<uint32_t>(operand) >> (8 * k));
    };
    call(100, 1000);     // absolute 1000: becomes 1000 - 100
    call(200, -50);      // negative, within reach of the start: -50 + size
    call(300, 100000);   // at the size: left alone
    call(400, -401);     // before the start of the data: left alone
    call(500, 0);        // absolute 0: becomes -500
    data[600] = 0xE8;    // a call whose operand holds another E8 ...
    call(601, 1000);     // ... which is no call of its own
    call(32768 - 11, 7);  // the last place in a frame a call is translated
    call(32768 - 5, 7);   // inside the last 10 bytes: left alone
    call(32768 + 3, 32771 + 100);  // the next frame: positions run on
    call(32768 + 20, 9);  // a short last frame is translated too
    LzxEncodeOptions options;
    options.windowBits = 16;
    options.matches = false;
    LzxStream s = test::ParseLzx(data, options);
    s.e8Size = 100000;
    const Decoded d = Decode(s);
    ASSERT_EQ(d.status, CabStatus::Ok);

    auto operand = [&](size_t at) {
        uint32_t v = 0;
        for (unsigned k = 0; k < 4; ++k) v |= uint32_t{d.out[at + 1 + k]} << (8 * k);
        return static_cast<int32_t>(v);
    };
    EXPECT_EQ(operand(100), 900);
    EXPECT_EQ(operand(200), 99950);
    EXPECT_EQ(operand(300), 100000);
    EXPECT_EQ(operand(400), -401);
    EXPECT_EQ(operand(500), -500);
    EXPECT_EQ(operand(600), 0x0003E8E8);
    EXPECT_EQ(operand(601), 1000);
    EXPECT_EQ(operand(32768 - 11), 7 - (32768 - 11));
    EXPECT_EQ(operand(32768 - 5), 7);
    EXPECT_EQ(operand(32768 + 3), 100);
    EXPECT_EQ(operand(32768 + 20), 9 - (32768 + 20));
}

// ---------------------------------------------------------------------------
// Cabinets made by other tools.

struct CabLzxFolder {
    unsigned windowBits = 0;
    std::vector<LzxChunk> blocks;
    uint64_t total = 0;
};

// The first LZX folder of a cabinet, cut out by hand: only the fields that
// lead to the data blocks are read, so damaged cabinets still get here.
bool LoadLzxFolder(const std::string& name, CabLzxFolder& folder) {
    const std::string bytes = brik::test::ReadBytes(brik::test::CabTestFile(name));
    auto u8 = [&](size_t p) { return p < bytes.size() ? static_cast<uint8_t>(bytes[p]) : 0u; };
    auto u16 = [&](size_t p) { return static_cast<uint32_t>(u8(p) | u8(p + 1) << 8); };
    auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
    const uint32_t folders = u16(26);
    const uint32_t flags = u16(30);
    size_t p = 36;
    unsigned folderReserve = 0, dataReserve = 0;
    if (flags & 4) {
        const uint32_t headerReserve = u16(36);
        folderReserve = u8(38);
        dataReserve = u8(39);
        p = 40 + headerReserve;
    }
    for (unsigned strings = ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); strings; --strings) {
        while (p < bytes.size() && bytes[p]) ++p;
        ++p;
    }
    for (uint32_t i = 0; i < folders; ++i, p += 8 + folderReserve) {
        const uint32_t type = u16(p + 6);
        if ((type & 0x0F) != static_cast<unsigned>(Method::Lzx)) continue;
        folder.windowBits = (type >> 8) & 0x1F;
        size_t q = u32(p);
        for (uint32_t b = u16(p + 4); b; --b) {
            const uint32_t size = u16(q + 4);
            LzxChunk block;
            block.uncompressed = u16(q + 6);
            q += 8 + dataReserve;
            if (q + size > bytes.size()) return false;
            block.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(q),
                              bytes.begin() + static_cast<std::ptrdiff_t>(q + size));
            q += size;
            folder.total += block.uncompressed;
            folder.blocks.push_back(std::move(block));
        }
        return true;
    }
    return false;
}

// A real compressor's output must come out as an independent decoder has
// it (file by file: offset, size, digest); the damaged cabinets that made
// other decoders read out of bounds or accept garbage must fail.
TEST(LzxDecoder, CabinetTestData) {
    struct Piece {
        size_t offset;
        size_t size;
        const char* md5;
    };
    struct Case {
        const char* cab;
        CabStatus status;
        std::vector<Piece> files;
    };
    const Case cases[] = {
        {"mszip_lzx_qtm.cab", CabStatus::Ok, {{0, SIZE_MAX, "703474293b614e7110b3eb8ac2762b53"}}},
        {"normal_2files_2folders.cab",
         CabStatus::Ok,
         {{0, 23, "67c5cd73e661fa667b8de3d8a5f6f3bf"}, {23, 28, "5182c12627058cf1afd4e6ce8f10d635"}}},
        {"lzx-main-tree-no-lengths.cab", CabStatus::BadData, {}},
        {"lzx-premature-matches.cab", CabStatus::BadData, {}},
        {"cve-2015-4471-lzx-under-read.cab", CabStatus::BadData, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cab);
        CabLzxFolder folder;
        ASSERT_TRUE(LoadLzxFolder(c.cab, folder));
        const Decoded d = Decode(folder.blocks, folder.windowBits, folder.total);
        EXPECT_EQ(d.status, c.status);
        for (const Piece& f : c.files) {
            ASSERT_LE(f.offset, d.out.size());
            EXPECT_EQ(Md5Of(d.out, f.offset, f.size), f.md5);
        }
        if (c.status == CabStatus::Ok) {
            EXPECT_EQ(d.out.size(), folder.total);
        }
    }
}

// ---------------------------------------------------------------------------
// Damaged streams.

TEST(LzxDecoder, MalformedStreams) {
    struct Case {
        const char* name;
        LzxStream stream;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, std::vector<LzxBlock> blocks, unsigned windowBits = 15) {
        LzxStream s;
        s.windowBits = windowBits;
        s.blocks = std::move(blocks);
        cases.push_back({name, std::move(s)});
    };
    for (unsigned type : {0u, 4u, 5u, 6u, 7u}) {
        LzxBlock b = Verbatim(Literals(100));
        b.rawType = type;
        add("bad block type", {b});
    }
    add("match before the first byte (repeat R0 = 1)", {Verbatim({Match(5, 1, 0), Lit('a')})});
    add("match before the first byte", {Verbatim({Lit('a'), Lit('b'), Match(10, 3)})});
    add("match before the first byte, second frame",
        {Stored(32768), Verbatim({Lit('a'), Match(4, 32770)})}, 16);
    {
        LzxBlock repeats = Stored(2);
        repeats.storedRepeats = std::array<uint32_t, 3>{32769, 1, 1};
        add("stored repeat offset beyond the window", {Stored(40000), repeats, Verbatim({Match(10, 32769, 0)})});
        repeats.storedRepeats = std::array<uint32_t, 3>{0, 1, 1};
        add("stored repeat offset zero", {Stored(100), repeats, Verbatim({Match(10, 0, 0)})});
        repeats.storedRepeats = std::array<uint32_t, 3>{1, 1, 0xFFFFFFFF};
        add("stored repeat offset 2^32-1", {Stored(100), repeats, Verbatim({Match(10, 0xFFFFFFFF, 2)})});
    }
    {
        std::vector<LzxToken> t = Literals(32760);
        t.push_back(Match(20, 1000));  // runs 12 bytes into the second frame
        t.push_back(Lit('z'));
        add("match across a frame end", {Verbatim(t)});
    }
    {
        LzxBlock b = Verbatim({Lit('a'), Lit('b'), Lit('c'), Match(30, 3), Lit('d')});
        b.declaredSize = 20;  // ends inside the match
        add("match across a block end", {b, Verbatim(Literals(14))});
    }
    {
        LzxBlock b = Verbatim(Literals(100));
        b.declaredSize = 101;
        add("block longer than the folder", {b});
        LzxBlock s = Stored(100);
        s.declaredSize = 0xFFFFFF;
        add("stored block longer than the folder", {s});
    }
    {
        LzxBlock b = Verbatim({Lit('a'), Lit('b'), Match(40, 2), Lit('c')});
        b.emptyLengthTree = true;
        add("long match with an empty length tree", {b});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<LzxChunk> chunks = test::WriteLzx(c.stream);
        // The folder's size comes from the tokens, not from the lying header.
        uint64_t total = 0;
        for (const LzxBlock& b : c.stream.blocks) {
            total += b.raw.size();
            for (const LzxToken& t : b.tokens) total += t.length ? t.length : 1;
        }
        const Decoded d = Decode(chunks, c.stream.windowBits, total);
        EXPECT_EQ(d.status, CabStatus::BadData);
    }
}

// Cut short anywhere, a stream fails; it never decodes garbage past its end.
TEST(LzxDecoder, TruncatedStreams) {
    const Bytes data = MixedData(70000, 5);
    LzxEncodeOptions options;
    options.windowBits = 16;
    options.types = Types("AVU");
    options.blockSize = 30000;
    const std::vector<LzxChunk> chunks = test::EncodeLzx(data, options);
    ASSERT_EQ(chunks.size(), 3u);
    // Everything but the last chunk's end, cut at several points.
    for (size_t keep : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, chunks[2].data.size() / 2,
                        chunks[2].data.size() - 2}) {
        SCOPED_TRACE(keep);
        std::vector<LzxChunk> cut = chunks;
        cut[2].data.resize(keep);
        EXPECT_EQ(Decode(cut, 16, data.size()).status, CabStatus::BadData);
    }
    // Whole blocks missing.
    std::vector<LzxChunk> two(chunks.begin(), chunks.begin() + 2);
    EXPECT_EQ(Decode(two, 16, data.size()).status, CabStatus::BadData);
    EXPECT_EQ(Decode(std::vector<LzxChunk>{}, 16, data.size()).status, CabStatus::BadData);
    // A stream of nothing but zero bytes, and of 0xFF bytes.
    for (uint8_t fill : {uint8_t{0}, uint8_t{0xFF}}) {
        LzxChunk junk;
        junk.data.assign(40000, fill);
        EXPECT_EQ(Decode(std::vector<LzxChunk>{junk}, 16, 32768).status, CabStatus::BadData);
    }
}

// A source that fails says why; the decoder passes that on instead of
// calling the data damaged.
TEST(LzxDecoder, SourceFailurePassedOn) {
    const Bytes data = MixedData(100000, 9);
    LzxEncodeOptions options;
    const std::vector<LzxChunk> chunks = test::EncodeLzx(data, options);
    for (CabStatus failure : {CabStatus::ReadError, CabStatus::BadChecksum}) {
        ChunkSource source(chunks, 2, failure);
        EXPECT_EQ(Decode(source, 16, data.size()).status, failure);
    }
}

TEST(LzxDecoder, WindowSizes) {
    ChunkSource source({});
    for (unsigned bits : {0u, 14u, 22u, 31u}) {
        CabStatus status = CabStatus::Ok;
        EXPECT_EQ(MakeLzxDecoder(source, bits, 100, status), nullptr);
        EXPECT_EQ(status, CabStatus::BadFormat) << bits;
    }
    // An empty folder needs no input at all.
    const Decoded d = Decode(source, 21, 0);
    EXPECT_EQ(d.status, CabStatus::Ok);
    EXPECT_TRUE(d.out.empty());
}

}  // namespace
}  // namespace brik::cab
