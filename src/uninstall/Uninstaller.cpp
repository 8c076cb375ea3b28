#include "uninstall/Uninstaller.h"

#include <windows.h>

#include <algorithm>

#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/LogFormat.h"
#include "install/Reboot.h"
#include "ui/Msg.h"
#include "uninstall/SelfRemoval.h"
#include "uninstall/Undo.h"
#include "uninstall/UninstallPlan.h"
#include "uninstall/UninstallWindow.h"
#include "util/NameIndex.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

constexpr char kMissing[] = "\x01";

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
    return length == 0 || length >= MAX_PATH ? path : std::string(full, length);
}

bool Readable(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// An install log has at least one section that an install writes.
bool IsInstallLog(const std::string& log) {
    StringList sections;
    IniReadSections(log, sections);
    for (const std::string& section : sections) {
        if (SameText(section, "Display")) return true;
        for (int kind = kLogCopyFiles; kind <= kLogSharedFiles; ++kind)
            if (SameText(section, LogSectionName(kind))) return true;
    }
    return false;
}

// What the reports call an action.
std::string Describe(const TUndoAction& a) {
    switch (a.kind) {
        case TUndoKind::DeleteRegValue: return a.target + "\\" + a.name;
        case TUndoKind::DeleteIniKey: return a.target + " [" + a.section + "] " + a.name;
        default: return a.target;
    }
}

class TUninstallRun {
public:
    TUninstallRun(std::string log, std::string registration)
        : log_(std::move(log)), folder_(platform::ExtractFilePath(log_)), registration_(std::move(registration)) {}

    int Run() {
        const TLogSectionLines lines = [this](std::string_view section) {
            StringList values;
            IniReadSectionValues(log_, section, values);
            return values;
        };
        const TLogFacts facts{folder_, registration_, [](const std::string& path, std::string_view stamp) {
                                  return FileKeepsStamp(path, stamp);
                              }};
        plan_ = BuildUndoPlan(lines, {platform::WindowsDirectory(), SystemDirectory()}, facts);
        program_ = ProgramName();
        ReadTexts();

        TUninstallLook look;
        look.titleFont = IniReadString(log_, "Display", "DialogTitleFont", "");
        const int32_t charset = IniReadInteger(log_, "Display", "Charset", DEFAULT_CHARSET);
        look.charset = charset >= 0 && charset <= 255 ? static_cast<BYTE>(charset) : BYTE{DEFAULT_CHARSET};
        const std::string bitmap = folder_ + "UnBrik.bmp";
        if (platform::FileExists(bitmap)) look.bitmapPath = bitmap;
        if (!window_.Create(look, Text(kTextCaption), program_)) {
            ShowError("Cannot create the uninstaller's window.");
            return 1;
        }

        bool present = false;
        for (const TUndoAction& a : plan_.actions) present = present || IsPresent(a);
        if (!present) {
            // What is left are the uninstaller's own traces: they go too.
            TakeBackLast(0, 1);
            window_.Finish(Text(kTextNothingLeft), RefusedLines(), Text(kTextOk));
            return 0;
        }
        if (!window_.Ask(Text(kTextQuestion), Text(kTextYes), Text(kTextNo))) return 0;

        TakeBack();
        window_.Finish(FinalText(), ReportLines(), Text(kTextOk));
        return 0;
    }

private:
    // The log's own texts are read before anything goes: the log itself goes
    // before the final word.
    void ReadTexts() {
        for (int n = 1; n <= kTextLast; ++n) {
            std::string text = IniReadString(log_, "Strings", IntToBase(n, 1, 10), kMissing);
            if (text != kMissing) texts_[n] = std::move(text);
        }
    }

    std::string Text(int number) const {
        const TTextLookup strings = [this](int n) -> std::optional<std::string> {
            if (n < 1 || n > kTextLast || texts_[n].empty()) return std::nullopt;
            return texts_[n];
        };
        return UninstallText(strings, number, program_);
    }

    // The name the install registered itself under, from the registration
    // that vouches for the log only; the install folder's name otherwise.
    std::string ProgramName() const {
        if (!registration_.empty()) {
            const std::string name = RegReadString(registration_, "DisplayName", "");
            if (!name.empty()) return name;
        }
        std::string folder = folder_;
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        return folder.substr(folder.find_last_of("\\:") + 1);
    }

    // A folder of the install that holds nothing but files going at the
    // restart goes after them.
    TUndoResult RemoveFolderAfterRestart(const std::string& folder) {
        const auto pending = [this](const std::string& path) { return pending_.Contains(AnsiUpperCase(path)); };
        if (!EveryFileBelow(folder, pending) || !ScheduleFolderRemovalOnReboot(folder)) return TUndoResult::Kept;
        return TUndoResult::AtRestart;
    }

    void Note(const TUndoAction& a, TUndoResult result) {
        if (result == TUndoResult::Done || result == TUndoResult::Absent) forgotten_.push_back(&a);
        Note(Describe(a), result);
    }

    void Note(const std::string& item, TUndoResult result) {
        if (result == TUndoResult::Failed) ++failures_;
        if (result == TUndoResult::AtRestart) restart_ = true;
        const int reason = result == TUndoResult::Kept ? kTextKept
                           : result == TUndoResult::AtRestart ? kTextAtRestart
                           : result == TUndoResult::Failed ? kTextFailed
                                                           : 0;
        if (reason) report_.push_back(item + " " + Text(reason));
        if (result == TUndoResult::AtRestart) pending_.TryEmplace(AnsiUpperCase(item), 0);
        if (result == TUndoResult::Kept) ++kept_;
    }

    void TakeBack() {
        const std::string removing = Text(kTextRemoving);
        const size_t total = plan_.actions.size() + 1;
        size_t done = 0;
        std::vector<std::string> stuckServers;
        for (const TUndoAction& a : plan_.actions) {
            if (ComesLast(a)) continue;
            window_.Progress(removing + "\r\n" + Describe(a), done++, total);
            // A server that would not unregister keeps its file: without it
            // its registration could never be taken back.
            if ((a.kind == TUndoKind::DeleteInstalledFile || a.kind == TUndoKind::ReleaseSharedFile) &&
                std::any_of(stuckServers.begin(), stuckServers.end(),
                            [&a](const std::string& server) { return SameText(server, a.target); }))
                continue;
            TUndoResult result = CarryOut(a);
            if (a.kind == TUndoKind::UnregisterServer && result == TUndoResult::Failed) stuckServers.push_back(a.target);
            // A file other programs still count on is theirs now.
            if (a.kind == TUndoKind::ReleaseSharedFile && result == TUndoResult::Kept) result = TUndoResult::Done;
            Note(a, result);
        }
        CloseAllIniFiles();
        TakeBackLast(done, total);
        // With something left that failed, the log, the uninstaller and the
        // registration stay, so that the user can start it again; the log
        // then holds only what is left, so that a second run does nothing
        // twice (a shared file's count above all).
        if (failures_) KeepWhatIsLeftInLog();
        window_.Progress(removing, total, total);
    }

    // Folders and the registration wait until the uninstaller's own files
    // are gone.
    static bool ComesLast(const TUndoAction& a) {
        return a.kind == TUndoKind::RemoveFolder || (a.kind == TUndoKind::DeleteRegKey && a.wholeKey);
    }

    void TakeBackLast(size_t done, size_t total) {
        const std::string removing = Text(kTextRemoving);
        const bool complete = failures_ == 0;
        // A log no registration vouches for may lie among files of anyone's:
        // it and what stands beside it stay.
        if (complete && !registration_.empty()) {
            window_.Progress(removing + "\r\n" + log_, done++, total);
            RemoveOwnFiles();
        }
        for (const TUndoAction& a : plan_.actions) {
            if (!ComesLast(a) || (!complete && a.kind == TUndoKind::DeleteRegKey)) continue;
            window_.Progress(removing + "\r\n" + Describe(a), done++, total);
            TUndoResult result = CarryOut(a);
            if (result == TUndoResult::Kept && a.kind == TUndoKind::RemoveFolder) result = RemoveFolderAfterRestart(a.target);
            Note(a, result);
        }
    }

    // One pass over the log, whatever its size: each record taken back is
    // looked up in a set, never searched for in the log one by one.
    void KeepWhatIsLeftInLog() {
        const auto recordKey = [](std::string_view section, std::string_view record) {
            return AnsiUpperCase(section) + '\n' + AnsiUpperCase(Trim(record));
        };
        NameIndex gone;
        gone.Reserve(forgotten_.size() * 2);
        for (const TUndoAction* a : forgotten_) {
            gone.TryEmplace(recordKey(RecordSection(a->kind), a->record), 0);
            // A shared file and a font were logged as files too; their own
            // action took the file.
            if (a->kind == TUndoKind::ReleaseSharedFile || a->kind == TUndoKind::RemoveFont)
                gone.TryEmplace(recordKey(RecordSection(TUndoKind::DeleteInstalledFile), a->target), 0);
        }
        TkpIniFile& log = GetIniFile(log_, false);
        StringList sections;
        log.ReadSections(sections);
        // Every section is written anew in its order, so that the log keeps it.
        for (const std::string& section : sections) {
            StringList lines, kept;
            log.ReadSectionValues(section, lines);
            log.EraseSection(section);
            // The programs of the uninstall ran; a second run does not run them again.
            if (SameText(section, "RunApp")) continue;
            kept.reserve(lines.size());
            for (std::string& line : lines) {
                const std::string_view name = Trim(std::string_view(line).substr(0, line.find('=')));
                if (!name.empty() && !gone.Contains(recordKey(section, name))) kept.push_back(std::move(line));
            }
            log.WriteSectionValues(section, kept);
        }
        log.UpdateFile();
        CloseIniFile(log_);
        // The registration's digest follows the log it now vouches for.
        if (!registration_.empty()) StoreLogDigest(log_, registration_);
    }

    // The log and what the install put beside it without a record: the
    // uninstaller and its bitmap.
    void RemoveOwnFiles() {
        for (const std::string& path : {folder_ + "UnBrik.bmp", folder_ + "UnInst.exe", log_}) {
            CloseIniFile(path);
            Note(path, CarryOut({TUndoKind::DeleteInstalledFile, path, {}, {}, {}}));
        }
    }

    std::string FinalText() const {
        std::string text = Text(failures_ || kept_ || !plan_.refused.empty() ? kTextNotAll : kTextRemoved);
        if (restart_) text += "\r\n" + Text(kTextRestart);
        return text;
    }

    std::string RefusedLines() const {
        std::string lines;
        for (const std::string& line : plan_.refused) lines += Text(kTextRefused) + " " + line + "\r\n";
        return lines;
    }

    std::string ReportLines() const {
        std::string lines;
        for (const std::string& line : report_) lines += line + "\r\n";
        return lines + RefusedLines();
    }

    const std::string log_;
    const std::string folder_;
    const std::string registration_;  // the one that vouches for the log; empty: none
    TUndoPlan plan_;
    std::string program_;
    std::string texts_[kTextLast + 1];
    TUninstallWindow window_;
    std::vector<std::string> report_;
    NameIndex pending_;  // upper-case paths that go at the next restart
    std::vector<const TUndoAction*> forgotten_;  // taken back, or found gone
    int failures_ = 0;
    int kept_ = 0;
    bool restart_ = false;
};

}  // namespace

int RunUninstaller(const TUninstallArguments& arguments) {
    InstallState().System.PlatformNT = (GetVersion() & 0x80000000u) == 0;
    // Nothing of the install may be the current folder: it could not go.
    const std::string systemFolder = SystemDirectory();
    SetCurrentDirectoryA(systemFolder.c_str());
    if (arguments.originalProcess) WaitForOriginal(arguments.originalProcess);

    const TTextLookup none;
    int code = 1;
    const std::string log = arguments.logPath.empty() ? std::string() : FullPath(arguments.logPath);
    if (!Readable(log)) {
        ShowError(UninstallText(none, kTextLogMissing, arguments.logPath));
    } else if (!IsInstallLog(log)) {
        ShowError(UninstallText(none, kTextNotALog, log));
    } else if (arguments.originalProcess == 0 && HandOverToCopy(log)) {
        return 0;
    } else {
        // Only a log the install wrote, unchanged since, acts in full; a
        // changed one, or one where other users could have put it, not at all.
        std::string registration;
        const TLogTrust trust = CheckInstallLog(log, &registration);
        // The refusal in the install's language: a text cannot remove anything.
        const TTextLookup logTexts = [&log](int n) -> std::optional<std::string> {
            std::string text = IniReadString(log, "Strings", IntToBase(n, 1, 10), "");
            if (text.empty()) return std::nullopt;
            return text;
        };
        if (trust == TLogTrust::Changed)
            ShowError(UninstallText(logTexts, kTextLogChanged));
        else if (trust == TLogTrust::OpenFolder)
            ShowError(UninstallText(logTexts, kTextOpenFolder, log));
        else
            code = TUninstallRun(log, trust == TLogTrust::Verified ? registration : std::string()).Run();
    }
    CloseAllIniFiles();
    if (arguments.originalProcess) RemoveCopyAtRestart();
    return code;
}

}  // namespace brik
