// Reading the install scripts into the work lists: the scripts that apply to
// the running system and the chosen language, every line expanded, each
// section's items turned into entries of their list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "install/WorkLists.h"

namespace brik {

// What decides which scripts apply.
struct TScriptSystem {
    bool PlatformNT = true;
    int MajorVersion = 5;
    // 0 Win32s, 1 95, 2 98, 3 NT, 4 2000, 5 Me, 6 XP.
    uint8_t OsKind = 4;
};

// The extensions whose files are read for each script name, in reading
// order: ".ins" first, then the platform's own.
std::vector<std::string> ScriptExtensions(const TScriptSystem& system);

// Every script of [Config] InsFiles (settings file) that exists in
// setupFolder (with a trailing backslash), for the system and the language
// code (the base name of the chosen language file, such as Enu), into lists.
void ReadInstallScripts(const std::string& settingsFile, const std::string& setupFolder,
                        const TScriptSystem& system, const std::string& languageCode, TWorkLists& lists);

// One script: its sections without suffix, then with "." + languageCode.
// A missing file does nothing.
void ReadScriptFile(const std::string& path, const std::string& languageCode, TWorkLists& lists);

// The registry path of an AddReg or DelReg item: the index line's key path
// and the item's name; a "\" item names the key's default value (AddReg),
// the key path alone.
std::string RegEntryName(const std::string& param, const std::string& name);

// The sections one pass over a script reads, in order (the two-level ones,
// then RunApp), without the language suffix.
std::vector<std::string_view> ScriptSectionNames();

// The language word of the scripts' sections: the base name of the chosen
// language file (Enu), or the code when the file has none.
std::string ScriptLanguageOf(const std::string& languageFile, const std::string& languageCode);

// A section name split at dots (runs of dots count as one) whose first word
// is "Uninstall" and whose third word is suffixWord, or missing when
// suffixWord is empty; without regard to case.
bool IsUninstallSectionFor(std::string_view section, std::string_view suffixWord);

}  // namespace brik
