#include "uninstall/UninstallPlan.h"

#include <algorithm>

#include "config/RegPath.h"
#include "install/LogFormat.h"
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

bool Contains(const std::vector<std::string>& paths, std::string_view path) {
    for (const std::string& p : paths)
        if (SameText(p, path)) return true;
    return false;
}

class TPlanner {
public:
    TPlanner(const TLogSectionLines& log, const TProtectedFolders& folders) : log_(log), folders_(folders) {}

    TUndoPlan Build() {
        for (const TRecord& r : Records(log_, "RunApp"))
            if (!r.value.empty()) actions_.push_back({TUndoKind::RunProgram, r.value, {}, {}, r.name});
        for (const TRecord& r : Records(log_, LogSectionName(kLogShortcuts)))
            if (FileOk(kLogShortcuts, r)) Add(TUndoKind::DeleteShortcut, r.name, r.name);
        for (const TRecord& r : Records(log_, LogSectionName(kLogRegServers)))
            if (FileOk(kLogRegServers, r)) Add(TUndoKind::UnregisterServer, r.name, r.name);
        // A font's file and a shared file are gone with their own actions.
        std::vector<std::string> handled;
        for (const TRecord& r : Records(log_, LogSectionName(kLogRegFonts))) {
            if (r.name.empty()) {
                Refuse(kLogRegFonts, r, "no font name");
            } else if (PathOk(kLogRegFonts, r, r.value)) {
                actions_.push_back({TUndoKind::RemoveFont, r.value, {}, r.name, r.name});
                handled.push_back(r.value);
            }
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogSharedFiles))) {
            if (FileOk(kLogSharedFiles, r)) {
                Add(TUndoKind::ReleaseSharedFile, r.name, r.name);
                handled.push_back(r.name);
            }
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogAddReg))) {
            std::string key, value;
            SplitRegValuePath(r.name, key, value);
            if (KeyOk(kLogAddReg, r, key)) actions_.push_back({TUndoKind::DeleteRegValue, key, {}, value, r.name});
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogAddIni))) {
            const std::string file(Trim(FieldAt(1, r.name, ",")));
            const std::string section(Trim(FieldAt(2, r.name, ",")));
            const std::string key(Trim(FieldAt(3, r.name, ",")));
            if (section.empty() || key.empty())
                Refuse(kLogAddIni, r, "not a file, section and key");
            else if (PathOk(kLogAddIni, r, file))
                actions_.push_back({TUndoKind::DeleteIniKey, file, section, key, r.name,
                                    SameText(Trim(FieldAt(4, r.name, ",")), kIniNewSection)});
        }
        for (const TRecord& r : Records(log_, LogSectionName(kLogCopyFiles)))
            if (FileOk(kLogCopyFiles, r) && !Contains(handled, r.name))
                Add(TUndoKind::DeleteInstalledFile, r.name, r.name);

        std::vector<std::string> keys, registration;
        for (const TRecord& r : Records(log_, LogSectionName(kLogCreateKeys)))
            if (KeyOk(kLogCreateKeys, r, r.name)) (IsUninstallRegistration(r.name) ? registration : keys).push_back(r.name);
        DeepestFirst(keys);
        for (const std::string& key : keys) Add(TUndoKind::DeleteRegKey, key, key);
        struct TFolder {
            std::string path, record;
        };
        std::vector<TFolder> folders;
        for (const TRecord& r : Records(log_, LogSectionName(kLogCreateDirs)))
            if (FileOk(kLogCreateDirs, r)) folders.push_back({WithoutTrailingBackslash(r.name), r.name});
        std::stable_sort(folders.begin(), folders.end(),
                         [](const TFolder& a, const TFolder& b) { return Deeper(a.path, b.path); });
        for (const TFolder& folder : folders) Add(TUndoKind::RemoveFolder, folder.path, folder.record);
        for (const std::string& key : registration) Add(TUndoKind::DeleteRegKey, key, key);
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

    void Refuse(int kind, const TRecord& r, std::string_view reason) {
        refused_.push_back("[" + std::string(LogSectionName(kind)) + "] " + r.line + ": " + std::string(reason));
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

    const TLogSectionLines& log_;
    const TProtectedFolders& folders_;
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

TUndoPlan BuildUndoPlan(const TLogSectionLines& log, const TProtectedFolders& protectedFolders) {
    return TPlanner(log, protectedFolders).Build();
}

}  // namespace brik
