// MSZIP: every data block is "CK" and a deflate stream of its own whose
// output is exactly the block's uncompressed size; only the 32 KB history
// runs on from block to block within the folder.
#pragma once

#include <cstdint>
#include <memory>

#include "cab/BitReader.h"
#include "cab/Decoder.h"
#include "cab/Huffman.h"

namespace brik::cab {

class MszipDecoder final : public Decoder {
public:
    explicit MszipDecoder(BlockSource& source);
    CabStatus NextFrame(const uint8_t*& out, uint32_t& size) override;

    using Reader = BitReader<BitOrder::Lsb8>;
    using LitTable = HuffmanTable<BitOrder::Lsb8, 288, 10, 15>;
    using DistTable = HuffmanTable<BitOrder::Lsb8, 32, 8, 15>;

private:
    bool InflateBlock(uint8_t* frameEnd);
    bool ReadDynamicTables();
    bool CopyStored(uint8_t*& out, uint8_t* frameEnd);
    bool InflateCodes(const LitTable& lit, const DistTable& dist, uint8_t*& out, uint8_t* frameEnd);

    Reader reader_;
    // The folder's output: frames are decoded in place behind the history
    // they may refer to, and the last 32 KB move to the front when the
    // buffer fills.
    std::unique_ptr<uint8_t[]> window_;
    uint8_t* pos_;
    CabStatus status_ = CabStatus::Ok;
    LitTable lit_;
    DistTable dist_;
};

std::unique_ptr<Decoder> MakeMszipDecoder(BlockSource& source);

}  // namespace brik::cab
