// The process entry of the shipped executable (setup.exe and its test
// variants), in place of the C library's start-up code: constructors, then
// WinMain with what Windows passes a GUI program, then exit with its result.
#include <windows.h>

#include <cstdlib>

#include "util/ShippedRuntime.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// The linker's default entry point of a GUI program.
extern "C" void WinMainCRTStartup() {
    brik::shipped::RunConstructors();
    // The arguments: what follows the program's name, quoted or not, and
    // the blanks after it.
    char* arguments = GetCommandLineA();
    if (*arguments == '"') {
        ++arguments;
        while (*arguments != 0 && *arguments != '"') ++arguments;
        if (*arguments == '"') ++arguments;
    } else {
        while (static_cast<unsigned char>(*arguments) > ' ') ++arguments;
    }
    while (*arguments != 0 && static_cast<unsigned char>(*arguments) <= ' ') ++arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, arguments, show));
}
