// The copy phase's decisions, free of the file system: which list entry
// names a file and where it goes, whether an existing file is kept, the
// disk-space sum, the text of wininit.ini after a rename is added, and the
// checks that keep names from the package and the scripts inside their
// destination.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "install/WorkLists.h"

namespace brik {

// Copy flags, field 2 of a CopyFiles item's value.
enum TCopyFlag : int {
    kCopyNoLog = 1,          // no log record (the uninstaller leaves the file)
    kCopyAlways = 2,         // no version or date check
    kCopyComServer = 4,      // register as a COM server after copying
    kCopyFont = 8,           // a font: to the scratch folder, installed later
    kCopyKeepNewer = 16,     // a newer existing file stays without a question
    kCopyNeverReplace = 32,  // an existing file always stays
    kCopyExternal = 64,      // the source is a file on disk
    kCopyShared = 128,       // counted in the system's shared-file counts
};

// A DOS date (high word) and time (low word), local time, two-second steps:
// compares as the moment it stands for.
using TDosTime = uint32_t;

// A file's fixed version: high = major·65536 + minor, low = release·65536 + build.
struct TFileVersion {
    uint32_t high = 0;
    uint32_t low = 0;
    friend bool operator==(const TFileVersion&, const TFileVersion&) = default;
};
// "a.b.c.d"; missing or invalid parts count 0.
TFileVersion ParseVersionText(std::string_view text);
// "%d.%d.%d.%d".
std::string VersionText(const TFileVersion& version);

// What is known of a file on disk.
struct TFileFacts {
    bool exists = false;
    bool hasVersion = false;
    TFileVersion version;
    TDosTime time = 0;  // last write
    int64_t size = -1;
};

// sourceVersion is the source's version text, empty when it has none.
bool IsDestinationNewer(std::string_view sourceVersion, const TFileFacts& dest, TDosTime sourceTime);
bool IsSameFile(std::string_view sourceVersion, const TFileFacts& dest, TDosTime sourceTime);
// For the uninstaller program: replace the installed one only with a newer.
bool IsSourceNewer(const TFileFacts& source, const TFileFacts& dest);

enum class TCopyVerdict {
    Write,
    Skip,
    DestinationNewer,  // the existing file is newer: the caller asks, or has been told for all
};
// The overwrite rules for one file whose entry has these flags.
TCopyVerdict DecideCopy(int flags, std::string_view sourceVersion, TDosTime sourceTime, int64_t sourceSize,
                        const TFileFacts& dest);

// The first entry of list that names file: a package name ("Data\dll\x.dll")
// or a path on disk. A name without extension is compared with a "." added.
// An entry with "*" or "?" in its last part matches files of its folder and
// every folder below whose names match the mask; any other only the same
// name. Case is ignored.
const TWorkList::TEntry* FindCopyEntry(const TWorkList& list, std::string_view file);
// Where file goes under entry: field 1 of the value for a plain entry; for a
// wildcard entry the folder of field 1 followed by the part of file below the
// entry's folder. Empty when that part would leave the folder (a "..", a
// drive, a device): the caller fails the file.
std::string CopyDestination(const TWorkList::TEntry& entry, std::string_view file);
// Where the file name of a path starts: just after its last backslash, or 0.
// A backslash byte inside a double-byte character delimits nothing.
size_t FileNameStart(std::string_view path);
// Field 2 of the entry's value, 0 when empty or not a number.
int CopyFlagsOf(const TWorkList::TEntry& entry);

// A full path the engine may write: a drive or UNC root, no "." or ".."
// component, no device name (CON, NUL, COM1...) as a component, no
// wildcard, no stream.
bool IsSafeTargetPath(std::string_view path);

// Kilobytes the install needs: bytes / 1024 rounded to the nearest (halves
// to even), plus extraKilobytes.
int64_t RequiredKilobytes(uint64_t bytes, int64_t extraKilobytes);
// done / total × 100 rounded to the nearest, within 0..100; 100 when total is 0.
int ProgressPercent(int64_t done, int64_t total);

// wininit.ini after adding entries ("dest=source" lines, short names) to its
// [Rename] section: previous is the file's text, or null when there is none.
// Lines are trimmed; the entries go before the first empty line after
// [Rename], or after the last line; a file without the section gets it at
// the end. CR LF line ends.
std::string RewriteWininit(const std::string* previous, const std::vector<std::string>& entries);
// The RunOnce value that gives a long name back after the rename at restart:
// its name ("Rename " + short path) and its command.
struct TRunOnceRename {
    std::string name;
    std::string command;
};
TRunOnceRename RenameBackCommand(std::string_view shortTarget, std::string_view longFileName);
// The RunOnce value that removes a folder once the restart has emptied it
// (wininit.ini only takes files): "Remove " + short path, and its command.
TRunOnceRename RemoveFolderCommand(std::string_view shortFolder);

}  // namespace brik
