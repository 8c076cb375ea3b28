// The engine's packed-image reader on arbitrary streams: it refuses or
// expands, never reading or writing out of bounds; and whatever the writer
// packs comes back whole.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/Lz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int64_t announced = brik::LzExpandedSize(data, size);
    // A stream announces at most what a few bytes could expand to; larger
    // claims are refused by the engine's allocation anyway.
    if (announced >= 0 && announced <= (1 << 20)) {
        std::vector<uint8_t> out(static_cast<size_t>(announced));
        brik::LzExpand(data, size, out.data(), out.size());
    }
    if (size <= 4096) {
        const std::string input(reinterpret_cast<const char*>(data), size);
        const std::string packed = brik::LzCompress(input);
        std::string back(input.size(), '\0');
        if (!brik::LzExpand(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(),
                            reinterpret_cast<uint8_t*>(back.data()), back.size()) ||
            back != input)
            std::abort();
    }
    return 0;
}
