#include "cab/PackageEnd.h"

namespace brik::cab {

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }

// The PE's signature, the file header and a PE32 optional header up to and
// including the certificate table's directory entry. The engine is a 32-bit
// program; a package behind any other is none of ours.
constexpr uint32_t kPeHeaders = 4 + 20 + 96 + 5 * 8;
constexpr uint32_t kMaxPadding = 7;

}  // namespace

PackageExtent FindPackageEnd(uint64_t fileSize, ReadAtFunction read, void* context) {
    PackageExtent extent;
    extent.end = fileSize;
    // The trailer's offsets are 32 bits, so a package is smaller than 4 GB;
    // reckoning in 32 bits keeps the engine small.
    if (fileSize > 0xFFFFFFFFu) return extent;
    const uint32_t size = static_cast<uint32_t>(fileSize);
    uint8_t dos[64];
    if (size < sizeof dos || !read(context, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return extent;
    const uint32_t peAt = Le32(dos + 0x3C);
    if (peAt >= size) return extent;
    uint8_t pe[kPeHeaders];
    const uint8_t* entry = pe + kPeHeaders - 8;
    // "PE\0\0", an optional header that holds the entry, PE32, and at least
    // five directories.
    if (size - peAt < kPeHeaders || !read(context, peAt, pe, kPeHeaders) || Le32(pe) != 0x00004550 ||
        Le16(pe + 20) < kPeHeaders - 24 || Le16(pe + 24) != 0x10B || Le32(pe + 24 + 92) < 5)
        return extent;
    // Its "virtual address" is a file offset.
    const uint32_t tableAt = Le32(entry);
    const uint32_t tableSize = Le32(entry + 4);
    if (tableAt == 0 || tableSize == 0 || tableAt > size || tableSize > size - tableAt) return extent;
    extent.signatureAt = tableAt;
    extent.signatureEnd = tableAt + tableSize;
    if (tableAt + tableSize != size) return extent;
    // The trailer names its own offset, which tells how many zero bytes
    // the signing tool put between it and the table.
    uint8_t before[8 + kMaxPadding];
    const uint32_t got = tableAt < sizeof before ? tableAt : sizeof before;
    if (!read(context, tableAt - got, before, got)) return extent;
    for (uint32_t padding = 0; padding <= kMaxPadding && padding + 8 <= got; ++padding) {
        const uint8_t* trailerEnd = before + got - padding;
        if (padding > 0 && trailerEnd[0] != 0) break;
        // No wrap: tableAt - padding is at least 8 here.
        if (Le32(trailerEnd - 4) + 8 == tableAt - padding) {
            extent.end = tableAt - padding;
            break;
        }
    }
    return extent;
}

}  // namespace brik::cab
