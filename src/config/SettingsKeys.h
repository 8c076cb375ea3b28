// Every key of the settings file Brik.ini that the engine reads, and the
// sections it knows, in one table: the builder checks an author's file
// against it, the authors' guide lists it, and a test holds it to what the
// engine's code reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brik {

struct TSettingsKey {
    const char* section;
    const char* key;
    const char* kind;          // bool, int, text, colour, font, list, file
    const char* defaultValue;  // as the engine takes it when the key is missing
    const char* effect;
};

// The keys of [Config] and [Display], in the order the guide lists them.
const std::vector<TSettingsKey>& SettingsKeys();

// The key of a section, without regard to case; null when unknown.
const TSettingsKey* FindSettingsKey(std::string_view section, std::string_view key);

// Whether the engine reads a section of that name: Config, Display,
// DialogBitmap, StaticBitmap, PreRunApp, FileInfo, and Variables, RegVariables, IniVariables with or
// without a language suffix (".Enu").
bool IsSettingsSection(std::string_view section);

// Whether a known section takes keys of the author's choosing (variables,
// dialog names, the catalogue) rather than the table's.
bool SettingsSectionTakesAnyKey(std::string_view section);

// The names of the sections and of a section's keys, for "did you mean".
std::vector<std::string_view> SettingsSectionNames();
std::vector<std::string_view> SettingsKeyNames(std::string_view section);

// The wizard's dialogs that a dialog sequence or [DialogBitmap] may name.
const std::vector<std::string_view>& WizardDialogNames();

}  // namespace brik
