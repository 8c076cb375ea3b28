// What this run of the install changed, in the order it changed it, so that
// a failed or cancelled install can take it back and leave the machine as
// it found it. Kept in memory: the install log says what an uninstall may
// remove later, the journal what this run must restore now, including the
// old files it replaced and the values it overwrote, which the log never
// holds. Free of Windows, so that the native tests cover the order and the
// decisions; the Win32 part (Rollback) records and undoes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/NameIndex.h"

namespace brik {

enum class TRollbackKind {
    CreatedFolder,     // path: a folder that was not there
    CreatedFile,       // path: a file that was not there
    ReplacedFile,      // path; kept: the file that was there, under a name beside it
    ScheduledReplace,  // path: a target in use; kept: the new file waiting beside it for the restart
    CreatedKey,        // path: a registry key that was not there
    RegValue,          // path: key, name: value; existed, type, data: what it held before
    RegisteredServer,  // path: a COM server file this run registered
    LoadedFont,        // path: a font file this run loaded into the session
};

struct TRollbackEntry {
    TRollbackEntry() = default;
    TRollbackEntry(TRollbackKind k, std::string p, std::string keptPath = {}, std::string valueName = {})
        : kind(k), path(std::move(p)), kept(std::move(keptPath)), name(std::move(valueName)) {}

    TRollbackKind kind = TRollbackKind::CreatedFile;
    std::string path;
    std::string kept;
    std::string name;
    bool existed = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

class TRollbackJournal {
public:
    // A new run: an empty journal that records when enabled is true.
    void Start(bool enabled);
    bool Enabled() const { return enabled_; }

    // Appended as each change is made; ignored when not enabled.
    void Add(TRollbackEntry entry);

    // Whether the run has a record of the file already (made or kept): its
    // state before the run is on record, and a later change of it needs no
    // copy of its own.
    bool Covers(std::string_view path) const;
    // The same for a registry value.
    bool CoversValue(std::string_view key, std::string_view name) const;

    // The install log: the file this run writes its records to, and where
    // the log that an earlier install left there is kept (empty: there was
    // none). It is undone apart from the other entries: before them, since
    // it lies in a folder the run may have made.
    void SetLog(std::string path, std::string kept);
    const std::string& LogPath() const { return logPath_; }
    const std::string& LogKept() const { return logKept_; }

    // The entries to undo, last change first; the journal is empty after.
    std::vector<TRollbackEntry> TakeUndoOrder();
    // The install has succeeded: the old files kept aside are no longer
    // wanted (the kept log among them); the journal is empty after.
    std::vector<std::string> TakeKeptFiles();

    size_t Size() const { return entries_.size(); }

private:
    bool enabled_ = false;
    std::vector<TRollbackEntry> entries_;
    // The upper-case paths of the files and "key\0name" of the values on
    // record: a run may replace thousands of files.
    NameIndex files_;
    NameIndex values_;
    std::string logPath_;
    std::string logKept_;
};

// The restart's list of delayed moves (the system's
// "PendingFileRenameOperations", a list of strings each ended by a zero
// byte, source then target, an empty target for a delete, each name in the
// system's "\??\" form, a "!" before a target that may be replaced; a
// second zero byte ends the list) with the moves of this run taken out:
// every pair whose source is one of `sources` (full paths, compared without
// regard to case). The other pairs stay as they were, in their order. Empty
// when no pair is left.
std::string WithoutDelayedMoves(std::string_view list, const std::vector<std::string>& sources);

}  // namespace brik
