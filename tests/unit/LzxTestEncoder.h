// A small LZX compressor for the decoder's tests: a greedy matcher in front
// of a bit writer that can emit every block type the cabinet variant knows.
// It also writes hand-made token streams, so tests can build the malformed
// streams a real compressor never produces (matches before the start of the
// data, wrong block lengths, stored repeat offsets out of range).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace brik::cab::test {

enum class LzxBlockType : uint8_t { Verbatim = 1, Aligned = 2, Uncompressed = 3 };

struct LzxToken {
    uint32_t length = 0;   // 0: a literal; 2..257: a match
    uint8_t literal = 0;
    uint32_t offset = 0;   // distance back from the current position
    // Hand-made streams: code the match as this repeat slot (0..2) whatever
    // the offset says; the offset must then equal what the slot holds.
    int forceRepeat = -1;
};

struct LzxBlock {
    LzxBlockType type = LzxBlockType::Verbatim;
    std::vector<LzxToken> tokens;          // verbatim and aligned blocks
    std::vector<uint8_t> raw;              // uncompressed blocks
    std::optional<uint32_t> declaredSize;  // header size, when it must lie
    std::optional<std::array<uint32_t, 3>> storedRepeats;  // uncompressed header R0..R2
    // Hand-made streams: the raw 3-bit type written instead of `type`.
    std::optional<unsigned> rawType;
    // Hand-made streams: send an empty length tree even when matches need it.
    bool emptyLengthTree = false;
};

struct LzxStream {
    unsigned windowBits = 16;
    uint32_t e8Size = 0;  // 0: the translation header says "off"
    std::vector<LzxBlock> blocks;
};

// One cabinet data block: a frame's compressed bytes and its output size.
struct LzxChunk {
    std::vector<uint8_t> data;
    uint32_t uncompressed = 0;
};

// Writes the stream, cut into one chunk per 32 KB frame as a cabinet
// compressor does. Frame ends are taken from the tokens' output, so a
// hand-made stream may put a match across one.
std::vector<LzxChunk> WriteLzx(const LzxStream& stream);

struct LzxEncodeOptions {
    unsigned windowBits = 16;
    uint32_t e8Size = 0;                   // nonzero: translate E8 calls
    std::vector<LzxBlockType> types = {LzxBlockType::Verbatim};  // used in turn
    uint32_t blockSize = 65536;            // output bytes per block
    bool matches = true;                   // false: literals only
    unsigned chainDepth = 32;
};

// Greedy parse of `data` (after E8 translation when asked for) into blocks.
LzxStream ParseLzx(const std::vector<uint8_t>& data, const LzxEncodeOptions& options);

inline std::vector<LzxChunk> EncodeLzx(const std::vector<uint8_t>& data,
                                       const LzxEncodeOptions& options) {
    return WriteLzx(ParseLzx(data, options));
}

// The E8 call translation a compressor applies before matching, the inverse
// of the decoder's.
void TranslateE8(std::vector<uint8_t>& data, uint32_t e8Size);

// Position slots of a window: 2^15 .. 2^21 bytes.
unsigned LzxSlotCount(unsigned windowBits);

}  // namespace brik::cab::test
