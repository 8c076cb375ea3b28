// The one door from the portable core to the operating system. Everything the
// core needs of files, folders and the code page goes through here; the
// Win32 implementation uses the ANSI functions, the POSIX one serves the
// native tools and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brik::platform {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

inline bool IsPathDelim(char c) { return c == '\\' || c == '/'; }

// How a file is opened; each mode fixes access, sharing and disposition.
enum class OpenMode {
    ReadShared,      // read; others may read and write; the file must exist
    ReadWriteLocked, // read and write; others may only read; created when missing
    WriteLocked,     // write; others may only read; created when missing
    CreateNew,       // write; others may only read; fails when the name exists, also as a link
};

class File {
public:
    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
    File& operator=(File&& other) noexcept;

    bool Open(const std::string& path, OpenMode mode);
    bool IsOpen() const { return handle_ != kInvalid; }
    void Close();
    // Returns bytes read, 0 at the end, -1 on error.
    long Read(void* buffer, size_t size);
    bool Write(const void* data, size_t size);
    bool Rewind();
    bool Seek(int64_t offset);
    // Cuts the file at the current position.
    bool Truncate();
    int64_t Size();

private:
    static constexpr intptr_t kInvalid = -1;
    intptr_t handle_ = kInvalid;
};

bool FileExists(const std::string& path);       // a file, not a folder
bool DirectoryExists(const std::string& path);
bool MakeDirectory(const std::string& path);     // one level
bool RemoveFile(const std::string& path);
// Renames a file over `to`, which is replaced when it exists: a link there is
// replaced itself, its target left alone.
bool MoveFileOver(const std::string& from, const std::string& to);
// A symbolic link, or on Windows any reparse point (also a junction); false
// for a missing path. The link itself is looked at, never its target.
bool IsLink(const std::string& path);
// The first folder on the way from base to path that isLink says is a link,
// and path itself when withLast; empty when none. path starts with base.
// base is taken as given, a link at or above it included: the user or the
// system chose it. Below it every name comes from a package, a script or a
// log, so a link there would carry a write or a delete to a place nobody
// chose. isLink(folder) is asked once for each folder, outermost first.
template <typename IsLinkFn>
std::string FirstLinkBelow(std::string_view base, std::string_view path, bool withLast, IsLinkFn&& isLink) {
    for (size_t i = base.size() + 1; i < path.size(); ++i) {
        if (!IsPathDelim(path[i])) continue;
        std::string folder(path.substr(0, i));
        if (isLink(folder)) return folder;
    }
    if (withLast && path.size() > base.size() && !IsPathDelim(path.back()) && isLink(std::string(path)))
        return std::string(path);
    return {};
}
// Creates a folder and all its missing parents; a trailing delimiter is ignored.
bool ForceDirectories(std::string path);
// The folder part of a path, with its trailing delimiter; empty when none.
std::string ExtractFilePath(std::string_view path);

// Sets a file's last-write (and, where the system keeps one, creation) time
// from a DOS date and time taken as local time.
bool SetFileDosTime(const std::string& path, uint16_t dosDate, uint16_t dosTime);

// The folder that receives INI files named without a folder: the Windows
// directory on Windows; elsewhere $WINDIR when set, else the current folder.
std::string WindowsDirectory();

// Case rules of the system's ANSI code page; Windows-1252 where there is no
// code page. In the double-byte code pages (932, 936, 949, 950) a lead byte
// and the byte after it are one character that no case mapping touches: its
// second byte may look like an ASCII letter, and folding it would make
// different names equal. Folding therefore walks characters, not bytes.
//
// Upper-case mapping of every single-byte character; a lead byte maps to itself.
const unsigned char* AnsiUpperTable();
// For every byte value whether it starts a double-byte character.
const bool* AnsiLeadTable();
// Whether the code page has double-byte characters at all.
bool AnsiHasLeadBytes();
unsigned AnsiCodePage();

#ifndef _WIN32
// The native tools and tests choose whose rules apply (1252 until then):
// 1252, or the double-byte 932, 936, 949 and 950. False for any other.
bool SetAnsiCodePage(unsigned codePage);
#endif

// Case-insensitive order in the manner of the system's locale. Texts the
// system cannot compare are ordered by their bytes, so they are never taken
// for equal unless they are.
int CompareTextLocale(std::string_view a, std::string_view b);

}  // namespace brik::platform
