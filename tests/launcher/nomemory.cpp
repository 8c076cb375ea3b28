// A decompressor library whose walk runs out of memory, as the real one
// reports a failed allocation: a non-continuable STATUS_NO_MEMORY raised
// from inside its frames, with the engine's call of Enumerate below them.
// Built with BRIK_FAULT_ON_CLOSE it faults once more when the engine's abort
// closes it, so that the abort itself fails.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" {
int __stdcall Open(const char*) { return 1; }
int __stdcall Enumerate(void*, void*) {
    RaiseException(static_cast<DWORD>(STATUS_NO_MEMORY), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}
void __stdcall Close() {
#ifdef BRIK_FAULT_ON_CLOSE
    RaiseException(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), EXCEPTION_NONCONTINUABLE, 0, nullptr);
#endif
}
}
