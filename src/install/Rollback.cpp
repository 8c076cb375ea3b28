#include "install/Rollback.h"

#include <windows.h>

#include "install/RegIniRules.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/ComServers.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/Reboot.h"
#include "install/RollbackJournal.h"
#include "util/Platform.h"

namespace brik {

namespace {

constexpr char kSessionManagerKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";
constexpr uint32_t kRegMultiSz = 7;
// Not SendMessage: one hung window would hang the rollback.
constexpr UINT kFontChangeTimeoutMs = 5000;

TRollbackJournal& Journal() { return InstallState().Journal; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh name beside path that nothing uses; empty when none can be had.
std::string KeptNameBeside(const std::string& path) {
    const std::string kept = NewTempFileIn(platform::ExtractFilePath(path));
    if (!kept.empty()) DeleteFileA(kept.c_str());
    return kept;
}

// The file at path goes; when it cannot go now, at the restart.
void RemoveNowOrAtRestart(const std::string& path) {
    if (!DeleteFileForced(path)) ScheduleReplaceOnReboot(path, std::string());
}

// The old file back in its place: the run's file there goes first.
void RestoreKept(const std::string& kept, const std::string& path) {
    if (!Exists(kept)) return;
    if (MoveOverTarget(kept, path)) return;
    ScheduleReplaceOnReboot(kept, path);
}

void TakeOutDelayedMoves(const std::vector<std::string>& sources) {
    std::vector<uint8_t> data;
    if (!RegReadBinary(kSessionManagerKey, kPendingRenamesValue, data)) return;
    const std::string left =
        WithoutDelayedMoves(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), sources);
    if (left.size() == data.size()) return;
    if (left.empty())
        RegRemoveValue(kSessionManagerKey, kPendingRenamesValue);
    else
        RegWriteData(kSessionManagerKey, kPendingRenamesValue, kRegMultiSz, static_cast<uint32_t>(left.size()),
                     left.data());
}

void Undo(const TRollbackEntry& e) {
    switch (e.kind) {
        case TRollbackKind::CreatedFolder:
            // Only when empty, and never through a link.
            if (platform::DirectoryExists(e.path) && !platform::IsLink(e.path)) RemoveDirectoryA(e.path.c_str());
            break;
        case TRollbackKind::CreatedFile: {
            const DWORD attributes = GetFileAttributesA(e.path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                RemoveNowOrAtRestart(e.path);
            break;
        }
        case TRollbackKind::ReplacedFile: RestoreKept(e.kept, e.path); break;
        case TRollbackKind::ScheduledReplace:
            if (InstallState().System.PlatformNT) TakeOutDelayedMoves({e.path, e.kept});
            // On the other systems wininit.ini comes back whole from its own
            // record, which is older.
            RemoveNowOrAtRestart(e.kept);
            break;
        case TRollbackKind::CreatedKey:
            if (RegKeyIsEmpty(e.path)) RegRemoveKey(e.path, false);
            break;
        case TRollbackKind::RegValue:
            if (e.existed)
                RegWriteData(e.path, e.name, e.type, static_cast<uint32_t>(e.data.size()), e.data.data());
            else
                RegRemoveValue(e.path, e.name);
            break;
        case TRollbackKind::RegisteredServer:
            if (Exists(e.path)) UnregisterComServer(e.path);
            break;
        case TRollbackKind::LoadedFont: {
            if (Exists(e.path)) RemoveFontResourceA(e.path.c_str());
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kFontChangeTimeoutMs, &ignored);
            break;
        }
    }
}

}  // namespace

void BeginRollbackJournal(bool enabled, const std::string& logPath) {
    TRollbackJournal& journal = Journal();
    journal.Start(enabled);
    if (!enabled || logPath.empty()) return;
    std::string kept;
    if (platform::FileExists(logPath)) {
        kept = KeptNameBeside(logPath);
        if (!kept.empty() && !CopyFileA(logPath.c_str(), kept.c_str(), FALSE)) kept.clear();
    }
    journal.SetLog(logPath, kept);
}

void JournalCreatedFolder(const std::string& path) {
    if (Journal().Enabled()) Journal().Add({TRollbackKind::CreatedFolder, path});
}

void JournalCreatedFile(const std::string& path) {
    if (Journal().Enabled() && !Journal().Covers(path)) Journal().Add({TRollbackKind::CreatedFile, path});
}

bool JournalFileChange(const std::string& path) {
    TRollbackJournal& journal = Journal();
    if (!journal.Enabled() || journal.Covers(path)) return true;
    if (!platform::FileExists(path)) {
        journal.Add({TRollbackKind::CreatedFile, path});
        return true;
    }
    const std::string kept = KeptNameBeside(path);
    if (kept.empty() || !CopyFileA(path.c_str(), kept.c_str(), FALSE)) {
        if (!kept.empty()) DeleteFileA(kept.c_str());
        return false;
    }
    journal.Add({TRollbackKind::ReplacedFile, path, kept});
    return true;
}

void JournalRegWrite(const std::string& keyIn, const std::string& name) {
    TRollbackJournal& journal = Journal();
    if (!journal.Enabled()) return;
    std::string key = keyIn;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    if (journal.CoversValue(key, name)) return;
    // The missing levels, outermost first, so that the undo takes the
    // innermost first.
    std::vector<std::string> missing;
    for (std::string level = key; !level.empty() && !RegKeyExists(level); level = RegParentKeyPath(level))
        missing.push_back(level);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) journal.Add({TRollbackKind::CreatedKey, *it});
    TRollbackEntry value{TRollbackKind::RegValue, key, {}, name};
    value.existed = RegValueExists(key, name);
    if (value.existed) {
        value.type = RegValueType(key, name);
        RegReadBinary(key, name, value.data);
    }
    journal.Add(std::move(value));
}

void JournalScheduledReplace(const std::string& target, const std::string& waiting) {
    if (Journal().Enabled()) Journal().Add({TRollbackKind::ScheduledReplace, target, waiting});
}

void JournalRegisteredServer(const std::string& path) {
    if (Journal().Enabled()) Journal().Add({TRollbackKind::RegisteredServer, path});
}

void JournalLoadedFont(const std::string& path) {
    if (Journal().Enabled()) Journal().Add({TRollbackKind::LoadedFont, path});
}

bool PlaceFile(const std::string& written, const std::string& target) {
    TRollbackJournal& journal = Journal();
    const bool existed = Exists(target);
    if (!journal.Enabled()) return MoveOverTarget(written, target);
    if (!existed || journal.Covers(target)) {
        if (!MoveOverTarget(written, target)) return false;
        if (!existed) journal.Add({TRollbackKind::CreatedFile, target});
        return true;
    }
    std::string kept;
    if (!MoveOverTarget(written, target, &kept)) return false;
    journal.Add({TRollbackKind::ReplacedFile, target, kept});
    return true;
}

bool RemoveFileKept(const std::string& path) {
    TRollbackJournal& journal = Journal();
    if (!journal.Enabled()) return DeleteFileForced(path);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    const std::string kept = KeptNameBeside(path);
    if (kept.empty() || !MoveFileA(path.c_str(), kept.c_str())) return false;
    journal.Add({TRollbackKind::ReplacedFile, path, kept});
    return true;
}

void RollBackInstall() {
    TInstallState& state = InstallState();
    TRollbackJournal& journal = state.Journal;
    if (!journal.Enabled()) return;
    // What waits in the cache reaches its file first, so that nothing of it
    // is written after the file is restored or gone.
    CloseAllIniFiles();
    const std::string log = journal.LogPath();
    const std::string logKept = journal.LogKept();
    const std::vector<TRollbackEntry> order = journal.TakeUndoOrder();
    // What the undo itself does is no change of the run.
    journal.Start(false);
    state.Logging = false;
    if (!log.empty()) {
        if (!logKept.empty())
            RestoreKept(logKept, log);
        else
            RemoveNowOrAtRestart(log);
    }
    for (const TRollbackEntry& entry : order) Undo(entry);
}

void CommitInstall() {
    TRollbackJournal& journal = Journal();
    if (!journal.Enabled()) return;
    const std::vector<std::string> kept = journal.TakeKeptFiles();
    journal.Start(false);
    for (const std::string& file : kept) RemoveNowOrAtRestart(file);
}

}  // namespace brik
