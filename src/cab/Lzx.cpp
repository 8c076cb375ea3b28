#include "cab/Lzx.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace brik::cab {

namespace {

constexpr unsigned kPretreeSymbols = 20;
constexpr unsigned kAlignedSymbols = 8;
// Matches are 2 to 257 bytes: the main symbol's length header (0..7), plus
// a length symbol when the header is 7.
constexpr uint32_t kMinMatch = 2;
constexpr unsigned kLengthHeaderMax = 7;

// Translation of E8 calls stops after the first 32768 frames (1 GB).
constexpr uint64_t kE8FrameLimit = 32768;
// The last bytes of a frame are never translated: a call there would have
// its operand cut by the frame end.
constexpr uint32_t kE8Tail = 10;

struct SlotTables {
    uint32_t base[LzxDecoder::kMaxSlots];
    uint8_t extra[LzxDecoder::kMaxSlots];
    constexpr SlotTables() : base(), extra() {
        uint32_t b = 0;
        for (unsigned i = 0; i < LzxDecoder::kMaxSlots; ++i) {
            // Two slots per extra-bit count, capped at 17 bits.
            const unsigned e = i < 4 ? 0 : std::min(i / 2 - 1, 17u);
            extra[i] = static_cast<uint8_t>(e);
            base[i] = b;
            b += 1u << e;
        }
    }
};
constexpr SlotTables kSlots;

// Position slots per window size: enough for every offset the window holds.
constexpr unsigned kSlotCount[] = {30, 32, 34, 36, 38, 42, 50};

uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

LzxDecoder::LzxDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut)
    : reader_(source, BlockSpan::WholeFolder),
      windowSize_(1u << windowBits),
      mainCount_(256 + kSlotCount[windowBits - kLzxMinWindowBits] * 8),
      totalOut_(totalOut),
      window_(new (std::nothrow) uint8_t[1u << windowBits]) {}

std::unique_ptr<Decoder> MakeLzxDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut,
                                        CabStatus& status) {
    if (windowBits < kLzxMinWindowBits || windowBits > kLzxMaxWindowBits) {
        status = CabStatus::BadFormat;
        return nullptr;
    }
    std::unique_ptr<LzxDecoder> decoder(new (std::nothrow) LzxDecoder(source, windowBits, totalOut));
    if (!decoder || !decoder->Ready()) {
        status = CabStatus::NoMemory;
        return nullptr;
    }
    status = CabStatus::Ok;
    return decoder;
}

// Damaged data, unless the input ran short because the source failed.
CabStatus LzxDecoder::Fail() {
    const CabStatus source = reader_.SourceStatus();
    error_ = source != CabStatus::Ok ? source : CabStatus::BadData;
    return error_;
}

CabStatus LzxDecoder::NextFrame(const uint8_t*& out, uint32_t& size) {
    out = nullptr;
    size = 0;
    if (error_ != CabStatus::Ok) return error_;
    if (produced_ >= totalOut_) return CabStatus::Ok;

    const auto frameSize = static_cast<uint32_t>(std::min<uint64_t>(kFrameSize, totalOut_ - produced_));
    if (DecodeFrame(frameSize) != CabStatus::Ok) return error_;

    out = window_.get() + frameStart_;
    if (e8Size_ != 0 && frameIndex_ < kE8FrameLimit && frameSize > kE8Tail) {
        if (!e8Out_) {
            e8Out_.reset(new (std::nothrow) uint8_t[kFrameSize]);
            if (!e8Out_) return error_ = CabStatus::NoMemory;
        }
        UndoE8(frameSize);
        out = e8Out_.get();
    }
    size = frameSize;
    produced_ += frameSize;
    ++frameIndex_;
    if (windowPos_ == windowSize_) windowPos_ = 0;
    return CabStatus::Ok;
}

CabStatus LzxDecoder::DecodeFrame(uint32_t frameSize) {
    if (!headerRead_) {
        // The stream starts with the translation header: one bit, and when it
        // is set the 32-bit size the calls were translated against.
        if (reader_.Read(1)) {
            const uint32_t high = reader_.Read(16);
            e8Size_ = static_cast<int32_t>(high << 16 | reader_.Read(16));
        }
        headerRead_ = true;
    }

    // Frames are a multiple of 32 KB apart and the window a power of two no
    // smaller, so a frame never wraps around the window's end.
    frameStart_ = windowPos_;
    const uint32_t frameEnd = windowPos_ + frameSize;
    while (windowPos_ < frameEnd) {
        if (blockLeft_ == 0 && !ReadBlockHeader()) return Fail();
        const uint32_t run = std::min(blockLeft_, frameEnd - windowPos_);
        const uint32_t end = windowPos_ + run;
        bool ok = true;
        switch (blockType_) {
            case BlockType::Verbatim: ok = DecodeSymbols<false>(end); break;
            case BlockType::Aligned: ok = DecodeSymbols<true>(end); break;
            case BlockType::Uncompressed:
                ok = reader_.ReadBytes(window_.get() + windowPos_, run);
                windowPos_ = end;
                break;
            case BlockType::None: ok = false; break;
        }
        if (!ok) return Fail();
        blockLeft_ -= run;
    }

    // Each frame's bits end on a 16-bit boundary; raw bytes of an
    // uncompressed block leave nothing to skip.
    reader_.Align();
    if (reader_.OverrunBits() != 0) return Fail();
    return CabStatus::Ok;
}

bool LzxDecoder::ReadBlockHeader() {
    // An uncompressed block of odd length is followed by one pad byte.
    if (blockType_ == BlockType::Uncompressed && (blockLength_ & 1)) {
        uint8_t pad;
        if (!reader_.ReadBytes(&pad, 1)) return false;
    }
    const unsigned type = reader_.Read(3);
    const uint32_t high = reader_.Read(16);
    blockLength_ = high << 8 | reader_.Read(8);
    blockLeft_ = blockLength_;
    blockType_ = BlockType::None;
    if (reader_.OverrunBits() != 0) return false;

    // A block never holds more than the folder has left to produce.
    const uint64_t left = totalOut_ - produced_ - (windowPos_ - frameStart_);
    if (blockLength_ > left) return false;

    switch (type) {
        case 2: {  // aligned offset: its aligned tree, then as verbatim
            uint8_t lengths[kAlignedSymbols];
            for (uint8_t& l : lengths) l = static_cast<uint8_t>(reader_.Read(3));
            if (!aligned_.Build(lengths, kAlignedSymbols)) return false;
        }
            [[fallthrough]];
        case 1:
            // Literals and match symbols get a pretree each; the lengths are
            // deltas against the previous block's.
            if (!ReadLengths(mainLengths_, 0, 256)) return false;
            if (!ReadLengths(mainLengths_, 256, mainCount_)) return false;
            if (!main_.Build(mainLengths_, mainCount_)) return false;
            // A block without long matches may leave the length tree empty.
            if (!ReadLengths(lengthLengths_, 0, kLengthSymbols)) return false;
            if (!length_.Build(lengthLengths_, kLengthSymbols, kHuffmanAllowEmpty)) return false;
            blockType_ = type == 1 ? BlockType::Verbatim : BlockType::Aligned;
            break;
        case 3: {
            // 1 to 16 bits of padding to the next word, then R0, R1 and R2 as
            // little-endian 32-bit values ahead of the raw bytes.
            if ((reader_.BitsInBuffer() & 15) == 0)
                reader_.Read(16);
            else
                reader_.Align();
            uint8_t repeats[12];
            if (!reader_.ReadBytes(repeats, sizeof repeats)) return false;
            for (unsigned i = 0; i < 3; ++i) r_[i] = LoadLe32(repeats + 4 * i);
            blockType_ = BlockType::Uncompressed;
            break;
        }
        default: return false;
    }
    return reader_.OverrunBits() == 0;
}

bool LzxDecoder::ReadLengths(uint8_t* lengths, unsigned first, unsigned last) {
    uint8_t pre[kPretreeSymbols];
    for (uint8_t& l : pre) l = static_cast<uint8_t>(reader_.Read(4));
    if (!pretree_.Build(pre, kPretreeSymbols)) return false;

    for (unsigned x = first; x < last;) {
        const uint32_t code = pretree_.Decode(reader_);
        if (code <= 16) {
            lengths[x] = static_cast<uint8_t>((lengths[x] + 17 - code) % 17);
            ++x;
            continue;
        }
        unsigned run;
        uint8_t value = 0;
        if (code == 17) {
            run = 4 + reader_.Read(4);
        } else if (code == 18) {
            run = 20 + reader_.Read(5);
        } else if (code == 19) {
            run = 4 + reader_.Read(1);
            const uint32_t delta = pretree_.Decode(reader_);
            if (delta > 16) return false;
            value = static_cast<uint8_t>((lengths[x] + 17 - delta) % 17);
        } else {
            return false;
        }
        // A run may go past the end of its range, as other decoders accept:
        // the lengths after the first range's end are the next range's
        // previous values, those after the last are never used.
        std::memset(lengths + x, value, run);
        x += run;
    }
    return true;
}

template <bool Aligned>
bool LzxDecoder::DecodeSymbols(uint32_t end) {
    uint8_t* const window = window_.get();
    uint32_t pos = windowPos_;
    uint32_t r0 = r_[0], r1 = r_[1], r2 = r_[2];
    // Bytes of output before window position 0 of this frame's pass, to tell
    // how far back a match may reach.
    const uint64_t before = produced_ - frameStart_;
    bool ok = true;

    while (pos < end) {
        const uint32_t symbol = main_.Decode(reader_);
        if (symbol < 256) {
            window[pos++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol >= mainCount_) {
            ok = false;
            break;
        }
        const uint32_t match = symbol - 256;
        uint32_t length = match & kLengthHeaderMax;
        if (length == kLengthHeaderMax) {
            const uint32_t more = length_.Decode(reader_);
            if (more >= kLengthSymbols) {  // the length tree is empty
                ok = false;
                break;
            }
            length += more;
        }
        length += kMinMatch;

        const uint32_t slot = match >> 3;
        uint32_t offset;
        if (slot == 0) {
            offset = r0;
        } else if (slot == 1) {
            offset = r1;
            r1 = r0;
            r0 = offset;
        } else if (slot == 2) {
            offset = r2;
            r2 = r0;
            r0 = offset;
        } else {
            const unsigned extra = kSlots.extra[slot];
            offset = kSlots.base[slot] - 2;
            if (Aligned && extra >= 3) {
                offset += reader_.Read(extra - 3) << 3;
                offset += aligned_.Decode(reader_);
            } else {
                offset += reader_.Read(extra);
            }
            r2 = r1;
            r1 = r0;
            r0 = offset;
        }

        // A match ends inside its block and its frame, and starts in output
        // already produced and still in the window.
        if (length > end - pos) {
            ok = false;
            break;
        }
        const uint64_t available = std::min<uint64_t>(before + pos, windowSize_);
        if (offset == 0 || offset > available) {
            ok = false;
            break;
        }
        uint8_t* dst = window + pos;
        if (offset <= pos) {
            const uint8_t* src = dst - offset;
            if (offset >= length) {
                std::memcpy(dst, src, length);
            } else {
                for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
            }
        } else {
            // The source starts before window position 0: its first part is at
            // the window's end.
            const uint8_t* src = window + windowSize_ - (offset - pos);
            uint32_t tail = std::min(offset - pos, length);
            for (uint32_t i = 0; i < tail; ++i) dst[i] = src[i];
            for (uint32_t i = tail; i < length; ++i) dst[i] = window[i - tail];
        }
        pos += length;
    }

    windowPos_ = pos;
    r_[0] = r0;
    r_[1] = r1;
    r_[2] = r2;
    return ok && !reader_.Exhausted();
}

void LzxDecoder::UndoE8(uint32_t frameSize) {
    uint8_t* const data = e8Out_.get();
    std::memcpy(data, window_.get() + frameStart_, frameSize);
    const int64_t size = e8Size_;
    const auto base = static_cast<int64_t>(produced_);
    const uint32_t limit = frameSize - kE8Tail;
    uint32_t i = 0;
    while (i < limit) {
        const void* hit = std::memchr(data + i, 0xE8, limit - i);
        if (!hit) break;
        i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - data);
        uint8_t* operand = data + i + 1;
        const int64_t target = static_cast<int32_t>(LoadLe32(operand));
        const int64_t here = base + i;
        if (target >= -here && target < size) {
            const int64_t relative = target >= 0 ? target - here : target + size;
            const auto v = static_cast<uint32_t>(relative);
            operand[0] = static_cast<uint8_t>(v);
            operand[1] = static_cast<uint8_t>(v >> 8);
            operand[2] = static_cast<uint8_t>(v >> 16);
            operand[3] = static_cast<uint8_t>(v >> 24);
        }
        i += 5;
    }
}

}  // namespace brik::cab
