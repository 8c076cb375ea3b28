// What the install log holds, as both its writer (the install) and its reader
// (the uninstaller) know it: the record kinds and their sections, and the
// check of a path read back from a log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

// Record kinds: the log section each goes to.
enum TLogKind : int {
    kLogCopyFiles = 0,    // a file to delete
    kLogAddReg = 1,       // key\value = data written
    kLogAddIni = 2,       // file,section,key = data written
    kLogShortcuts = 3,    // a .lnk file
    kLogCreateDirs = 4,   // a folder the install created
    kLogCreateKeys = 5,   // a registry key the install created
    kLogRegServers = 6,   // a registered COM server
    kLogRegFonts = 7,     // font name = file
    kLogSharedFiles = 8,  // a file counted in SharedDLLs
};
// The section of a kind; empty for a number that is no kind.
const char* LogSectionName(int kind);

// The system's counts of the programs that share a file; a [SharedFiles]
// record stands for one of them.
inline constexpr char kSharedDllsKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A path read back from a log on disk, before anything is deleted by it: a
// full local path ("C:\..."), no empty, "." or ".." component, no wildcard,
// stream or device-style character. Anyone may have edited the log.
bool IsSafeLoggedPath(std::string_view path);

// The system's list of installed programs; an install registers itself in
// one key below it.
inline constexpr std::string_view kUninstallRoot = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The registration's key for a name ([Config] UninstallKey, else the program
// name); empty when the name is empty once its leading backslashes are gone,
// since the values would then land on the list itself.
std::string UninstallKeyPath(std::string_view keyName);
// UninstallString: both paths quoted, so that a blank in the folder cannot
// let the system start "C:\Program.exe" in the uninstaller's place.
std::string UninstallCommandLine(std::string_view uninstaller, std::string_view logPath);
// The log a registration's UninstallString names: the last quoted field
// (the uninstaller's own path may stand unquoted before it); empty without one.
std::string LogPathOfCommandLine(std::string_view commandLine);

// The value under the registration that holds the digest of the log as the
// install (or the uninstaller, when it kept what stays) last wrote it. It
// lives in HKLM, which on NT only administrators can write: a log changed
// since, or one planted beside it, no longer matches.
inline constexpr char kLogDigestValue[] = "LogDigest";
// The digest of a log's bytes, as the registration holds it: hexadecimal.
std::string LogDigestText(std::string_view bytes);

// A record's value for a file the install wrote: its size and last write
// time as the install left it, so that a file outside the install folder is
// only removed while it is still the one the install wrote.
std::string FileStampText(int64_t size, uint64_t writeTime);
bool ParseFileStamp(std::string_view text, int64_t& size, uint64_t& writeTime);

// The only kinds of file a [Shortcuts] record may remove.
bool IsShortcutFile(std::string_view path);
// Whether path lies below folder (a full path, with or without its trailing
// backslash); never the folder itself.
bool IsInFolder(std::string_view path, std::string_view folder);

// How far a log is trusted, from what the registrations it names say of it.
enum class TLogTrust {
    Verified,    // a registration names this log, and its digest matches
    Unverified,  // no registration names this log with a digest: the log acts
                 // only inside its folder and on what it can prove it wrote
    Changed,     // the registration's digest differs: nothing is done
    OpenFolder,  // the log lies where users who are not administrators can
                 // write, and an administrator runs: nothing is done
};
// What one registration found through a key the log's [CreateKeys] names
// below the list of programs says of the log at logPath (a full path) whose
// bytes have digest: Verified when its UninstallString names this log and
// its digest matches, Changed when it names this log with another digest,
// Unverified when it names another log or keeps no digest (an engine that
// kept none vouches for nothing).
TLogTrust JudgeRegistration(std::string_view logPath, std::string_view digest, std::string_view commandLine,
                            std::string_view storedDigest);

// One entry of a folder's access list, as the folder check needs it.
struct TAccessEntry {
    bool allows = true;        // an allowing entry (a denying one grants nothing)
    bool inheritOnly = false;  // applies to what is created below, not the folder
    bool anyUser = false;      // for a group any user is in (IsAnyUserSid)
    uint32_t rights = 0;
};
// Whether the entry lets users who are not administrators add or replace a
// file in the folder, or change its access list. (A folder without any list
// lets everyone.)
bool EntryOpensFolder(const TAccessEntry& entry);
// Whether a security identifier (its bytes as the system holds them) is a
// group that takes in users who are not administrators: Everyone,
// Authenticated Users, Interactive, Users or Guests.
bool IsAnyUserSid(const uint8_t* sid, size_t size);

}  // namespace brik
