// Bit input for the cabinet decoders, shared so that each decoder's hot loop
// is compiled for its own bit order with everything inline.
//
// Input comes from a BlockSource. A reader either treats the end of the
// current data block as the end of its input (MSZIP, where every block is a
// stream of its own) or runs on into the folder's next block (LZX, Quantum).
//
// Past the end of the input the reader feeds zero bytes and counts them, so a
// decoder can always fill its bit buffer without a bounds check per symbol and
// learns afterwards whether it consumed bits that were never there
// (OverrunBits), or that it is spinning on nothing but padding (Exhausted).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cab/Decoder.h"

namespace brik::cab {

enum class BitOrder {
    Lsb8,   // bytes, least significant bit first (deflate)
    Msb16,  // 16-bit little-endian words, most significant bit first (LZX)
};

// Whether a reader's input ends with the current data block.
enum class BlockSpan { OneBlock, WholeFolder };

template <BitOrder Order>
class BitReader {
public:
    // A machine word: 64 bits where shifts of that width are cheap.
    using Word = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
    static constexpr BitOrder kOrder = Order;
    static constexpr unsigned kWidth = sizeof(Word) * 8;
    // The most bits Ensure can promise: the buffer is topped up in bytes
    // (Lsb8, never to the last bit so that a shift by the fill stays defined)
    // or in words (Msb16).
    static constexpr unsigned kMaxEnsure = Order == BitOrder::Lsb8 ? kWidth - 8 : kWidth - 15;
    // Input bytes RefillFast may look at.
    static constexpr size_t kFastBytes = sizeof(Word);
    // Padding bytes after which a reader counts as exhausted: far more than
    // any decoder's look-ahead, far less than it takes to notice a hang.
    static constexpr size_t kPaddingLimit = 64;

    BitReader(BlockSource& source, BlockSpan span) : source_(&source), span_(span) {}

    // Copyable so that a hot loop can work on a local copy held in registers
    // and store it back; input pushed back by ReadBytes moves along.
    BitReader(const BitReader& other) { *this = other; }
    BitReader& operator=(const BitReader& other) {
        if (this == &other) return *this;
        source_ = other.source_;
        span_ = other.span_;
        in_ = other.in_;
        end_ = other.end_;
        buf_ = other.buf_;
        bits_ = other.bits_;
        padding_ = other.padding_;
        blockOut_ = other.blockOut_;
        blocks_ = other.blocks_;
        pushedBack_ = other.pushedBack_;
        savedIn_ = other.savedIn_;
        savedEnd_ = other.savedEnd_;
        if (pushedBack_) {
            std::memcpy(back_, other.back_, sizeof back_);
            in_ = back_ + (other.in_ - other.back_);
            end_ = back_ + (other.end_ - other.back_);
        }
        return *this;
    }

    // ---- blocks ---------------------------------------------------------

    // Drops whatever is left of the current block and the bit buffer and
    // starts on the next block. False when the folder has no more blocks or
    // reading failed (SourceStatus tells which).
    bool StartNextBlock() {
        buf_ = 0;
        bits_ = 0;
        padding_ = 0;
        pushedBack_ = false;
        in_ = end_ = nullptr;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (!source_->NextBlock(data, size, blockOut_)) return false;
        in_ = data;
        end_ = data + size;
        ++blocks_;
        return true;
    }

    // Uncompressed size of the block most recently fetched.
    uint32_t BlockOutputSize() const { return blockOut_; }
    // Blocks fetched so far.
    uint32_t BlocksFetched() const { return blocks_; }
    CabStatus SourceStatus() const { return source_->Status(); }

    // ---- bits -----------------------------------------------------------

    unsigned BitsInBuffer() const { return bits_; }

    // Makes at least n bits (n <= kMaxEnsure) available to Peek.
    void Ensure(unsigned n) {
        if (bits_ < n) Refill();
    }

    // The next n bits (1 <= n <= bits buffered) without consuming them.
    Word Peek(unsigned n) const {
        if constexpr (Order == BitOrder::Lsb8)
            return buf_ & ((Word(1) << n) - 1);
        else
            return buf_ >> (kWidth - n);
    }

    void Remove(unsigned n) {
        if constexpr (Order == BitOrder::Lsb8)
            buf_ >>= n;
        else
            buf_ <<= n;
        bits_ -= n;
    }

    // 0 <= n <= kMaxEnsure.
    uint32_t Read(unsigned n) {
        if (n == 0) return 0;
        Ensure(n);
        const uint32_t v = static_cast<uint32_t>(Peek(n));
        Remove(n);
        return v;
    }

    // 0 <= n <= 32.
    uint32_t ReadLong(unsigned n) {
        if (n <= 16) return Read(n);
        if constexpr (Order == BitOrder::Lsb8) {
            const uint32_t low = Read(16);
            return low | Read(n - 16) << 16;
        } else {
            const uint32_t high = Read(n - 16);
            return high << 16 | Read(16);
        }
    }

    // True when RefillFast may be used.
    bool CanRefillFast() const { return end_ - in_ >= static_cast<ptrdiff_t>(kFastBytes); }

    // Tops the buffer up from at least kFastBytes bytes of input (check
    // CanRefillFast first): no branch for Lsb8, at most a few for Msb16.
    // Afterwards at least kMaxEnsure bits are buffered.
    void RefillFast() {
        if constexpr (Order == BitOrder::Lsb8) {
            // Loads a whole word and keeps the bytes that fit; the bits above
            // bits_ may hold the start of the next byte, which the next load
            // or Refill puts there again unchanged.
            buf_ |= LoadLe(in_) << bits_;
            in_ += (kWidth - 1 - bits_) >> 3;
            bits_ |= kWidth - 8;
        } else {
            while (bits_ <= kWidth - 16) {
                const Word w = static_cast<Word>(in_[0] | in_[1] << 8);
                buf_ |= w << (kWidth - 16 - bits_);
                in_ += 2;
                bits_ += 16;
            }
        }
    }

    // ---- bytes ----------------------------------------------------------

    // Skips to the next byte (Lsb8) or 16-bit word (Msb16) boundary.
    void Align() {
        if constexpr (Order == BitOrder::Lsb8)
            Remove(bits_ & 7);
        else
            Remove(bits_ & 15);
    }

    // Copies the next n bytes of input to dst; call Align first. False (and
    // zeros in dst) when the input ended before them. For Msb16 the words
    // read afterwards start at the byte after these n.
    bool ReadBytes(uint8_t* dst, size_t n) {
        Unload();
        while (n > 0) {
            if (in_ == end_ && !MoreInput()) {
                std::memset(dst, 0, n);
                padding_ += n;
                return false;
            }
            size_t run = static_cast<size_t>(end_ - in_);
            if (run > n) run = n;
            std::memcpy(dst, in_, run);
            dst += run;
            in_ += run;
            n -= run;
        }
        return true;
    }

    // ---- end of input ---------------------------------------------------

    // Bits the decoder consumed beyond the end of its input.
    uint64_t OverrunBits() const {
        const uint64_t pad = static_cast<uint64_t>(padding_) * 8;
        return pad > bits_ ? pad - bits_ : 0;
    }
    bool Exhausted() const { return padding_ > kPaddingLimit; }

private:
    static Word LoadLe(const uint8_t* p) {
        Word w;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&w, p, sizeof w);
        } else {
            w = 0;
            for (size_t i = 0; i < sizeof w; ++i) w |= Word(p[i]) << (8 * i);
        }
        return w;
    }

    // Moves on to the next piece of input when the current one is used up:
    // bytes pushed back by ReadBytes, then the block they were taken from,
    // then (for a folder-wide reader) the folder's next blocks.
    bool MoreInput() {
        if (pushedBack_) {
            pushedBack_ = false;
            in_ = savedIn_;
            end_ = savedEnd_;
            if (in_ != end_) return true;
        }
        if (span_ == BlockSpan::OneBlock) return false;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        while (source_->NextBlock(data, size, blockOut_)) {
            ++blocks_;
            in_ = data;
            end_ = data + size;
            if (size > 0) return true;
        }
        in_ = end_ = nullptr;
        return false;
    }

    [[gnu::noinline]] void Refill() {
        if (CanRefillFast()) {
            RefillFast();
            return;
        }
        if constexpr (Order == BitOrder::Lsb8) {
            while (bits_ < kWidth - 8) {
                if (in_ != end_ || MoreInput())
                    buf_ |= Word(*in_++) << bits_;
                else
                    ++padding_;
                bits_ += 8;
            }
        } else {
            while (bits_ <= kWidth - 16) {
                Word w = NextByte();
                w |= Word(NextByte()) << 8;
                buf_ |= w << (kWidth - 16 - bits_);
                bits_ += 16;
            }
        }
    }

    uint8_t NextByte() {
        if (in_ != end_ || MoreInput()) return *in_++;
        ++padding_;
        return 0;
    }

    // Returns the whole bytes still in the bit buffer to the input, ahead of
    // anything pushed back before, so that byte reads continue exactly where
    // the bits left off. Padding in the buffer is dropped, not returned.
    void Unload() {
        unsigned bytes = bits_ / 8;
        const size_t pad = padding_ < bytes ? padding_ : bytes;
        padding_ -= pad;
        bytes -= static_cast<unsigned>(pad);
        uint8_t tmp[sizeof back_];
        unsigned n = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            if constexpr (Order == BitOrder::Lsb8) {
                tmp[n++] = static_cast<uint8_t>(buf_ >> (8 * i));
            } else {
                // Word i/2 sits (i/2)*16 bits below the top; its low byte
                // comes first in the input.
                const unsigned shift = kWidth - 16 * (i / 2 + 1) + (i & 1) * 8;
                tmp[n++] = static_cast<uint8_t>(buf_ >> shift);
            }
        }
        buf_ = 0;
        bits_ = 0;
        if (n == 0) return;
        if (pushedBack_) {
            const size_t rest = static_cast<size_t>(end_ - in_);
            std::memmove(tmp + n, in_, rest);  // rest + n <= sizeof back_, see below
            n += static_cast<unsigned>(rest);
        } else {
            savedIn_ = in_;
            savedEnd_ = end_;
            pushedBack_ = true;
        }
        // Whatever is pushed back came out of one word of buffer, so it never
        // holds more than a word's worth of bytes.
        std::memcpy(back_, tmp, n);
        in_ = back_;
        end_ = back_ + n;
    }

    BlockSource* source_;
    BlockSpan span_;
    const uint8_t* in_ = nullptr;
    const uint8_t* end_ = nullptr;
    Word buf_ = 0;
    unsigned bits_ = 0;
    size_t padding_ = 0;
    uint32_t blockOut_ = 0;
    uint32_t blocks_ = 0;
    bool pushedBack_ = false;
    const uint8_t* savedIn_ = nullptr;
    const uint8_t* savedEnd_ = nullptr;
    uint8_t back_[2 * sizeof(Word)] = {};
};

}  // namespace brik::cab
