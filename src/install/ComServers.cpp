#include "install/ComServers.h"

#include <windows.h>
#include <oleauto.h>

#include "config/Settings.h"
#include "config/kpRegIni.h"
#include "install/ChangeRules.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/Rollback.h"
#include "ui/Msg.h"
#include "ui/kpShell.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

constexpr char kRunOnceKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";

uint16_t FpuControlWord() {
    uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}
void SetFpuControlWord(uint16_t word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

// The server's own export, DllRegisterServer or DllUnregisterServer.
bool CallServerExport(const std::string& path, const char* exportName) {
    // A missing dependency must fail the load, not stop the run with the
    // system's box; a library built with other floating-point settings must
    // not leave them to the rest of the run.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    const uint16_t fpu = FpuControlWord();
    // By its full path, and its own dependencies from its own folder first,
    // as the system's regsvr32 does.
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    bool done = false;
    if (library != nullptr) {
        using ServerFn = HRESULT(STDAPICALLTYPE*)();
        if (auto call = reinterpret_cast<ServerFn>(reinterpret_cast<void*>(GetProcAddress(library, exportName))))
            done = SUCCEEDED(call());
        FreeLibrary(library);
    }
    SetFpuControlWord(fpu);
    SetErrorMode(oldMode);
    return done;
}

using LoadTypeLibFn = HRESULT(STDAPICALLTYPE*)(LPCOLESTR, ITypeLib**);

// Loads path as a type library and hands it to use with the automation
// library; false when it is none.
template <typename Use>
bool WithTypeLibrary(const std::string& path, Use use) {
    // Only the type libraries need the automation library; most runs never
    // load it.
    HMODULE oleaut = LoadSystemLibrary("oleaut32.dll");
    if (oleaut == nullptr) return false;
    auto loadTypeLib = SystemProc<LoadTypeLibFn>(oleaut, "LoadTypeLib");
    WCHAR wide[MAX_PATH];
    ITypeLib* library = nullptr;
    bool done = false;
    if (loadTypeLib && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) != 0 &&
        SUCCEEDED(loadTypeLib(wide, &library))) {
        done = use(oleaut, library, wide);
        library->Release();
    }
    FreeLibrary(oleaut);
    return done;
}

bool RegisterTypeLibrary(const std::string& path) {
    return WithTypeLibrary(path, [](HMODULE oleaut, ITypeLib* library, LPCOLESTR wide) {
        using RegisterTypeLibFn = HRESULT(STDAPICALLTYPE*)(ITypeLib*, LPCOLESTR, LPCOLESTR);
        using SysFreeStringFn = void(STDAPICALLTYPE*)(BSTR);
        auto registerTypeLib = SystemProc<RegisterTypeLibFn>(oleaut, "RegisterTypeLib");
        auto sysFreeString = SystemProc<SysFreeStringFn>(oleaut, "SysFreeString");
        if (!registerTypeLib || !sysFreeString) return false;
        // The help folder is the folder of the library's help file.
        BSTR helpFile = nullptr;
        library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile);
        LPCOLESTR helpFolder = nullptr;
        if (helpFile != nullptr && helpFile[0] != 0) {
            WCHAR* cut = nullptr;
            for (WCHAR* c = helpFile; *c != 0; ++c)
                if (*c == L'\\') cut = c;
            if (cut != nullptr) *cut = 0;
            helpFolder = helpFile;
        }
        const bool registered = SUCCEEDED(registerTypeLib(library, wide, helpFolder));
        if (helpFile != nullptr) sysFreeString(helpFile);
        return registered;
    });
}

bool UnregisterTypeLibrary(const std::string& path) {
    return WithTypeLibrary(path, [](HMODULE oleaut, ITypeLib* library, LPCOLESTR) {
        using UnRegisterTypeLibFn = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        auto unregisterTypeLib = SystemProc<UnRegisterTypeLibFn>(oleaut, "UnRegisterTypeLib");
        TLIBATTR* attributes = nullptr;
        if (!unregisterTypeLib || FAILED(library->GetLibAttr(&attributes))) return false;
        const bool done = SUCCEEDED(unregisterTypeLib(attributes->guid, attributes->wMajorVerNum,
                                                      attributes->wMinorVerNum, attributes->lcid, attributes->syskind));
        library->ReleaseTLibAttr(attributes);
        return done;
    });
}

// regsvr32.exe for systems that lack one, from the package's setup files;
// later registrations run the one in the system folder.
void ProvideRegsvr32() {
    const std::string system = SystemDirectory();
    const std::string ours = ConfigPaths().SetupFolder + "regsvr32.exe";
    if (system.empty() || !platform::FileExists(ours)) return;
    CopyFileA(ours.c_str(), (system + "\\regsvr32.exe").c_str(), TRUE);
}

}  // namespace

bool RegisterComServer(const std::string& path) {
    if (CallServerExport(path, "DllRegisterServer")) return true;
    if (IsProgramFile(path)) {
        // Waited for: the servers are registered when the steps after this
        // one (shortcuts, programs) use them, and its exit code says whether
        // it worked.
        return RunAndWait(UiState().mainWindow, path, "/REGSERVER", SW_HIDE, std::string()) == 0;
    }
    return RegisterTypeLibrary(path);
}

bool UnregisterComServer(const std::string& path) {
    if (CallServerExport(path, "DllUnregisterServer")) return true;
    if (IsProgramFile(path)) return RunAndWait(UiState().mainWindow, path, "/UNREGSERVER", SW_HIDE, std::string()) == 0;
    return UnregisterTypeLibrary(path);
}

bool RegisterComServers() {
    ProvideRegsvr32();
    for (const TWorkList::TEntry& entry : InstallState().Lists.ComServerList.Entries()) {
        const std::string& path = entry.name;
        if (ParseNumber(FieldAt(1, entry.value, ","), 1) != 0) {
            if (RegisterComServer(path))
                JournalRegisteredServer(path);
            else
                ShowError("Cannot register COM server!\r\rAfter install try to register it manually:\rregsvr32.exe \"" +
                          path + "\"");
        } else {
            // Its file takes its place at the restart: it registers itself
            // at the logon after.
            const std::string valueName = RegUniqueValueName(kRunOnceKey, "Reg");
            JournalRegWrite(kRunOnceKey, valueName);
            RegWriteString(kRunOnceKey, valueName, RegServerCommand(SystemDirectory(), path));
        }
        if (ParseNumber(FieldAt(2, entry.value, ","), 1) != 0) WriteLogEntry(kLogRegServers, path);
    }
    return true;
}

}  // namespace brik
