// What an uninstall does, worked out from the install log before anything
// is touched: every record becomes one action, in the reverse order of the
// install, and every record that could do harm is refused with its reason.
// Free of Windows, so that the native tests cover the order and the checks.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

enum class TUndoKind {
    RunProgram,        // target = the program line, as the install's RunApp lines read
    DeleteShortcut,    // target = the .lnk file
    UnregisterServer,  // target = the COM server file
    RemoveFont,        // target = the font file, name = its registry name
    ReleaseSharedFile, // target = the file; deleted when its count reaches zero
    DeleteRegValue,    // target = the key, name = the value ("" the default one)
    DeleteIniKey,      // target = the INI file, section and name
    DeleteInstalledFile,  // target = the file
    DeleteRegKey,      // target = the key
    RemoveFolder,      // target = the folder; removed only when empty
};

struct TUndoAction {
    TUndoKind kind;
    std::string target;
    std::string section;
    std::string name;
    // The name of the log record the action comes from, as the log has it
    // (its section follows from the kind), so that a run that stops half-way
    // can take what it did out of the log.
    std::string record;
    // A shared file or a font whose file is not the one the install wrote
    // (outside the install folder, changed since): its count or registration
    // goes, the file stays.
    bool keepFile = false;
    // The registration that vouches for the log: it goes whole, and last.
    bool wholeKey = false;
};

// The log section of an action's record.
std::string_view RecordSection(TUndoKind kind);

// A log line that is not undone, and why: "[Section] line: reason".
struct TUndoPlan {
    std::vector<TUndoAction> actions;
    std::vector<std::string> refused;
};

// What must never go, whatever a log says: the Windows and system folders
// (no trailing backslash). Drive roots and registry roots are refused
// always.
struct TProtectedFolders {
    std::string windows;
    std::string system;
};

// The "name=value" lines of one section of the log, in file order.
using TLogSectionLines = std::function<std::vector<std::string>(std::string_view section)>;

// What is known of the log before its records are read.
struct TLogFacts {
    // The folder the log lies in: what the install wrote there is the
    // install's; a file elsewhere is only while it keeps its stamp.
    std::string installFolder;
    // The registration that names this log and holds its digest; empty when
    // none does. Without it the log acts only on files it can prove it
    // wrote: no program runs, no registry record and no INI key outside its
    // folder is taken back.
    std::string registrationKey;
    // Whether the file is missing or still has the record's size and time.
    std::function<bool(const std::string& path, std::string_view stamp)> keepsStamp;
};

TUndoPlan BuildUndoPlan(const TLogSectionLines& log, const TProtectedFolders& protectedFolders,
                        const TLogFacts& facts);

// The registry key of this install's registration in the list of programs,
// found among the logged keys: it goes last, so that an uninstall that stops
// half-way can be started again from the list.
bool IsUninstallRegistration(std::string_view keyPath);

}  // namespace brik
