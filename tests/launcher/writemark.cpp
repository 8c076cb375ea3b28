// A program the install runs: writemark.exe FILE [ARGUMENT...] waits a
// moment, so that a caller that does not wait for it would be on its way
// first, then writes its arguments and working folder to FILE.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    Sleep(1000);
    FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) return 3;
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::fprintf(out, "argc=%d\nfolder=%s\n", argc, folder);
    for (int i = 2; i < argc; ++i) std::fprintf(out, "arg=%s\n", argv[i]);
    std::fclose(out);
    return 0;
}
