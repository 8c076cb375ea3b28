#include "util/Platform.h"

#include <windows.h>

namespace brik::platform {

namespace {
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool File::Open(const std::string& path, OpenMode mode) {
    Close();
    DWORD access = 0, share = 0, disposition = 0;
    switch (mode) {
        case OpenMode::ReadShared:
            access = GENERIC_READ;
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            disposition = OPEN_EXISTING;
            break;
        case OpenMode::ReadWriteLocked:
            // Read sharing only: while we hold the file no one else may write it.
            access = GENERIC_READ | GENERIC_WRITE;
            share = FILE_SHARE_READ;
            disposition = OPEN_ALWAYS;
            break;
        case OpenMode::WriteLocked:
            access = GENERIC_WRITE;
            share = FILE_SHARE_READ;
            disposition = OPEN_ALWAYS;
            break;
        case OpenMode::CreateNew:
            access = GENERIC_WRITE;
            share = FILE_SHARE_READ;
            disposition = CREATE_NEW;
            break;
    }
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

void File::Close() {
    if (handle_ != kInvalid) {
        CloseHandle(H(handle_));
        handle_ = kInvalid;
    }
}

long File::Read(void* buffer, size_t size) {
    DWORD got = 0;
    if (!IsOpen() || !ReadFile(H(handle_), buffer, static_cast<DWORD>(size), &got, nullptr))
        return -1;
    return static_cast<long>(got);
}

bool File::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (IsOpen() && size > 0) {
        DWORD done = 0;
        if (!WriteFile(H(handle_), p, static_cast<DWORD>(size), &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
    }
    return IsOpen();
}

bool File::Rewind() { return Seek(0); }

bool File::Seek(int64_t offset) {
    if (!IsOpen() || offset < 0) return false;
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(H(handle_), static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool File::Truncate() { return IsOpen() && SetEndOfFile(H(handle_)); }

int64_t File::Size() {
    if (!IsOpen()) return -1;
    DWORD high = 0;
    DWORD low = GetFileSize(H(handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return (static_cast<int64_t>(high) << 32) | low;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool MoveFileOver(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // Windows 95, 98 and Me have the function only as a stub; they know no
    // links either, so removing the old file first replaces the same thing.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    if (!DeleteFileA(to.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool IsLink(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool SetFileDosTime(const std::string& path, uint16_t dosDate, uint16_t dosTime) {
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, &utc, nullptr, &utc);
    CloseHandle(h);
    return ok != 0;
}

std::string WindowsDirectory() {
    char buf[MAX_PATH + 1];
    UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n > MAX_PATH) return "C:\\WINDOWS";
    return std::string(buf, n);
}

namespace {
struct SystemUpper {
    unsigned char table[256];
    SystemUpper() {
        char chars[256];
        for (int i = 0; i < 256; ++i) chars[i] = static_cast<char>(i);
        // Byte 0 would end the buffer early for some implementations; map it alone.
        CharUpperBuffA(chars + 1, 255);
        table[0] = 0;
        for (int i = 1; i < 256; ++i) table[i] = static_cast<unsigned char>(chars[i]);
    }
};
}  // namespace

const unsigned char* AnsiUpperTable() {
    static const SystemUpper upper;
    return upper.table;
}

int CompareTextLocale(std::string_view a, std::string_view b) {
    int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                           b.data(), static_cast<int>(b.size()));
    return r == 0 ? 0 : r - CSTR_EQUAL;
}

}  // namespace brik::platform
