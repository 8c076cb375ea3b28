// Canonical Huffman decoding for the cabinet decoders.
//
// A table is built from code lengths alone (canonical codes: shorter codes
// first, equal lengths in symbol order). Codes up to TableBits long are
// resolved by one lookup in the root table; longer ones by one more lookup in
// a subtable just big enough for the codes that share the root prefix.
//
// Entry layout (32 bits):
//   bits 0-7    bits to remove (root entry: code length; subtable entry:
//               code length minus TableBits)
//   bits 8-11   index width of the subtable (subtable pointers only)
//   bit 15      subtable pointer
//   bits 16-31  symbol, or the subtable's offset for a pointer
// Bit patterns that are no code (allowed incomplete sets only) decode to
// kInvalidSymbol after removing one bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cab/BitReader.h"

namespace brik::cab {

// Which incomplete code sets a table accepts besides complete ones.
enum HuffmanAllow : unsigned {
    kHuffmanComplete = 0,
    kHuffmanAllowEmpty = 1,   // every length zero: nothing can be decoded
    kHuffmanAllowSingle = 2,  // one code of length 1
};

template <BitOrder Order, unsigned NumSymbols, unsigned TableBits, unsigned MaxLen>
class HuffmanTable {
    static_assert(TableBits >= 1 && TableBits <= MaxLen && MaxLen <= 16);
    static_assert(NumSymbols >= 2 && NumSymbols < 0xFFFF);

public:
    static constexpr uint32_t kInvalidSymbol = 0xFFFF;
    static constexpr unsigned kTableBits = TableBits;
    static constexpr unsigned kMaxLen = MaxLen;
    static constexpr uint32_t kSubtable = 0x8000;

    // Until built, every pattern is invalid.
    HuffmanTable() {
        for (uint32_t& e : table_) e = kInvalidEntry;
    }

    // Builds the table from `count` code lengths (count <= NumSymbols; a
    // length of zero means the symbol does not occur). False when a length is
    // above MaxLen, the set is over-subscribed, or it is incomplete in a way
    // `allow` does not accept; the table is then unusable.
    bool Build(const uint8_t* lengths, unsigned count, unsigned allow = kHuffmanComplete) {
        if (count > NumSymbols) return false;
        unsigned lenCount[MaxLen + 1] = {};
        for (unsigned s = 0; s < count; ++s) {
            if (lengths[s] > MaxLen) return false;
            ++lenCount[lengths[s]];
        }
        lenCount[0] = 0;

        // Kraft sum: `left` is the number of unused codes of the current length.
        int left = 1;
        unsigned used = 0;
        for (unsigned len = 1; len <= MaxLen; ++len) {
            left = 2 * left - static_cast<int>(lenCount[len]);
            if (left < 0) return false;
            used += lenCount[len];
        }

        if (left > 0) {
            if (used == 0 ? !(allow & kHuffmanAllowEmpty)
                          : !(used == 1 && lenCount[1] == 1 && (allow & kHuffmanAllowSingle)))
                return false;
            // Only these leave root slots without a code.
            for (uint32_t i = 0; i < kRootSize; ++i) table_[i] = kInvalidEntry;
            if (used == 0) return true;
        }

        // First canonical code of each length.
        uint32_t next[MaxLen + 2] = {};
        uint32_t code = 0;
        for (unsigned len = 1; len <= MaxLen; ++len) {
            code = (code + lenCount[len - 1]) << 1;
            next[len] = code;
        }

        if constexpr (MaxLen > TableBits) {
            // A subtable per root prefix of long codes, as deep as the longest
            // code below it. Only complete sets have long codes, so each
            // subtable is filled exactly by its codes.
            uint8_t depth[1u << TableBits] = {};
            uint32_t probe[MaxLen + 2];
            for (unsigned len = 0; len <= MaxLen; ++len) probe[len] = next[len];
            for (unsigned s = 0; s < count; ++s) {
                const unsigned len = lengths[s];
                if (len <= TableBits) continue;
                const uint32_t prefix = probe[len]++ >> (len - TableBits);
                if (depth[prefix] < len - TableBits) depth[prefix] = static_cast<uint8_t>(len - TableBits);
            }
            size_t offset = kRootSize;
            for (uint32_t prefix = 0; prefix < kRootSize; ++prefix) {
                if (!depth[prefix]) continue;
                const size_t size = size_t(1) << depth[prefix];
                if (offset + size > kCapacity) return false;  // cannot happen for complete sets
                table_[RootIndex(prefix)] = static_cast<uint32_t>(offset) << 16 | kSubtable |
                                           uint32_t(depth[prefix]) << 8 | TableBits;
                offset += size;
            }
        }

        for (unsigned s = 0; s < count; ++s) {
            const unsigned len = lengths[s];
            if (len == 0) continue;
            const uint32_t c = next[len]++;
            if (len <= TableBits) {
                Fill(table_, c, len, TableBits, s << 16 | len);
            } else {
                const unsigned tail = len - TableBits;
                const uint32_t pointer = table_[RootIndex(c >> tail)];
                const unsigned depth = (pointer >> 8) & 0xF;
                Fill(table_ + (pointer >> 16), c & ((1u << tail) - 1), tail, depth, s << 16 | tail);
            }
        }
        return true;
    }

    // Decodes one symbol, topping the reader's buffer up first. Returns
    // kInvalidSymbol for a bit pattern that is no code; callers check the
    // symbol against what their format allows anyway.
    template <class Reader>
    uint32_t Decode(Reader& br) const {
        static_assert(Reader::kOrder == Order && MaxLen <= Reader::kMaxEnsure);
        br.Ensure(MaxLen);
        return DecodeBuffered(br);
    }

    // Decodes one symbol when the caller knows MaxLen bits are buffered.
    template <class Reader>
    uint32_t DecodeBuffered(Reader& br) const {
        uint32_t e = table_[br.Peek(TableBits)];
        if constexpr (MaxLen > TableBits) {
            if (e & kSubtable) [[unlikely]] {
                br.Remove(TableBits);
                e = table_[(e >> 16) + br.Peek((e >> 8) & 0xF)];
            }
        }
        br.Remove(e & 0xFF);
        return e >> 16;
    }

private:
    static constexpr uint32_t kRootSize = 1u << TableBits;
    // Subtables only exist for complete sets; one of depth d holds at least
    // d + 1 codes, and 2^d / (d + 1) grows with d, so no set of NumSymbols
    // codes needs more than NumSymbols * 2^D / (D + 1) subtable entries, D
    // being the deepest possible subtable.
    static constexpr unsigned kDeepest = MaxLen - TableBits;
    static constexpr size_t kCapacity =
        kRootSize + (kDeepest == 0 ? 0 : (size_t(NumSymbols) << kDeepest) / (kDeepest + 1) + 1);
    static constexpr uint32_t kInvalidEntry = kInvalidSymbol << 16 | 1;

    // The low n bits of v (n <= 16) in reverse order.
    static uint32_t Reverse(uint32_t v, unsigned n) {
        v = (v & 0x5555) << 1 | (v >> 1 & 0x5555);
        v = (v & 0x3333) << 2 | (v >> 2 & 0x3333);
        v = (v & 0x0F0F) << 4 | (v >> 4 & 0x0F0F);
        v = (v & 0x00FF) << 8 | (v >> 8 & 0x00FF);
        return v >> (16 - n);
    }

    // Where the reader's Peek(TableBits) lands for a TableBits-bit prefix.
    static uint32_t RootIndex(uint32_t prefix) {
        return Order == BitOrder::Lsb8 ? Reverse(prefix, TableBits) : prefix;
    }

    // Stores `entry` in every slot of a (1 << width)-entry table whose index
    // starts with the len-bit code c, as the reader presents bits.
    static void Fill(uint32_t* table, uint32_t c, unsigned len, unsigned width, uint32_t entry) {
        if constexpr (Order == BitOrder::Lsb8) {
            for (uint32_t i = Reverse(c, len); i < (1u << width); i += 1u << len) table[i] = entry;
        } else {
            const uint32_t first = c << (width - len);
            for (uint32_t i = 0; i < (1u << (width - len)); ++i) table[first + i] = entry;
        }
    }

    uint32_t table_[kCapacity];
};

}  // namespace brik::cab
