#include "uninstall/UninstallPlan.h"

#include <algorithm>

#include "config/RegPath.h"
#include "install/LogFormat.h"
#include "util/NameIndex.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr std::string_view kUninstallList = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct TRecord {
    std::string name;
    std::string value;
    std::string line;
};

std::vector<TRecord> Records(const TLogSectionLines& log, std::string_view section) {
    std::vector<TRecord> records;
    for (const std::string& line : log(section)) {
        const size_t equals = line.find('=');
        TRecord r;
        r.line = line;
        r.name = std::string(Trim(std::string_view(line).substr(0, equals)));
        if (equals != std::string::npos) r.value = std::string(Trim(std::string_view(line).substr(equals + 1)));
        records.push_back(std::move(r));
    }
    return records;
}

int Depth(std::string_view path) { return static_cast<int>(std::count(path.begin(), path.end(), '\\')); }

// Deepest first, so that a parent is empty when its turn comes.
bool Deeper(const std::string& a, const std::string& b) {
    const int da = Depth(a), db = Depth(b);
    return da != db ? da > db : CompareText(a, b) > 0;
}
void DeepestFirst(std::vector<std::string>& paths) { std::stable_sort(paths.begin(), paths.end(), Deeper); }

class TPlanner {
public:
    TPlanner(const TLogSectionLines& log, const TProtectedFolders& folders, const TLogFacts& facts)
        : log_(log), folders_(folders), facts_(facts), verified_(!facts.registrationKey.empty()) {}

    TUndoPlan Build() {
        // The stamps of the files the install wrote, by upper-case path.
        const std::vector<TRecord> copied = Records(log_, LogSectionName(kLogCopyFiles));
        for (size_t i = 0; i < copied.size(); ++i) stamps_.TryEmplace(AnsiUpperCase(copied[i].name), static_cast<int>(i));
        copied_ = &copied;

        for (const TRecord& r : Records(log_, "RunApp")) {
            if (r.value.empty()) continue;
            if (verified_) actions_.push_back({TUndoKind::RunProgram, r.value, {}, {}, r.name});
            else Refuse(r, "RunApp", kNotVouched);
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogShortcuts))) {
            if (!FileOk(kLogShortcuts, r)) continue;
            if (!IsShortcutFile(r.name)) Refuse(kLogShortcuts, r, "not a shortcut");
            // Without the registration a shortcut must still be the one the
            // install made.
            else if (!verified_ && !HasStamp(r.name, r.value))
                Refuse(kLogShortcuts, r, kNotWritten);
            else Add(TUndoKind::DeleteShortcut, r.name, r.name);
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogRegServers))) {
            if (!FileOk(kLogRegServers, r)) continue;
            // A server the install did not write is not its to unregister.
            if (!Owned(r.name)) Refuse(kLogRegServers, r, kNotWritten);
            else Add(TUndoKind::UnregisterServer, r.name, r.name);
        }
        // A font's file and a shared file are gone with their own actions.
        NameIndex handled;
        for (const TRecord& r : Records(log_, LogSectionName(kLogRegFonts))) {
            if (r.name.empty()) {
                Refuse(kLogRegFonts, r, "no font name");
            } else if (PathOk(kLogRegFonts, r, r.value)) {
                const bool owned = Owned(r.value);
                if (!owned && !verified_) {
                    Refuse(kLogRegFonts, r, kNotVouched);
                    continue;
                }
                TUndoAction a{TUndoKind::RemoveFont, r.value, {}, r.name, r.name};
                a.keepFile = !owned;
                actions_.push_back(std::move(a));
                handled.TryEmplace(AnsiUpperCase(r.value), 0);
            }
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogSharedFiles))) {
            if (!FileOk(kLogSharedFiles, r)) continue;
            const bool owned = Owned(r.name);
            if (!owned && !verified_) {
                Refuse(kLogSharedFiles, r, kNotVouched);
                continue;
            }
            TUndoAction a{TUndoKind::ReleaseSharedFile, r.name, {}, {}, r.name};
            a.keepFile = !owned;
            actions_.push_back(std::move(a));
            handled.TryEmplace(AnsiUpperCase(r.name), 0);
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogAddReg))) {
            std::string key, value;
            SplitRegValuePath(r.name, key, value);
            if (!KeyOk(kLogAddReg, r, key)) continue;
            if (!verified_) Refuse(kLogAddReg, r, kNotVouched);
            else actions_.push_back({TUndoKind::DeleteRegValue, key, {}, value, r.name});
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogAddIni))) {
            const std::string file(Trim(FieldAt(1, r.name, ",")));
            const std::string section(Trim(FieldAt(2, r.name, ",")));
            const std::string key(Trim(FieldAt(3, r.name, ",")));
            if (section.empty() || key.empty())
                Refuse(kLogAddIni, r, "not a file, section and key");
            else if (!PathOk(kLogAddIni, r, file))
                continue;
            else if (!verified_ && !Owned(file))
                Refuse(kLogAddIni, r, kNotVouched);
            else
                actions_.push_back({TUndoKind::DeleteIniKey, file, section, key, r.name});
        }
        for (const TRecord& r : copied) {
            if (!FileOk(kLogCopyFiles, r) || handled.Contains(AnsiUpperCase(r.name))) continue;
            if (!Owned(r.name)) Refuse(kLogCopyFiles, r, kNotWritten);
            else Add(TUndoKind::DeleteInstalledFile, r.name, r.name);
        }

        std::vector<std::string> keys;
        std::string registration;
        for (const TRecord& r : Records(log_, LogSectionName(kLogCreateKeys))) {
            if (!KeyOk(kLogCreateKeys, r, r.name)) continue;
            if (!verified_) Refuse(kLogCreateKeys, r, kNotVouched);
            else if (SameText(r.name, facts_.registrationKey)) registration = r.name;
            // Another key of the list of programs is an ordinary key here:
            // it goes only when empty.
            else keys.push_back(r.name);
        }
        DeepestFirst(keys);
        for (const std::string& key : keys) Add(TUndoKind::DeleteRegKey, key, key);
        struct TFolder {
            std::string path, record;
        };
        std::vector<TFolder> folders;
        for (const TRecord& r : Records(log_, LogSectionName(kLogCreateDirs))) {
            if (!FileOk(kLogCreateDirs, r)) continue;
            const std::string path = WithoutTrailingBackslash(r.name);
            // Without the registration only the log's own folder is the install's.
            if (!verified_ && !SameText(path, WithoutTrailingBackslash(facts_.installFolder)) &&
                !IsInFolder(path, facts_.installFolder))
                Refuse(kLogCreateDirs, r, kNotVouched);
            else
                folders.push_back({path, r.name});
        }
        std::stable_sort(folders.begin(), folders.end(),
                         [](const TFolder& a, const TFolder& b) { return Deeper(a.path, b.path); });
        for (const TFolder& folder : folders) Add(TUndoKind::RemoveFolder, folder.path, folder.record);
        if (!registration.empty()) {
            TUndoAction a{TUndoKind::DeleteRegKey, registration, {}, {}, registration};
            a.wholeKey = true;
            actions_.push_back(std::move(a));
        }
        return {std::move(actions_), std::move(refused_)};
    }

private:
    static std::string WithoutTrailingBackslash(std::string path) {
        while (path.size() > 3 && path.back() == '\\') path.pop_back();
        return path;
    }

    void Add(TUndoKind kind, const std::string& target, const std::string& record) {
        actions_.push_back({kind, target, {}, {}, record});
    }

    void Refuse(int kind, const TRecord& r, std::string_view reason) { Refuse(r, LogSectionName(kind), reason); }
    void Refuse(const TRecord& r, std::string_view section, std::string_view reason) {
        refused_.push_back("[" + std::string(section) + "] " + r.line + ": " + std::string(reason));
    }

    bool HasStamp(const std::string& path, std::string_view stamp) const {
        int64_t size = 0;
        uint64_t time = 0;
        return ParseFileStamp(stamp, size, time) && facts_.keepsStamp && facts_.keepsStamp(path, stamp);
    }

    // A file the install wrote: inside the folder of a log its registration
    // vouches for, or while it still has the size and time its [CopyFiles]
    // record gave it. Without the registration, the folder of the log proves
    // nothing: anyone may have put a log beside their own files.
    bool Owned(const std::string& path) const {
        if (verified_ && IsInFolder(path, facts_.installFolder)) return true;
        const int* at = stamps_.Find(AnsiUpperCase(path));
        return at != nullptr && HasStamp(path, (*copied_)[static_cast<size_t>(*at)].value);
    }

    bool FileOk(int kind, const TRecord& r) { return PathOk(kind, r, r.name); }

    bool PathOk(int kind, const TRecord& r, std::string_view pathIn) {
        const std::string path = WithoutTrailingBackslash(std::string(pathIn));
        const bool driveRoot = path.size() <= 3 && path.size() >= 2 && path[1] == ':';
        if (!driveRoot && !IsSafeLoggedPath(path)) {
            Refuse(kind, r, "not a full local path");
            return false;
        }
        // Never a drive, nor the system's own folders (what lies in them may go).
        if (driveRoot || SameText(path, folders_.windows) || SameText(path, folders_.system)) {
            Refuse(kind, r, "a folder of the system");
            return false;
        }
        return true;
    }

    bool KeyOk(int kind, const TRecord& r, const std::string& key) {
        const RegPath parsed = ParseRegPath(key);
        // A path without a known root would land under the user's own key.
        std::string_view whole = key;
        while (!whole.empty() && whole.back() == '\\') whole.remove_suffix(1);
        const bool rooted = parsed.subKey.size() < whole.size();
        if (!rooted || Trim(parsed.subKey).empty()) {
            Refuse(kind, r, rooted ? "a registry root" : "no registry root");
            return false;
        }
        return true;
    }

    static constexpr std::string_view kNotVouched = "the install's registration does not vouch for this log";
    static constexpr std::string_view kNotWritten = "not a file the install wrote, or changed since";

    const TLogSectionLines& log_;
    const TProtectedFolders& folders_;
    const TLogFacts& facts_;
    const bool verified_;
    NameIndex stamps_;
    const std::vector<TRecord>* copied_ = nullptr;
    std::vector<TUndoAction> actions_;
    std::vector<std::string> refused_;
};

}  // namespace

std::string_view RecordSection(TUndoKind kind) {
    switch (kind) {
        case TUndoKind::RunProgram: return "RunApp";
        case TUndoKind::DeleteShortcut: return LogSectionName(kLogShortcuts);
        case TUndoKind::UnregisterServer: return LogSectionName(kLogRegServers);
        case TUndoKind::RemoveFont: return LogSectionName(kLogRegFonts);
        case TUndoKind::ReleaseSharedFile: return LogSectionName(kLogSharedFiles);
        case TUndoKind::DeleteRegValue: return LogSectionName(kLogAddReg);
        case TUndoKind::DeleteIniKey: return LogSectionName(kLogAddIni);
        case TUndoKind::DeleteInstalledFile: return LogSectionName(kLogCopyFiles);
        case TUndoKind::DeleteRegKey: return LogSectionName(kLogCreateKeys);
        case TUndoKind::RemoveFolder: return LogSectionName(kLogCreateDirs);
    }
    return {};
}

bool IsUninstallRegistration(std::string_view keyPath) {
    return keyPath.size() > kUninstallList.size() && SameText(keyPath.substr(0, kUninstallList.size()), kUninstallList) &&
           keyPath.find('\\', kUninstallList.size()) == std::string_view::npos;
}

TUndoPlan BuildUndoPlan(const TLogSectionLines& log, const TProtectedFolders& protectedFolders,
                        const TLogFacts& facts) {
    return TPlanner(log, protectedFolders, facts).Build();
}

}  // namespace brik
