#include "cab/Decoder.h"

#include "cab/Lzx.h"
#include "cab/Mszip.h"
#include "cab/Quantum.h"

namespace brik::cab {

namespace {

// Stored data: a frame is the block itself, handed out without a copy.
class StoredDecoder final : public Decoder {
public:
    explicit StoredDecoder(BlockSource& source) : source_(source) {}

    CabStatus NextFrame(const uint8_t*& out, uint32_t& size) override {
        uint32_t uncompressed = 0;
        if (!source_.NextBlock(out, size, uncompressed)) {
            CabStatus s = source_.Status();
            return s == CabStatus::Ok ? CabStatus::BadData : s;
        }
        // A stored block holds exactly what it decompresses to.
        return size == uncompressed ? CabStatus::Ok : CabStatus::BadData;
    }

private:
    BlockSource& source_;
};

}  // namespace

const char* StatusText(CabStatus status) {
    switch (status) {
        case CabStatus::Ok: return "no error";
        case CabStatus::ReadError: return "the file could not be read or is truncated";
        case CabStatus::BadFormat: return "not a cabinet we can read";
        case CabStatus::BadChecksum: return "a data block is damaged (checksum mismatch)";
        case CabStatus::BadData: return "the compressed data is damaged";
        case CabStatus::WriteError: return "a file could not be written";
        case CabStatus::Aborted: return "stopped by the caller";
        case CabStatus::NoMemory: return "out of memory";
    }
    return "unknown error";
}

std::unique_ptr<Decoder> MakeDecoder(uint16_t typeCompress, BlockSource& source, uint64_t totalOut,
                                     CabStatus& status) {
    status = CabStatus::Ok;
    // LZX and Quantum keep their window size in bits 8 to 12.
    const unsigned windowBits = (typeCompress >> 8) & 0x1F;
    switch (static_cast<Method>(typeCompress & kMethodMask)) {
        case Method::Stored: return std::make_unique<StoredDecoder>(source);
        case Method::Mszip: return MakeMszipDecoder(source);
        case Method::Quantum: return MakeQuantumDecoder(source, windowBits, totalOut, status);
        case Method::Lzx: return MakeLzxDecoder(source, windowBits, totalOut, status);
        default: break;
    }
    status = CabStatus::BadFormat;
    return nullptr;
}

}  // namespace brik::cab
