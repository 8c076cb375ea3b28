// Files that have to wait for a restart, and the restart. A file in use is
// written under a temporary name beside it; at the next start of Windows the
// temporary file takes the target's place: on NT by the system's delayed
// moves, on Windows 95, 98 and Me by the [Rename] section of wininit.ini
// (short names) and a RunOnce command that gives a long name back.
#pragma once

#include <string>

namespace brik {

// At the next restart target is deleted and source takes its name; with an
// empty target source is deleted. Both are made full paths first. false
// when source does not exist or the replacement could not be registered;
// wininit.ini is then left as it was, never truncated or missing.
bool ScheduleReplaceOnReboot(const std::string& source, const std::string& target);

// At the next restart, after the files scheduled before it, the folder goes
// if it is empty then: on NT by the system's delayed moves, on 9x by a
// RunOnce command (wininit.ini only takes files). false when it could not
// be registered.
bool ScheduleFolderRemovalOnReboot(const std::string& folder);

// The short (8.3) form of an existing path; the path itself when the system
// has none for it.
std::string GetShortPath(const std::string& path);

// Restarts Windows (with force: without waiting for programs that do not
// close), after enabling the shutdown privilege on NT. false when the
// privilege or the restart is refused.
bool RestartWindows(bool force);

}  // namespace brik
