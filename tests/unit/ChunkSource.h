// A block source for decoder tests: hands out test-encoder chunks one by
// one, each in a fresh allocation that dies at the next call, so a decoder
// holding on to an old block shows up under the sanitizers. `failAt` makes
// the source fail with `failWith` at that block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "cab/Decoder.h"

namespace brik::test {

// Chunk: any type with `data` (bytes) and `uncompressed` (the block's output size).
template <typename Chunk>
class ChunkSource final : public cab::BlockSource {
public:
    explicit ChunkSource(std::vector<Chunk> chunks, size_t failAt = SIZE_MAX,
                         cab::CabStatus failWith = cab::CabStatus::ReadError)
        : chunks_(std::move(chunks)), failAt_(failAt), failWith_(failWith) {}

    bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) override {
        current_.reset();
        if (next_ == failAt_) {
            status_ = failWith_;
            return false;
        }
        if (next_ >= chunks_.size()) return false;
        const Chunk& chunk = chunks_[next_++];
        current_ = std::make_unique<uint8_t[]>(chunk.data.size() + 1);
        std::copy(chunk.data.begin(), chunk.data.end(), current_.get());
        data = current_.get();
        size = static_cast<uint32_t>(chunk.data.size());
        uncompressed = chunk.uncompressed;
        return true;
    }
    cab::CabStatus Status() const override { return status_; }

private:
    std::vector<Chunk> chunks_;
    size_t next_ = 0;
    size_t failAt_;
    cab::CabStatus failWith_;
    cab::CabStatus status_ = cab::CabStatus::Ok;
    std::unique_ptr<uint8_t[]> current_;
};

}  // namespace brik::test
