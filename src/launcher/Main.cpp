#include "launcher/Main.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "config/Common.h"
#include "config/kpIniFile.h"
#include "install/Reboot.h"
#include "launcher/MainWindow.h"
#include "launcher/Presetup.h"
#include "install/Install.h"
#include "install/Programs.h"
#include "install/Unpacker.h"
#include "ui/BackgroundLayout.h"
#include "ui/Dialogs.h"
#include "ui/Logo.h"
#include "ui/Msg.h"
#include "ui/UrlLink.h"
#include "ui/kpGraphUtils.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"
#include "util/kpSysUtils.h"

namespace brik {

namespace {

TRunContext* g_run = nullptr;


// A bitmap the settings name among the setup files; a name that would lead
// out of the setup folder is no bitmap.
HBITMAP LoadSetupBitmap(const std::string& name) {
    if (name.empty() || !IsSafeRelativePath(name)) return nullptr;
    const std::string path = Run().paths.SetupFolder + name;
    return static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

// EnumSystemLocalesA passes no context to its callback.
bool gLocaleSearchNT = false;

std::string LocaleAbbreviation(LCID locale, bool wide) {
    char text[16] = {};
    if (wide) {
        WCHAR name[16] = {};
        if (GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, name, 16) == 0) return {};
        if (WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr) == 0) return {};
    } else if (GetLocaleInfoA(locale, LOCALE_SABBREVLANGNAME, text, sizeof text) == 0) {
        return {};
    }
    return text;
}

BOOL CALLBACK OnInstalledLocale(LPSTR text) {
    const auto locale = static_cast<LCID>(std::strtoul(text, nullptr, 16));
    const std::string abbreviation = LocaleAbbreviation(locale, gLocaleSearchNT);
    if (abbreviation.empty()) return TRUE;
    for (std::string& entry : Run().LanguageList) {
        if (!SameText(NamePart(entry), abbreviation)) continue;
        char name[101] = {};
        if (GetLocaleInfoA(locale, LOCALE_SLANGUAGE, name, sizeof name) == 0) name[0] = '\0';
        // The entry takes the system's spelling of the code as well.
        entry = abbreviation + "=" + name;
    }
    return TRUE;
}

struct FontSetting {
    const char* key;
    const char* defaultValue;
    LOGFONTA* font;
    COLORREF* colour;
};

void ReadDisplaySettings(TRunContext& run) {
    TDisplaySettings& d = run.DisplaySettings;
    const std::string& settings = run.paths.SettingsFile;
    auto flag = [&](const char* key, bool defaultValue) {
        return IniReadBool(settings, "Display", key, defaultValue);
    };
    auto colour = [&](const char* key, int32_t defaultValue) {
        return ResolveColor(static_cast<DWORD>(IniReadInteger(settings, "Display", key, defaultValue)));
    };
    TDialogDisplay& dialogs = run.dialogs;
    d.ShowMainTitle = flag("ShowMainTitle", true);
    dialogs.ShowDialogTitle = flag("ShowDialogTitle", true);
    dialogs.ShowMainWindow = flag("ShowMainWindow", false);
    d.MainTitleShadow = flag("MainTitleShadow", false);
    d.MainTitleShadowColor = colour("MainTitleShadowColor", 0xC0C0C0);
    dialogs.DialogTitleShadow = flag("DialogTitleShadow", true);
    dialogs.DialogTitleShadowColor = colour("DialogTitleShadowColor", 0xC0C0C0);

    const std::string position = IniReadString(settings, "Display", "DialogPosition", "1,1");
    dialogs.PositionX = ParseNumber(FieldAt(1, position, ","), 1);
    dialogs.PositionY = ParseNumber(FieldAt(2, position, ","), 1);

    const std::string background = IniReadString(settings, "Display", "BackgroundBitmap", "");
    d.BackgroundBitmap = LoadSetupBitmap(background);

    COLORREF ignored = 0;
    const FontSetting fonts[] = {
        {"MainTitleFont", "Times New Roman,30,$FF0000,B", &MainTitleFont, &d.MainTitleColor},
        {"DialogFont", "MS Sans Serif,8", &DialogFont, &ignored},
        {"DialogTitleFont", "Times New Roman,20,$FF5C5C,B", &DialogTitleFont, &dialogs.DialogTitleColor},
    };
    for (const FontSetting& f : fonts) {
        std::string text = IniReadString(settings, "Display", f.key, "");
        if (text.empty()) text = f.defaultValue;
        const TFontDescription description = ParseFontDescription(text);
        *f.font = MakeLogFont(description.Name, description.Size, description.Style);
        *f.colour = ResolveColor(description.Color);
    }
    run.ui.dialogFont = DialogFont;

    dialogs.InstallPathExistWarning = flag("InstallPathExistWarning", true);
    dialogs.Languages = &run.LanguageList;
    // The system's window colour unless the settings name another.
    dialogs.LicenseBackColor = colour("LicenseBackColor", static_cast<int32_t>(0x80000005u));
    dialogs.ReadmeBackColor = colour("ReadmeBackColor", static_cast<int32_t>(0x80000005u));
}

void LoadStaticBitmaps(TRunContext& run) {
    StringList lines;
    IniReadSectionValues(run.paths.SettingsFile, "StaticBitmap", lines);
    for (std::string& line : lines) {
        HBITMAP bitmap = LoadSetupBitmap(ParseStaticBitmap(ValuePart(line)).file);
        run.StaticBitmaps.push_back({std::move(line), bitmap});
    }
}

// What the run holds of the system beyond its context.
HMODULE RichEditLibrary = nullptr;

// The way out of every run, the normal ones and the abort of a raised error.
// keepLogoMinimum is false on the abort: nothing may be dispatched then.
void CleanUpRun(bool keepLogoMinimum) {
    TRunContext& run = Run();
    if (RichEditLibrary != nullptr) FreeLibrary(RichEditLibrary);
    RichEditLibrary = nullptr;
    // A file that cannot be written back loses its changes.
    CloseAllIniFiles();
    for (TStaticBitmap& entry : run.StaticBitmaps)
        if (entry.bitmap != nullptr) DeleteObject(entry.bitmap);
    run.StaticBitmaps.clear();
    if (run.DisplaySettings.BackgroundBitmap != nullptr) DeleteObject(run.DisplaySettings.BackgroundBitmap);
    run.DisplaySettings.BackgroundBitmap = nullptr;
    run.LanguageList.clear();
    DialogSequence.clear();
    HideLogo(keepLogoMinimum);
    DestroyMessageWindow();
    if (run.ui.mainWindow != nullptr) {
        ShowWindow(run.ui.mainWindow, SW_HIDE);
        DestroyWindow(run.ui.mainWindow);
    }
    run.ui.mainWindow = nullptr;
    run.ui.messageOwner = nullptr;
    // Loaded from the resources, shared: nothing to destroy.
    run.MainIcon = nullptr;
}

class RunCleanup {
public:
    RunCleanup() = default;
    RunCleanup(const RunCleanup&) = delete;
    RunCleanup& operator=(const RunCleanup&) = delete;
    ~RunCleanup() { CleanUpRun(true); }
};

// Kept from the start so that the report of a failed allocation has memory
// to work with.
void* EmergencyReserve = nullptr;

// A raised error ends the run as an exception caught at the process entry
// would: what the run holds is released (the unpack library first, so that
// its file can go), the message is shown once, the folders are deleted.
// Nothing is dispatched before the message: the state is broken.
//
// The abort is a list of steps, each begun once. A step that faults in turn
// (a library that faults again when it is closed) comes back here, and the
// next step goes on, so that the run still ends with its folder deleted and
// exit code 0.
[[noreturn]] void AbortRun(const char* message);

// A fault during the abort is not handed to the process-wide filter again
// (the system treats it as a nested exception and ends the process), so the
// abort puts a handler frame of its own on the stack, the classic x86 way:
// the fault comes back to the abort, which goes on with its next step.
struct TAbortFrame {
    TAbortFrame* next;
    void* handler;
};

extern "C" EXCEPTION_DISPOSITION __cdecl OnFaultDuringAbort(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
    // Unwinding passes by on its way to an outer frame: not ours to stop.
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) return ExceptionContinueSearch;
    AbortRun(nullptr);
}

[[noreturn]] void AbortRun(const char* message) {
    static int entries = 0;
    static int nextStep = 0;
    // The message may live in memory that the clean-up frees.
    static char text[1024];
    if (entries++ == 0) lstrcpynA(text, message != nullptr ? message : "", sizeof text);
    if (entries > 16) ExitProcess(0);
    // Stays registered: this frame is never left.
    TAbortFrame frame{nullptr, reinterpret_cast<void*>(&OnFaultDuringAbort)};
    asm volatile("movl %%fs:0, %0" : "=r"(frame.next));
    asm volatile("movl %0, %%fs:0" : : "r"(&frame) : "memory");
    for (;;) {
        switch (nextStep++) {
            case 0:
                std::free(EmergencyReserve);
                EmergencyReserve = nullptr;
                break;
            case 1:
            case 2:  // once more after a library that faulted on closing: now it is only freed
                ReleaseActiveUnpacker();
                break;
            case 3:
                DestroyInitWindow();
                break;
            case 4:
                CleanUpRun(false);
                break;
            case 5:
                ShowError(text);
                break;
            case 6:
                if (g_run != nullptr && !g_run->paths.SetupFolder.empty())
                    DeleteFolderTree(g_run->paths.SetupFolder, true);
                break;
            default:
                ExitProcess(0);
        }
    }
}

// An error raised on the copy phase's thread fails the phase as any of its
// failures does, and the run ends as not finished; anywhere else it ends the
// run here.
[[noreturn]] void OnRaised(const char* message) {
    // Once: an error raised while the thread ends ends the run.
    static bool copyThreadFailing = false;
    if (OnCopyThread() && !std::exchange(copyThreadFailing, true)) FailCopyThread(message);
    AbortRun(message);
}

// Failed allocations (here or in the unpack library), the C++ library's own
// errors and faults all end up here rather than in the system's crash box.
LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    AbortRun(code == static_cast<DWORD>(STATUS_NO_MEMORY) ? "Out of memory" : "Unexpected error");
}

// The common controls come from the system folder by full path: imported,
// the library would be looked for beside the setup program first.
void InitCommonControlsFromSystem() {
    using InitCommonControlsFn = void(WINAPI*)();
    if (auto init = SystemProc<InitCommonControlsFn>(LoadSystemLibrary("comctl32.dll"), "InitCommonControls"))
        init();
}

// A language change as the windows of the run see it: the message boxes
// take the new title, the background its caption and, when the title it
// draws changed, a redraw.
void OnLanguageChanged(const TLanguageChange& change) {
    UiRunState& ui = Run().ui;
    ui.captionName = change.ProgramTitle;
    // The message window's font follows the language's character set.
    ui.dialogFont = DialogFont;
    if (ui.mainWindow == nullptr) return;
    SetWindowTextA(ui.mainWindow, change.Caption.c_str());
    if (change.TitleChanged) RedrawWindow(ui.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

}  // namespace

TRunContext& Run() {
    // Outside a run (tools, tests) a context of the module's own.
    static TRunContext ownRun;
    return g_run != nullptr ? *g_run : ownRun;
}

TOSVersion ReadOSVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return MakeOSVersion(kPlatformWin32s, 0, 0, 0, "");
    info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
    return MakeOSVersion(static_cast<int>(info.dwPlatformId), static_cast<int>(info.dwMajorVersion),
                         static_cast<int>(info.dwMinorVersion), static_cast<int>(info.dwBuildNumber),
                         info.szCSDVersion);
}

void BuildLanguageList() {
    TRunContext& run = Run();
    run.LanguageList.clear();
    for (const std::string& code :
         SplitLanguageCodes(IniReadString(run.paths.SettingsFile, "Config", "Languages", "")))
        run.LanguageList.push_back(code + "=");
    gLocaleSearchNT = run.OSVersion.IsNT();
    EnumSystemLocalesA(OnInstalledLocale, LCID_INSTALLED);
    for (std::string& entry : run.LanguageList) {
        if (!ValuePart(entry).empty()) continue;
        const std::string code(NamePart(entry));
        entry = code + "=" + IniReadString(run.paths.SetupFolder + code + ".lng", "Strings", "LanguageName", code);
    }
    if (run.LanguageList.empty()) run.LanguageList.push_back("ENU=English (USA)");
}

std::string InitialLanguage() {
    char user[4] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, user, sizeof user) == 0) user[0] = '\0';
    return ChooseLanguage(Run().LanguageList, user,
                          IniReadBool(Run().paths.SettingsFile, "Config", "AutoSelectLanguage", true));
}

bool RunPreRunApps() {
    StringList lines;
    IniReadSectionValues(Run().paths.SettingsFile, "PreRunApp", lines);
    for (const std::string& line : lines) {
        if (RunProgram(ExpandText(ValuePart(line)), true, false) != 0) return false;
    }
    return true;
}

bool RunSetup() {
    TRunContext& run = Run();
    const std::string& settings = run.paths.SettingsFile;

    // The engine's switches and the run state.
    UseSetupFileReading();
    run.paths.SetupExePath = ModulePath();
    AskBeforeCancel = true;
    InitCommonControlsFromSystem();
    RegisterUrlLinkClass();
    run.MainIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    run.paths.SettingsFile = run.paths.SetupFolder + "Brik.ini";
    run.install.RebootPending = false;
    run.install.InstallPassword.clear();
    SetLanguageChangedHook(OnLanguageChanged);
    SetExpandErrorHandler([](const std::string& message) { ShowError(message); });
    RunCleanup cleanup;

    // The hidden background window and the logo.
    run.ui.mainWindow = CreateMainWindow(run.MainIcon);
    if (run.ui.mainWindow == nullptr) {
        ShowError("Can't create main window!");
        return false;
    }
    run.ui.messageOwner = run.ui.mainWindow;
    DialogFont = MakeLogFont("MS Sans Serif", 8, 0);
    run.ui.dialogFont = DialogFont;
    ShowLogo();

    // The package and the setup files.
    if (!CheckPackageSize(run.paths.SetupExePath)) {
        ShowError("Invalid package size!\rThis package has been corrupted, installation impossible.");
        return false;
    }
    if (!WriteUnpackLibrary(run.paths.SetupFolder)) {
        ShowError("Can't extract UNPACK.DLL");
        return false;
    }
    RichEditLibrary = LoadSystemLibrary("riched32.dll");
    if (!ExtractPresetup(run)) {
        ShowError("Can't extract presetup files!");
        return false;
    }
    HideLogo();
    SetInitialProgramTitle("Setup");
    run.install.PresetupBytes = ReadPresetupSize(run.paths.SetupExePath);

    // Settings, display, languages.
    run.install.UninstallEnabled = IniReadBool(settings, "Config", "Uninstall", false) &&
                                   platform::FileExists(run.paths.SetupFolder + "UnInst.exe");
    const bool checkAdminRights = IniReadBool(settings, "Config", "CheckAdminRights", false);
    run.install.RebootPending = IniReadBool(settings, "Config", "NeedReboot", false);
    ReadDisplaySettings(run);
    LoadStaticBitmaps(run);
    BuildLanguageList();
    SetLanguage(InitialLanguage());
    run.ui.dialogFont = DialogFont;

    // Refusals: the system, a running copy, the user's rights.
    if (!IsOSSupported(IniReadString(settings, "Config", "SupportedOS", ""), run.OSVersion)) {
        ShowWarning(GetMessageString(13));
        return false;
    }
    const std::string minOSVersion = IniReadString(settings, "Config", "MinOSVersion", "");
    if (!MeetsMinOSVersion(minOSVersion, run.OSVersion)) {
        ShowWarning(FormatMessageText(GetMessageString(14), minOSVersion));
        return false;
    }
    const std::string checkWindow = IniReadString(settings, "Config", "CheckWindow", "");
    if (!checkWindow.empty() && FindWindowA(nullptr, checkWindow.c_str()) != nullptr) {
        ShowWarning(GetMessageString(15));
        return false;
    }
    const std::string checkMutex = IniReadString(settings, "Config", "CheckMutex", "");
    if (!checkMutex.empty()) {
        if (HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, checkMutex.c_str())) {
            CloseHandle(mutex);
            ShowWarning(GetMessageString(15));
            return false;
        }
    }
    if (checkAdminRights && !IsUserAdmin(run.OSVersion.IsNT(), SystemTokenApi())) {
        ShowWarning(GetMessageString(10));
        return false;
    }

    // The background, the pre-run programs, fresh variables.
    if (run.dialogs.ShowMainWindow) {
        ShowWindow(run.ui.mainWindow, SW_SHOWMAXIMIZED);
        RedrawWindow(run.ui.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    PumpMessages();
    // Later reads see the settings files as they are on disk now.
    CloseAllIniFiles();
    if (!RunPreRunApps()) return false;
    LoadVariables();

    // The dialogs and the install.
    DialogSequence = SplitDialogSequence(GetSetting("Config", "PreInstallDialogSequence", ""));
    bool result = RunDialogSequence();
    if (result) {
        result = RunInstall();
        if (result) {
            DialogSequence = SplitDialogSequence(GetSetting("Config", "PostInstallDialogSequence", ""));
            if (run.install.RebootPending) DialogSequence.push_back("DLG_REBOOT");
            result = RunDialogSequence();
        }
    }
    // The final dialog.
    if ((!run.install.RebootPending || !result) && IniReadBool(settings, "Display", "ShowFinalDialog", true)) {
        AskBeforeCancel = false;
        DialogSequence.assign(1, result ? "DLG_FINISH" : "DLG_NOTFINISH");
        RunDialogSequence();
    }
    return result;
}

int RunProcess() {
    // Before anything can load a library by name.
    HardenLibrarySearch();
    TRunContext run;
    g_run = &run;
    BindConfigPaths(&run.paths);
    BindUiState(&run.ui);
    BindInstallState(&run.install);
    BindDialogDisplay(&run.dialogs);
    // What the wizard decides goes straight into the install's view.
    run.dialogs.InstallPassword = &run.install.InstallPassword;
    run.dialogs.RebootPending = &run.install.RebootPending;

    EmergencyReserve = std::malloc(256 * 1024);
    SetFatalHandler(OnRaised);
    SetUnhandledExceptionFilter(UnhandledFilter);
    std::srand(GetTickCount());
    run.OSVersion = ReadOSVersion();
    // The install chooses its scripts and its way of replacing files in use by it.
    run.install.System = {run.OSVersion.IsNT(), run.OSVersion.Major, run.OSVersion.OsKind};
    run.paths.SetupExePath = ModulePath();
    run.paths.SetupFolder = CreateUniqueFolder(TempPath(run.OSVersion.Is9x()));
    run.install.ScratchFolder =
        run.paths.SetupFolder.empty() ? std::string() : CreateUniqueFolder(run.paths.SetupFolder);
    if (run.install.ScratchFolder.empty()) {
        // Nothing may be written to a folder this run did not make: another
        // user could have prepared it.
        ShowError("Can't create temporary folder!");
        if (!run.paths.SetupFolder.empty()) DeleteFolderTree(run.paths.SetupFolder, true);
        g_run = nullptr;
        return 0;
    }
    // The shell's link object needs COM on this thread.
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    const bool result = RunSetup();
    if (com) CoUninitialize();
    DeleteFolderTree(run.paths.SetupFolder, true);
    if (result && run.install.RebootPending) RestartWindows(false);
    BindDialogDisplay(nullptr);
    BindInstallState(nullptr);
    BindUiState(nullptr);
    BindConfigPaths(nullptr);
    g_run = nullptr;
    return 0;
}

}  // namespace brik

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return brik::RunProcess(); }
