// The LZX decoder on arbitrary block streams.
#include "FrameDecoderFuzz.h"
#include "cab/Lzx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return brik::fuzz::RunFrameDecoder(data, size, brik::cab::MakeLzxDecoder, brik::cab::kLzxMinWindowBits, 7,
                                       0xFFFFF);
}
