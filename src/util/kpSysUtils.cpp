#include "util/kpSysUtils.h"

#include <cstring>
#include <vector>

#include "util/Platform.h"
#include "util/TempNames.h"
#include "util/WinHandles.h"

namespace brik {

namespace {

std::string BufferText(const char* buffer, DWORD length, DWORD capacity) {
    return length > 0 && length < capacity ? std::string(buffer, length) : std::string();
}

bool DeleteContents(const std::string& folder, bool removeFolders) {
    WIN32_FIND_DATAA found;
    TScopedFind search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        // Only the folder's own entries are passed over: a file or folder
        // whose name merely starts with a point (".settings") is deleted
        // too, or the setup folder would stay behind with it.
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        const std::string path = folder + "\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction is removed, never followed out of the tree.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                ok = DeleteContents(path, removeFolders) && ok;
            if (removeFolders) ok = RemoveDirectoryA(path.c_str()) != 0 && ok;
        } else {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            ok = DeleteFileA(path.c_str()) != 0 && ok;
        }
    } while (FindNextFileA(search.Get(), &found));
    return ok;
}

}  // namespace

std::string SystemDirectory() {
    char buffer[MAX_PATH + 1];
    std::string folder = BufferText(buffer, GetSystemDirectoryA(buffer, sizeof buffer), sizeof buffer);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string ModulePath(HMODULE module) {
    char buffer[MAX_PATH + 1];
    return BufferText(buffer, GetModuleFileNameA(module, buffer, sizeof buffer), sizeof buffer);
}

HMODULE LoadSystemLibrary(const char* fileName) {
    const std::string folder = SystemDirectory();
    // Without the system folder there is no safe place to load from.
    if (folder.empty()) return nullptr;
    const std::string path = folder + "\\" + fileName;
    // A library this system does not have is simply absent; 9x would
    // otherwise ask the user to insert a disk or name the missing file.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path.c_str());
    SetErrorMode(oldMode);
    return library;
}

void HardenLibrarySearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Systems since Vista with the loader update: every later search by bare
    // name, ours and the system libraries' own, looks in the system folder
    // only.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (auto setDefault = SystemProc<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories"))
        setDefault(kSearchSystem32);
    // XP SP1 and later: at least the current folder leaves the search.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    if (auto setDirectory = SystemProc<SetDllDirectoryFn>(kernel, "SetDllDirectoryA")) setDirectory("");
    // Libraries that system libraries load by bare name on first use (the
    // version resources, themes, the shell's helpers). A library once loaded
    // is found by its name, so loading each from the system folder now
    // leaves nothing for the program's folder to supply later, also on
    // systems without the calls above.
    static const char* const kLateLoaded[] = {"version.dll", "uxtheme.dll", "userenv.dll", "setupapi.dll",
                                              "apphelp.dll", "propsys.dll", "dwmapi.dll",  "cryptbase.dll",
                                              "oleacc.dll",  "clbcatq.dll", "ntmarta.dll", "profapi.dll"};
    for (const char* name : kLateLoaded) LoadSystemLibrary(name);
}

std::string TempPath(bool win9x) {
    char buffer[MAX_PATH + 1];
    std::string temp = BufferText(buffer, GetTempPathA(sizeof buffer, buffer), sizeof buffer);
    const std::string current = BufferText(buffer, GetCurrentDirectoryA(sizeof buffer, buffer), sizeof buffer);
    if (temp.empty()) temp = current;
    return ChooseTempPath(temp, current, win9x, platform::WindowsDirectory());
}

std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortName, bool skipFolders) {
    const std::string base = WithTrailingBackslash(folder);
    for (;;) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string name =
            UniqueNameFromCode(prefix, extension, shortName,
                               UniqueNameCode(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                              now.wSecond, now.wMilliseconds));
        const DWORD attributes = GetFileAttributesA((base + name).c_str());
        const bool taken = attributes != INVALID_FILE_ATTRIBUTES &&
                           (skipFolders || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
        if (!taken) return name;
        // The next name comes from the clock; give it time to move on.
        Sleep(1);
    }
}

std::string CreateUniqueFolder(const std::string& parentIn) {
    const std::string parent = WithTrailingBackslash(parentIn);
    platform::ForceDirectories(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = parent + UniqueFileName(parent, "", "", true, true);
        // Created here, not found: a folder planted under this name in the
        // meantime makes us take the next one.
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

bool DeleteFolderTree(const std::string& folderIn, bool removeFolder) {
    std::string folder = folderIn;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    const bool bareDrive = folder.size() == 2 && folder[1] == ':';
    if (folder.empty() || !platform::DirectoryExists(bareDrive ? folder + "\\" : folder)) return false;
    bool ok = DeleteContents(folder, removeFolder);
    if (removeFolder && !bareDrive) ok = RemoveDirectoryA(folder.c_str()) != 0 && ok;
    return ok;
}

TTokenApi SystemTokenApi() {
    TTokenApi api;
    // Imported by the program, so always loaded.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    api.OpenProcessToken = SystemProc<TTokenApi::OpenProcessTokenFn>(advapi, "OpenProcessToken");
    api.GetTokenInformation = SystemProc<TTokenApi::GetTokenInformationFn>(advapi, "GetTokenInformation");
    api.AllocateAndInitializeSid =
        SystemProc<TTokenApi::AllocateAndInitializeSidFn>(advapi, "AllocateAndInitializeSid");
    api.EqualSid = SystemProc<TTokenApi::EqualSidFn>(advapi, "EqualSid");
    api.FreeSid = SystemProc<TTokenApi::FreeSidFn>(advapi, "FreeSid");
    return api;
}

bool IsUserAdmin(bool nt, const TTokenApi& api) {
    if (!nt) return true;
    if (!api.Complete()) return false;
    TScopedHandle token;
    if (!api.OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.Out())) return false;
    DWORD size = 0;
    api.GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
    if (size == 0 || !api.GetTokenInformation(token.Get(), TokenGroups, buffer.data(), size, &size)) return false;
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators = nullptr;
    if (!api.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                      0, 0, 0, 0, &administrators))
        return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i)
        found = api.EqualSid(groups->Groups[i].Sid, administrators) != 0;
    api.FreeSid(administrators);
    return found;
}

int64_t GetFreeDiskSpaceKB(const std::string& pathIn, bool win9x) {
    const DWORD attributes = GetFileAttributesA(pathIn.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
    std::string path = pathIn;
    if (win9x) {
        if (path.size() >= 2 && path[1] == ':') {
            path = path.substr(0, 2) + "\\";
        } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
            size_t share = path.find('\\', 2);
            size_t end = share == std::string::npos ? std::string::npos : path.find('\\', share + 1);
            path = (end == std::string::npos ? path : path.substr(0, end)) + "\\";
        }
    }
    // The extended call reports beyond 2 GB and the caller's quota; Windows
    // 95 before its second release lacks it.
    using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    if (auto getFreeEx = SystemProc<GetDiskFreeSpaceExFn>(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")) {
        ULARGE_INTEGER available{}, total{}, free{};
        if (!getFreeEx(path.c_str(), &available, &total, &free)) return 0;
        return static_cast<int64_t>(available.QuadPart / 1024);
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(path.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return 0;
    return static_cast<int64_t>(uint64_t{bytesPerSector} * sectorsPerCluster * freeClusters / 1024);
}

}  // namespace brik
