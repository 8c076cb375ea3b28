// Feeds arbitrary data blocks to the Quantum decoder. Input layout:
//   byte 0       window bits, 10 + (value % 12)
//   bytes 1..3   the folder's output size, little-endian, low 17 bits
//   then blocks  each a 16-bit little-endian length and that many bytes (the
//                last one takes what is left)
// The decoder must end in an error or hand out exactly the folder's size in
// 32 KB frames, the last one shorter.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cab/Quantum.h"

namespace {

class Blocks final : public brik::cab::BlockSource {
public:
    Blocks(const uint8_t* data, size_t size) {
        while (size > 0) {
            size_t len = size >= 2 ? static_cast<size_t>(data[0] | data[1] << 8) : 0;
            const size_t skip = size >= 2 ? 2 : size;
            data += skip;
            size -= skip;
            if (len > size) len = size;
            blocks_.emplace_back(data, data + len);
            data += len;
            size -= len;
        }
    }

    bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) override {
        if (next_ >= blocks_.size()) return false;
        // A copy per call, freed at the next: a decoder keeping an old block
        // is caught by the address sanitizer.
        current_ = blocks_[next_++];
        data = current_.data();
        size = static_cast<uint32_t>(current_.size());
        uncompressed = brik::cab::kFrameSize;
        return true;
    }
    brik::cab::CabStatus Status() const override { return brik::cab::CabStatus::Ok; }

private:
    std::vector<std::vector<uint8_t>> blocks_;
    std::vector<uint8_t> current_;
    size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using brik::cab::CabStatus;
    if (size < 4) return 0;
    const unsigned windowBits = brik::cab::kQuantumMinWindowBits + data[0] % 12;
    const uint64_t total = (data[1] | data[2] << 8 | data[3] << 16) & 0x1FFFF;
    Blocks blocks(data + 4, size - 4);
    CabStatus status = CabStatus::Ok;
    auto decoder = brik::cab::MakeQuantumDecoder(blocks, windowBits, total, status);
    if (!decoder) std::abort();
    uint64_t produced = 0;
    for (;;) {
        const uint8_t* frame = nullptr;
        uint32_t frameSize = 0;
        status = decoder->NextFrame(frame, frameSize);
        if (status != CabStatus::Ok) {
            if (status != CabStatus::BadData) std::abort();
            break;
        }
        if (frameSize == 0) {
            if (produced != total) std::abort();
            break;
        }
        // Every frame but the last is a whole one.
        if (produced % brik::cab::kFrameSize != 0 || frameSize > brik::cab::kFrameSize) std::abort();
        if (frameSize < brik::cab::kFrameSize && produced + frameSize != total) std::abort();
        volatile uint8_t sink = frame[0] ^ frame[frameSize - 1];
        (void)sink;
        produced += frameSize;
    }
    return 0;
}
