// A library that is nothing but its version resource, for the file
// operations' version test.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
