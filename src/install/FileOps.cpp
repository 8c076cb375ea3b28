#include "install/FileOps.h"

#include <algorithm>
#include <vector>

#include "config/Variables.h"
#include "install/InstallContext.h"
#include "util/Platform.h"
#include "util/WinHandles.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

TDosTime LocalDosTime(const FILETIME& utc) {
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
    return (static_cast<TDosTime>(date) << 16) | time;
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool Wanted(const TSearchRecExd& rec) {
    const DWORD attr = rec.FindData.dwFileAttributes;
    const DWORD include = rec.IncludeMask == 0 ? 63 : rec.IncludeMask;
    return (include == 63 || (include & attr) != 0) && (rec.ExcludeMask & attr) == 0 &&
           !IsDotEntry(rec.FindData.cFileName);
}

// Walks from the entry the system last gave to the first the masks allow.
int NextWanted(TSearchRecExd& rec) {
    for (;;) {
        if (Wanted(rec)) {
            const WIN32_FIND_DATAA& data = rec.FindData;
            rec.Time = LocalDosTime(data.ftLastWriteTime);
            rec.Size = static_cast<int32_t>(data.nFileSizeLow);
            rec.Attr = data.dwFileAttributes;
            rec.Name = data.cFileName;
            rec.FullName = rec.Folder + rec.Name;
            return 0;
        }
        if (!FindNextFileA(rec.FindHandle, &rec.FindData)) {
            const int error = static_cast<int>(GetLastError());
            return error != 0 ? error : ERROR_NO_MORE_FILES;
        }
    }
}

// The first file (not folder) a search of path finds.
bool FindFile(const std::string& path, WIN32_FIND_DATAA& data) {
    TScopedFind find(FindFirstFileA(path.c_str(), &data));
    if (!find) return false;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
    } while (FindNextFileA(find.Get(), &data));
    return false;
}

bool ReadFixedVersion(const std::string& file, TFileVersion& version) {
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    // Loaded once and kept: the copy phase asks for every file. Two threads
    // racing here load it twice, which only counts the library up.
    static HMODULE library = nullptr;
    if (library == nullptr) library = LoadSystemLibrary("version.dll");
    const auto getSize = SystemProc<SizeFn>(library, "GetFileVersionInfoSizeA");
    const auto getInfo = SystemProc<InfoFn>(library, "GetFileVersionInfoA");
    const auto query = SystemProc<QueryFn>(library, "VerQueryValueA");
    if (getSize == nullptr || getInfo == nullptr || query == nullptr) return false;
    DWORD handle = 0;
    const DWORD size = getSize(file.c_str(), &handle);
    if (size == 0) return false;
    std::vector<char> block(size);
    if (!getInfo(file.c_str(), 0, size, block.data())) return false;
    void* value = nullptr;
    UINT length = 0;
    if (!query(block.data(), "\\", &value, &length) || value == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (info->dwSignature != 0xFEEF04BD) return false;
    version = {info->dwFileVersionMS, info->dwFileVersionLS};
    return true;
}

}  // namespace

int FindFirst(const std::string& pattern, DWORD include, DWORD exclude, TSearchRecExd& rec) {
    FindClose(rec);
    rec.IncludeMask = include;
    rec.ExcludeMask = exclude;
    rec.Folder = platform::ExtractFilePath(pattern);
    rec.FindHandle = FindFirstFileA(pattern.c_str(), &rec.FindData);
    if (rec.FindHandle == INVALID_HANDLE_VALUE) {
        const int error = static_cast<int>(GetLastError());
        return error != 0 ? error : ERROR_FILE_NOT_FOUND;
    }
    const int result = NextWanted(rec);
    if (result != 0) FindClose(rec);
    return result;
}

int FindNext(TSearchRecExd& rec) {
    if (rec.FindHandle == INVALID_HANDLE_VALUE) return ERROR_NO_MORE_FILES;
    if (!FindNextFileA(rec.FindHandle, &rec.FindData)) {
        const int error = static_cast<int>(GetLastError());
        return error != 0 ? error : ERROR_NO_MORE_FILES;
    }
    return NextWanted(rec);
}

void FindClose(TSearchRecExd& rec) {
    if (rec.FindHandle != INVALID_HANDLE_VALUE) ::FindClose(rec.FindHandle);
    rec.FindHandle = INVALID_HANDLE_VALUE;
}

std::string GetFileVersionText(const std::string& file) {
    TFileVersion version;
    return ReadFixedVersion(file, version) ? VersionText(version) : std::string();
}

TFileFacts FileFacts(const std::string& path) {
    TFileFacts facts;
    const DWORD attr = GetFileAttributesA(path.c_str());
    WIN32_FIND_DATAA data;
    if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY) != 0 || !FindFile(path, data))
        return facts;
    facts.exists = true;
    facts.time = LocalDosTime(data.ftLastWriteTime);
    facts.size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.hasVersion = ReadFixedVersion(path, facts.version);
    return facts;
}

int64_t GetFileSizeByFind(const std::string& path) {
    WIN32_FIND_DATAA data;
    if (!FindFile(path, data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFileForced(const std::string& path) {
    const DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return true;
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return false;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path.c_str())) return true;
    // A file in use stays; so does its read-only mark.
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), attr);
    return false;
}

std::string LinkOnTheWay(const std::string& path, bool mayExist, NameIndex* real) {
    if (!InstallState().System.PlatformNT) return {};
    std::string given;
    bool haveGiven = false;
    const auto base = [&]() -> const std::string& {
        if (!haveGiven) given = GivenFolderOf(path);
        haveGiven = true;
        return given;
    };
    std::string folder = platform::ExtractFilePath(path);
    if (!folder.empty()) folder.pop_back();
    std::string upperFolder = real != nullptr ? AnsiUpperCase(folder) : std::string();
    if (real == nullptr || !real->Contains(upperFolder)) {
        const auto isLink = [real](const std::string& below) {
            std::string upper = real != nullptr ? AnsiUpperCase(below) : std::string();
            if (real != nullptr && real->Contains(upper)) return false;
            if (platform::IsLink(below)) return true;
            if (real != nullptr) real->TryEmplace(std::move(upper), 0);
            return false;
        };
        std::string link = platform::FirstLinkBelow(base(), path, false, isLink);
        if (!link.empty()) return link;
        // The way to the folder is clear, also when the folder is the named
        // one itself (no path below another named folder passes it).
        if (real != nullptr) real->TryEmplace(std::move(upperFolder), 0);
    }
    // The named folder itself is taken as given, as the folders above it.
    if (!mayExist || !platform::IsLink(path) || path.size() <= base().size()) return {};
    return path;
}

std::string LinkRefusedText(const std::string& path, const std::string& link) {
    return "\"" + path + "\" is not changed: \"" + link +
           "\" is a link (symbolic link or junction) to another place, and nothing is written or deleted through one.";
}

bool CopyFileWithProgress(const std::string& source, const std::string& dest, const TCopyProgress& progress,
                          bool append) {
    const int64_t total = GetFileSizeByFind(source);
    if (total < 0) return false;
    TScopedFile in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    TScopedFile out(CreateFileA(dest.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    bool ok = !append || SetFilePointer(out.Get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER ||
              GetLastError() == NO_ERROR;
    constexpr DWORD kChunk = 131072;
    std::vector<char> buffer(kChunk);
    int64_t copied = 0;
    while (ok && copied < total) {
        const DWORD want = static_cast<DWORD>(std::min<int64_t>(kChunk, total - copied));
        DWORD got = 0, put = 0;
        if (!ReadFile(in.Get(), buffer.data(), want, &got, nullptr)) {
            ok = false;
            break;
        }
        // The source has shrunk since it was measured: what is there is all.
        if (got == 0) break;
        if (!WriteFile(out.Get(), buffer.data(), got, &put, nullptr) || put != got) {
            ok = false;
            break;
        }
        copied += got;
        if (progress && !progress(source, dest, got, total, copied)) ok = false;
    }
    if (ok) {
        FILETIME created, accessed, written;
        if (GetFileTime(in.Get(), &created, &accessed, &written)) SetFileTime(out.Get(), nullptr, nullptr, &written);
    }
    in.Reset();
    out.Reset();
    if (!ok) {
        // A file this copy made and did not finish is no file anyone wants.
        if (!append) DeleteFileA(dest.c_str());
        return false;
    }
    const DWORD attr = GetFileAttributesA(source.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(dest.c_str(), attr);
    return true;
}

std::string NewTempFileIn(const std::string& folder) {
    char name[MAX_PATH + 16];
    if (folder.empty() || GetTempFileNameA(folder.c_str(), "Brik", 0, name) == 0) return {};
    return name;
}

bool MoveOverTarget(const std::string& written, const std::string& target, std::string* kept) {
    const DWORD attr = GetFileAttributesA(target.c_str());
    const bool exists = attr != INVALID_FILE_ATTRIBUTES;
    if (kept != nullptr) kept->clear();
    if (exists && (attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (InstallState().System.PlatformNT && kept == nullptr) {
        if (exists && (attr & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(target.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
        if (MoveFileExA(written.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        if (exists) SetFileAttributesA(target.c_str(), attr);
        return false;
    }
    // Windows 95, 98 and Me cannot rename over a file, and an old file that
    // must be able to come back is not deleted. The old file is moved aside
    // first, so that a failed rename can put it back: the target is never
    // left missing. A file in use cannot be moved.
    if (!exists) return MoveFileA(written.c_str(), target.c_str()) != 0;
    const std::string aside = NewTempFileIn(platform::ExtractFilePath(target));
    if (aside.empty()) return false;
    DeleteFileA(aside.c_str());
    if (!MoveFileA(target.c_str(), aside.c_str())) return false;
    if (!MoveFileA(written.c_str(), target.c_str())) {
        MoveFileA(aside.c_str(), target.c_str());
        return false;
    }
    if (kept != nullptr)
        *kept = aside;
    else
        DeleteFileForced(aside);
    return true;
}

}  // namespace brik
