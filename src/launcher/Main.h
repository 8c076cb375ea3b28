// The setup engine's spine: the process entry, the temporary folders of one
// run and RunSetup, which walks the whole setup from the package check to the
// final dialog and decides in which order every other module is called.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "install/InstallContext.h"
#include "launcher/RunRules.h"
#include "ui/Dialogs.h"
#include "ui/Msg.h"
#include "util/kpSysUtils.h"

namespace brik {

using StringList = std::vector<std::string>;

struct TStaticBitmap {
    std::string line;  // the line of [StaticBitmap], name=fields
    HBITMAP bitmap = nullptr;
};

// Section [Display], read once after the setup files are extracted.
// What the dialogs need of it is the user interface's (TDialogDisplay).
struct TDisplaySettings {
    bool ShowMainTitle = true;
    bool MainTitleShadow = false;
    COLORREF MainTitleShadowColor = 0xC0C0C0;
    HBITMAP BackgroundBitmap = nullptr;
    COLORREF MainTitleColor = 0xFF0000;
};

// The state of one run, for the process. The run owns it whole; each module
// below the launcher sees only its own view of it (bound by RunProcess), so
// a value lives in one place: the setup's paths in configuration's view, the
// windows in the user interface's, what the install changes in the install's.
// User-interface thread only, but for what the install view marks.
struct TRunContext {
    TConfigPaths paths;       // SetupExePath, SetupFolder, SettingsFile
    UiRunState ui;            // the background window, the message owner, captions
    TDialogDisplay dialogs;   // the dialogs' settings, and where the wizard's choices go
    TInstallState install;    // RebootPending, UninstallEnabled, InstallPassword, ScratchFolder
    TOSVersion OSVersion;     // filled once when the process starts
    StringList LanguageList;  // "code=display name"
    HICON MainIcon = nullptr; // "MAINICON", for the windows of the run
    std::vector<TStaticBitmap> StaticBitmaps;
    TDisplaySettings DisplaySettings;
};
// The run of this process.
TRunContext& Run();

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
