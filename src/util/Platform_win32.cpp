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
// Read from the system once: which bytes lead a double-byte character, and
// how each single-byte character upper-cases. Lead bytes stay out of the
// buffer given to CharUpperBuffA, so every byte there is a character of its
// own and none is taken for the second half of another.
struct SystemCase {
    unsigned char upper[256];
    bool lead[256];
    bool anyLead = false;
    SystemCase() {
        for (int i = 0; i < 256; ++i) {
            upper[i] = static_cast<unsigned char>(i);
            lead[i] = false;
        }
        CPINFO info;
        if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1) {
            // Pairs of inclusive ranges, ended by a pair of zeros.
            for (int k = 0; k + 1 < MAX_LEADBYTES && info.LeadByte[k] != 0; k += 2)
                for (unsigned b = info.LeadByte[k]; b <= info.LeadByte[k + 1] && b < 256; ++b)
                    lead[b] = anyLead = true;
        }
        char chars[256];
        DWORD n = 0;
        // Byte 0 would end the buffer early for some implementations; it maps to itself.
        for (int i = 1; i < 256; ++i)
            if (!lead[i]) chars[n++] = static_cast<char>(i);
        CharUpperBuffA(chars, n);
        n = 0;
        for (int i = 1; i < 256; ++i) {
            if (lead[i]) continue;
            const auto u = static_cast<unsigned char>(chars[n++]);
            // A single byte never becomes a lead byte, or folded text would
            // pair it with the next character.
            if (!lead[u]) upper[i] = u;
        }
    }
};

const SystemCase& Case() {
    static const SystemCase rules;
    return rules;
}
}  // namespace

const unsigned char* AnsiUpperTable() { return Case().upper; }

const bool* AnsiLeadTable() { return Case().lead; }

bool AnsiHasLeadBytes() { return Case().anyLead; }

unsigned AnsiCodePage() { return GetACP(); }

int CompareTextLocale(std::string_view a, std::string_view b) {
    // An empty view may have no data at all; the system refuses a null text.
    const char* pa = a.empty() ? "" : a.data();
    const char* pb = b.empty() ? "" : b.data();
    const int r = a.size() > 0x7FFFFFFF || b.size() > 0x7FFFFFFF
                      ? 0
                      : CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, pa, static_cast<int>(a.size()),
                                       pb, static_cast<int>(b.size()));
    if (r != 0) return r - CSTR_EQUAL;
    // The system could not compare: different texts must not count as equal.
    const int bytes = a.compare(b);
    return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

}  // namespace brik::platform
