#include "uninstall/Uninstaller.h"

#include <windows.h>

#include <algorithm>

#include "config/Common.h"
#include "config/kpIniFile.h"
#include "config/kpRegIni.h"
#include "install/InstallContext.h"
#include "install/LogFormat.h"
#include "install/Reboot.h"
#include "ui/Msg.h"
#include "uninstall/SelfRemoval.h"
#include "uninstall/Undo.h"
#include "uninstall/UninstallPlan.h"
#include "uninstall/UninstallWindow.h"
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
    explicit TUninstallRun(std::string log) : log_(std::move(log)), folder_(platform::ExtractFilePath(log_)) {}

    int Run() {
        // The folders the system names and the log's own folder are taken
        // as given; below them every name is the log's, and no record is
        // taken back through a link there (LinkOnTheWay).
        LoadVariablesFrom(SystemVariableSources(), {});
        SetPathVariable("InstallPath", folder_);
        const TLogSectionLines lines = [this](std::string_view section) {
            StringList values;
            IniReadSectionValues(log_, section, values);
            return values;
        };
        plan_ = BuildUndoPlan(lines, {platform::WindowsDirectory(), SystemDirectory()});
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

    // The name the install registered itself under; the install folder's
    // name when the registration is gone.
    std::string ProgramName() const {
        for (const TUndoAction& a : plan_.actions) {
            if (a.kind != TUndoKind::DeleteRegKey || !IsUninstallRegistration(a.target)) continue;
            const std::string name = RegReadString(a.target, "DisplayName", "");
            if (!name.empty()) return name;
        }
        std::string folder = folder_;
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        return folder.substr(folder.find_last_of("\\:") + 1);
    }

    // A folder of the install that holds nothing but files going at the
    // restart goes after them.
    TUndoResult RemoveFolderAfterRestart(const std::string& folder) {
        const auto pending = [this](const std::string& path) {
            return std::any_of(pending_.begin(), pending_.end(), [&path](const std::string& p) { return SameText(p, path); });
        };
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
        if (result == TUndoResult::AtRestart) pending_.push_back(item);
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
        return a.kind == TUndoKind::RemoveFolder || (a.kind == TUndoKind::DeleteRegKey && IsUninstallRegistration(a.target));
    }

    void TakeBackLast(size_t done, size_t total) {
        const std::string removing = Text(kTextRemoving);
        const bool complete = failures_ == 0;
        if (complete) {
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

    void KeepWhatIsLeftInLog() {
        TkpIniFile& log = GetIniFile(log_, false);
        for (const TUndoAction* a : forgotten_) {
            log.DeleteKey(RecordSection(a->kind), a->record);
            // A shared file and a font were logged as files too; their own
            // action took the file.
            if (a->kind == TUndoKind::ReleaseSharedFile || a->kind == TUndoKind::RemoveFont)
                log.DeleteKey(RecordSection(TUndoKind::DeleteInstalledFile), a->target);
        }
        // The programs of the uninstall ran; a second run does not run them again.
        log.EraseSection("RunApp");
        log.UpdateFile();
        CloseIniFile(log_);
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
    TUndoPlan plan_;
    std::string program_;
    std::string texts_[kTextLast + 1];
    TUninstallWindow window_;
    std::vector<std::string> report_;
    std::vector<std::string> pending_;  // paths that go at the next restart
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
        code = TUninstallRun(log).Run();
    }
    CloseAllIniFiles();
    if (arguments.originalProcess) RemoveCopyAtRestart();
    return code;
}

}  // namespace brik
