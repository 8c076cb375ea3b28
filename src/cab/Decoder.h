// What every compression method of a cabinet folder looks like to the
// cabinet reader: the reader hands out the folder's data blocks one by one
// (checksum verified, decrypted), the decoder turns them into frames of
// output. Decoders pull input, so a method whose bit stream runs across block
// boundaries (LZX, Quantum) needs no special care from the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace brik::cab {

enum class CabStatus {
    Ok,
    ReadError,      // the host file could not be read, or ended early
    BadFormat,      // a header or table is malformed, or the cabinet is not one we read
    BadChecksum,    // a data block's checksum does not match
    BadData,        // compressed data is malformed
    WriteError,     // a destination could not be written
    Aborted,        // the caller stopped the walk
    NoMemory,
};

const char* StatusText(CabStatus status);

// Folder compression types, low nibble of the folder's type word.
enum class Method : uint8_t { Stored = 0, Mszip = 1, Quantum = 2, Lzx = 3 };
inline constexpr uint16_t kMethodMask = 0x000F;

// The largest output of one data block, and so of one frame.
inline constexpr uint32_t kFrameSize = 32768;
// What a data block may hold beyond its output (the format's allowance for
// incompressible data).
inline constexpr uint32_t kMaxBlockInput = kFrameSize + 6144;

class BlockSource {
public:
    virtual ~BlockSource() = default;
    // The payload of the folder's next data block and the number of bytes it
    // decompresses to. False when the folder has no more blocks or reading
    // failed (Status() tells which). The bytes stay valid until the next call.
    virtual bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) = 0;
    virtual CabStatus Status() const = 0;
};

class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes the folder's next frame: `out` points at its bytes, valid until
    // the next call. Stored and MSZIP frames are one block's output; LZX and
    // Quantum frames are 32 KB, the folder's last one shorter. On any error
    // nothing more may be asked of the decoder.
    virtual CabStatus NextFrame(const uint8_t*& out, uint32_t& size) = 0;
};

// `typeCompress` is the folder's whole type word (the window size of LZX and
// Quantum is in its high byte); `totalOut` is the folder's uncompressed size,
// the sum of its blocks' outputs. Null with `status` set when the type or its
// parameters are not supported.
std::unique_ptr<Decoder> MakeDecoder(uint16_t typeCompress, BlockSource& source, uint64_t totalOut,
                                     CabStatus& status);

}  // namespace brik::cab
