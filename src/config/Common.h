// Configuration as the Win32 engine uses it: the variable store filled from
// the system, language switching, and the font records it touches. The
// launcher includes this one header.
//
// Before the first SetLanguage the launcher fills ConfigPaths() (Settings.h),
// parses the three display fonts into MainTitleFont, DialogFont and
// DialogTitleFont (MakeLogFont), and calls SetMainWindow once the background
// window exists. Message boxes take their caption from
// LanguageState().ProgramTitle, or from the hook below.
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

// The background window: its caption follows the language and it is redrawn
// when the program title changes. May stay null.
void SetMainWindow(HWND window);
HWND GetMainWindow();

// Called by SetLanguage with the new ProgramTitle, for modules that keep
// their own copy of the message-box caption.
void SetProgramTitleHook(std::function<void(const std::string& title)> hook);

// Rebuilds the variable store from the environment, the system's folders and
// registry, and the settings file (ConfigPaths(), LanguageState()).
void LoadVariables();

// Makes the language current: code, file, font character sets, variables,
// program title, the main window's caption, redraw when the title changed.
void SetLanguage(const std::string& code);

// The character set of the first installed locale whose three-letter
// language abbreviation is the code; DEFAULT_CHARSET when none.
BYTE LanguageCharset(const std::string& code);

// Height from the main window's pixels per inch; weight, italic and underline
// from the style; DEFAULT_CHARSET.
LOGFONTA MakeLogFont(const std::string& name, int32_t size, uint8_t style);

// The live sources of LoadVariables, for tests that compare against them.
IVariableSources& SystemVariableSources();

}  // namespace brik
