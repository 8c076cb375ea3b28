#include "install/FileCopy.h"

#include <windows.h>
#include <commctrl.h>

#include <utility>

#include "config/Settings.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "crypto/Password.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/Reboot.h"
#include "install/Rollback.h"
#include "install/Unpacker.h"
#include "ui/Dialogs.h"
#include "ui/Msg.h"
#include "ui/ProgressLink.h"
#include "util/NameIndex.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr int kCurrentBar = 107;
constexpr int kOverallBar = 109;
constexpr int kStatusLine = 106;
// A search below an external mask stops this deep: a folder link pointing
// at its own parent would otherwise never end the walk.
constexpr int kMaxExternalDepth = 32;

// The file being processed and the phase; touched by the copy thread only.
struct TPhase {
    int CurrentFlags = 0;
    std::string TargetPath;
    bool TargetExisted = false;
    bool UseTempName = false;
    bool ExternalPass = false;
    int VersionAnswer = 6;
    // Written under a temporary name and not yet in place: removed when the
    // phase ends before its file is complete.
    std::string Pending;
    // A step after the write failed (the restart record could not be kept):
    // the phase fails at the next file.
    bool Failed = false;
    // The failure has had its own message already.
    bool Reported = false;
    // The folder whose missing parts were made last.
    std::string LastFolder;
    // Folders this phase made, and folders it has listed (upper case; the
    // made ones without, the listed ones with their trailing backslash).
    NameIndex Made;
    NameIndex Listed;
    // Folders whose way from the folder named for them holds no link (upper
    // case, without trailing backslash).
    NameIndex Real;
    // New targets handed to the library to be written behind the walk, with
    // their copy flags until their done notice (then kNotQueued): a file of
    // the same target must wait until it is on the disk.
    NameIndex Queued;
    // Targets this phase writes (upper case), with the place in its list of
    // the script line that chose the file.
    NameIndex Written;
    int CurrentLine = 0;
};
constexpr int kNotQueued = -1;
TPhase Phase;
TCopyCounters Counters;

struct TCatalogue {
    TWorkList lines;  // key = size,version,font name
    int64_t total = 0;
    int64_t required = 0;
} Catalogue;

std::string FileNamePart(const std::string& path) { return path.substr(platform::ExtractFilePath(path).size()); }

bool HasDataPrefix(const std::string& name) { return name.size() > 5 && SameText(std::string_view(name).substr(0, 5), "Data\\"); }

// A decimal size of the catalogue; -1 when it is none.
int64_t ParseSize(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

TDosTime DosTimeOf(const FILETIME& local) {
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time)) return 0;
    return static_cast<TDosTime>(date) << 16 | time;
}

// What the dialog shows is sent at most this often: each message is a trip
// to the other thread and a repaint, which for thousands of small files
// costs more than writing them, and the eye sees no difference. The phase's
// last state is always sent.
constexpr DWORD kRefreshMs = 40;
struct TRefresh {
    DWORD last = 0;
    bool statusDirty = false;
    const char* statusKey = nullptr;
    std::string statusName;
    int sent[2] = {-1, -1};  // current-file and overall bar
} Refresh;

void SendRefresh(bool force) {
    const DWORD now = GetTickCount();
    if (!force && now - Refresh.last < kRefreshMs) return;
    Refresh.last = now;
    HWND dialog = ProgressDialog();
    if (dialog == nullptr) return;
    if (Refresh.statusDirty) {
        Refresh.statusDirty = false;
        const std::string text =
            FormatMessageText(GetLangString("DLG_PROGRESS", Refresh.statusKey), Refresh.statusName);
        SetDlgItemTextA(dialog, kStatusLine, text.c_str());
    }
    const int bars[2] = {kCurrentBar, kOverallBar};
    const int percent[2] = {ProgressPercent(Counters.CurrentFileDone, Counters.CurrentFileSize),
                            ProgressPercent(Counters.OverallDone, Counters.OverallTotal)};
    for (int i = 0; i < 2; ++i) {
        if (percent[i] == Refresh.sent[i]) continue;
        Refresh.sent[i] = percent[i];
        SendDlgItemMessageA(dialog, bars[i], PBM_SETPOS, static_cast<WPARAM>(percent[i]), 0);
    }
}

void SetStatus(const char* key, const std::string& name) {
    Refresh.statusKey = key;
    Refresh.statusName = name;
    Refresh.statusDirty = true;
}

// Bytes of the current file just written: both counters, both bars, and
// the place where the user's cancel is taken.
bool AddProgress(int64_t bytes) {
    Counters.CurrentFileDone += bytes;
    Counters.OverallDone += bytes;
    UpdateProgressBars();
    return ProgressCheckpoint();
}

// A file cut off by a failure or a cancel never stays behind.
void DropPending() {
    if (!Phase.Pending.empty()) DeleteFileForced(Phase.Pending);
    Phase.Pending.clear();
}

// The names in the folder of the last target looked at. On some file
// systems (Wine's, on Linux) asking for a name that is not there reads the
// whole folder each time, and an install's targets are mostly new; one
// listing per folder answers for all its files.
struct TFolderListing {
    bool valid = false;
    std::string folder;
    NameIndex names;
} Listing;

// Whether a folder holds nothing this phase has not seen without asking the
// disk: a folder inside one the phase made is either missing or made by it,
// and one it made and has not listed yet holds only folders it made.
bool KnownEmpty(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    const std::string upper = AnsiUpperCase(path);
    if (Phase.Made.Contains(upper)) return !Phase.Listed.Contains(upper + "\\");
    const std::string parent = platform::ExtractFilePath(path);
    return parent.size() > 1 && Phase.Made.Contains(AnsiUpperCase(std::string_view(parent).substr(0, parent.size() - 1)));
}

bool ListedInFolder(const std::string& path) {
    const std::string folder = platform::ExtractFilePath(path);
    if (!Listing.valid || Listing.folder != folder) {
        Listing.valid = true;
        Listing.folder = folder;
        Listing.names.Clear();
        const bool empty = KnownEmpty(folder);
        Phase.Listed.TryEmplace(AnsiUpperCase(folder), 0);
        if (empty) return false;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                Listing.names.TryEmplace(AnsiUpperCase(found.cFileName), 0);
                if (found.cAlternateFileName[0] != '\0') Listing.names.TryEmplace(AnsiUpperCase(found.cAlternateFileName), 0);
            } while (FindNextFileA(search, &found));
            ::FindClose(search);
        }
    }
    return Listing.names.Contains(AnsiUpperCase(FileNamePart(path)));
}

// A name this phase has just written is in its folder now.
void AddToListing(const std::string& path) {
    if (Listing.valid && Listing.folder == platform::ExtractFilePath(path))
        Listing.names.TryEmplace(AnsiUpperCase(FileNamePart(path)), 0);
}

INT_PTR CALLBACK ConflictProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const std::string& path = *reinterpret_cast<const std::string*>(lParam);
            ApplyDialogTexts(dialog, "DLG_VERSIONCONFLICT");
            SetDlgItemTextA(dialog, 104, FileNamePart(path).c_str());
            SetDlgItemTextA(dialog, 106, platform::ExtractFilePath(path).c_str());
            // On the recommended answer, not in the first edit.
            SetFocus(GetDlgItem(dialog, 107));
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case 107: EndDialog(dialog, 6); break;
                case 108: EndDialog(dialog, 10); break;
                case 109: EndDialog(dialog, 7); break;
                case 110: EndDialog(dialog, 9); break;
                default: break;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void WalkExternalMask(const std::string& folder, const std::string& mask, int depth,
                      const std::function<bool(const std::string&)>& visit, bool& go) {
    TSearchRecExd rec;
    if (FindFirst(folder + mask, 0, FILE_ATTRIBUTE_DIRECTORY | 0x08 /* volume label */, rec) == 0) {
        do {
            go = visit(rec.FullName);
        } while (go && FindNext(rec) == 0);
    }
    FindClose(rec);
    if (!go || depth >= kMaxExternalDepth) return;
    TSearchRecExd sub;
    if (FindFirst(folder + mask, FILE_ATTRIBUTE_DIRECTORY, 0, sub) == 0) {
        do {
            if ((sub.Attr & FILE_ATTRIBUTE_DIRECTORY) == 0 || (sub.Attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            WalkExternalMask(sub.FullName + "\\", mask, depth + 1, visit, go);
        } while (go && FindNext(sub) == 0);
    }
    FindClose(sub);
}

}  // namespace

TCopyCounters& CopyCounters() { return Counters; }

void LoadFileCatalogue() {
    Catalogue = {};
    StringList lines;
    IniReadSectionValues(ConfigPaths().SettingsFile, "FileInfo", lines);
    const TWorkList& package = InstallState().Lists.PackageFileList;
    for (const std::string& line : lines) {
        const std::string key(NamePart(line));
        const std::string value(ValuePart(line));
        Catalogue.lines.Set(key, value);
        const int64_t size = ParseSize(FieldAt(1, value, ","));
        if (size <= 0) continue;
        Catalogue.total += size;
        if (FindCopyEntry(package, "Data\\" + key) != nullptr) Catalogue.required += size;
    }
}

TCatalogueEntry CatalogueEntryOf(const std::string& dataRelativeName) {
    TCatalogueEntry entry;
    const TWorkList::TEntry* line = Catalogue.lines.Find(dataRelativeName);
    if (line == nullptr) return entry;
    entry.size = ParseSize(FieldAt(1, line->value, ","));
    entry.version = std::string(Trim(FieldAt(2, line->value, ",")));
    entry.fontName = FieldAt(3, line->value, ",");
    return entry;
}

int64_t CatalogueTotalBytes() { return Catalogue.total; }
int64_t CatalogueRequiredBytes() { return Catalogue.required; }

void BeginCopyPhase() {
    Phase = {};
    Refresh = {};
    Listing = {};
    Counters.CurrentFileSize = 0;
    Counters.CurrentFileDone = 0;
    Counters.OverallDone = 0;
}

const std::string& CurrentTargetPath() { return Phase.TargetPath; }

bool CopyFailureReported() { return Phase.Reported; }

void UpdateProgressBars() { SendRefresh(false); }

int DecideFileCopy(const std::string& name, int64_t size, TDosTime time, std::string& path) {
    if (Phase.Failed) return unpack::kAnswerRefuse;
    // Also where a long run of skipped files or a version question comes:
    // the cancel question holds the thread here, and a cancel ends the walk.
    if (!ProgressCheckpoint()) return unpack::kAnswerRefuse;
    TInstallState& state = InstallState();
    bool skip = true;
    Phase.CurrentFlags = 0;
    Phase.TargetExisted = false;
    Counters.CurrentFileSize = size;
    Counters.CurrentFileDone = 0;
    std::string dest = FileNamePart(name);

    const TWorkList& list = Phase.ExternalPass ? state.Lists.ExternalFileList : state.Lists.PackageFileList;
    if (const TWorkList::TEntry* entry = FindCopyEntry(list, name)) {
        skip = false;
        Phase.CurrentFlags = CopyFlagsOf(*entry);
        Phase.CurrentLine = static_cast<int>(entry - list.Entries().data());
        dest = CopyDestination(*entry, name);
        // A name that leads out of its destination is a damaged or hostile
        // package, not a file to put somewhere else.
        if (dest.empty() || !IsSafeTargetPath(dest)) {
            Phase.TargetPath = dest.empty() ? name : dest;
            return unpack::kAnswerRefuse;
        }
        // Nor is a file written through a link below the folder it was meant
        // for.
        if (!LinkOnTheWay(dest, ListedInFolder(dest), &Phase.Real).empty()) {
            Phase.TargetPath = dest;
            return unpack::kAnswerRefuse;
        }
        // An earlier file of this target may still be on its way to the
        // disk: it must be whole before this one is decided against it.
        const std::string upperDest = AnsiUpperCase(dest);
        if (const int* queued = Phase.Queued.Find(upperDest); queued != nullptr && *queued != kNotQueued)
            return unpack::kAnswerAskAgain;
        std::string sourceVersion;
        if (!Phase.ExternalPass) {
            const TCatalogueEntry catalogued =
                HasDataPrefix(name) ? CatalogueEntryOf(name.substr(5)) : TCatalogueEntry{};
            // The catalogue and the cabinet were made together: a file that
            // disagrees with it is not the file the package was built with.
            if (catalogued.size != size) {
                Phase.TargetPath = dest;
                return unpack::kAnswerRefuse;
            }
            sourceVersion = catalogued.version;
        } else {
            sourceVersion = GetFileVersionText(name);
        }
        const TFileFacts existing = ListedInFolder(dest) ? FileFacts(dest) : TFileFacts{};
        Phase.TargetExisted = existing.exists;
        // Two files for one target: this install does not weigh its own
        // files against each other. The one the scripts name later stays (in
        // stored order when one line names both); a file from beside the
        // package replaces one from inside it.
        const int* writtenBy = Phase.Written.Find(upperDest);
        const TCopyVerdict verdict =
            writtenBy == nullptr ? DecideCopy(Phase.CurrentFlags, sourceVersion, time, size, existing)
            : Phase.ExternalPass || Phase.CurrentLine >= *writtenBy ? TCopyVerdict::Write
                                                                     : TCopyVerdict::Skip;
        switch (verdict) {
            case TCopyVerdict::Write:
                break;
            case TCopyVerdict::Skip:
                skip = true;
                break;
            case TCopyVerdict::DestinationNewer:
                skip = true;
                if (Phase.VersionAnswer != 9 && Phase.VersionAnswer != 10) {
                    // The file asked about is the one the dialog names.
                    SetStatus("200", FileNamePart(dest));
                    SendRefresh(true);
                    Phase.VersionAnswer = ShowVersionConflict(dest);
                }
                if (Phase.VersionAnswer == 7 || Phase.VersionAnswer == 9) skip = false;
                break;
        }
    }

    SetStatus(skip ? "201" : Phase.ExternalPass ? "202" : "200", FileNamePart(dest));
    UpdateProgressBars();

    if (skip) {
        Counters.CurrentFileDone += size;
        Counters.OverallDone += size;
        UpdateProgressBars();
        if (Phase.CurrentFlags & kCopyShared) IncrementSharedCount(dest);
        return 0;
    }

    Phase.TargetPath = dest;
    Phase.UseTempName = false;
    // Decided in order: an earlier file of this target is on the disk by now.
    *Phase.Written.TryEmplace(AnsiUpperCase(dest), 0).first = Phase.CurrentLine;
    const std::string folder = platform::ExtractFilePath(dest);
    // Files come folder by folder: one look per folder is enough.
    if (folder != Phase.LastFolder) {
        ForceDirectoriesLogged(folder, &Phase.Made, &Phase.Real);
        Phase.LastFolder = folder;
    }
    if (Phase.CurrentFlags & kCopyFont) {
        // The font step installs it from our own folder.
        path = state.ScratchFolder + FileNamePart(dest);
        DeleteFileForced(path);
        return 1;
    }
    // Never over an existing target: it stays whole until the new file is.
    // A new one is written in place and removed if it is not finished.
    path = Phase.TargetExisted ? NewTempFileIn(folder) : dest;
    if (path.empty()) return unpack::kAnswerRefuse;
    AddToListing(path);
    if (Phase.TargetExisted || Phase.ExternalPass) {
        Phase.Pending = path;
        return unpack::kAnswerWrite;
    }
    // A new target may be written behind the walk: the library removes it
    // if it cannot be finished, and its done notice, which finishes it here,
    // comes once it is whole on the disk. A replacement must be whole before
    // it is moved over the target, and is written by the walk itself.
    *Phase.Queued.TryEmplace(AnsiUpperCase(path), 0).first = Phase.CurrentFlags;
    return unpack::kAnswerWriteQueued;
}

namespace {

// A file is whole on the disk. One the library wrote behind the walk is
// told of once it is, maybe while a later file is being decided: it is
// finished as the file it was, and the later one's state is kept.
int FinishWrittenFile(const std::string& name, const std::string& writtenPath) {
    int* queued = Phase.Queued.TryEmplace(AnsiUpperCase(writtenPath), kNotQueued).first;
    if (*queued == kNotQueued) return FinishFileCopy(name, writtenPath);
    struct TCurrent {
        int flags;
        std::string target;
        bool existed;
        bool tempName;
        std::string pending;
    } current{Phase.CurrentFlags, Phase.TargetPath, Phase.TargetExisted, Phase.UseTempName, Phase.Pending};
    Phase.CurrentFlags = std::exchange(*queued, kNotQueued);
    Phase.TargetPath = writtenPath;
    Phase.TargetExisted = false;
    Phase.UseTempName = false;
    const int result = FinishFileCopy(name, writtenPath);
    Phase.CurrentFlags = current.flags;
    Phase.TargetPath = std::move(current.target);
    Phase.TargetExisted = current.existed;
    Phase.UseTempName = current.tempName;
    Phase.Pending = std::move(current.pending);
    return result;
}

}  // namespace

int FinishFileCopy(const std::string& name, const std::string& writtenPath) {
    TInstallState& state = InstallState();
    const int flags = Phase.CurrentFlags;
    if ((flags & kCopyFont) == 0) {
        Phase.Pending.clear();
        if (writtenPath == Phase.TargetPath) {
            JournalCreatedFile(writtenPath);
        } else if (!PlaceFile(writtenPath, Phase.TargetPath)) {
            // In use: the swap waits for the restart.
            Phase.UseTempName = true;
            if (ScheduleReplaceOnReboot(writtenPath, Phase.TargetPath)) {
                JournalScheduledReplace(Phase.TargetPath, writtenPath);
                state.RebootPending = true;
            } else {
                DeleteFileForced(writtenPath);
                Phase.Failed = true;
                return 1;
            }
        }
    }
    if ((flags & (kCopyNoLog | kCopyFont)) == 0 && !Phase.TargetExisted)
        WriteLogEntry(kLogCopyFiles, Phase.TargetPath, LoggedFileStamp(Phase.TargetPath));
    const char* logIt = (flags & kCopyNoLog) ? "0" : "1";
    if (flags & kCopyComServer)
        state.Lists.ComServerList.Append(Phase.TargetPath, std::string(Phase.UseTempName ? "0" : "1") + "," + logIt);
    if (flags & kCopyFont) {
        const std::string fontName =
            !Phase.ExternalPass && HasDataPrefix(name) ? CatalogueEntryOf(name.substr(5)).fontName : std::string();
        state.Lists.FontList.Append(fontName, Phase.TargetPath + "," + writtenPath + "," + logIt);
    }
    if (flags & kCopyShared) IncrementSharedCount(Phase.TargetPath);
    return 1;
}

int ShowVersionConflict(const std::string& path) {
    const INT_PTR answer = DialogBoxParamA(GetModuleHandleA(nullptr), "DLG_VERSIONCONFLICT", ProgressDialog(),
                                           ConflictProc, reinterpret_cast<LPARAM>(&path));
    // No dialog: the existing file stays, as the recommended answer has it.
    return answer == 6 || answer == 7 || answer == 9 || answer == 10 ? static_cast<int>(answer) : 6;
}

void IncrementSharedCount(const std::string& path) {
    if (LogHasEntry(kLogSharedFiles, path)) return;
    int32_t count = RegReadInteger(kSharedDllsKey, path, 0);
    if (Phase.TargetExisted && count == 0) count = 1;
    JournalRegWrite(kSharedDllsKey, path);
    RegWriteInteger(kSharedDllsKey, path, count + 1);
    if ((Phase.CurrentFlags & kCopyNoLog) == 0) WriteLogEntry(kLogCopyFiles, path, LoggedFileStamp(path));
    WriteLogEntry(kLogSharedFiles, path);
}

bool ExtractPackageFiles() {
    TInstallState& state = InstallState();
    Counters.OverallDone = 0;
    TUnpacker unpacker(nullptr);
    if (const char* error = unpacker.Load(ConfigPaths().SetupFolder + "unpack.dll", ConfigPaths().SetupExePath)) {
        ShowError(error);
        Phase.Reported = true;
        return false;
    }
    const std::string checkHash = IniReadString(ConfigPaths().SettingsFile, kPasswordSection, kPswCheckHashKey, "");
    if (!checkHash.empty()) unpacker.SetPassword(state.InstallPassword);
    bool ok = unpacker.Enumerate(
        [](const std::string& name, int size, int, std::string& destination, const FILETIME& time) {
            return DecideFileCopy(name, static_cast<uint32_t>(size), DosTimeOf(time), destination);
        },
        [](const std::string& name, int, int, const std::string& destination, const FILETIME&) {
            return FinishWrittenFile(name, destination);
        },
        [](const std::string&, const std::string&, int, int chunk, int) {
            return AddProgress(static_cast<uint32_t>(chunk)) ? 1 : -1;
        });
    // A file written behind the walk that failed is the one to name.
    if (!ok && !unpacker.FailedDestination().empty()) Phase.TargetPath = unpacker.FailedDestination();
    DropPending();
    SendRefresh(true);
    return ok && !Phase.Failed;
}

void AbandonCopyPhase() { DropPending(); }

void ForEachExternalFile(const std::function<bool(const std::string& path)>& visit) {
    bool go = true;
    for (const TWorkList::TEntry& entry : InstallState().Lists.ExternalFileList.Entries()) {
        const std::string folder = platform::ExtractFilePath(entry.name);
        const std::string mask = entry.name.substr(folder.size());
        if (mask.find_first_of("*?") == std::string::npos) {
            if (platform::FileExists(entry.name)) go = visit(entry.name);
        } else {
            WalkExternalMask(folder, mask, 0, visit, go);
        }
        if (!go) return;
    }
}

bool CopyExternalFiles() {
    Phase.ExternalPass = true;
    bool ok = true;
    const TCopyProgress progress = [](const std::string&, const std::string&, int64_t chunk, int64_t, int64_t) {
        return AddProgress(chunk);
    };
    ForEachExternalFile([&](const std::string& file) {
        if (InstallState().AbortRequested) return false;
        const TFileFacts source = FileFacts(file);
        std::string written;
        const int decision = DecideFileCopy(file, GetFileSizeByFind(file), source.time, written);
        if (decision < 0) {
            ok = false;
            return false;
        }
        if (decision == 0) return true;
        if (!CopyFileWithProgress(file, written, progress, false)) {
            DropPending();
            ok = false;
            return false;
        }
        FinishWrittenFile(file, written);
        return !Phase.Failed;
    });
    DropPending();
    SendRefresh(true);
    return ok && !Phase.Failed;
}

bool DeleteListedFiles() {
    bool announced = false;
    NameIndex real;
    for (const TWorkList::TEntry& entry : InstallState().Lists.DeleteFileList.Entries()) {
        // The mask's wildcards stand for any name: the rest must be a path
        // the engine may change.
        std::string checked = entry.name;
        for (char& c : checked)
            if (c == '*' || c == '?') c = 'x';
        if (!IsSafeTargetPath(checked)) continue;
        TSearchRecExd rec;
        if (FindFirst(entry.name, 0, FILE_ATTRIBUTE_DIRECTORY | 0x08 /* volume label */, rec) == 0) {
            do {
                if (!announced) {
                    ShowMessageWindow(GetMessageString(17), 750);
                    announced = true;
                }
                const std::string link = LinkOnTheWay(rec.FullName, true, &real);
                if (!link.empty()) {
                    FindClose(rec);
                    ShowError(LinkRefusedText(rec.FullName, link));
                    return false;
                }
                RemoveFileKept(rec.FullName);
            } while (FindNext(rec) == 0);
        }
        FindClose(rec);
    }
    return true;
}

}  // namespace brik
