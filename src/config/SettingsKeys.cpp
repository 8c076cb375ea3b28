#include "config/SettingsKeys.h"

#include "util/kpStrUtils.h"

namespace brik {

namespace {

const char* const kPlainSections[] = {"Config", "Display", "DialogBitmap", "StaticBitmap", "PreRunApp", "FileInfo"};
const char* const kVariableSections[] = {"Variables", "RegVariables", "IniVariables"};

}  // namespace

const std::vector<TSettingsKey>& SettingsKeys() {
    static const std::vector<TSettingsKey> keys = {
        {"Config", "Languages", "list", "", "the language codes offered, comma-separated, each with its Code.lng (empty: English)"},
        {"Config", "AutoSelectLanguage", "bool", "1", "start in the user's language when it is offered"},
        {"Config", "InsFiles", "list", "", "base names of the install scripts (App for App.ins, App.nt, App.9x...)"},
        {"Config", "Uninstall", "bool", "0", "log the install and register the uninstaller UnInst.exe"},
        {"Config", "UninstallKey", "text", "", "name of the entry in the list of installed programs (empty: the program's name)"},
        {"Config", "RemoveOldReferences", "bool", "0", "take away what an earlier install into the same folder logged"},
        {"Config", "RollbackOnFailure", "bool", "1", "take back what a failed or cancelled install changed, leaving the machine as it was"},
        {"Config", "ExtraDiskSpace", "int", "0", "kilobytes added to the free space the install requires"},
        {"Config", "CheckAdminRights", "bool", "0", "refuse to run without administrator rights"},
        {"Config", "NeedReboot", "bool", "0", "offer a restart at the end even when no file waits for one"},
        {"Config", "SupportedOS", "list", "", "the Windows kinds the setup runs on (empty: all)"},
        {"Config", "MinOSVersion", "text", "", "the least Windows version, major.minor.build (empty: no check)"},
        {"Config", "CheckWindow", "text", "", "title of a window that must not exist (the program is running)"},
        {"Config", "CheckMutex", "text", "", "name of a mutex that must not exist (the program is running)"},
        {"Config", "PreInstallDialogSequence", "list", "", "the wizard's dialogs before the install, comma-separated"},
        {"Config", "PostInstallDialogSequence", "list", "", "the dialogs after the install"},
        {"Config", "PswCheckHash", "text", "", "written by brikpack build --password: the package asks for it"},
        {"Display", "ShowMainTitle", "bool", "1", "draw the program's title on the background"},
        {"Display", "MainTitleFont", "font", "Times New Roman,30,$FF0000,B", "face,size,colour,styles of that title"},
        {"Display", "MainTitleShadow", "bool", "0", "draw a shadow under the main title"},
        {"Display", "MainTitleShadowColor", "colour", "$C0C0C0", "its colour"},
        {"Display", "ShowMainWindow", "bool", "0", "show the full-screen background window"},
        {"Display", "GradientTopColor", "colour", "0", "the background's top colour"},
        {"Display", "GradientBottomColor", "colour", "$FF8000", "the background's bottom colour"},
        {"Display", "BackgroundBitmap", "file", "", "a bitmap among the setup files, tiled over the background"},
        {"Display", "DialogFont", "font", "MS Sans Serif,8", "the font of the dialogs' controls"},
        {"Display", "ShowDialogTitle", "bool", "1", "draw the dialogs' title band"},
        {"Display", "DialogTitleFont", "font", "Times New Roman,20,$FF5C5C,B", "the dialogs' title font and colour"},
        {"Display", "DialogTitleShadow", "bool", "1", "draw a shadow under dialog titles"},
        {"Display", "DialogTitleShadowColor", "colour", "$C0C0C0", "its colour"},
        {"Display", "DialogPosition", "text", "1,1", "where dialogs stand: horizontal,vertical (0 left/top, 1 centre, 2 right/bottom)"},
        {"Display", "InstallPathExistWarning", "bool", "1", "warn when the chosen install folder exists"},
        {"Display", "LicenseBackColor", "colour", "$80000005", "the licence text's background"},
        {"Display", "ReadmeBackColor", "colour", "$80000005", "the readme text's background"},
        {"Display", "ShowFinalDialog", "bool", "1", "end with the finished or not-finished dialog"},
        {"Display", "UninstallTitleFont", "font", "", "the uninstaller's title font (empty: its own)"},
    };
    return keys;
}

const TSettingsKey* FindSettingsKey(std::string_view section, std::string_view key) {
    for (const TSettingsKey& k : SettingsKeys())
        if (SameText(k.section, section) && SameText(k.key, key)) return &k;
    return nullptr;
}

bool IsSettingsSection(std::string_view section) {
    for (const char* name : kPlainSections)
        if (SameText(section, name)) return true;
    const size_t dot = section.find('.');
    const std::string_view base = section.substr(0, dot);
    for (const char* name : kVariableSections)
        if (SameText(base, name)) return dot == std::string_view::npos || dot + 1 < section.size();
    return false;
}

bool SettingsSectionTakesAnyKey(std::string_view section) {
    return IsSettingsSection(section) && !SameText(section, "Config") && !SameText(section, "Display");
}

std::vector<std::string_view> SettingsSectionNames() {
    std::vector<std::string_view> names(std::begin(kPlainSections), std::end(kPlainSections));
    names.insert(names.end(), std::begin(kVariableSections), std::end(kVariableSections));
    return names;
}

std::vector<std::string_view> SettingsKeyNames(std::string_view section) {
    std::vector<std::string_view> names;
    for (const TSettingsKey& k : SettingsKeys())
        if (SameText(k.section, section)) names.push_back(k.key);
    return names;
}

const std::vector<std::string_view>& WizardDialogNames() {
    static const std::vector<std::string_view> names = {
        "DLG_WELCOME", "DLG_LANGUAGE", "DLG_LICENSE", "DLG_README",  "DLG_PASSWORD", "DLG_DIR",
        "DLG_GROUP",   "DLG_START",    "DLG_REBOOT",  "DLG_FINISH", "DLG_NOTFINISH", "DLG_PROGRESS",
    };
    return names;
}

}  // namespace brik
