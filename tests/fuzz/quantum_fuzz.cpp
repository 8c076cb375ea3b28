// The Quantum decoder on arbitrary block streams.
#include "FrameDecoderFuzz.h"
#include "cab/Quantum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return brik::fuzz::RunFrameDecoder(data, size, brik::cab::MakeQuantumDecoder, brik::cab::kQuantumMinWindowBits,
                                       12, 0x1FFFF);
}
