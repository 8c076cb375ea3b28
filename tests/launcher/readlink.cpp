// Prints what a shell link holds, read back through the shell's link
// object: readlink.exe LNKPATH. One field a line, "name=value"; exit code 1
// when the link cannot be read. The show command comes from the file's
// header (offset 60), since Wine's link object does not read it back.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: readlink LNKPATH\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = 1;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    WCHAR wide[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wide, MAX_PATH) != 0 && SUCCEEDED(file->Load(wide, STGM_READ))) {
        char text[1024] = {};
        WIN32_FIND_DATAA find{};
        link->GetPath(text, sizeof text, &find, SLGP_RAWPATH);
        std::printf("target=%s\n", text);
        link->GetArguments(text, sizeof text);
        std::printf("arguments=%s\n", text);
        link->GetWorkingDirectory(text, sizeof text);
        std::printf("folder=%s\n", text);
        int index = 0;
        link->GetIconLocation(text, sizeof text, &index);
        std::printf("icon=%s,%d\n", text, index);
        WORD hotkey = 0;
        link->GetHotkey(&hotkey);
        std::printf("hotkey=%u\n", hotkey);
        DWORD show = 0;
        if (FILE* raw = std::fopen(argv[1], "rb")) {
            if (std::fseek(raw, 60, SEEK_SET) != 0 || std::fread(&show, sizeof show, 1, raw) != 1) show = 0;
            std::fclose(raw);
        }
        std::printf("show=%lu\n", static_cast<unsigned long>(show));
        link->GetDescription(text, sizeof text);
        std::printf("description=%s\n", text);
        status = 0;
    }
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    CoUninitialize();
    return status;
}
