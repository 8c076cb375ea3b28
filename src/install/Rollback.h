// Taking a failed or cancelled install back: each step records in the run's
// journal (TInstallState::Journal) what it is about to change, and when the
// install does not go through, the journal is undone last change first, so
// that the machine is left as the install found it. When the journal is off
// ([Config] RollbackOnFailure=0, the uninstaller) every call here records
// nothing and the steps work as they always did.
#pragma once

#include <string>

namespace brik {

// A new run: the journal records when enabled. The install log at logPath
// is the run's own: an earlier install's log found there is kept aside and
// comes back on a rollback; a log this run made goes.
void BeginRollbackJournal(bool enabled, const std::string& logPath);

void JournalCreatedFolder(const std::string& path);
void JournalCreatedFile(const std::string& path);
// Before an existing file is changed in place (an INI file, a link, the
// restart's wininit.ini): a copy of it beside it, for the rollback; a
// missing file is recorded as one the run makes. false when the copy could
// not be made: the change must not go ahead.
bool JournalFileChange(const std::string& path);
// Before a registry value is written or deleted: the key levels that are
// missing and what the value holds now.
void JournalRegWrite(const std::string& key, const std::string& name);
// A target in use that gets its new file (waiting at `waiting`) at the
// restart: a rollback takes the move back out of the restart's list.
void JournalScheduledReplace(const std::string& target, const std::string& waiting);
void JournalRegisteredServer(const std::string& path);
void JournalLoadedFont(const std::string& path);

// Puts written (complete, in the target's folder) in place of target, as
// MoveOverTarget does; with the journal on, the old target is kept aside
// under a temporary name until the install has succeeded.
bool PlaceFile(const std::string& written, const std::string& target);
// Deletes a file; with the journal on, it is moved aside instead, and
// comes back on a rollback. true when the file is gone from its place.
bool RemoveFileKept(const std::string& path);

// The install failed or was cancelled: every change of the journal undone,
// last first; the install log is removed (or the earlier one restored) and
// no record is written after. Nothing happens when the journal is off.
void RollBackInstall();
// The install went through: the old files kept aside go (at the restart
// when they are in use).
void CommitInstall();

}  // namespace brik
