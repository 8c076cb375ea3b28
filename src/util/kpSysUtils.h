// The system services every Win32 module of the engine shares: its own path,
// the system folder and the libraries loaded from it, temporary folders and
// their deletion, the administrator test and free disk space. Below the
// launcher, so that the install engine and the uninstaller use the same ones.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace brik {

// The system folder without a trailing backslash; empty when the system
// cannot say.
std::string SystemDirectory();
// The full path of a loaded module (null: the running program); empty when
// it does not fit MAX_PATH.
std::string ModulePath(HMODULE module = nullptr);

// Loads a system library by the full path of the system folder, never by a
// bare name: Windows would look in the program's own folder first (a
// Downloads folder), where anyone could have put a library of that name.
// Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);
// A function of a library, typed; null when the library or the name is missing.
template <typename F>
F SystemProc(HMODULE library, const char* name) {
    return library != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                              : nullptr;
}
// Keeps the program's folder and the current folder out of every later
// library search, on systems that can do so, and loads by full path the
// libraries that system libraries are known to load later by bare name.
// Called first thing in the process.
void HardenLibrarySearch();

// The system's temporary folder with a trailing backslash, never the current
// folder.
std::string TempPath(bool win9x);

// A name (without folder) of prefix + a code from the clock + extension that
// is no file in folder; with skipFolders no folder either. shortName keeps
// prefix and code to eight characters.
std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortName, bool skipFolders = false);

// Creates a new folder of a unique name in parent and returns its path with
// a trailing backslash. A name that exists is never used, so no planted
// folder can feed the run; when no new folder can be created the result is
// empty, never a folder this call did not create.
std::string CreateUniqueFolder(const std::string& parent);

// Deletes every file of folder and its subfolders (read-only ones too); with
// removeFolder also the emptied subfolders and the folder itself, unless it
// is a bare drive. Junctions are removed, never followed. False when folder
// does not exist or a deletion failed.
bool DeleteFolderTree(const std::string& folder, bool removeFolder);

// The token functions IsUserAdmin uses, looked up at run time (a 9x system
// has none); replaceable for tests.
struct TTokenApi {
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD,
                                                     DWORD, DWORD, DWORD, DWORD, PSID*);
    using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
    using FreeSidFn = PVOID(WINAPI*)(PSID);
    OpenProcessTokenFn OpenProcessToken = nullptr;
    GetTokenInformationFn GetTokenInformation = nullptr;
    AllocateAndInitializeSidFn AllocateAndInitializeSid = nullptr;
    EqualSidFn EqualSid = nullptr;
    FreeSidFn FreeSid = nullptr;
    bool Complete() const {
        return OpenProcessToken && GetTokenInformation && AllocateAndInitializeSid && EqualSid && FreeSid;
    }
};
TTokenApi SystemTokenApi();
// True on the 9x platform; on NT true when the process token holds the
// built-in Administrators group.
bool IsUserAdmin(bool nt, const TTokenApi& api);

// Free space in kilobytes for the caller on the drive of path; 0 unless path
// is an existing folder. win9x: the system answers only for a drive's root.
int64_t GetFreeDiskSpaceKB(const std::string& path, bool win9x);

}  // namespace brik
