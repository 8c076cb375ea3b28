// Quantum, the cabinet's arithmetic-coded LZ77 method. Seven adaptive
// frequency models feed one 16-bit arithmetic decoder: a selector chooses
// between four literal models (one per quarter of the byte range) and three
// kinds of match (length 3, length 4, and 5 to 259 with its own length
// model), whose offsets come as a position slot plus raw extra bits read from
// the same bit stream.
//
// The output is cut into 32 KB frames. Each frame restarts the arithmetic
// coder (the models carry on) and ends its compressed data on a byte
// boundary followed by a few bytes of padding up to the end of its data
// block; a frame's data may run over several blocks but the next frame always
// starts with a fresh block. The window starts out as zeros: a match may
// reach back before the folder's first byte, as compressors code a run of
// zeros at the start.
#pragma once

#include <cstdint>
#include <memory>

#include "cab/Decoder.h"

namespace brik::cab {

inline constexpr unsigned kQuantumMinWindowBits = 10;
inline constexpr unsigned kQuantumMaxWindowBits = 21;

// A decoder for one Quantum folder of `totalOut` bytes with a window of
// 2^windowBits bytes. Null with `status` BadFormat for a window size outside
// 2^10..2^21, NoMemory when the window cannot be had.
std::unique_ptr<Decoder> MakeQuantumDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut,
                                            CabStatus& status);

class QuantumDecoder final : public Decoder {
public:
    // Frames are 32 KB, the last one shorter; once the folder's whole output
    // has been handed out, further calls give Ok with size 0.
    CabStatus NextFrame(const uint8_t*& out, uint32_t& size) override;

private:
    friend std::unique_ptr<Decoder> MakeQuantumDecoder(BlockSource&, unsigned, uint64_t, CabStatus&);

    struct Symbol {
        uint16_t value;
        uint16_t cumFreq;  // the frequencies of this and every later entry
    };

    // The symbols in decreasing order of frequency, so a search from the
    // front finds the frequent ones first; entry `entries` is a sentinel
    // with a cumulative frequency of 0.
    struct Model {
        void Init(unsigned first, unsigned count);
        void Update(unsigned index);
        void Rescale();

        uint16_t entries = 0;
        uint16_t rescalesLeft = 0;  // before the next full re-sort
        Symbol symbols[65] = {};
    };

    QuantumDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut, std::unique_ptr<uint8_t[]> window,
                   uint32_t windowSize);

    bool NextByte(uint8_t& byte);
    unsigned ReadBit();
    uint32_t ReadBits(unsigned count);
    void SkipFrameTrailer();
    unsigned DecodeSymbol(Model& model);
    uint32_t DecodeOffset(Model& model);
    CabStatus Fail(CabStatus status);

    BlockSource& source_;
    const uint8_t* in_ = nullptr;
    const uint8_t* inEnd_ = nullptr;
    uint32_t bitBuffer_ = 0;    // its low `bitCount_` bits are still unread
    unsigned bitCount_ = 0;     // always below 8 between reads
    bool sourceDone_ = false;
    unsigned padBytes_ = 0;     // zero bytes handed out past the end of the input
    bool inputFailed_ = false;
    CabStatus inputStatus_ = CabStatus::Ok;

    // The arithmetic decoder: the interval [low_, high_] and the 16 bits of
    // the code value that are in view.
    uint32_t low_ = 0;
    uint32_t high_ = 0xFFFF;
    uint32_t code_ = 0;

    Model selector_;
    Model literals_[4];
    Model offsets3_;        // matches of length 3
    Model offsets4_;        // matches of length 4
    Model offsetsLong_;     // matches of length 5 and more
    Model lengths_;         // the length of those

    // The output of the folder so far, as far back as a match can reach.
    // Its size is a power of two and a multiple of the frame size, so a
    // frame always lies in one piece.
    std::unique_ptr<uint8_t[]> window_;
    uint32_t windowMask_;
    uint64_t totalOut_;
    uint64_t produced_ = 0;
    bool started_ = false;
    CabStatus status_ = CabStatus::Ok;
};

}  // namespace brik::cab
