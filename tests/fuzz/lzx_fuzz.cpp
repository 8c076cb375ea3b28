// Feeds arbitrary data blocks to the LZX decoder. Input layout:
//   byte 0       window bits, 15 + (value % 7)
//   bytes 1..3   the folder's output size, little-endian, low 20 bits
//   then blocks  each a 16-bit little-endian length and that many bytes (the
//                last one takes what is left)
// The decoder must end in an error or hand out exactly the folder's size in
// 32 KB frames, the last one shorter.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cab/Lzx.h"

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
    const unsigned windowBits = brik::cab::kLzxMinWindowBits + data[0] % 7;
    const uint64_t total = (data[1] | data[2] << 8 | data[3] << 16) & 0xFFFFF;
    Blocks blocks(data + 4, size - 4);
    CabStatus status = CabStatus::Ok;
    auto decoder = brik::cab::MakeLzxDecoder(blocks, windowBits, total, status);
    if (!decoder) std::abort();
    uint64_t produced = 0;
    for (;;) {
        const uint8_t* out = nullptr;
        uint32_t frame = 0;
        status = decoder->NextFrame(out, frame);
        if (status != CabStatus::Ok) {
            if (status != CabStatus::BadData) std::abort();
            // Once failed, always failed.
            if (decoder->NextFrame(out, frame) != status) std::abort();
            return 0;
        }
        if (frame == 0) break;
        const uint64_t expected = total - produced < brik::cab::kFrameSize ? total - produced : brik::cab::kFrameSize;
        if (frame != expected || !out) std::abort();
        // Touch every byte handed out.
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < frame; ++i) sink = sink ^ out[i];
        produced += frame;
    }
    if (produced != total) std::abort();
    return 0;
}
