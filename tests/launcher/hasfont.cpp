// hasfont FACE: exit code 0 when the system's font enumeration lists a font
// family of that name, 1 when it does not.
#include <windows.h>

#include <cstdio>

namespace {

int CALLBACK Found(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || lstrlenA(argv[1]) >= LF_FACESIZE) {
        std::fprintf(stderr, "usage: hasfont FACE\n");
        return 2;
    }
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpyA(wanted.lfFaceName, argv[1]);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &wanted, Found, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    std::printf("%s\n", found ? "listed" : "not listed");
    return found ? 0 : 1;
}
