// The install log: every change an uninstall must take back, recorded in
// "install.log" in the install folder through the cached INI engine, and the
// registration of the uninstaller with the system's list of programs.
#pragma once

#include <string>
#include <string_view>

#include "util/NameIndex.h"

#include "install/LogFormat.h"

namespace brik {

// The switch is on and the log path (InstallState().LogPath) is set.
bool LogEnabled();
bool WriteLogEntry(int kind, const std::string& name, const std::string& value = {});
bool WriteLogValue(const std::string& section, const std::string& name, const std::string& value);
bool LogHasEntry(int kind, const std::string& name);

// Creates the missing folders of path, parents first, logging each created.
// With `created` (upper-case paths without trailing backslash), the folders
// made are added there, and a folder inside one of them is created without
// a look first: only what was made since can be in it.
void ForceDirectoriesLogged(const std::string& path, NameIndex* created = nullptr);

// The value of a record for a file the install wrote: its size and time now
// (empty when it is missing). One place for every record of a written file.
std::string LoggedFileStamp(const std::string& path);
// Whether the file at path is missing or still has the stamp's size and time.
bool FileKeepsStamp(const std::string& path, std::string_view stamp);

// Whether users who are not administrators can put a file into folder, from
// its access list; false on 9x and when the system cannot say.
bool FolderWritableByUsers(const std::string& folder);

// How far the log at logPath (a full path) is trusted: the registrations its
// [CreateKeys] names are asked for its digest, and on NT an administrator
// refuses a log in a folder other users can write. registrationKey gets the
// registration that vouches for it.
TLogTrust CheckInstallLog(const std::string& logPath, std::string* registrationKey);
// Stores the digest of the log as it is on disk now under the registration.
bool StoreLogDigest(const std::string& logPath, const std::string& registrationKey);
// The end of the install: the records of files outside the install folder
// get the size and time the files have now that every step is done (a file
// may have been written behind the walk, an INI file by a later step), the
// log reaches the disk, and its digest goes under this install's
// registration, when there is one and it names this log.
void FinishInstallLog();

// Copies UnInst.exe to the install folder and registers it; false (with the
// error box) when the copy fails.
bool RegisterUninstall();
// The uninstall sections of the scripts and the language file into the log.
void CopyUninstallSections();
// Takes back what an earlier install into the same folder left: its
// shortcuts, empty folders and uninstall key.
void RemovePreviousReferences();

}  // namespace brik
