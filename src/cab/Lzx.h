// LZX as cabinet folders use it: one bit stream for the whole folder, a
// window of 2^15 to 2^21 bytes, output in 32 KB frames after each of which the
// stream is realigned to 16 bits, Huffman code lengths carried from block to
// block, and an optional E8 call translation undone per frame.
//
// Anything the stream asks for that a well-formed folder cannot contain (a
// match reaching before the first byte of output or past the frame it is in,
// a block running beyond the folder's output, an incomplete code, bits past
// the end of the input) fails the folder with BadData.
#pragma once

#include <cstdint>
#include <memory>

#include "cab/BitReader.h"
#include "cab/Decoder.h"
#include "cab/Huffman.h"

namespace brik::cab {

inline constexpr unsigned kLzxMinWindowBits = 15;
inline constexpr unsigned kLzxMaxWindowBits = 21;

class LzxDecoder final : public Decoder {
public:
    // Use MakeLzxDecoder, which checks the window size and the allocation.
    LzxDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut);

    CabStatus NextFrame(const uint8_t*& out, uint32_t& size) override;
    // False when the window could not be allocated.
    bool Ready() const { return window_ != nullptr; }

    static constexpr unsigned kMaxSlots = 50;
    static constexpr unsigned kMainMax = 256 + kMaxSlots * 8;
    static constexpr unsigned kLengthSymbols = 249;

private:
    using Reader = BitReader<BitOrder::Msb16>;
    enum class BlockType : uint8_t { None = 0, Verbatim = 1, Aligned = 2, Uncompressed = 3 };

    CabStatus DecodeFrame(uint32_t frameSize);
    bool ReadBlockHeader();
    bool ReadLengths(uint8_t* lengths, unsigned first, unsigned last);
    template <bool Aligned>
    bool DecodeSymbols(uint32_t end);
    void UndoE8(uint32_t frameSize);
    CabStatus Fail();

    Reader reader_;
    const uint32_t windowSize_;
    const unsigned mainCount_;
    const uint64_t totalOut_;
    std::unique_ptr<uint8_t[]> window_;
    std::unique_ptr<uint8_t[]> e8Out_;

    uint64_t produced_ = 0;      // folder output before the current frame
    uint64_t frameIndex_ = 0;
    uint32_t windowPos_ = 0;
    uint32_t frameStart_ = 0;    // window position of the current frame
    uint32_t r_[3] = {1, 1, 1};
    int32_t e8Size_ = 0;
    bool headerRead_ = false;
    CabStatus error_ = CabStatus::Ok;

    BlockType blockType_ = BlockType::None;
    uint32_t blockLength_ = 0;
    uint32_t blockLeft_ = 0;

    // Room for a run of code lengths that goes past the end of its range.
    static constexpr unsigned kRunSpill = 51;
    uint8_t mainLengths_[kMainMax + kRunSpill] = {};
    uint8_t lengthLengths_[kLengthSymbols + kRunSpill] = {};
    HuffmanTable<BitOrder::Msb16, kMainMax, 11, 16> main_;
    HuffmanTable<BitOrder::Msb16, kLengthSymbols, 10, 16> length_;
    HuffmanTable<BitOrder::Msb16, 8, 7, 7> aligned_;
    HuffmanTable<BitOrder::Msb16, 20, 6, 15> pretree_;
};

// Null with `status` set: BadFormat for a window size outside 2^15..2^21,
// NoMemory when the window cannot be had.
std::unique_ptr<Decoder> MakeLzxDecoder(BlockSource& source, unsigned windowBits, uint64_t totalOut,
                                        CabStatus& status);

}  // namespace brik::cab
