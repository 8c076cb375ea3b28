// A well-formed library that lacks Open, Enumerate and Close.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int __stdcall Unrelated() { return 0; }
