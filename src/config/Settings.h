// Lookups in the settings file and the current language file, the value
// formats they hold, and the language state that SetLanguage changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/kpStrUtils.h"

namespace brik {

// Where the run's setup files are: configuration's view of the run. The run
// owns it and binds it at start-up, before the first lookup or SetLanguage.
struct TConfigPaths {
    std::string SetupExePath;  // the running setup program
    std::string SetupFolder;   // the extracted setup files, with a trailing backslash
    std::string SettingsFile;  // SetupFolder + "Brik.ini"
};
// The bound paths; before any binding (tests, tools) one of the module's own.
TConfigPaths& ConfigPaths();
// null: back to the module's own.
void BindConfigPaths(TConfigPaths* paths);

// The current language; changed only by SetLanguage (or SelectLanguageFile
// and UpdateProgramTitle, its portable steps) and, for the title's first
// value, SetInitialProgramTitle. Until a language is set the
// file is empty and language lookups give their defaults.
struct TLanguageState {
    std::string LanguageCode;  // for example ENU
    std::string LanguageFile;  // full path of its file
    std::string ProgramTitle;  // "%ProgramName%" expanded; the message-box caption
};
const TLanguageState& LanguageState();

// The first phase of setting a language: the code and its file.
void SelectLanguageFile(const std::string& code);
// ProgramTitle := "%ProgramName%" expanded; true when it changed.
bool UpdateProgramTitle();
// The title before any language is set ("Setup" once the setup files are
// out); message-box captions stay as they are.
void SetInitialProgramTitle(std::string title);

// SetupFolder + code + ".lng" when it exists, else SetupFolder + "Enu.lng".
std::string LanguageFilePath(const std::string& code);

// Settings value: expanded, then trimmed of characters up to code 32.
std::string GetSetting(std::string_view section, std::string_view key, std::string_view defaultValue);
// Language text: expanded, "||" turned into line breaks.
std::string GetLangString(std::string_view section, std::string_view key,
                          std::string_view defaultValue = {});
std::string GetLangNumberString(std::string_view section, int number);
// Section [Strings]; texts holding "%s" are filled in by their callers.
std::string GetMessageString(int number);
// The first "%s" of a message filled in; nothing else in it is a format.
std::string FormatMessageText(const std::string& text, const std::string& argument);

// Items of a comma-separated list as written, empty items skipped.
inline std::vector<std::string> SplitCommaList(std::string_view value) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) items.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// The codes of [Config] Languages, trimmed, in order; items that are empty
// (also once trimmed) are skipped.
inline std::vector<std::string> SplitLanguageCodes(std::string_view value) {
    std::vector<std::string> codes;
    for (const std::string& item : SplitCommaList(value)) {
        std::string code(Trim(item));
        if (!code.empty()) codes.push_back(std::move(code));
    }
    return codes;
}

enum FontStyle : uint8_t {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,  // accepted, never drawn
};

struct TFontDescription {
    std::string Name;     // at most 31 characters
    int32_t Size = 8;     // points
    uint32_t Color = 0;   // a colour value; the font record does not hold it
    uint8_t Style = 0;    // FontStyle bits
};

// "Face,size,colour,styles": fields split quote-aware at commas; an invalid
// size is 8, an invalid colour 0; style letters B, I, U and S (case
// matters), others ignored.
TFontDescription ParseFontDescription(std::string_view text);

}  // namespace brik
