#include "install/ScriptFormat.h"

#include "install/CopyRules.h"
#include "install/RegIniRules.h"

namespace brik {

const std::vector<TScriptSection>& ScriptSections() {
    static const std::vector<TScriptSection> sections = {
        {"CopyFiles", "the destination folder", "source=target,flags",
         "copies files of the package's Data folder (or, flag 64, files beside the setup)"},
        {"DelFiles", "the folder", "file=", "deletes files (wildcards allowed) before the copy"},
        {"AddReg", "the registry key", "value name=data,type,flags", "writes registry values"},
        {"DelReg", "the registry key", "value or subkey name=", "deletes registry keys or values after writing"},
        {"Shortcuts", "the folder of the links", "name=target,arguments,...", "creates shortcuts (name.lnk)"},
        {"AddIni", "the INI file and its section: file,section", "key=data,flags", "writes INI keys"},
        {"RunApp", "", "name=program,parameters,...", "runs programs at the very end, in order"},
    };
    return sections;
}

const std::vector<TScriptFlag>& CopyFlags() {
    static const std::vector<TScriptFlag> flags = {
        {kCopyNoLog, "not logged", "not logged: the uninstaller leaves the file (and its COM or font registration)"},
        {kCopyAlways, "always replaced", "no version or date check: an existing file is always replaced"},
        {kCopyComServer, "COM server", "registered as a COM server after the copy"},
        {kCopyFont, "font", "a font: installed into the fonts folder and registered"},
        {kCopyKeepNewer, "newer kept", "an existing newer file stays, without asking the user"},
        {kCopyNeverReplace, "never replaced", "an existing file always stays"},
        {kCopyExternal, "from disk", "the source is a file on disk (beside the setup, say), not in the package"},
        {kCopyShared, "shared", "a shared file: counted in the system's SharedDLLs counts, removed at count 0"},
    };
    return flags;
}

const std::vector<TScriptFlag>& ChangeFlags() {
    static const std::vector<TScriptFlag> flags = {
        {kChangeNoLog, "not logged", "not logged: the uninstaller leaves it (and, for a value, the keys made for it)"},
        {kChangeKeepExisting, "an existing one kept", "an existing value or key is not replaced"},
    };
    return flags;
}

const std::vector<TScriptFlag>& RegistryTypes() {
    static const std::vector<TScriptFlag> types = {
        {0, "REG_SZ", "text (REG_SZ); also any number not listed"},
        {1, "REG_DWORD", "32-bit number (REG_DWORD), decimal or $hexadecimal"},
        {2, "REG_BINARY", "binary (REG_BINARY): hexadecimal bytes, blanks ignored, such as 01 AB FF"},
    };
    return types;
}

std::string FlagNames(const std::vector<TScriptFlag>& table, int flags) {
    std::string names;
    for (const TScriptFlag& flag : table)
        if (flags & flag.bit) names.append(names.empty() ? "" : ", ").append(flag.name);
    return names;
}

const std::vector<TScriptField>& ShortcutFields() {
    static const std::vector<TScriptField> fields = {
        {"target", "", "the program, document or folder the link starts"},
        {"arguments", "", "its command-line arguments"},
        {"start in", "", "its working folder"},
        {"icon file", "", "the file holding the icon (empty: the target's)"},
        {"icon index", "0", "the icon's index in that file"},
        {"hot key", "0", "virtual key in the low byte, modifiers in the high byte"},
        {"show", "1", "1 normal, 2 maximised, 3 minimised"},
        {"description", "", "the link's comment"},
        {"flags", "0", "1 not logged (nor the folders made for it), 32 an existing link stays"},
    };
    return fields;
}

const std::vector<TScriptField>& ProgramFields() {
    static const std::vector<TScriptField> fields = {
        {"program", "", "a program, document or folder; one pair of double quotes around it goes"},
        {"parameters", "", "its parameters, as written"},
        {"working folder", "", "its working folder"},
        {"show", "1", "0 hidden, 2 maximised, 3 minimised without activation, else normal"},
        {"message", "", "shown in the status window while the program runs"},
        {"wait", "1", "1 wait for the program to end, 0 start it and go on"},
        {"after restart", "0", "1 run it at the next logon instead when a restart is pending"},
    };
    return fields;
}

}  // namespace brik
