// The file operations of the install: finding files by mask, what a file on
// disk is (version, time, size), deleting what is in the way, copying with
// progress, and putting a finished file in place of the one it replaces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "install/CopyRules.h"
#include "util/NameIndex.h"

namespace brik {

// A directory search that hands out only the entries the masks allow.
struct TSearchRecExd {
    TDosTime Time = 0;   // last write, local time
    int32_t Size = 0;
    DWORD Attr = 0;
    std::string Name;
    std::string Folder;    // with a trailing backslash
    std::string FullName;  // Folder + Name
    DWORD IncludeMask = 63;
    DWORD ExcludeMask = 0;
    HANDLE FindHandle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA FindData{};
};
// An entry is handed out when include is 63 (0 counts as 63) or shares a bit
// with its attributes, exclude shares none, and it is not "." or "..".
// 0 or the system's error code.
int FindFirst(const std::string& pattern, DWORD include, DWORD exclude, TSearchRecExd& rec);
int FindNext(TSearchRecExd& rec);
void FindClose(TSearchRecExd& rec);

// "%d.%d.%d.%d" of the file's fixed version; empty without one.
std::string GetFileVersionText(const std::string& file);
// Existence, version, last write time and size of a file (not a folder).
TFileFacts FileFacts(const std::string& path);
// Size from a directory search of the path; -1 when nothing is found.
int64_t GetFileSizeByFind(const std::string& path);
// Normal attributes, then delete; true when the file is gone.
bool DeleteFileForced(const std::string& path);

// The first link (symbolic link or junction) that a write or a delete at
// path would go through below the folder the user or the system named
// (GivenFolderOf), path itself included when it may exist; empty when there
// is none, and always on 9x, which has no links. With `real`, the folders
// whose way is found clear go there (upper case, no trailing backslash) and
// are not asked about again: a phase asks once per folder, and per file
// only about the file.
std::string LinkOnTheWay(const std::string& path, bool mayExist, NameIndex* real = nullptr);
// Why path was refused for the link on its way, for the error box.
std::string LinkRefusedText(const std::string& path, const std::string& link);

// After each chunk: source, destination, the chunk's bytes, the bytes to
// copy, the bytes copied so far. false stops the copy.
using TCopyProgress = std::function<bool(const std::string& source, const std::string& dest, int64_t chunk,
                                         int64_t total, int64_t copied)>;
// Copies source to dest in 131072-byte chunks, then gives dest the source's
// last write time and attributes. false when the source is missing, a read
// or write fails or progress says stop. Ends even when the source shrinks.
bool CopyFileWithProgress(const std::string& source, const std::string& dest, const TCopyProgress& progress,
                          bool append);

// A new empty file in folder named by the system from the prefix "Brik";
// empty when none can be made.
std::string NewTempFileIn(const std::string& folder);
// Puts written (complete, in the target's folder) in place of target,
// replacing it. false when target cannot be replaced now (in use): written
// then stays as it is. With kept, the old target is not deleted but kept
// beside it under a temporary name, returned there (empty when there was
// no old target), so that it can come back.
bool MoveOverTarget(const std::string& written, const std::string& target, std::string* kept = nullptr);

}  // namespace brik
