// Feeds arbitrary data blocks to the MSZIP decoder and checks every block
// against zlib. Input layout, repeated until the input ends:
//   2 bytes  the block's output size, little-endian (above 32 KB is an error)
//   2 bytes  the block's length, little-endian (cut to what is left)
//   then     that many bytes
// A block our decoder accepts must be one that zlib inflates, with the same
// 32 KB of history, to the same bytes, and the other way round.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "cab/Mszip.h"

namespace {

using brik::cab::CabStatus;

struct Block {
    std::vector<uint8_t> data;
    uint32_t out;
};

class Blocks final : public brik::cab::BlockSource {
public:
    explicit Blocks(const std::vector<Block>& blocks) : blocks_(blocks) {}
    bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) override {
        if (next_ >= blocks_.size()) return false;
        // A copy per call, freed at the next: a decoder keeping an old block
        // is caught by the address sanitizer.
        current_ = blocks_[next_].data;
        data = current_.data();
        size = static_cast<uint32_t>(current_.size());
        uncompressed = blocks_[next_].out;
        ++next_;
        return true;
    }
    CabStatus Status() const override { return CabStatus::Ok; }

private:
    const std::vector<Block>& blocks_;
    std::vector<uint8_t> current_;
    size_t next_ = 0;
};

// zlib's verdict on one block given the folder's output so far.
bool Inflate(const Block& b, const std::vector<uint8_t>& history, std::vector<uint8_t>& out) {
    if (b.data.size() < 2 || b.data[0] != 'C' || b.data[1] != 'K' || b.out > brik::cab::kFrameSize) return false;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    const size_t dict = history.size() < 32768 ? history.size() : 32768;
    if (dict && inflateSetDictionary(&z, history.data() + history.size() - dict, static_cast<uInt>(dict)) != Z_OK)
        std::abort();
    // One byte more than the block may produce, to see it overrun.
    out.assign(b.out + 1, 0);
    z.next_in = const_cast<Bytef*>(b.data.data() + 2);
    z.avail_in = static_cast<uInt>(b.data.size() - 2);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == b.out;
    out.resize(z.total_out);
    inflateEnd(&z);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<Block> blocks;
    while (size >= 4) {
        Block b;
        b.out = static_cast<uint32_t>(data[0] | data[1] << 8);
        size_t len = static_cast<size_t>(data[2] | data[3] << 8);
        data += 4;
        size -= 4;
        if (len > size) len = size;
        b.data.assign(data, data + len);
        blocks.push_back(std::move(b));
        data += len;
        size -= len;
    }

    Blocks source(blocks);
    brik::cab::MszipDecoder decoder(source);
    std::vector<uint8_t> history, expected;
    for (const Block& b : blocks) {
        const uint8_t* frame = nullptr;
        uint32_t frameSize = 0;
        const CabStatus status = decoder.NextFrame(frame, frameSize);
        const bool zlibOk = Inflate(b, history, expected);
        if (status != CabStatus::Ok) {
            if (status != CabStatus::BadData || zlibOk) std::abort();
            break;
        }
        if (!zlibOk || frameSize != b.out) std::abort();
        if (frameSize && std::memcmp(frame, expected.data(), frameSize) != 0) std::abort();
        history.insert(history.end(), frame, frame + frameSize);
    }
    // Past the folder's last block there is nothing more to decode.
    const uint8_t* frame = nullptr;
    uint32_t frameSize = 0;
    if (decoder.NextFrame(frame, frameSize) == CabStatus::Ok) std::abort();
    return 0;
}
