// The Brisk Notes shell library: an in-process COM server of the class
// "BriskNotes.Shell", which other programs create to open notes. The setup
// registers it (DllRegisterServer) and the uninstaller takes the
// registration back (DllUnregisterServer). The class's object offers only
// IUnknown in the sample.
#include <windows.h>

#include <objbase.h>
#include <olectl.h>

#include <new>

namespace {

// {24C6739F-2A78-46ED-851C-19793A7C6F3A}
constexpr CLSID kClassId = {0x24c6739f, 0x2a78, 0x46ed, {0x85, 0x1c, 0x19, 0x79, 0x3a, 0x7c, 0x6f, 0x3a}};
constexpr char kClassKey[] = "CLSID\\{24C6739F-2A78-46ED-851C-19793A7C6F3A}";
constexpr char kServerKey[] = "CLSID\\{24C6739F-2A78-46ED-851C-19793A7C6F3A}\\InprocServer32";
constexpr char kProgId[] = "BriskNotes.Shell";
constexpr char kProgIdClassKey[] = "BriskNotes.Shell\\CLSID";
constexpr char kClassIdText[] = "{24C6739F-2A78-46ED-851C-19793A7C6F3A}";
constexpr char kDescription[] = "Brisk Notes Shell";

HMODULE Self = nullptr;
LONG Users = 0;

// A COM object is deleted by its own Release, never through an interface
// pointer: the interfaces' missing virtual destructors do not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // objects alive and locks of the class factory

class Note final : public IUnknown {
public:
    Note() { InterlockedIncrement(&Users); }
    ~Note() { InterlockedDecrement(&Users); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            this->~Note();
            CoTaskMemFree(this);
        }
        return static_cast<ULONG>(left);
    }

private:
    LONG references_ = 1;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    // The factory is a static object: its life is the library's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        // COM's allocator rather than operator new: the C++ library's would
        // bring its exception machinery into a small library.
        void* memory = CoTaskMemAlloc(sizeof(Note));
        if (memory == nullptr) return E_OUTOFMEMORY;
        Note* note = new (memory) Note;
        const HRESULT result = note->QueryInterface(iid, object);
        note->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&Users);
        else InterlockedDecrement(&Users);
        return S_OK;
    }
};

#pragma GCC diagnostic pop

Factory TheFactory;

bool SetKey(const char* path, const char* name, const char* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                       static_cast<DWORD>(lstrlenA(value) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return TheFactory.QueryInterface(iid, object);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return Users == 0 ? S_OK : S_FALSE; }

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(Self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    const bool ok = SetKey(kClassKey, nullptr, kDescription) && SetKey(kClassKey, "ProgID", kProgId) &&
                    SetKey(kServerKey, nullptr, path) && SetKey(kServerKey, "ThreadingModel", "Apartment") &&
                    SetKey(kProgId, nullptr, kDescription) && SetKey(kProgIdClassKey, nullptr, kClassIdText);
    return ok ? S_OK : SELFREG_E_CLASS;
}

// Deepest keys first: NT's RegDeleteKey leaves a key that has subkeys.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    static const char* const kKeys[] = {kServerKey, kClassKey, kProgIdClassKey, kProgId};
    for (const char* key : kKeys) {
        const LONG status = RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
    }
    return S_OK;
}
