// Version resources and font names are read from files the author packs,
// which may be anything: every parse must end without a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "builder/FileInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    brik::cab::MemorySource source(data, size);
    std::string version = brik::FileVersionText(source);
    std::string name, problem;
    for (const char* file : {"a.ttf", "a.otf", "a.ttc", "a.fon"})
        brik::FontRegistryName(source, file, 1252, name, problem);
    return static_cast<int>(version.size() & 0);
}
