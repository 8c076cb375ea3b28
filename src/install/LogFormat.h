// What the install log holds, as both its writer (the install) and its reader
// (the uninstaller) know it: the record kinds and their sections, and the
// check of a path read back from a log.
#pragma once

#include <string>
#include <string_view>

namespace brik {

// Record kinds: the log section each goes to.
enum TLogKind : int {
    kLogCopyFiles = 0,    // a file to delete
    kLogAddReg = 1,       // key\value = data written
    kLogAddIni = 2,       // file,section,key[,NewSection] = data written
    kLogShortcuts = 3,    // a .lnk file
    kLogCreateDirs = 4,   // a folder the install created
    kLogCreateKeys = 5,   // a registry key the install created
    kLogRegServers = 6,   // a registered COM server
    kLogRegFonts = 7,     // font name = file
    kLogSharedFiles = 8,  // a file counted in SharedDLLs
};
// The section of a kind; empty for a number that is no kind.
const char* LogSectionName(int kind);

// An [AddIni] record's fourth field when the install made the key's
// section: the uninstall takes the section away with the last of its keys,
// and leaves any section that was there before, empty or not.
inline constexpr std::string_view kIniNewSection = "NewSection";
// An [AddIni] record: the file as written (a full path), the section and
// the key, each quoted when a comma or a leading quote would split or
// change it on reading back.
std::string IniRecordName(std::string_view file, std::string_view section, std::string_view key, bool newSection);

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

}  // namespace brik
