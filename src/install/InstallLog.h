// The install log: every change an uninstall must take back, recorded in
// "install.log" in the install folder through the cached INI engine, and the
// registration of the uninstaller with the system's list of programs.
#pragma once

#include <string>

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
// a look first: only what was made since can be in it. false, with nothing
// made, when a link is on the way (LinkOnTheWay, with `real`): the caller
// says so.
bool ForceDirectoriesLogged(const std::string& path, NameIndex* created = nullptr, NameIndex* real = nullptr);

// Copies UnInst.exe to the install folder and registers it; false (with the
// error box) when the copy fails.
bool RegisterUninstall();
// The uninstall sections of the scripts and the language file into the log.
void CopyUninstallSections();
// Takes back what an earlier install into the same folder left: its
// shortcuts, empty folders and uninstall key.
void RemovePreviousReferences();

}  // namespace brik
