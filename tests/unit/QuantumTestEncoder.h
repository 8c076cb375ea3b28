// A small Quantum compressor for the decoder's tests: a greedy matcher and an
// arithmetic coder with the format's adaptive models, written from the
// format's description rather than from the decoder. It also codes hand-made
// token streams, so tests can build the malformed streams a real compressor
// never produces (matches across a frame's end, past the folder's end).
#pragma once

#include <cstdint>
#include <vector>

namespace brik::cab::test {

struct QtmToken {
    uint32_t length = 0;  // 0: a literal; 3..259: a match
    uint8_t literal = 0;
    uint32_t offset = 0;  // distance back from the current position, 1 and up
};

// One cabinet data block: compressed bytes and the output they stand for.
struct QtmChunk {
    std::vector<uint8_t> data;
    uint32_t uncompressed = 0;
};

struct QtmWriteOptions {
    unsigned windowBits = 16;
    // Zero bytes written after each frame's data, taken in turn frame by
    // frame (a cabinet compressor writes 0 to 4).
    std::vector<unsigned> padding = {0};
    // Cuts each frame's data into this many blocks instead of one.
    unsigned blocksPerFrame = 1;
    // The last block claims a whole frame's output, as a cabinet writer that
    // counts every block as 32 KB does, while its frame codes only the bytes
    // that are left.
    bool lastBlockClaimsWholeFrame = false;
};

// Codes the tokens as the cabinet variant does: the output is cut into 32 KB
// frames, each coded on its own and put in its own block(s). Frame ends are
// counted from the tokens' output, so a hand-made stream may put a match
// across one. Throws std::invalid_argument for a token the format cannot
// code (a length outside 3..259, an offset beyond what its model reaches).
std::vector<QtmChunk> WriteQuantum(const std::vector<QtmToken>& tokens, const QtmWriteOptions& options);

struct QtmParseOptions {
    unsigned windowBits = 16;
    unsigned maxLength = 259;  // below 5: short matches only
    unsigned chainDepth = 64;
};

// Greedy LZ77 parse within the window, never across a frame's end.
std::vector<QtmToken> ParseQuantum(const std::vector<uint8_t>& data, const QtmParseOptions& options);

// What the tokens stand for; a match reaching back before the first byte
// copies the zeros a window starts with.
std::vector<uint8_t> ExpandTokens(const std::vector<QtmToken>& tokens);

// The farthest offset a match of this length can code with this window.
uint32_t QtmMaxOffset(unsigned windowBits, uint32_t length);

}  // namespace brik::cab::test
