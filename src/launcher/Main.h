// The setup engine's spine: the process entry, the temporary folders of one
// run and RunSetup, which walks the whole setup from the package check to the
// final dialog and decides in which order every other module is called.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "launcher/RunRules.h"

namespace brik {

using StringList = std::vector<std::string>;

// Run state: lives for the process, user-interface thread only (RebootPending
// may also be set by the install thread while RunInstall waits for it).
extern std::string SetupExePath;   // the running executable, which is also the package
extern std::string SetupFolder;    // this run's temporary folder, with a trailing backslash
extern std::string ScratchFolder;  // an empty folder inside SetupFolder, trailing backslash
extern std::string SettingsFile;   // SetupFolder + "Brik.ini"
extern HWND MainWindow;            // the background window, created hidden
extern bool RebootPending;
extern bool UninstallEnabled;      // Uninstall is on and UnInst.exe was in the package
extern std::string InstallPassword;
extern StringList LanguageList;    // "code=display name"
extern TOSVersion OSVersion;       // filled once when the process starts
extern HICON MainIcon;             // "MAINICON", for the windows of the run

struct TStaticBitmap {
    std::string line;  // the line of [StaticBitmap], name=fields
    HBITMAP bitmap = nullptr;
};
extern std::vector<TStaticBitmap> StaticBitmaps;

// Section [Display], read once after the setup files are extracted.
struct TDisplaySettings {
    bool ShowMainTitle = true;
    bool ShowDialogTitle = true;
    bool ShowMainWindow = false;
    bool MainTitleShadow = false;
    COLORREF MainTitleShadowColor = 0xC0C0C0;
    bool DialogTitleShadow = true;
    COLORREF DialogTitleShadowColor = 0xC0C0C0;
    int DialogPositionX = 1;
    int DialogPositionY = 1;
    HBITMAP BackgroundBitmap = nullptr;
    COLORREF MainTitleColor = 0xFF0000;
    COLORREF DialogTitleColor = 0xFF5C5C;
};
extern TDisplaySettings DisplaySettings;

// The system's temporary folder with a trailing backslash, never the current
// folder.
std::string TempPath();

// A name (without folder) of prefix + a code from the clock + extension that
// is no file in folder; with skipFolders no folder either. shortName keeps
// prefix and code to eight characters.
std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortName, bool skipFolders = false);

// Creates a new folder of a unique name in parent and returns its path with
// a trailing backslash; a name that exists is never used, so no planted
// folder can feed the run. Empty when no folder could be created.
std::string CreateUniqueFolder(const std::string& parent);

// Deletes every file of folder and its subfolders (read-only ones too;
// names starting with a point are passed over); with removeFolder also the
// emptied subfolders and the folder itself, unless it is a bare drive.
// False when folder does not exist or a deletion failed.
bool DeleteFolderTree(const std::string& folder, bool removeFolder);

// The token functions IsUserAdmin uses, looked up at run time (a 9x system
// has none); replaceable for tests.
struct TTokenApi {
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD,
                                                     DWORD, DWORD, DWORD, DWORD, PSID*);
    using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
    using FreeSidFn = PVOID(WINAPI*)(PSID);
    OpenProcessTokenFn OpenProcessToken = nullptr;
    GetTokenInformationFn GetTokenInformation = nullptr;
    AllocateAndInitializeSidFn AllocateAndInitializeSid = nullptr;
    EqualSidFn EqualSid = nullptr;
    FreeSidFn FreeSid = nullptr;
    bool Complete() const {
        return OpenProcessToken && GetTokenInformation && AllocateAndInitializeSid && EqualSid && FreeSid;
    }
};
TTokenApi SystemTokenApi();
// True on the 9x platform; elsewhere true when the process token holds the
// built-in Administrators group.
bool IsUserAdmin();
bool IsUserAdmin(const TOSVersion& os, const TTokenApi& api);

// The description of the running system.
TOSVersion ReadOSVersion();

// [Config] Languages with display names from the installed locales or the
// language files; "ENU=English (USA)" when empty. Fills LanguageList.
void BuildLanguageList();
// The language to start in.
std::string InitialLanguage();

// Runs the programs of [PreRunApp] in order, each waited for; false at the
// first that cannot start or ends with an exit code other than 0.
bool RunPreRunApps();

// The whole run; true when the install ran and the post-install dialogs were
// completed with Next.
bool RunSetup();

// The process entry's work, for WinMain: folders, RunSetup, clean-up and the
// restart. Returns the process exit code, always 0.
int RunProcess();

}  // namespace brik
