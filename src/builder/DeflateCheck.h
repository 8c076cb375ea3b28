// A strict reading of a raw deflate stream, without producing its output.
//
// Cabinet decoders in the field are older and stricter than zlib's inflate:
// some refuse a Huffman code that is not complete, such as the empty
// distance code of a block that has only literals, which some deflate
// compressors write. The MSZIP writer checks every block it compresses with
// this and compresses it another way when the check fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brik {

// True when every Huffman code of the raw deflate stream in `data` (code
// lengths, literals, distances) is complete. The symbols of a block are
// decoded only to find the next block's header: the last block's body is
// not read, so this is a check of the codes, not of the data.
bool HasCompleteCodes(const uint8_t* data, size_t size);

}  // namespace brik
