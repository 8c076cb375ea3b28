// Configuration as the Win32 engine uses it: the variable store filled from
// the system, language switching, and the font records it touches. The
// launcher includes this one header.
//
// Before the first SetLanguage the launcher binds its run's paths
// (BindConfigPaths, Settings.h) and parses the three display fonts into
// MainTitleFont, DialogFont and DialogTitleFont (MakeLogFont). Configuration
// owns no window: what a language change means for the windows of the run
// is left to the hook below.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "config/Settings.h"
#include "config/Variables.h"
#include "config/kpRegIni.h"

namespace brik {

// Fonts of the background title, the dialogs and the dialog titles.
// SetLanguage sets their character set.
extern LOGFONTA MainTitleFont;
extern LOGFONTA DialogFont;
extern LOGFONTA DialogTitleFont;

// What SetLanguage hands to the windows of the run.
struct TLanguageChange {
    std::string ProgramTitle;  // the new message-box caption
    std::string Caption;       // [Dialogs] Caption, for the background window
    bool TitleChanged = false; // the background, which draws the title, needs a redraw
};
// Called by SetLanguage once the new language is current.
void SetLanguageChangedHook(std::function<void(const TLanguageChange& change)> hook);

// Rebuilds the variable store from the environment, the system's folders and
// registry, and the settings file (ConfigPaths(), LanguageState()).
void LoadVariables();

// Makes the language current: code, file, font character sets, variables,
// program title; then tells the hook.
void SetLanguage(const std::string& code);

// The character set of the first installed locale whose three-letter
// language abbreviation is the code; DEFAULT_CHARSET when none.
BYTE LanguageCharset(const std::string& code);

// Height from the screen's pixels per inch; weight, italic and underline
// from the style; DEFAULT_CHARSET.
LOGFONTA MakeLogFont(const std::string& name, int32_t size, uint8_t style);

// The live sources of LoadVariables, for tests that compare against them.
IVariableSources& SystemVariableSources();

}  // namespace brik
