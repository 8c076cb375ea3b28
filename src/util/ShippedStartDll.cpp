// The entry of the shipped library (unpack.dll), in place of the C library's
// start-up code: constructors when a process loads it, the exit functions
// and destructors when it is unloaded while the process goes on. At process
// end (reserved != null) nothing runs: other threads are gone mid-way and
// the memory goes with the process.
#include <windows.h>

#include "util/ShippedRuntime.h"

// The linker's default entry point of a DLL.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Thread notifications would only cost time: nothing here keeps
        // per-thread state.
        DisableThreadLibraryCalls(instance);
        brik::shipped::RunConstructors();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        brik::shipped::RunExitFunctions();
    }
    return TRUE;
}
