#include "cab/Mszip.h"

#include <cstring>

namespace brik::cab {

namespace {

constexpr uint32_t kHistory = 32768;
// Frames are decoded into this much buffer before the history is moved back
// to its start: a 32 KB move per seven frames.
constexpr uint32_t kWindowSize = 8 * kHistory;
// Match copies run in 8-byte steps and may write this far past a frame.
constexpr uint32_t kSlack = 16;
constexpr uint32_t kMaxMatch = 258;

// Lengths for symbols 257..285 and distances for codes 0..29: the base in
// the high bits, the number of extra bits in the low byte.
constexpr uint32_t kLength[29] = {
    3 << 8,       4 << 8,       5 << 8,       6 << 8,       7 << 8,       8 << 8,
    9 << 8,       10 << 8,      11 << 8 | 1,  13 << 8 | 1,  15 << 8 | 1,  17 << 8 | 1,
    19 << 8 | 2,  23 << 8 | 2,  27 << 8 | 2,  31 << 8 | 2,  35 << 8 | 3,  43 << 8 | 3,
    51 << 8 | 3,  59 << 8 | 3,  67 << 8 | 4,  83 << 8 | 4,  99 << 8 | 4,  115 << 8 | 4,
    131 << 8 | 5, 163 << 8 | 5, 195 << 8 | 5, 227 << 8 | 5, 258 << 8};
constexpr uint32_t kDistance[30] = {
    1 << 8,         2 << 8,          3 << 8,          4 << 8,          5 << 8 | 1,
    7 << 8 | 1,     9 << 8 | 2,      13 << 8 | 2,     17 << 8 | 3,     25 << 8 | 3,
    33 << 8 | 4,    49 << 8 | 4,     65 << 8 | 5,     97 << 8 | 5,     129 << 8 | 6,
    193 << 8 | 6,   257 << 8 | 7,    385 << 8 | 7,    513 << 8 | 8,    769 << 8 | 8,
    1025 << 8 | 9,  1537 << 8 | 9,   2049 << 8 | 10,  3073 << 8 | 10,  4097 << 8 | 11,
    6145 << 8 | 11, 8193 << 8 | 12,  12289 << 8 | 12, 16385 << 8 | 13, 24577 << 8 | 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr unsigned kEndOfBlock = 256;

struct FixedTables {
    MszipDecoder::LitTable lit;
    MszipDecoder::DistTable dist;
    FixedTables() {
        uint8_t lengths[288];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        lit.Build(lengths, 288);
        std::memset(lengths, 5, 32);
        dist.Build(lengths, 32);
    }
};

// Built at first use and kept: the compiler would otherwise compute them
// and put 13 KB of tables into the image of every program that decodes.
const FixedTables& Fixed() {
    static const FixedTables* const tables = new FixedTables;
    return *tables;
}

// Copies a match of `len` bytes from `dist` bytes back; may write up to 7
// bytes beyond the match.
inline void CopyMatch(uint8_t* out, uint32_t dist, uint32_t len) {
    const uint8_t* src = out - dist;
    if (dist >= 8) {
        uint8_t* const end = out + len;
        do {
            uint64_t chunk;
            std::memcpy(&chunk, src, 8);
            std::memcpy(out, &chunk, 8);
            out += 8;
            src += 8;
        } while (out < end);
    } else if (dist == 1) {
        std::memset(out, *src, len);
    } else {
        for (uint32_t i = 0; i < len; ++i) out[i] = src[i];
    }
}

}  // namespace

MszipDecoder::MszipDecoder(BlockSource& source)
    : reader_(source, BlockSpan::OneBlock), window_(new uint8_t[kWindowSize + kSlack]), pos_(window_.get()) {
    Fixed();
}

CabStatus MszipDecoder::NextFrame(const uint8_t*& out, uint32_t& size) {
    out = nullptr;
    size = 0;
    if (status_ != CabStatus::Ok) return status_;
    if (!reader_.StartNextBlock()) {
        const CabStatus s = reader_.SourceStatus();
        return status_ = s == CabStatus::Ok ? CabStatus::BadData : s;
    }
    const uint32_t n = reader_.BlockOutputSize();
    if (n > kFrameSize) return status_ = CabStatus::BadData;
    uint8_t* const window = window_.get();
    if (static_cast<size_t>(pos_ - window) + kFrameSize > kWindowSize) {
        std::memmove(window, pos_ - kHistory, kHistory);
        pos_ = window + kHistory;
    }
    if (!InflateBlock(pos_ + n)) return status_ = CabStatus::BadData;
    out = pos_;
    size = n;
    pos_ += n;
    return CabStatus::Ok;
}

bool MszipDecoder::InflateBlock(uint8_t* const frameEnd) {
    if (reader_.Read(8) != 'C' || reader_.Read(8) != 'K') return false;
    uint8_t* out = pos_;
    bool last = false;
    while (!last) {
        // Every deflate block costs input, so a stream that never ends runs
        // out of it here.
        if (reader_.OverrunBits() > 0) return false;
        last = reader_.Read(1) != 0;
        switch (reader_.Read(2)) {
            case 0:
                if (!CopyStored(out, frameEnd)) return false;
                break;
            case 1:
                if (!InflateCodes(Fixed().lit, Fixed().dist, out, frameEnd)) return false;
                break;
            case 2:
                if (!ReadDynamicTables() || !InflateCodes(lit_, dist_, out, frameEnd)) return false;
                break;
            default: return false;
        }
    }
    return out == frameEnd && reader_.OverrunBits() == 0;
}

bool MszipDecoder::CopyStored(uint8_t*& out, uint8_t* const frameEnd) {
    reader_.Align();
    const uint32_t len = reader_.Read(16);
    const uint32_t check = reader_.Read(16);
    if (len != (~check & 0xFFFF) || len > static_cast<size_t>(frameEnd - out)) return false;
    if (!reader_.ReadBytes(out, len)) return false;
    out += len;
    return true;
}

bool MszipDecoder::ReadDynamicTables() {
    const uint32_t nlit = reader_.Read(5) + 257;
    const uint32_t ndist = reader_.Read(5) + 1;
    const uint32_t ncode = reader_.Read(4) + 4;
    if (nlit > 286 || ndist > 30) return false;

    uint8_t lengths[286 + 30] = {};
    for (uint32_t i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(reader_.Read(3));
    HuffmanTable<BitOrder::Lsb8, 19, 7, 7> codeLengths;
    if (!codeLengths.Build(lengths, 19)) return false;

    const uint32_t total = nlit + ndist;
    uint32_t i = 0;
    while (i < total) {
        const uint32_t sym = codeLengths.Decode(reader_);
        if (sym < 16) {
            lengths[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        uint32_t repeat;
        if (sym == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + reader_.Read(2);
        } else if (sym == 17) {
            repeat = 3 + reader_.Read(3);
        } else if (sym == 18) {
            repeat = 11 + reader_.Read(7);
        } else {
            return false;
        }
        if (repeat > total - i) return false;
        std::memset(lengths + i, value, repeat);
        i += repeat;
    }
    if (reader_.OverrunBits() > 0 || lengths[kEndOfBlock] == 0) return false;
    // A single code (of one bit) is how an encoder writes a tree it barely
    // needs; no distance codes at all means a block of literals only.
    return lit_.Build(lengths, nlit, kHuffmanAllowSingle) &&
           dist_.Build(lengths + nlit, ndist, kHuffmanAllowSingle | kHuffmanAllowEmpty);
}

namespace {

enum class Run { More, EndOfBlock, Bad };

// Decodes while there is enough input and output room that only the data
// can stop it; More when it gets near either end. Works on a copy of the bit
// position so that it stays in registers (stores through `out` could alias
// it otherwise).
inline Run FastCodes(MszipDecoder::Reader::Cursor& position, const MszipDecoder::LitTable& lit,
                     const MszipDecoder::DistTable& dist, uint8_t*& outRef, uint8_t* const frameEnd,
                     const uint8_t* const window) {
    using Cursor = MszipDecoder::Reader::Cursor;
    constexpr bool kWide = Cursor::kWidth >= 64;
    // Input for the refills of one pass: a 64-bit buffer holds two literals,
    // or one symbol with its match; a 32-bit one needs three refills for a
    // match.
    constexpr unsigned kRefills = kWide ? 2 : 3;
    Cursor c = position;
    uint8_t* out = outRef;
    Run run = Run::More;
    while (c.CanRefillFast(kRefills) && frameEnd - out > static_cast<ptrdiff_t>(kMaxMatch)) {
        c.RefillFast();
        uint32_t sym = lit.DecodeBuffered(c);
        if (sym < 256) {
            *out++ = static_cast<uint8_t>(sym);
            if constexpr (!kWide) continue;
            sym = lit.DecodeBuffered(c);
            if (sym < 256) {
                *out++ = static_cast<uint8_t>(sym);
                continue;
            }
            c.RefillFast();
        }
        if (sym == kEndOfBlock) {
            run = Run::EndOfBlock;
            break;
        }
        sym -= 257;
        if (sym >= 29) {
            run = Run::Bad;
            break;
        }
        const uint32_t lenCode = kLength[sym];
        const uint32_t len = (lenCode >> 8) + static_cast<uint32_t>(c.Peek(lenCode & 0xFF));
        c.Remove(lenCode & 0xFF);
        if constexpr (!kWide) c.RefillFast();
        const uint32_t dsym = dist.DecodeBuffered(c);
        if (dsym >= 30) {
            run = Run::Bad;
            break;
        }
        if constexpr (!kWide) c.RefillFast();
        const uint32_t distCode = kDistance[dsym];
        const uint32_t d = (distCode >> 8) + static_cast<uint32_t>(c.Peek(distCode & 0xFF));
        c.Remove(distCode & 0xFF);
        if (d > static_cast<size_t>(out - window)) {
            run = Run::Bad;
            break;
        }
        CopyMatch(out, d, len);
        out += len;
    }
    position = c;
    outRef = out;
    return run;
}

}  // namespace

bool MszipDecoder::InflateCodes(const LitTable& lit, const DistTable& dist, uint8_t*& outRef,
                                uint8_t* const frameEnd) {
    uint8_t* out = outRef;
    const uint8_t* const window = window_.get();
    bool ok = false;
    for (;;) {
        const Run run = FastCodes(reader_.Position(), lit, dist, out, frameEnd, window);
        if (run != Run::More) {
            ok = run == Run::EndOfBlock;
            break;
        }
        // One symbol at a time near the end of the input or of the frame.
        const uint32_t sym = lit.Decode(reader_);
        if (sym < 256) {
            if (out == frameEnd) break;
            *out++ = static_cast<uint8_t>(sym);
        } else if (sym == kEndOfBlock) {
            ok = true;
            break;
        } else {
            if (sym - 257 >= 29) break;
            const uint32_t lenCode = kLength[sym - 257];
            const uint32_t len = (lenCode >> 8) + reader_.Read(lenCode & 0xFF);
            const uint32_t dsym = dist.Decode(reader_);
            if (dsym >= 30) break;
            const uint32_t distCode = kDistance[dsym];
            const uint32_t d = (distCode >> 8) + reader_.Read(distCode & 0xFF);
            if (d > static_cast<size_t>(out - window) || len > static_cast<size_t>(frameEnd - out)) break;
            const uint8_t* src = out - d;
            for (uint32_t i = 0; i < len; ++i) out[i] = src[i];
            out += len;
        }
        if (reader_.Exhausted()) break;
    }
    outRef = out;
    return ok;
}

std::unique_ptr<Decoder> MakeMszipDecoder(BlockSource& source) { return std::make_unique<MszipDecoder>(source); }

}  // namespace brik::cab
