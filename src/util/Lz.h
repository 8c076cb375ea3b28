// The engine's own small compression, for what it carries inside its image
// (its decompressor library): every byte of the engine comes before the
// package's cabinet, and the library is a third of the engine. The writer
// runs at build time and may take its time; the reader is a few hundred
// bytes of code in the engine.
//
// The stream: "BLZ1", the expanded size (32 bits, little-endian), then
// tokens. Control bits come eight at a time in a byte of their own, taken
// when the last is used up, interleaved with the data bytes:
//   0                 a literal byte follows
//   1 0 gamma byte    a match at a new distance: (gamma - 2) * 256 + byte + 1,
//   gamma             then its length
//   1 1 gamma         a match of that length at the last match's distance
// A gamma code is 1 followed by the bits of the number below its top bit,
// each bit followed by 1 when more come and 0 after the last: 2 is "00",
// 3 "10", 4 "0100". Lengths and distance prefixes are at least 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brik {

inline constexpr char kLzMagic[4] = {'B', 'L', 'Z', '1'};
inline constexpr size_t kLzHeaderSize = 8;

// The expanded size a stream announces; -1 when it is no stream of ours.
int64_t LzExpandedSize(const uint8_t* data, size_t size);
// Expands a whole stream into out, which holds exactly the announced size.
// False when the stream is damaged: it never reads or writes out of bounds.
bool LzExpand(const uint8_t* data, size_t size, uint8_t* out, size_t outSize);

// The whole stream for data; at build time only.
std::string LzCompress(std::string_view data);

}  // namespace brik
