// brik_lzpack INPUT OUTPUT: packs a file the engine carries in its image
// (util/Lz.h); run by the build on the machine that builds.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "util/Lz.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: brik_lzpack INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "brik_lzpack: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string packed = brik::LzCompress(data);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(packed.data(), static_cast<std::streamsize>(packed.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "brik_lzpack: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
