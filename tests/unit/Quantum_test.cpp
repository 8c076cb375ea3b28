#include "cab/Quantum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Md5.h"
#include "QuantumTestEncoder.h"
#include "ChunkSource.h"
#include "TestUtil.h"
#include "cab/Cabinet.h"

namespace brik::cab {
namespace {

using test::QtmChunk;
using test::QtmToken;

using ChunkSource = brik::test::ChunkSource<QtmChunk>;

struct Decoded {
    CabStatus status = CabStatus::Ok;
    std::vector<uint8_t> out;
    std::vector<uint32_t> frames;
};

Decoded Decode(BlockSource& source, unsigned windowBits, uint64_t total) {
    Decoded d;
    auto decoder = MakeQuantumDecoder(source, windowBits, total, d.status);
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
    if (d.status == CabStatus::Ok) {
        // Past the end the decoder has nothing more to say.
        const uint8_t* frame = nullptr;
        uint32_t size = 1;
        EXPECT_EQ(decoder->NextFrame(frame, size), CabStatus::Ok);
        EXPECT_EQ(size, 0u);
    }
    return d;
}

Decoded Decode(const std::vector<QtmChunk>& chunks, unsigned windowBits, uint64_t total) {
    ChunkSource source(chunks);
    return Decode(source, windowBits, total);
}

std::string Md5Of(const std::vector<uint8_t>& bytes) {
    brik::test::Md5 md5;
    md5.Update(bytes.data(), bytes.size());
    return md5.HexDigest();
}

// ---------------------------------------------------------------------------
// Cabinets made by other tools.

struct CabQuantumFolder {
    unsigned windowBits = 0;
    std::vector<QtmChunk> blocks;
    uint64_t total = 0;
};

// The first Quantum folder of a cabinet without reserved areas, its data
// blocks cut out by hand.
bool LoadQuantumFolder(const std::string& name, CabQuantumFolder& folder) {
    FileSource source;
    Cabinet cab;
    if (!source.Open(brik::test::CabTestFile(name)) || cab.Open(source) != CabStatus::Ok) return false;
    const std::string bytes = brik::test::ReadBytes(brik::test::CabTestFile(name));
    auto at = [&](size_t p) { return static_cast<uint8_t>(bytes[p]); };
    if (at(30) & 4) return false;  // reserved areas: not needed here
    for (const CabFolder& f : cab.Folders()) {
        if ((f.typeCompress & 0x0F) != static_cast<unsigned>(Method::Quantum)) continue;
        folder.windowBits = (f.typeCompress >> 8) & 0x1F;
        size_t p = f.dataOffset;
        for (unsigned i = 0; i < f.blockCount; ++i) {
            if (p + 8 > bytes.size()) return false;
            const uint32_t size = at(p + 4) | at(p + 5) << 8;
            QtmChunk block;
            block.uncompressed = at(p + 6) | at(p + 7) << 8;
            p += 8;
            if (p + size > bytes.size()) return false;
            block.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(p),
                              bytes.begin() + static_cast<std::ptrdiff_t>(p + size));
            p += size;
            folder.total += block.uncompressed;
            folder.blocks.push_back(std::move(block));
        }
        return true;
    }
    return false;
}

// A real compressor's output must come out as an independent decoder has
// it; the damaged cabinets that hung or overran other decoders must fail.
TEST(QuantumDecoder, CabinetTestData) {
    struct Case {
        const char* cab;
        CabStatus status;
        const char* md5;
    };
    const Case cases[] = {
        {"mszip_lzx_qtm.cab", CabStatus::Ok, "98fcfa4962a0f169a3c7fdbcb445cf17"},
        {"cve-2014-9556-qtm-infinite-loop.cab", CabStatus::BadData, nullptr},
        {"cve-2018-18584-qtm-max-size-block.cab", CabStatus::BadData, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cab);
        CabQuantumFolder folder;
        ASSERT_TRUE(LoadQuantumFolder(c.cab, folder));
        Decoded d = Decode(folder.blocks, folder.windowBits, folder.total);
        EXPECT_EQ(d.status, c.status);
        if (c.md5) {
            EXPECT_EQ(Md5Of(d.out), c.md5);
        }
    }
}

// ---------------------------------------------------------------------------
// Round trips through the test encoder.

// Text from a small vocabulary, runs of random high bytes, long repeats and
// every byte value: literals of all four models and matches of every kind.
std::vector<uint8_t> MixedData(size_t size, uint32_t seed) {
    static const char* const words[] = {"the ",   "cabinet ", "frame ",  "window ", "quantum ", "setup ",
                                        "\r\n",    "file ",    "folder ", "{ ",      "} ",       "0x1F, ",
                                        "model ", "arith ",   "Brisk ",  "|~~| "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    while (out.size() < size) {
        switch (rng() % 8) {
            case 0: {  // random bytes of the upper half
                const size_t n = 1 + rng() % 40;
                for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(128 + rng() % 128));
                break;
            }
            case 1: {  // a long repeat from far back
                if (out.size() < 600) break;
                const size_t len = 200 + rng() % 400;
                const size_t from = rng() % (out.size() - 300);
                for (size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
                break;
            }
            case 2: {  // control bytes and punctuation
                const size_t n = 1 + rng() % 6;
                for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(rng() % 64));
                break;
            }
            default: {
                const char* w = words[rng() % (sizeof words / sizeof *words)];
                out.insert(out.end(), w, w + std::char_traits<char>::length(w));
                break;
            }
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// Which parts of the format a token stream exercises.
struct Coverage {
    bool literal[4] = {};
    bool length3 = false, length4 = false, lengthLong = false, length259 = false;

    void Add(const std::vector<QtmToken>& tokens) {
        for (const QtmToken& t : tokens) {
            if (t.length == 0) literal[t.literal / 64] = true;
            length3 |= t.length == 3;
            length4 |= t.length == 4;
            lengthLong |= t.length >= 5;
            length259 |= t.length == 259;
        }
    }
};

TEST(QuantumDecoder, RoundTrips) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        unsigned windowBits;
        unsigned maxLength;
        std::vector<unsigned> padding;
        unsigned blocksPerFrame;
    };
    const std::vector<uint8_t> mixed = MixedData(100000, 1);
    const Case cases[] = {
        {"several frames, the last short", mixed, 16, 259, {0, 1, 2, 3, 4}, 1},
        {"window smaller than a frame", mixed, 10, 259, {4}, 1},
        {"window of one frame", mixed, 15, 259, {0}, 1},
        {"largest window", MixedData(150000, 2), 21, 259, {2}, 1},
        {"short matches only", MixedData(70000, 3), 12, 4, {1}, 1},
        {"length-3 matches only", MixedData(40000, 4), 11, 3, {0}, 1},
        {"whole frames only", MixedData(65536, 5), 17, 259, {3, 0}, 1},
        {"frames over several blocks", mixed, 16, 259, {0, 2}, 3},
        {"incompressible", RandomBytes(50000, 6), 16, 259, {0}, 1},
        {"one byte", {0x41}, 10, 259, {0}, 1},
        {"a long run", std::vector<uint8_t>(80000, 0xE5), 20, 259, {0}, 1},
    };
    Coverage coverage;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::QtmParseOptions parse;
        parse.windowBits = c.windowBits;
        parse.maxLength = c.maxLength;
        const std::vector<QtmToken> tokens = test::ParseQuantum(c.data, parse);
        ASSERT_EQ(test::ExpandTokens(tokens), c.data);
        coverage.Add(tokens);

        test::QtmWriteOptions write;
        write.windowBits = c.windowBits;
        write.padding = c.padding;
        write.blocksPerFrame = c.blocksPerFrame;
        const Decoded d = Decode(test::WriteQuantum(tokens, write), c.windowBits, c.data.size());
        ASSERT_EQ(d.status, CabStatus::Ok);
        EXPECT_TRUE(d.out == c.data);
        for (size_t i = 0; i + 1 < d.frames.size(); ++i) EXPECT_EQ(d.frames[i], kFrameSize);
    }
    for (bool seen : coverage.literal) EXPECT_TRUE(seen);
    EXPECT_TRUE(coverage.length3 && coverage.length4 && coverage.lengthLong && coverage.length259);
}

// Builds output by hand: `literals` random literals, then long matches (cut
// at frame ends) until `size` bytes exist.
class TokenBuilder {
public:
    explicit TokenBuilder(uint32_t seed) : rng_(seed) {}

    TokenBuilder& Literals(size_t count) {
        for (size_t i = 0; i < count; ++i) Add({0, static_cast<uint8_t>(rng_()), 0});
        return *this;
    }
    // Fills to `size` bytes with matches at `offset`.
    TokenBuilder& FillTo(uint64_t size, uint32_t offset) {
        while (produced_ < size) {
            const uint64_t room = std::min<uint64_t>(kFrameSize - produced_ % kFrameSize, size - produced_);
            if (room < 3) {
                Literals(1);
                continue;
            }
            Add({static_cast<uint32_t>(std::min<uint64_t>(room, 259)), 0, offset});
        }
        return *this;
    }
    TokenBuilder& Match(uint32_t length, uint32_t offset) {
        Add({length, 0, offset});
        return *this;
    }
    uint64_t Produced() const { return produced_; }
    const std::vector<QtmToken>& Tokens() const { return tokens_; }

private:
    void Add(QtmToken t) {
        tokens_.push_back(t);
        produced_ += t.length ? t.length : 1;
    }
    std::mt19937 rng_;
    std::vector<QtmToken> tokens_;
    uint64_t produced_ = 0;
};

// A cabinet of one file in one Quantum folder of these blocks.
std::string QuantumCabinet(const std::string& name, uint32_t fileSize, unsigned windowBits,
                           const std::vector<QtmChunk>& chunks) {
    std::string cab;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) cab += static_cast<char>(v >> (8 * i));
    };
    const uint32_t dataAt = 36 + 8 + 16 + static_cast<uint32_t>(name.size()) + 1;
    uint32_t cabSize = dataAt;
    for (const QtmChunk& c : chunks) cabSize += 8 + static_cast<uint32_t>(c.data.size());
    cab = "MSCF";
    put(0, 4), put(cabSize, 4), put(0, 4), put(36 + 8, 4), put(0, 4), put(0x0103, 2), put(1, 2), put(1, 2);
    put(0, 2), put(0, 2), put(0, 2);
    put(dataAt, 4), put(static_cast<uint32_t>(chunks.size()), 2);
    put(static_cast<uint32_t>(Method::Quantum) | windowBits << 8, 2);
    put(fileSize, 4), put(0, 4), put(0, 2), put(0x5021, 2), put(0x6000, 2), put(0x20, 2);
    cab += name + '\0';
    for (const QtmChunk& c : chunks) {
        const uint8_t sizes[4] = {static_cast<uint8_t>(c.data.size()), static_cast<uint8_t>(c.data.size() >> 8),
                                  static_cast<uint8_t>(c.uncompressed), static_cast<uint8_t>(c.uncompressed >> 8)};
        put(CabChecksum(sizes, 4, CabChecksum(c.data.data(), c.data.size(), 0)), 4);
        cab.append(reinterpret_cast<const char*>(sizes), 4);
        cab.append(c.data.begin(), c.data.end());
    }
    return cab;
}

// A compressor sees the window's initial zeros as data, so a run of zeros is
// matches from the first byte on: half a megabyte of them, a few bytes per
// frame followed by 0 to 4 bytes of padding, across a window that wraps
// once. A writer may count the last block as a whole frame although the
// file ends 129 bytes short of it and only those bytes were coded: the
// cabinet is read as far as its file goes, as cabextract reads it.
TEST(QuantumDecoder, ARunOfZerosMatchedFromTheWindowsStart) {
    struct Case {
        const char* what;
        uint32_t size;
        std::vector<unsigned> padding;
        bool lastBlockClaimsWholeFrame;
    };
    const Case cases[] = {
        {"whole frames", 512 * 1024, {0, 4, 1}, false},
        {"a short last frame", 512 * 1024 - 129, {2, 0, 3, 1, 4}, false},
        {"a short last frame in a block that claims a whole one", 512 * 1024 - 129, {1, 3, 0, 4, 2}, true},
    };
    // On Windows the cross-check has no cabextract to run.
#ifdef _WIN32
    const bool haveCabextract = false;
#else
    const bool haveCabextract = std::system("command -v cabextract >/dev/null 2>&1") == 0;
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TokenBuilder b(1);
        b.FillTo(c.size, 1);
        ASSERT_NE(b.Tokens().front().length, 0u);
        test::QtmWriteOptions write;
        write.windowBits = 18;
        write.padding = c.padding;
        write.lastBlockClaimsWholeFrame = c.lastBlockClaimsWholeFrame;
        const std::vector<QtmChunk> chunks = test::WriteQuantum(b.Tokens(), write);
        ASSERT_EQ(chunks.size(), 16u);
        for (const QtmChunk& chunk : chunks) {
            EXPECT_LE(chunk.data.size(), 16u);
            EXPECT_EQ(chunk.uncompressed, &chunk == &chunks.back() && !c.lastBlockClaimsWholeFrame
                                              ? c.size - 15 * kFrameSize
                                              : kFrameSize);
        }
        const Decoded d = Decode(chunks, 18, c.size);
        ASSERT_EQ(d.status, CabStatus::Ok);
        EXPECT_TRUE(d.out == std::vector<uint8_t>(c.size, 0));

        // The same folder as a cabinet, walked as brikpack and the engine
        // walk it, and by cabextract.
        const std::string cab = QuantumCabinet("zeros.bin", c.size, 18, chunks);
        MemorySource source(cab.data(), cab.size());
        Cabinet cabinet;
        ASSERT_EQ(cabinet.Open(source), CabStatus::Ok) << cabinet.Error();
        struct Count final : WalkHandler {
            FileAction BeginFile(const CabFile&) override { return FileAction::Write; }
            bool WriteData(const CabFile&, const uint8_t* data, uint32_t size) override {
                nonZero = nonZero || std::any_of(data, data + size, [](uint8_t x) { return x != 0; });
                bytes += size;
                return true;
            }
            bool EndFile(const CabFile&) override { return true; }
            uint64_t bytes = 0;
            bool nonZero = false;
        } count;
        EXPECT_EQ(cabinet.Walk(count), CabStatus::Ok) << cabinet.Error();
        EXPECT_EQ(count.bytes, c.size);
        EXPECT_FALSE(count.nonZero);

        if (!haveCabextract) continue;
        brik::test::ScratchDir dir;
        brik::test::WriteBytes(dir.Path("zeros.cab"), cab);
        const std::string command = "cabextract -q -d '" + dir.Path("out") + "' '" + dir.Path("zeros.cab") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(brik::test::ReadBytes(dir.Path("out/zeros.bin")), std::string(c.size, '\0'));
    }
#ifndef _WIN32
    if (!haveCabextract) GTEST_SKIP() << "cabextract is not installed: decoded, but not cross-checked";
#endif
}

// Every window size: matches of each kind reaching as far back as their
// model can code, up to a whole window.
TEST(QuantumDecoder, MatchesReachTheWholeWindow) {
    for (unsigned bits = kQuantumMinWindowBits; bits <= kQuantumMaxWindowBits; ++bits) {
        SCOPED_TRACE(bits);
        const uint32_t window = 1u << bits;
        TokenBuilder b(bits);
        b.Literals(1000).FillTo(window + 7, 997);
        // Not across a frame end: the builder's fill left room for these.
        if (kFrameSize - b.Produced() % kFrameSize < 3 + 4 + 259) b.FillTo(b.Produced() + 300, 997);
        b.Match(259, window).Match(3, test::QtmMaxOffset(bits, 3)).Match(4, test::QtmMaxOffset(bits, 4));
        ASSERT_EQ(test::QtmMaxOffset(bits, 5), window);
        test::QtmWriteOptions write;
        write.windowBits = bits;
        const Decoded d = Decode(test::WriteQuantum(b.Tokens(), write), bits, b.Produced());
        ASSERT_EQ(d.status, CabStatus::Ok);
        EXPECT_TRUE(d.out == test::ExpandTokens(b.Tokens()));
    }
}

// ---------------------------------------------------------------------------
// Malformed input.

TEST(QuantumDecoder, WindowSizes) {
    const struct {
        unsigned bits;
        CabStatus status;
    } cases[] = {{0, CabStatus::BadFormat},  {9, CabStatus::BadFormat}, {10, CabStatus::Ok},
                 {21, CabStatus::Ok},        {22, CabStatus::BadFormat}, {31, CabStatus::BadFormat},
                 {255, CabStatus::BadFormat}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        ChunkSource source(std::vector<QtmChunk>{});
        CabStatus status = CabStatus::ReadError;
        auto decoder = MakeQuantumDecoder(source, c.bits, 1000, status);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(decoder != nullptr, c.status == CabStatus::Ok);
    }
}

TEST(QuantumDecoder, MalformedStreams) {
    struct Case {
        const char* name;
        std::function<void(TokenBuilder&)> tokens;
        int64_t totalDelta;  // the folder's size against the tokens' output
        std::function<void(std::vector<QtmChunk>&)> damage;
        size_t failAt;        // the source fails at this block
        CabStatus failWith;
        CabStatus expected;
    };
    auto none = [](std::vector<QtmChunk>&) {};
    const Case cases[] = {
        {"a match back to the first byte", [](TokenBuilder& b) { b.Literals(2).Match(3, 2); }, 0, none,
         SIZE_MAX, CabStatus::Ok, CabStatus::Ok},
        {"a match reaching into the window's first zeros", [](TokenBuilder& b) { b.Literals(2).Match(3, 3); },
         0, none, SIZE_MAX, CabStatus::Ok, CabStatus::Ok},
        {"a match at the very start", [](TokenBuilder& b) { b.Match(40, 1); }, 0, none, SIZE_MAX,
         CabStatus::Ok, CabStatus::Ok},
        {"a match partly before the first byte in a later frame",
         [](TokenBuilder& b) { b.Literals(10).FillTo(40000, 7).Match(200, 40001); }, 0, none, SIZE_MAX,
         CabStatus::Ok, CabStatus::Ok},
        {"a match across a frame's end", [](TokenBuilder& b) { b.Literals(1).FillTo(32766, 1).Match(5, 1); },
         0, none, SIZE_MAX, CabStatus::Ok, CabStatus::BadData},
        {"a match past the folder's end", [](TokenBuilder& b) { b.Literals(50).Match(50, 50); }, -2, none,
         SIZE_MAX, CabStatus::Ok, CabStatus::BadData},
        {"more input than the folder's output", [](TokenBuilder& b) { b.Literals(50).Match(50, 50); }, -50,
         none, SIZE_MAX, CabStatus::Ok, CabStatus::Ok},
        {"a folder larger than its data", [](TokenBuilder& b) { b.Literals(50).Match(50, 50); }, 40000, none,
         SIZE_MAX, CabStatus::Ok, CabStatus::BadData},
        {"the last block cut short",
         [](TokenBuilder& b) { b.Literals(3000).FillTo(50000, 1234).Literals(500); }, 0,
         [](std::vector<QtmChunk>& c) { c.back().data.resize(c.back().data.size() / 2); }, SIZE_MAX,
         CabStatus::Ok, CabStatus::BadData},
        {"the last block without its final zero bytes",
         [](TokenBuilder& b) { b.Literals(3000).FillTo(50000, 1234).Literals(500); }, 0,
         [](std::vector<QtmChunk>& c) {
             for (int i = 0; i < 2 && !c.back().data.empty() && c.back().data.back() == 0; ++i)
                 c.back().data.pop_back();
         },
         SIZE_MAX, CabStatus::Ok, CabStatus::Ok},
        {"a middle block missing", [](TokenBuilder& b) { b.Literals(3000).FillTo(100000, 1234); }, 0,
         [](std::vector<QtmChunk>& c) { c.erase(c.begin() + 1); }, SIZE_MAX, CabStatus::Ok,
         CabStatus::BadData},
        {"no blocks at all", [](TokenBuilder& b) { b.Literals(100); }, 0,
         [](std::vector<QtmChunk>& c) { c.clear(); }, SIZE_MAX, CabStatus::Ok, CabStatus::BadData},
        {"a block fails its checksum", [](TokenBuilder& b) { b.Literals(3000).FillTo(100000, 1234); }, 0, none,
         1, CabStatus::BadChecksum, CabStatus::BadChecksum},
        {"the host file cannot be read", [](TokenBuilder& b) { b.Literals(100); }, 0, none, 0,
         CabStatus::ReadError, CabStatus::ReadError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TokenBuilder b(7);
        c.tokens(b);
        test::QtmWriteOptions write;
        write.windowBits = 17;
        std::vector<QtmChunk> chunks = test::WriteQuantum(b.Tokens(), write);
        c.damage(chunks);
        ChunkSource source(chunks, c.failAt, c.failWith);
        const uint64_t total = static_cast<uint64_t>(static_cast<int64_t>(b.Produced()) + c.totalDelta);
        const Decoded d = Decode(source, 17, total);
        EXPECT_EQ(d.status, c.expected);
        if (c.expected == CabStatus::Ok) {
            std::vector<uint8_t> want = test::ExpandTokens(b.Tokens());
            want.resize(static_cast<size_t>(total));
            EXPECT_TRUE(d.out == want);
        }
    }
}

// Damaged and random streams end in an error or in exactly the folder's
// output, never anything else (the sanitizer build watches the memory).
TEST(QuantumDecoder, DamagedStreamsFailCleanly) {
    std::mt19937 rng(99);
    const std::vector<uint8_t> data = MixedData(70000, 8);
    test::QtmParseOptions parse;
    parse.windowBits = 15;
    test::QtmWriteOptions write;
    write.windowBits = 15;
    const std::vector<QtmChunk> good = test::WriteQuantum(test::ParseQuantum(data, parse), write);
    for (int round = 0; round < 60; ++round) {
        std::vector<QtmChunk> chunks = good;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i) {
            QtmChunk& c = chunks[rng() % chunks.size()];
            c.data[rng() % c.data.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        const Decoded d = Decode(chunks, 15, data.size());
        if (d.status == CabStatus::Ok) {
            EXPECT_EQ(d.out.size(), data.size());
        } else {
            EXPECT_EQ(d.status, CabStatus::BadData);
        }
    }
    for (int round = 0; round < 60; ++round) {
        const unsigned bits = kQuantumMinWindowBits + static_cast<unsigned>(rng() % 12);
        std::vector<QtmChunk> chunks(1 + rng() % 3);
        for (QtmChunk& c : chunks) c.data = RandomBytes(rng() % 3000, static_cast<uint32_t>(rng()));
        const uint64_t total = 1 + rng() % 100000;
        const Decoded d = Decode(chunks, bits, total);
        if (d.status == CabStatus::Ok) {
            EXPECT_EQ(d.out.size(), total);
        } else {
            EXPECT_EQ(d.status, CabStatus::BadData);
        }
    }
}

}  // namespace
}  // namespace brik::cab
