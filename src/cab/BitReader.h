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

// The bit position proper: the unread part of the current input and the bit
// buffer, with the operations a hot loop needs.
template <BitOrder Order>
struct BitCursor {
    // A machine word: 64 bits where shifts of that width are cheap.
    using Word = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
    static constexpr unsigned kWidth = sizeof(Word) * 8;
    // The most bits Ensure can promise: the buffer is topped up in bytes
    // (Lsb8, never to the last bit so that a shift by the fill stays defined)
    // or in words (Msb16).
    static constexpr unsigned kMaxEnsure = Order == BitOrder::Lsb8 ? kWidth - 8 : kWidth - 15;
    // Input bytes RefillFast may look at.
    static constexpr size_t kFastBytes = sizeof(Word);

    const uint8_t* in = nullptr;
    const uint8_t* end = nullptr;
    Word buf = 0;
    unsigned bits = 0;

    // The next n bits (1 <= n <= bits buffered) without consuming them.
    Word Peek(unsigned n) const {
        if constexpr (Order == BitOrder::Lsb8)
            return buf & ((Word(1) << n) - 1);
        else
            return buf >> (kWidth - n);
    }

    void Remove(unsigned n) {
        if constexpr (Order == BitOrder::Lsb8)
            buf >>= n;
        else
            buf <<= n;
        bits -= n;
    }

    // True when RefillFast may be used `times` times in a row.
    bool CanRefillFast(unsigned times = 1) const {
        return end - in >= static_cast<ptrdiff_t>(times * kFastBytes);
    }

    // Tops the buffer up from at least kFastBytes bytes of input (check
    // CanRefillFast first): no branch for Lsb8, at most a few for Msb16.
    // Afterwards at least kMaxEnsure bits are buffered.
    void RefillFast() {
        if constexpr (Order == BitOrder::Lsb8) {
            // Loads a whole word and keeps the bytes that fit; the bits above
            // bits may hold the start of the next byte, which the next load
            // or Refill puts there again unchanged.
            buf |= LoadLe(in) << bits;
            in += (kWidth - 1 - bits) >> 3;
            bits |= kWidth - 8;
        } else {
            while (bits <= kWidth - 16) {
                const Word w = static_cast<Word>(in[0] | in[1] << 8);
                buf |= w << (kWidth - 16 - bits);
                in += 2;
                bits += 16;
            }
        }
    }

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
};

template <BitOrder Order>
class BitReader {
public:
    using Cursor = BitCursor<Order>;
    using Word = typename Cursor::Word;
    static constexpr BitOrder kOrder = Order;
    static constexpr unsigned kWidth = Cursor::kWidth;
    static constexpr unsigned kMaxEnsure = Cursor::kMaxEnsure;
    static constexpr size_t kFastBytes = Cursor::kFastBytes;
    // Padding bytes after which a reader counts as exhausted: far more than
    // any decoder's look-ahead, far less than it takes to notice a hang.
    static constexpr size_t kPaddingLimit = 64;

    BitReader(BlockSource& source, BlockSpan span) : source_(&source), span_(span) {}

    // Copyable; input pushed back by ReadBytes moves along. (Hot loops do
    // better with a copy of Position.)
    BitReader(const BitReader& other) { *this = other; }
    BitReader& operator=(const BitReader& other) {
        if (this == &other) return *this;
        source_ = other.source_;
        span_ = other.span_;
        cur_ = other.cur_;
        padding_ = other.padding_;
        blockOut_ = other.blockOut_;
        blocks_ = other.blocks_;
        pushedBack_ = other.pushedBack_;
        savedIn_ = other.savedIn_;
        savedEnd_ = other.savedEnd_;
        if (pushedBack_) {
            std::memcpy(back_, other.back_, sizeof back_);
            cur_.in = back_ + (other.cur_.in - other.back_);
            cur_.end = back_ + (other.cur_.end - other.back_);
        }
        return *this;
    }

    // ---- blocks ---------------------------------------------------------

    // Drops whatever is left of the current block and the bit buffer and
    // starts on the next block. False when the folder has no more blocks or
    // reading failed (SourceStatus tells which).
    bool StartNextBlock() {
        cur_.buf = 0;
        cur_.bits = 0;
        padding_ = 0;
        pushedBack_ = false;
        cur_.in = cur_.end = nullptr;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (!source_->NextBlock(data, size, blockOut_)) return false;
        cur_.in = data;
        cur_.end = data + size;
        ++blocks_;
        return true;
    }

    // Uncompressed size of the block most recently fetched.
    uint32_t BlockOutputSize() const { return blockOut_; }
    // Blocks fetched so far.
    uint32_t BlocksFetched() const { return blocks_; }
    CabStatus SourceStatus() const { return source_->Status(); }

    // ---- bits -----------------------------------------------------------

    unsigned BitsInBuffer() const { return cur_.bits; }

    // The bare position for a hot loop, which copies it into a local (so
    // that stores of output cannot alias it and it stays in registers), uses
    // RefillFast, Peek and Remove only, and assigns it back.
    Cursor& Position() { return cur_; }

    Word Peek(unsigned n) const { return cur_.Peek(n); }
    void Remove(unsigned n) { cur_.Remove(n); }
    bool CanRefillFast(unsigned times = 1) const { return cur_.CanRefillFast(times); }
    void RefillFast() { cur_.RefillFast(); }

    // Makes at least n bits (n <= kMaxEnsure) available to Peek.
    void Ensure(unsigned n) {
        if (cur_.bits < n) Refill();
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

    // ---- bytes ----------------------------------------------------------

    // Skips to the next byte (Lsb8) or 16-bit word (Msb16) boundary.
    void Align() {
        if constexpr (Order == BitOrder::Lsb8)
            Remove(cur_.bits & 7);
        else
            Remove(cur_.bits & 15);
    }

    // Copies the next n bytes of input to dst; call Align first. False (and
    // zeros in dst) when the input ended before them. For Msb16 the words
    // read afterwards start at the byte after these n.
    bool ReadBytes(uint8_t* dst, size_t n) {
        Unload();
        while (n > 0) {
            if (cur_.in == cur_.end && !MoreInput()) {
                std::memset(dst, 0, n);
                padding_ += n;
                return false;
            }
            size_t run = static_cast<size_t>(cur_.end - cur_.in);
            if (run > n) run = n;
            std::memcpy(dst, cur_.in, run);
            dst += run;
            cur_.in += run;
            n -= run;
        }
        return true;
    }

    // ---- end of input ---------------------------------------------------

    // Bits the decoder consumed beyond the end of its input.
    uint64_t OverrunBits() const {
        const uint64_t pad = static_cast<uint64_t>(padding_) * 8;
        return pad > cur_.bits ? pad - cur_.bits : 0;
    }
    bool Exhausted() const { return padding_ > kPaddingLimit; }

private:
    // Moves on to the next piece of input when the current one is used up:
    // bytes pushed back by ReadBytes, then the block they were taken from,
    // then (for a folder-wide reader) the folder's next blocks.
    bool MoreInput() {
        if (pushedBack_) {
            pushedBack_ = false;
            cur_.in = savedIn_;
            cur_.end = savedEnd_;
            if (cur_.in != cur_.end) return true;
        }
        if (span_ == BlockSpan::OneBlock) return false;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        while (source_->NextBlock(data, size, blockOut_)) {
            ++blocks_;
            cur_.in = data;
            cur_.end = data + size;
            if (size > 0) return true;
        }
        cur_.in = cur_.end = nullptr;
        return false;
    }

    [[gnu::noinline]] void Refill() {
        if (CanRefillFast()) {
            RefillFast();
            return;
        }
        if constexpr (Order == BitOrder::Lsb8) {
            while (cur_.bits < kWidth - 8) {
                if (cur_.in != cur_.end || MoreInput())
                    cur_.buf |= Word(*cur_.in++) << cur_.bits;
                else
                    ++padding_;
                cur_.bits += 8;
            }
        } else {
            while (cur_.bits <= kWidth - 16) {
                Word w = NextByte();
                w |= Word(NextByte()) << 8;
                cur_.buf |= w << (kWidth - 16 - cur_.bits);
                cur_.bits += 16;
            }
        }
    }

    uint8_t NextByte() {
        if (cur_.in != cur_.end || MoreInput()) return *cur_.in++;
        ++padding_;
        return 0;
    }

    // Returns the whole bytes still in the bit buffer to the input, ahead of
    // anything pushed back before, so that byte reads continue exactly where
    // the bits left off. Padding in the buffer is dropped, not returned.
    void Unload() {
        unsigned bytes = cur_.bits / 8;
        const size_t pad = padding_ < bytes ? padding_ : bytes;
        padding_ -= pad;
        bytes -= static_cast<unsigned>(pad);
        uint8_t tmp[sizeof back_];
        unsigned n = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            if constexpr (Order == BitOrder::Lsb8) {
                tmp[n++] = static_cast<uint8_t>(cur_.buf >> (8 * i));
            } else {
                // Word i/2 sits (i/2)*16 bits below the top; its low byte
                // comes first in the input.
                const unsigned shift = kWidth - 16 * (i / 2 + 1) + (i & 1) * 8;
                tmp[n++] = static_cast<uint8_t>(cur_.buf >> shift);
            }
        }
        cur_.buf = 0;
        cur_.bits = 0;
        if (n == 0) return;
        if (pushedBack_) {
            const size_t rest = static_cast<size_t>(cur_.end - cur_.in);
            std::memmove(tmp + n, cur_.in, rest);  // rest + n <= sizeof back_, see below
            n += static_cast<unsigned>(rest);
        } else {
            savedIn_ = cur_.in;
            savedEnd_ = cur_.end;
            pushedBack_ = true;
        }
        // Whatever is pushed back came out of one word of buffer, so it never
        // holds more than a word's worth of bytes.
        std::memcpy(back_, tmp, n);
        cur_.in = back_;
        cur_.end = back_ + n;
    }

    BlockSource* source_;
    BlockSpan span_;
    Cursor cur_;
    size_t padding_ = 0;
    uint32_t blockOut_ = 0;
    uint32_t blocks_ = 0;
    bool pushedBack_ = false;
    const uint8_t* savedIn_ = nullptr;
    const uint8_t* savedEnd_ = nullptr;
    uint8_t back_[2 * sizeof(Word)] = {};
};

}  // namespace brik::cab
