// A COM server for the install's tests. Its registration leaves a mark: a
// value named with its full path under HKLM\Software\Brisk Test\Servers;
// unregistration removes the value.
// Built as a library (through its registration export), as a library whose
// registration fails (BRIK_REGISTER_FAILS) and as a program that registers
// itself with /REGSERVER (BRIK_AS_PROGRAM).
#include <windows.h>

namespace {

HMODULE Self = nullptr;
constexpr char kKey[] = "Software\\Brisk Test\\Servers";

HRESULT Mark(bool registering) {
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(Self, path, MAX_PATH) == 0) return E_FAIL;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    static const char kMark[] = "registered";
    const LONG status = registering ? RegSetValueExA(key, path, 0, REG_SZ, reinterpret_cast<const BYTE*>(kMark),
                                                     sizeof kMark)
                                    : RegDeleteValueA(key, path);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

}  // namespace

#ifdef BRIK_AS_PROGRAM
int main(int argc, char** argv) {
    if (argc != 2) return 2;
    if (lstrcmpiA(argv[1], "/REGSERVER") == 0) return Mark(true) == S_OK ? 0 : 1;
    if (lstrcmpiA(argv[1], "/UNREGSERVER") == 0) return Mark(false) == S_OK ? 0 : 1;
    return 2;
}
#else
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
#ifdef BRIK_REGISTER_FAILS
    return E_FAIL;
#else
    return Mark(true);
#endif
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() { return Mark(false); }
#endif
