#include "util/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/kpStrUtils.h"

namespace brik::platform {

namespace {
int Fd(intptr_t h) { return static_cast<int>(h); }
}  // namespace

bool File::Open(const std::string& path, OpenMode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case OpenMode::ReadShared: flags |= O_RDONLY; break;
        case OpenMode::ReadWriteLocked: flags |= O_RDWR | O_CREAT; break;
        case OpenMode::WriteLocked: flags |= O_WRONLY | O_CREAT; break;
        case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void File::Close() {
    if (handle_ != kInvalid) {
        ::close(Fd(handle_));
        handle_ = kInvalid;
    }
}

long File::Read(void* buffer, size_t size) {
    if (!IsOpen()) return -1;
    ssize_t n;
    do {
        n = ::read(Fd(handle_), buffer, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool File::Write(const void* data, size_t size) {
    if (!IsOpen()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(Fd(handle_), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::Rewind() { return Seek(0); }

bool File::Seek(int64_t offset) {
    return IsOpen() && offset >= 0 && ::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) == offset;
}

bool File::Truncate() {
    if (!IsOpen()) return false;
    off_t pos = ::lseek(Fd(handle_), 0, SEEK_CUR);
    return pos >= 0 && ::ftruncate(Fd(handle_), pos) == 0;
}

int64_t File::Size() {
    struct stat st{};
    if (!IsOpen() || ::fstat(Fd(handle_), &st) != 0) return -1;
    return st.st_size;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MoveFileOver(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool IsLink(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool SetFileDosTime(const std::string& path, uint16_t dosDate, uint16_t dosTime) {
    std::tm t{};
    t.tm_year = 80 + (dosDate >> 9);
    t.tm_mon = ((dosDate >> 5) & 15) - 1;
    t.tm_mday = dosDate & 31;
    t.tm_hour = dosTime >> 11;
    t.tm_min = (dosTime >> 5) & 63;
    t.tm_sec = (dosTime & 31) * 2;
    t.tm_isdst = -1;
    std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = when;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string WindowsDirectory() {
    if (const char* w = std::getenv("WINDIR"); w && *w) return w;
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) return buf;
    return ".";
}

namespace {

struct CaseRules {
    unsigned codePage = 0;
    unsigned char upper[256];
    bool lead[256];
    bool anyLead = false;
};

// Windows-1252 upper-case mapping: what a Western Windows system uses, and
// what the native tools assume for the packages they read and write. The
// double-byte code pages change only ASCII letters among their single bytes.
void FillRules(CaseRules& r, unsigned codePage) {
    r.codePage = codePage;
    r.anyLead = codePage != 1252;
    for (int i = 0; i < 256; ++i) {
        r.upper[i] = static_cast<unsigned char>(i);
        r.lead[i] = false;
    }
    for (int c = 'a'; c <= 'z'; ++c) r.upper[c] = static_cast<unsigned char>(c - 32);
    if (codePage == 1252) {
        for (int c = 0xE0; c <= 0xFE; ++c)
            if (c != 0xF7) r.upper[c] = static_cast<unsigned char>(c - 32);
        r.upper[0x9A] = 0x8A;  // s caron
        r.upper[0x9C] = 0x8C;  // oe
        r.upper[0x9E] = 0x8E;  // z caron
        r.upper[0xFF] = 0x9F;  // y diaeresis
    } else if (codePage == 932) {
        for (int c = 0x81; c <= 0x9F; ++c) r.lead[c] = true;
        for (int c = 0xE0; c <= 0xFC; ++c) r.lead[c] = true;
    } else {
        for (int c = 0x81; c <= 0xFE; ++c) r.lead[c] = true;
    }
}

CaseRules& Rules() {
    static CaseRules rules = [] {
        CaseRules r;
        FillRules(r, 1252);
        return r;
    }();
    return rules;
}

}  // namespace

const unsigned char* AnsiUpperTable() { return Rules().upper; }

const bool* AnsiLeadTable() { return Rules().lead; }

bool AnsiHasLeadBytes() { return Rules().anyLead; }

unsigned AnsiCodePage() { return Rules().codePage; }

bool SetAnsiCodePage(unsigned codePage) {
    if (codePage != 1252 && codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950)
        return false;
    FillRules(Rules(), codePage);
    return true;
}

int CompareTextLocale(std::string_view a, std::string_view b) {
    const int r = brik::CompareText(a, b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace brik::platform
