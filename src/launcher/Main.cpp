#include "launcher/Main.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <type_traits>

#include "config/Common.h"
#include "config/kpIniFile.h"
#include "launcher/MainWindow.h"
#include "launcher/Presetup.h"
#include "launcher/Provisional.h"
#include "launcher/Unpacker.h"
#include "ui/Logo.h"
#include "ui/Msg.h"
#include "ui/kpGraphUtils.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

std::string SetupExePath;
std::string SetupFolder;
std::string ScratchFolder;
std::string SettingsFile;
HWND MainWindow = nullptr;
bool RebootPending = false;
bool UninstallEnabled = false;
std::string InstallPassword;
StringList LanguageList;
TOSVersion OSVersion;
HICON MainIcon = nullptr;
std::vector<TStaticBitmap> StaticBitmaps;
TDisplaySettings DisplaySettings;

namespace {

std::string BufferText(const char* buffer, DWORD length, DWORD capacity) {
    return length > 0 && length < capacity ? std::string(buffer, length) : std::string();
}

std::string SystemDirectory() {
    char buffer[MAX_PATH + 1];
    return BufferText(buffer, GetSystemDirectoryA(buffer, sizeof buffer), sizeof buffer);
}

std::string ModulePath() {
    char buffer[MAX_PATH + 1];
    return BufferText(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer), sizeof buffer);
}

// The first "%s" of a message filled in; nothing else in it is a format.
std::string FormatMessageText(const std::string& text, const std::string& argument) {
    const size_t at = text.find("%s");
    if (at == std::string::npos) return text;
    return text.substr(0, at) + argument + text.substr(at + 2);
}

HBITMAP LoadBitmapFile(const std::string& path) {
    return static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

bool DeleteContents(const std::string& folder, bool removeFolders) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        // Only the folder's own entries are passed over: a file or folder
        // whose name merely starts with a point (".settings") is deleted
        // too, or the setup folder would stay behind with it.
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        const std::string path = folder + "\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction is removed, never followed out of the tree.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                ok = DeleteContents(path, removeFolders) && ok;
            if (removeFolders) ok = RemoveDirectoryA(path.c_str()) != 0 && ok;
        } else {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            ok = DeleteFileA(path.c_str()) != 0 && ok;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return ok;
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
    for (std::string& entry : LanguageList) {
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

void ReadDisplaySettings() {
    TDisplaySettings& d = DisplaySettings;
    auto flag = [](const char* key, bool defaultValue) {
        return IniReadBool(SettingsFile, "Display", key, defaultValue);
    };
    auto colour = [](const char* key, int32_t defaultValue) {
        return ResolveColor(static_cast<DWORD>(IniReadInteger(SettingsFile, "Display", key, defaultValue)));
    };
    d.ShowMainTitle = flag("ShowMainTitle", true);
    d.ShowDialogTitle = flag("ShowDialogTitle", true);
    d.ShowMainWindow = flag("ShowMainWindow", false);
    d.MainTitleShadow = flag("MainTitleShadow", false);
    d.MainTitleShadowColor = colour("MainTitleShadowColor", 0xC0C0C0);
    d.DialogTitleShadow = flag("DialogTitleShadow", true);
    d.DialogTitleShadowColor = colour("DialogTitleShadowColor", 0xC0C0C0);

    const std::string position = IniReadString(SettingsFile, "Display", "DialogPosition", "1,1");
    d.DialogPositionX = ParseNumber(FieldAt(1, position, ","), 1);
    d.DialogPositionY = ParseNumber(FieldAt(2, position, ","), 1);

    const std::string background = IniReadString(SettingsFile, "Display", "BackgroundBitmap", "");
    d.BackgroundBitmap = background.empty() ? nullptr : LoadBitmapFile(SetupFolder + background);

    COLORREF ignored = 0;
    const FontSetting fonts[] = {
        {"MainTitleFont", "Times New Roman,30,$FF0000,B", &MainTitleFont, &d.MainTitleColor},
        {"DialogFont", "MS Sans Serif,8", &DialogFont, &ignored},
        {"DialogTitleFont", "Times New Roman,20,$FF5C5C,B", &DialogTitleFont, &d.DialogTitleColor},
    };
    for (const FontSetting& f : fonts) {
        std::string text = IniReadString(SettingsFile, "Display", f.key, "");
        if (text.empty()) text = f.defaultValue;
        const TFontDescription description = ParseFontDescription(text);
        *f.font = MakeLogFont(description.Name, description.Size, description.Style);
        *f.colour = ResolveColor(description.Color);
    }
    UiState().dialogFont = DialogFont;
}

void LoadStaticBitmaps() {
    StringList lines;
    IniReadSectionValues(SettingsFile, "StaticBitmap", lines);
    for (std::string& line : lines) {
        const std::string file = FieldAt(1, ValuePart(line), ",");
        HBITMAP bitmap = file.empty() ? nullptr : LoadBitmapFile(SetupFolder + file);
        StaticBitmaps.push_back({std::move(line), bitmap});
    }
}

HMODULE RichEditLibrary = nullptr;

// Step 27 of the run, on every way out of it: the normal ones and the abort
// of a raised error.
void CleanUpRun() {
    if (RichEditLibrary != nullptr) FreeLibrary(RichEditLibrary);
    RichEditLibrary = nullptr;
    // A file that cannot be written back loses its changes.
    CloseAllIniFiles();
    for (TStaticBitmap& entry : StaticBitmaps)
        if (entry.bitmap != nullptr) DeleteObject(entry.bitmap);
    StaticBitmaps.clear();
    if (DisplaySettings.BackgroundBitmap != nullptr) DeleteObject(DisplaySettings.BackgroundBitmap);
    DisplaySettings.BackgroundBitmap = nullptr;
    LanguageList.clear();
    DialogSequence.clear();
    HideLogo();
    DestroyMessageWindow();
    if (MainWindow != nullptr) {
        ShowWindow(MainWindow, SW_HIDE);
        DestroyWindow(MainWindow);
    }
    MainWindow = nullptr;
    SetMainWindow(nullptr);
    UiState().mainWindow = nullptr;
    UiState().messageOwner = nullptr;
    // Loaded from the resources, shared: nothing to destroy.
    MainIcon = nullptr;
}

class RunCleanup {
public:
    RunCleanup() = default;
    RunCleanup(const RunCleanup&) = delete;
    RunCleanup& operator=(const RunCleanup&) = delete;
    ~RunCleanup() { CleanUpRun(); }
};

// Kept from the start so that the report of a failed allocation has memory
// to work with.
void* EmergencyReserve = nullptr;

// A raised error ends the run as an exception caught at the process entry
// would: what the run holds is released (the unpack library first, so that
// its file can go), the message is shown once, the folders are deleted.
[[noreturn]] void AbortRun(const char* message) {
    static bool aborting = false;
    if (aborting) ExitProcess(1);  // failed again while reporting
    aborting = true;
    std::free(EmergencyReserve);
    EmergencyReserve = nullptr;
    // The message may live in memory that the clean-up frees.
    char text[1024];
    lstrcpynA(text, message != nullptr ? message : "", sizeof text);
    ReleaseActiveUnpacker();
    DestroyInitWindow();
    CleanUpRun();
    ShowError(text);
    DeleteFolderTree(SetupFolder, true);
    ExitProcess(0);
}

// Failed allocations (here or in the unpack library), the C++ library's own
// errors and faults all end up here rather than in the system's crash box.
LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    AbortRun(code == static_cast<DWORD>(STATUS_NO_MEMORY) ? "Out of memory" : "Unexpected error");
}

}  // namespace

std::string TempPath() {
    char buffer[MAX_PATH + 1];
    std::string temp = BufferText(buffer, GetTempPathA(sizeof buffer, buffer), sizeof buffer);
    const std::string current = BufferText(buffer, GetCurrentDirectoryA(sizeof buffer, buffer), sizeof buffer);
    if (temp.empty()) temp = current;
    return ChooseTempPath(temp, current, OSVersion.Is9x(), platform::WindowsDirectory());
}

std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortName, bool skipFolders) {
    const std::string base = WithTrailingBackslash(folder);
    for (;;) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string name =
            UniqueNameFromCode(prefix, extension, shortName,
                               UniqueNameCode(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                              now.wSecond, now.wMilliseconds));
        const DWORD attributes = GetFileAttributesA((base + name).c_str());
        const bool taken = attributes != INVALID_FILE_ATTRIBUTES &&
                           (skipFolders || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
        if (!taken) return name;
        // The next name comes from the clock; give it time to move on.
        Sleep(1);
    }
}

std::string CreateUniqueFolder(const std::string& parentIn) {
    const std::string parent = WithTrailingBackslash(parentIn);
    platform::ForceDirectories(parent);
    std::string folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        folder = parent + UniqueFileName(parent, "", "", true, true);
        // Created here, not found: a folder planted under this name in the
        // meantime makes us take the next one.
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    // Nothing can be written there; the run then fails when it loads the
    // decompressor from this folder.
    return folder.empty() ? std::string() : folder + "\\";
}

bool DeleteFolderTree(const std::string& folderIn, bool removeFolder) {
    std::string folder = folderIn;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    const bool bareDrive = folder.size() == 2 && folder[1] == ':';
    if (folder.empty() || !platform::DirectoryExists(bareDrive ? folder + "\\" : folder)) return false;
    bool ok = DeleteContents(folder, removeFolder);
    if (removeFolder && !bareDrive) ok = RemoveDirectoryA(folder.c_str()) != 0 && ok;
    return ok;
}

TTokenApi SystemTokenApi() {
    TTokenApi api;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr) advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr) return api;
    auto find = [advapi](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void*>(GetProcAddress(advapi, name)));
    };
    find(api.OpenProcessToken, "OpenProcessToken");
    find(api.GetTokenInformation, "GetTokenInformation");
    find(api.AllocateAndInitializeSid, "AllocateAndInitializeSid");
    find(api.EqualSid, "EqualSid");
    find(api.FreeSid, "FreeSid");
    return api;
}

bool IsUserAdmin(const TOSVersion& os, const TTokenApi& api) {
    if (!os.IsNT()) return true;
    if (!api.Complete()) return false;
    HANDLE token = nullptr;
    if (!api.OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &token)) return false;
    DWORD size = 0;
    api.GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
    const bool read = size > 0 && api.GetTokenInformation(token, TokenGroups, buffer.data(), size, &size);
    CloseHandle(token);
    if (!read) return false;
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators = nullptr;
    if (!api.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                      0, 0, 0, 0, &administrators))
        return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i)
        found = api.EqualSid(groups->Groups[i].Sid, administrators) != 0;
    api.FreeSid(administrators);
    return found;
}

bool IsUserAdmin() { return IsUserAdmin(OSVersion, SystemTokenApi()); }

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
    LanguageList.clear();
    for (const std::string& code : SplitLanguageCodes(IniReadString(SettingsFile, "Config", "Languages", "")))
        LanguageList.push_back(code + "=");
    gLocaleSearchNT = OSVersion.IsNT();
    EnumSystemLocalesA(OnInstalledLocale, LCID_INSTALLED);
    for (std::string& entry : LanguageList) {
        if (!ValuePart(entry).empty()) continue;
        const std::string code(NamePart(entry));
        entry = code + "=" + IniReadString(SetupFolder + code + ".lng", "Strings", "LanguageName", code);
    }
    if (LanguageList.empty()) LanguageList.push_back("ENU=English (USA)");
}

std::string InitialLanguage() {
    char user[4] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, user, sizeof user) == 0) user[0] = '\0';
    return ChooseLanguage(LanguageList, user, IniReadBool(SettingsFile, "Config", "AutoSelectLanguage", true));
}

bool RunPreRunApps() {
    StringList lines;
    IniReadSectionValues(SettingsFile, "PreRunApp", lines);
    for (const std::string& line : lines) {
        if (RunProgram(ExpandText(ValuePart(line)), true, false) != 0) return false;
    }
    return true;
}

bool RunSetup() {
    // 1-3: the engine's switches and the run state.
    SetIniStripQuotes(false);
    SetupExePath = ModulePath();
    AskBeforeCancel = true;
    InitCommonControls();
    RegisterUrlLinkClass();
    MainIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    SettingsFile = SetupFolder + "Brik.ini";
    RebootPending = false;
    InstallPassword.clear();
    ConfigPaths() = TConfigPaths{SetupExePath, SetupFolder, SettingsFile};
    SetProgramTitleHook([](const std::string& title) { UiState().captionName = title; });
    SetExpandErrorHandler([](const std::string& message) { ShowError(message); });
    RunCleanup cleanup;

    // 4-6: the hidden background window and the logo.
    MainWindow = CreateMainWindow();
    if (MainWindow == nullptr) {
        ShowError("Can't create main window!");
        return false;
    }
    SetMainWindow(MainWindow);
    UiState().mainWindow = MainWindow;
    UiState().messageOwner = MainWindow;
    DialogFont = MakeLogFont("MS Sans Serif", 8, 0);
    UiState().dialogFont = DialogFont;
    ShowLogo();

    // 7-11: the package and the setup files.
    if (!CheckPackageSize()) {
        ShowError("Invalid package size!\rThis package has been corrupted, installation impossible.");
        return false;
    }
    if (!WriteUnpackLibrary()) {
        ShowError("Can't extract UNPACK.DLL");
        return false;
    }
    // From the system folder by full path, so that no riched32.dll beside
    // the downloaded setup program is ever loaded.
    RichEditLibrary = LoadLibraryA((SystemDirectory() + "\\riched32.dll").c_str());
    if (!ExtractPresetup()) {
        ShowError("Can't extract presetup files!");
        return false;
    }
    HideLogo();
    SetInitialProgramTitle("Setup");

    // 12-15: settings, display, languages.
    UninstallEnabled = IniReadBool(SettingsFile, "Config", "Uninstall", false) &&
                       platform::FileExists(SetupFolder + "UnInst.exe");
    const bool checkAdminRights = IniReadBool(SettingsFile, "Config", "CheckAdminRights", false);
    RebootPending = IniReadBool(SettingsFile, "Config", "NeedReboot", false);
    ReadDisplaySettings();
    LoadStaticBitmaps();
    BuildLanguageList();
    SetLanguage(InitialLanguage());
    UiState().dialogFont = DialogFont;

    // 16-20: refusals.
    if (!IsOSSupported(IniReadString(SettingsFile, "Config", "SupportedOS", ""), OSVersion)) {
        ShowWarning(GetMessageString(13));
        return false;
    }
    const std::string minOSVersion = IniReadString(SettingsFile, "Config", "MinOSVersion", "");
    if (!MeetsMinOSVersion(minOSVersion, OSVersion)) {
        ShowWarning(FormatMessageText(GetMessageString(14), minOSVersion));
        return false;
    }
    const std::string checkWindow = IniReadString(SettingsFile, "Config", "CheckWindow", "");
    if (!checkWindow.empty() && FindWindowA(nullptr, checkWindow.c_str()) != nullptr) {
        ShowWarning(GetMessageString(15));
        return false;
    }
    const std::string checkMutex = IniReadString(SettingsFile, "Config", "CheckMutex", "");
    if (!checkMutex.empty()) {
        if (HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, checkMutex.c_str())) {
            CloseHandle(mutex);
            ShowWarning(GetMessageString(15));
            return false;
        }
    }
    if (checkAdminRights && !IsUserAdmin()) {
        ShowWarning(GetMessageString(10));
        return false;
    }

    // 21-23: the background, the pre-run programs, fresh variables.
    if (DisplaySettings.ShowMainWindow) {
        ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
        RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    PumpMessages();
    // Later reads see the settings files as they are on disk now.
    CloseAllIniFiles();
    if (!RunPreRunApps()) return false;
    LoadVariables();

    // 24-26: the dialogs and the install.
    DialogSequence = SplitDialogSequence(GetSetting("Config", "PreInstallDialogSequence", ""));
    bool result = RunDialogSequence();
    if (result) {
        result = RunInstall();
        if (result) {
            DialogSequence = SplitDialogSequence(GetSetting("Config", "PostInstallDialogSequence", ""));
            if (RebootPending) DialogSequence.push_back("DLG_REBOOT");
            result = RunDialogSequence();
        }
    }
    if ((!RebootPending || !result) && IniReadBool(SettingsFile, "Display", "ShowFinalDialog", true)) {
        AskBeforeCancel = false;
        DialogSequence.assign(1, result ? "DLG_FINISH" : "DLG_NOTFINISH");
        RunDialogSequence();
    }
    return result;
}

int RunProcess() {
    EmergencyReserve = std::malloc(256 * 1024);
    SetFatalHandler(AbortRun);
    SetUnhandledExceptionFilter(UnhandledFilter);
    std::srand(GetTickCount());
    OSVersion = ReadOSVersion();
    SetupExePath = ModulePath();
    SetupFolder = CreateUniqueFolder(TempPath());
    ScratchFolder = CreateUniqueFolder(SetupFolder);
    const bool result = RunSetup();
    DeleteFolderTree(SetupFolder, true);
    if (result && RebootPending) RestartWindows(false);
    return 0;
}

}  // namespace brik

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return brik::RunProcess(); }

