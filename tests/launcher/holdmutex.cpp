// holdmutex NAME SECONDS: creates the named mutex, says "ready" on stdout
// and keeps it for SECONDS (at most 600), for tests of programs that refuse
// to run beside it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: holdmutex NAME SECONDS\n");
        return 2;
    }
    const long seconds = std::strtol(argv[2], nullptr, 10);
    if (seconds <= 0 || seconds > 600) {
        std::fprintf(stderr, "holdmutex: SECONDS must lie in 1..600\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[1]);
    if (mutex == nullptr) {
        std::fprintf(stderr, "holdmutex: CreateMutexA failed (%lu)\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    CloseHandle(mutex);
    return 0;
}
