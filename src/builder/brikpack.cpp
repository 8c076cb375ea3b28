// brikpack: the package tool. Reads cabinets and setup packages (a cabinet
// found inside a host file the way the engine finds it).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builder/Extract.h"
#include "cab/Cabinet.h"
#include "util/kpStrUtils.h"

namespace {

using namespace brik;

int Usage() {
    std::fprintf(stderr,
                 "usage: brikpack list FILE\n"
                 "       brikpack test FILE\n"
                 "       brikpack extract FILE -d DIR\n"
                 "FILE is a cabinet or a setup package.\n");
    return 2;
}

int Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "brikpack: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

const char* MethodName(uint16_t type) {
    switch (type & 0x0F) {
        case 0: return "stored";
        case 1: return "mszip";
        case 2: return "quantum";
        case 3: return "lzx";
        default: return "unknown";
    }
}

int List(cab::Cabinet& cab) {
    if (cab.Offset() != 0) std::printf("cabinet at offset %llu\n", static_cast<unsigned long long>(cab.Offset()));
    for (size_t i = 0; i < cab.Folders().size(); ++i) {
        const cab::CabFolder& f = cab.Folders()[i];
        std::printf("folder %zu: %s", i, MethodName(f.typeCompress));
        if ((f.typeCompress & 0x0F) >= 2) std::printf(" window 2^%u", (f.typeCompress >> 8) & 0x1F);
        std::printf(", %u data blocks\n", f.blockCount);
    }
    std::printf("%10s  %-19s  %-4s  %6s  %s\n", "size", "date", "attr", "folder", "name");
    for (const cab::CabFile& f : cab.Files()) {
        char attr[5] = {(f.attributes & cab::kAttrReadOnly) ? 'r' : '-', (f.attributes & cab::kAttrHidden) ? 'h' : '-',
                        (f.attributes & cab::kAttrSystem) ? 's' : '-', (f.attributes & cab::kAttrArchive) ? 'a' : '-', 0};
        std::printf("%10u  %04u-%02u-%02u %02u:%02u:%02u  %s  %6u  %s\n", f.size, 1980u + (f.date >> 9),
                    (f.date >> 5) & 15u, f.date & 31u, f.time >> 11, (f.time >> 5) & 63u, (f.time & 31u) * 2,
                    attr, f.folder, f.name.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const std::string file = argv[2];
    std::string dir;
    if (command == "extract") {
        if (argc != 5 || std::strcmp(argv[3], "-d") != 0) return Usage();
        dir = argv[4];
    } else if ((command != "list" && command != "test") || argc != 3) {
        return Usage();
    }

    cab::FileSource source;
    if (!source.Open(file)) return Fail(file, "cannot open the file");
    cab::Cabinet cab;
    if (cab.Open(source) != cab::CabStatus::Ok) return Fail(file, cab.Error());

    if (command == "list") return List(cab);

    if (command == "test") {
        NullWriter sink;
        if (cab.Walk(sink) != cab::CabStatus::Ok) return Fail(file, cab.Error());
        std::printf("%s: OK, %u files, %llu bytes\n", file.c_str(), sink.Files(),
                    static_cast<unsigned long long>(sink.Bytes()));
        return 0;
    }

    // Every name is checked before the first file is written.
    for (const cab::CabFile& f : cab.Files())
        if (!IsSafeRelativePath(f.name)) return Fail(file, "refusing unsafe file name \"" + f.name + "\"");
    if (!platform::ForceDirectories(dir)) return Fail(dir, "cannot create the folder");
    DirectoryWriter writer(dir);
    if (cab.Walk(writer) != cab::CabStatus::Ok)
        return Fail(file, writer.Error().empty() ? cab.Error() : writer.Error());
    std::printf("%s: extracted %u files, %llu bytes\n", file.c_str(), writer.FilesWritten(),
                static_cast<unsigned long long>(writer.BytesWritten()));
    return 0;
}
