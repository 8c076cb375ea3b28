// Shared by the fuzz targets of the 32 KB-frame decoders (LZX, Quantum):
// the input's first bytes choose the window and the folder size, the rest
// is cut into data blocks; every frame handed out is checked against the
// rules a cabinet reader relies on.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cab/Decoder.h"

namespace brik::fuzz {

// Blocks of the form [2-byte length][bytes], the last one cut short.
class Blocks final : public cab::BlockSource {
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
        uncompressed = cab::kFrameSize;
        return true;
    }
    cab::CabStatus Status() const override { return cab::CabStatus::Ok; }

private:
    std::vector<std::vector<uint8_t>> blocks_;
    std::vector<uint8_t> current_;
    size_t next_ = 0;
};

using FrameDecoderFactory = std::unique_ptr<cab::Decoder> (*)(cab::BlockSource&, unsigned, uint64_t,
                                                              cab::CabStatus&);

// Decodes the whole folder. A failure must be BadData and must stick; a
// success hands out whole frames, the last one shorter, adding up to `total`.
inline int RunFrameDecoder(const uint8_t* data, size_t size, FrameDecoderFactory make, unsigned minWindowBits,
                           unsigned windowChoices, uint32_t totalMask) {
    using cab::CabStatus;
    if (size < 4) return 0;
    const unsigned windowBits = minWindowBits + data[0] % windowChoices;
    const uint64_t total = (data[1] | data[2] << 8 | data[3] << 16) & totalMask;
    Blocks blocks(data + 4, size - 4);
    CabStatus status = CabStatus::Ok;
    auto decoder = make(blocks, windowBits, total, status);
    if (!decoder) std::abort();
    uint64_t produced = 0;
    for (;;) {
        const uint8_t* out = nullptr;
        uint32_t frame = 0;
        status = decoder->NextFrame(out, frame);
        if (status != CabStatus::Ok) {
            if (status != CabStatus::BadData) std::abort();
            if (decoder->NextFrame(out, frame) != status) std::abort();
            return 0;
        }
        if (frame == 0) break;
        const uint64_t expected = total - produced < cab::kFrameSize ? total - produced : cab::kFrameSize;
        if (frame != expected || !out) std::abort();
        // Touch every byte handed out.
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < frame; ++i) sink = sink ^ out[i];
        produced += frame;
    }
    if (produced != total) std::abort();
    return 0;
}

}  // namespace brik::fuzz
