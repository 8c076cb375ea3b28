// A library that stands in for a system library planted beside a setup
// program. Loading it leaves a file beside it: its own path with ".loaded"
// added when a program loaded it at run time, ".static" when it was bound
// as an import before the program ran (the system hands DllMain a non-null
// third argument then). It exports the function the engine would look up in the common
// controls library, so that a program importing it still starts.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 16] = {};
    const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatA(path, reserved != nullptr ? ".static" : ".loaded");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}

extern "C" __declspec(dllexport) void WINAPI InitCommonControls() {}
