#include "install/Install.h"

#include <commctrl.h>

#include <type_traits>

#include "config/Settings.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "crypto/Password.h"
#include "install/ComServers.h"
#include "install/Fonts.h"
#include "install/FileCopy.h"
#include "install/FileOps.h"
#include "install/InstallContext.h"
#include "install/InstallLog.h"
#include "install/RegIniChanges.h"
#include "install/Programs.h"
#include "install/Rollback.h"
#include "install/Scripts.h"
#include "install/Shortcuts.h"
#include "install/Unpacker.h"
#include "ui/Dialogs.h"
#include "ui/Msg.h"
#include "ui/ProgressLink.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

constexpr DWORD kMessageMinimumMs = 750;

// The copy phase's thread while it runs, else 0.
DWORD CopyThreadId = 0;

// A step announced in the message window, which goes when the step is done.
template <typename Step>
auto Announced(int message, Step step) {
    ShowMessageWindow(GetMessageString(message), kMessageMinimumMs);
    if constexpr (std::is_void_v<decltype(step())>) {
        step();
        HideMessageWindow();
    } else {
        auto result = step();
        HideMessageWindow();
        return result;
    }
}

// Bytes the whole phase goes through, and bytes it needs on the target.
void ComputeSizes(const std::string& uninstaller, int64_t& overall, int64_t& required) {
    LoadFileCatalogue();
    overall = InstallState().PresetupBytes + CatalogueTotalBytes();
    required = CatalogueRequiredBytes();
    ForEachExternalFile([&](const std::string& path) {
        const int64_t size = GetFileSizeByFind(path);
        if (size > 0) {
            overall += size;
            required += size;
        }
        return true;
    });
    if (!uninstaller.empty()) {
        const int64_t size = GetFileSizeByFind(uninstaller);
        if (size > 0) required += size;
    }
}

}  // namespace

DWORD WINAPI CopyFilesThread(void*) {
    TInstallState& state = InstallState();
    // Let go without its dialog (the dialog could not be shown): nothing to do.
    if (state.AbortRequested) return 0;
    if (HWND dialog = ProgressDialog()) {
        for (const int bar : {107, 109}) {
            SendDlgItemMessageA(dialog, bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendDlgItemMessageA(dialog, bar, PBM_SETSTEP, 1, 0);
        }
    }
    bool ok = ExtractPackageFiles();
    if (ok && !state.AbortRequested) ok = CopyExternalFiles();
    // Not while the cancel question is open; not at all once it was answered Yes.
    if (!ok && !state.AbortRequested && !CopyFailureReported() && ProgressCheckpoint())
        ShowError(FormatMessageText(GetMessageString(11), CurrentTargetPath()));
    if (state.AbortRequested) ok = false;
    Sleep(100);
    FinishProgress();
    return ok ? 1 : 0;
}

bool OnCopyThread() { return CopyThreadId != 0 && GetCurrentThreadId() == CopyThreadId; }

void FailCopyThread(const char* message) {
    // The message lives in the raising frame, which is never left.
    if (ProgressCheckpoint()) ShowError(message);
    // The thread may have been called back from the library: what the library
    // was writing goes and its writers end before it is unloaded; the stack
    // frames inside it are never returned to.
    ReleaseActiveUnpacker();
    AbandonCopyPhase();
    FinishProgress();
    ExitThread(0);
}

namespace {

bool RunInstallSteps() {
    TInstallState& state = InstallState();
    const std::string& settings = ConfigPaths().SettingsFile;
    state.AbortRequested = false;

    const std::string checkHash = IniReadString(settings, kPasswordSection, kPswCheckHashKey, "");
    if (!CheckPassword(state.InstallPassword, checkHash)) {
        ShowError("Incorrect password has been specified!");
        return false;
    }

    // Trimmed once for every use: a folder name cannot end in blanks, and
    // the log must lie in the folder the files go to.
    SetPathVariable("InstallPath", ExpandVariables(GetVariable("InstallPath")));
    const std::string installPath = GetVariable("InstallPath");
    state.LogPath = installPath.empty() ? std::string() : installPath + "\\install.log";
    state.Logging = state.UninstallEnabled;
    BeginRollbackJournal(IniReadBool(settings, "Config", "RollbackOnFailure", true),
                         state.Logging ? state.LogPath : std::string());
    // A log already in the folder takes this install's records only when an
    // earlier install wrote it and nobody changed it since: this install's
    // digest would otherwise vouch for whatever was planted there.
    std::string previousRegistration;
    const bool previousLog = platform::FileExists(state.LogPath);
    const bool trusted = previousLog && CheckInstallLog(state.LogPath, &previousRegistration) == TLogTrust::Verified;
    if (previousLog && !trusted && state.Logging) {
        CloseIniFile(state.LogPath);
        DeleteFileForced(state.LogPath);
    }
    const bool removeOld = IniReadBool(settings, "Config", "RemoveOldReferences", false) && trusted;

    // The second step's text follows the first in the same window: each is
    // up for its minimum time, and the window does not blink in between.
    ShowMessageWindow(GetMessageString(2), kMessageMinimumMs);
    ReadInstallScripts(settings, ConfigPaths().SetupFolder, state.System,
                       ScriptLanguageOf(LanguageState().LanguageFile, LanguageState().LanguageCode), state.Lists);

    const std::string uninstaller = ConfigPaths().SetupFolder + "UnInst.exe";
    int64_t overall = 0;
    int64_t required = 0;
    FollowMessageWindow(GetMessageString(3), kMessageMinimumMs);
    ComputeSizes(state.UninstallEnabled && LogEnabled() && platform::FileExists(uninstaller) ? uninstaller
                                                                                             : std::string(),
                 overall, required);
    HideMessageWindow();
    const int64_t requiredKB =
        RequiredKilobytes(static_cast<uint64_t>(required), ParseNumber(IniReadString(settings, "Config", "ExtraDiskSpace", ""), 0));

    if (!installPath.empty()) {
        // The log is written in place, so a link standing in its name would
        // carry every record to wherever the link points.
        if (!LinkOnTheWay(state.LogPath, true).empty()) {
            ShowError(LinkRefusedText(state.LogPath, state.LogPath));
            return false;
        }
        ForceDirectoriesLogged(installPath);
        if (GetFreeDiskSpaceKB(installPath, !state.System.PlatformNT) < requiredKB) {
            ShowError(GetMessageString(4));
            return false;
        }
    }
    if (removeOld) Announced(16, [] { RemovePreviousReferences(); });
    if (!state.Lists.DeleteFileList.Empty()) {
        const bool deleted = DeleteListedFiles();
        HideMessageWindow();
        if (!deleted) return false;
    }

    // The copy phase: its thread starts when the progress dialog is up and
    // ends the dialog when it is done.
    BeginCopyPhase();
    CopyCounters().OverallTotal = overall;
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, CopyFilesThread, nullptr, CREATE_SUSPENDED, &threadId);
    if (thread == nullptr) {
        ShowError(FormatMessageText(GetMessageString(11), installPath));
        return false;
    }
    CopyThreadId = threadId;
    BeginProgress(thread, &state.AbortRequested);
    DialogSequence.assign(1, "DLG_PROGRESS");
    RunDialogSequence();
    DialogSequence.clear();
    if (!EndProgress()) {
        state.AbortRequested = true;
        ResumeThread(thread);
        WaitForSingleObject(thread, INFINITE);
    }
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    CopyThreadId = 0;
    // A cancel confirmed after the last file still cancels what follows.
    bool result = (exitCode & 0xFF) != 0 && !state.AbortRequested;

    if (result && state.UninstallEnabled && LogEnabled()) result = RegisterUninstall();
    if (result && !state.Lists.ComServerList.Empty()) result = Announced(8, [] { return RegisterComServers(); });
    if (result && (!state.Lists.RegAddList.Empty() || !state.Lists.RegDeleteList.Empty()))
        result = Announced(5, [] { return ApplyRegistryChanges(); });
    if (result && !state.Lists.IniAddList.Empty()) result = Announced(6, [] { return ApplyIniChanges(); });
    if (result && !state.Lists.FontList.Empty()) result = Announced(9, [] { return RegisterFonts(); });
    if (result && !state.Lists.ShortcutList.Empty()) result = Announced(7, [] { return CreateShortcuts(); });
    if (result && !state.Lists.UninstallSectionList.Empty()) CopyUninstallSections();
    if (result && !state.Lists.RunList.Empty()) {
        CloseAllIniFiles();
        RunPrograms();
    }
    // What was done is on record even if the program ends abruptly later;
    // the registration gets the digest of the log as it is now on disk. A
    // failed install that is taken back keeps neither.
    if (result || !state.Journal.Enabled()) FinishInstallLog();
    return result;
}

}  // namespace

bool RunInstall() {
    InstallState().Journal.Start(false);
    const bool result = RunInstallSteps();
    // A failed or cancelled install is taken back before the user hears
    // that it did not finish.
    if (result)
        CommitInstall();
    else
        RollBackInstall();
    return result;
}

}  // namespace brik
