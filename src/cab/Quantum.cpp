#include "cab/Quantum.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace brik::cab {

namespace {

// Match offsets: a position slot names a base; the slot's extra bits, read
// raw, are added to it. Slot n has (n - 2) / 2 extra bits from slot 2 on.
constexpr uint32_t kPositionBase[42] = {
    0,      1,      2,      3,      4,      6,      8,      12,      16,      24,      32,
    48,     64,     96,     128,    192,    256,    384,    512,     768,     1024,    1536,
    2048,   3072,   4096,   6144,   8192,   12288,  16384,  24576,   32768,   49152,   65536,
    98304,  131072, 196608, 262144, 393216, 524288, 786432, 1048576, 1572864};
constexpr uint8_t kPositionExtra[42] = {0, 0, 0, 0, 1,  1,  2,  2,  3,  3,  4,  4,  5,  5,
                                        6, 6, 7, 7, 8,  8,  9,  9,  10, 10, 11, 11, 12, 12,
                                        13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19};

// Lengths of the long matches, less 5: slot n has (n - 2) / 4 extra bits from
// slot 2 on, except the last, which stands for 254 alone.
constexpr uint8_t kLengthBase[27] = {0,  1,  2,  3,  4,  5,  6,   8,   10,  12,  14,  18,  22, 26,
                                     30, 38, 46, 54, 62, 78, 94, 110, 126, 158, 190, 222, 254};
constexpr uint8_t kLengthExtra[27] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// A model's total frequency may not pass this; what each coded symbol adds.
constexpr uint32_t kMaxTotal = 3800;
constexpr uint16_t kIncrement = 8;
// Rescales between two re-sorts of a model, and before the first one.
constexpr uint16_t kRescalesPerSort = 50;
constexpr uint16_t kFirstSort = 4;
// Zero bytes the decoder may read past the end of the input: the arithmetic
// decoder looks ahead of what the last symbols need.
constexpr unsigned kInputSlack = 2;

}  // namespace

void QuantumDecoder::Model::Init(unsigned first, unsigned count) {
    entries = static_cast<uint16_t>(count);
    rescalesLeft = kFirstSort;
    // Every symbol starts with frequency 1, in symbol order.
    for (unsigned i = 0; i <= count; ++i)
        symbols[i] = Symbol{static_cast<uint16_t>(first + i), static_cast<uint16_t>(count - i)};
}

void QuantumDecoder::Model::Update(unsigned index) {
    // The coded symbol's frequency grows, and so does every cumulative
    // frequency in front of it.
    for (unsigned i = 0; i <= index; ++i) symbols[i].cumFreq = static_cast<uint16_t>(symbols[i].cumFreq + kIncrement);
    if (symbols[0].cumFreq > kMaxTotal) Rescale();
}

void QuantumDecoder::Model::Rescale() {
    if (--rescalesLeft != 0) {
        // Halve the cumulative frequencies, keeping every symbol's own
        // frequency at 1 or more.
        for (unsigned i = entries; i-- > 0;) {
            uint16_t halved = static_cast<uint16_t>(symbols[i].cumFreq >> 1);
            if (halved <= symbols[i + 1].cumFreq) halved = static_cast<uint16_t>(symbols[i + 1].cumFreq + 1);
            symbols[i].cumFreq = halved;
        }
        return;
    }
    rescalesLeft = kRescalesPerSort;
    // Halve the frequencies themselves (rounding up), then bring the most
    // frequent symbols to the front. Which of two equally frequent symbols
    // comes first is part of the format: this exchange sort moves an entry
    // only past a strictly more frequent one later in the list.
    for (unsigned i = 0; i < entries; ++i)
        symbols[i].cumFreq = static_cast<uint16_t>((symbols[i].cumFreq - symbols[i + 1].cumFreq + 1) >> 1);
    for (unsigned i = 0; i + 1 < entries; ++i)
        for (unsigned j = i + 1; j < entries; ++j)
            if (symbols[i].cumFreq < symbols[j].cumFreq) std::swap(symbols[i], symbols[j]);
    for (unsigned i = entries; i-- > 0;)
        symbols[i].cumFreq = static_cast<uint16_t>(symbols[i].cumFreq + symbols[i + 1].cumFreq);
}

QuantumDecoder::QuantumDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut,
                               std::unique_ptr<uint8_t[]> window, uint32_t windowSize)
    : source_(source), window_(std::move(window)), windowMask_(windowSize - 1), totalOut_(totalOut) {
    selector_.Init(0, 7);
    for (unsigned i = 0; i < 4; ++i) literals_[i].Init(64 * i, 64);
    // The offset models have two slots per window bit, so no offset they
    // code reaches beyond the window; the short matches use fewer.
    offsets3_.Init(0, std::min(2 * windowBits, 24u));
    offsets4_.Init(0, std::min(2 * windowBits, 36u));
    offsetsLong_.Init(0, 2 * windowBits);
    lengths_.Init(0, 27);
}

bool QuantumDecoder::NextByte(uint8_t& byte) {
    while (in_ == inEnd_) {
        if (sourceDone_) {
            if (padBytes_ < kInputSlack) {
                ++padBytes_;
                byte = 0;
                return true;
            }
            inputFailed_ = true;
            inputStatus_ = CabStatus::BadData;
            return false;
        }
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        uint32_t uncompressed = 0;
        if (!source_.NextBlock(data, size, uncompressed)) {
            const CabStatus status = source_.Status();
            if (status != CabStatus::Ok) {
                inputFailed_ = true;
                inputStatus_ = status;
                return false;
            }
            sourceDone_ = true;
            continue;
        }
        in_ = data;
        inEnd_ = data + size;
    }
    byte = *in_++;
    return true;
}

// Bits are taken most significant first, and a byte is fetched only when
// its first bit is needed, so the input position is exact at a frame's end.
// Past a failed read every bit is 0; the frame loop checks for that.
unsigned QuantumDecoder::ReadBit() {
    if (bitCount_ == 0) {
        uint8_t byte = 0;
        if (!NextByte(byte)) return 0;
        bitBuffer_ = byte;
        bitCount_ = 8;
    }
    --bitCount_;
    return (bitBuffer_ >> bitCount_) & 1;
}

uint32_t QuantumDecoder::ReadBits(unsigned count) {
    while (bitCount_ < count) {
        uint8_t byte = 0;
        if (!NextByte(byte)) return 0;
        bitBuffer_ = bitBuffer_ << 8 | byte;
        bitCount_ += 8;
    }
    bitCount_ -= count;
    return (bitBuffer_ >> bitCount_) & ((1u << count) - 1);
}

// A frame's data ends on a byte boundary, padded (with up to four zero bytes
// in the compressors' output) to the end of its data block.
void QuantumDecoder::SkipFrameTrailer() {
    bitCount_ = 0;
    in_ = inEnd_;
}

unsigned QuantumDecoder::DecodeSymbol(Model& model) {
    // low_ <= code_ <= high_ holds for any input: the symbol search below
    // always ends inside the model and the interval never becomes empty.
    const uint32_t range = high_ - low_ + 1;
    const uint32_t total = model.symbols[0].cumFreq;
    const uint32_t target = ((code_ - low_ + 1) * total - 1) / range;
    unsigned index = 0;
    while (model.symbols[index + 1].cumFreq > target) ++index;
    const unsigned value = model.symbols[index].value;

    high_ = low_ + model.symbols[index].cumFreq * range / total - 1;
    low_ = low_ + model.symbols[index + 1].cumFreq * range / total;
    model.Update(index);

    // Shift out the bits the interval's ends agree on. When they straddle
    // the middle closely (01... and 10...), the second bit is dropped
    // instead and the code value's second bit flipped to match.
    for (;;) {
        if ((low_ ^ high_) & 0x8000) {
            if ((low_ & 0x4000) == 0 || (high_ & 0x4000) != 0) break;
            code_ ^= 0x4000;
            low_ &= 0x3FFF;
            high_ |= 0x4000;
        }
        low_ = (low_ << 1) & 0xFFFF;
        high_ = ((high_ << 1) | 1) & 0xFFFF;
        code_ = ((code_ << 1) | ReadBit()) & 0xFFFF;
    }
    return value;
}

uint32_t QuantumDecoder::DecodeOffset(Model& model) {
    const unsigned slot = DecodeSymbol(model);
    return kPositionBase[slot] + ReadBits(kPositionExtra[slot]) + 1;
}

CabStatus QuantumDecoder::Fail(CabStatus status) {
    status_ = status;
    return status;
}

CabStatus QuantumDecoder::NextFrame(const uint8_t*& out, uint32_t& size) {
    out = nullptr;
    size = 0;
    if (status_ != CabStatus::Ok) return status_;
    if (produced_ == totalOut_) return CabStatus::Ok;

    // The previous frame's padding is skipped only now, so the last frame
    // needs no more input than its symbols.
    if (started_) SkipFrameTrailer();
    started_ = true;

    const uint32_t frameSize = static_cast<uint32_t>(std::min<uint64_t>(kFrameSize, totalOut_ - produced_));
    const uint32_t frameStart = static_cast<uint32_t>(produced_) & windowMask_;
    uint8_t* const window = window_.get();
    uint8_t* const frame = window + frameStart;

    low_ = 0;
    high_ = 0xFFFF;
    code_ = ReadBits(16);

    uint32_t pos = 0;
    while (pos < frameSize) {
        const unsigned selector = DecodeSymbol(selector_);
        if (selector < 4) {
            frame[pos++] = static_cast<uint8_t>(DecodeSymbol(literals_[selector]));
        } else {
            uint32_t length = 0;
            uint32_t offset = 0;
            if (selector == 4) {
                length = 3;
                offset = DecodeOffset(offsets3_);
            } else if (selector == 5) {
                length = 4;
                offset = DecodeOffset(offsets4_);
            } else {
                const unsigned slot = DecodeSymbol(lengths_);
                length = kLengthBase[slot] + ReadBits(kLengthExtra[slot]) + 5;
                offset = DecodeOffset(offsetsLong_);
            }
            if (inputFailed_) return Fail(inputStatus_);
            // A match stays inside its frame. Its offset is at most a window
            // (the offset models have no slot beyond), so what it copies is
            // in the buffer: either the buffer is a whole window, or it holds
            // the folder's whole output.
            if (length > frameSize - pos) return Fail(CabStatus::BadData);
            uint32_t done = 0;
            const uint64_t at = produced_ + pos;
            if (offset > at) {
                // The window starts out as zeros, and a compressor that
                // sees it so codes a run at the folder's start as a match
                // into it.
                done = static_cast<uint32_t>(std::min<uint64_t>(length, offset - at));
                std::memset(frame + pos, 0, done);
            }
            const uint32_t from = frameStart + pos - offset;
            for (uint32_t i = done; i < length; ++i) frame[pos + i] = window[(from + i) & windowMask_];
            pos += length;
        }
        if (inputFailed_) return Fail(inputStatus_);
    }

    produced_ += frameSize;
    out = frame;
    size = frameSize;
    return CabStatus::Ok;
}

std::unique_ptr<Decoder> MakeQuantumDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut,
                                            CabStatus& status) {
    if (windowBits < kQuantumMinWindowBits || windowBits > kQuantumMaxWindowBits) {
        status = CabStatus::BadFormat;
        return nullptr;
    }
    // Room for one frame at least, for the window at most, and no more than
    // the folder's output needs: a small folder gets a small buffer.
    const uint32_t windowSize = 1u << windowBits;
    uint32_t bufferSize = kFrameSize;
    while (bufferSize < windowSize && bufferSize < totalOut) bufferSize <<= 1;

    std::unique_ptr<uint8_t[]> window(new (std::nothrow) uint8_t[bufferSize]);
    std::unique_ptr<Decoder> decoder;
    if (window)
        decoder.reset(new (std::nothrow) QuantumDecoder(source, windowBits, totalOut, std::move(window), bufferSize));
    status = decoder ? CabStatus::Ok : CabStatus::NoMemory;
    return decoder;
}

}  // namespace brik::cab
