// holdfile PATH SECONDS: opens the file for reading as a program that uses
// it would (others may read it, nobody may delete or replace it), says
// "ready" on stdout and keeps it open for SECONDS (at most 600), for tests
// of installs whose targets are in use.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: holdfile PATH SECONDS\n");
        return 2;
    }
    const long seconds = std::strtol(argv[2], nullptr, 10);
    if (seconds <= 0 || seconds > 600) {
        std::fprintf(stderr, "holdfile: SECONDS must lie in 1..600\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open %s (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    CloseHandle(file);
    return 0;
}
