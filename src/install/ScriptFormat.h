// The install script's format as authors write it: the sections, the fields
// of each item kind and the flags, with what each means. The engine's
// constants give the numbers; the authors' guide is held to these tables by
// a test, so that the documentation names what the engine does.
#pragma once

#include <string>
#include <vector>

namespace brik {

struct TScriptSection {
    const char* name;
    const char* index;    // what an index line's value gives its items ("" for one-level sections)
    const char* item;     // an item line's form
    const char* effect;
};

struct TScriptField {
    const char* name;
    const char* defaultValue;
    const char* meaning;
};

struct TScriptFlag {
    int bit;
    const char* name;  // a few words, for listings such as brikpack plan's
    const char* meaning;
};

// The sections of one pass over a script, in reading order.
const std::vector<TScriptSection>& ScriptSections();

// Field 2 of a CopyFiles item.
const std::vector<TScriptFlag>& CopyFlags();
// The flags field of AddReg (field 3) and AddIni (field 2) items.
const std::vector<TScriptFlag>& ChangeFlags();
// The types of field 2 of an AddReg item, named as the registry names them.
const std::vector<TScriptFlag>& RegistryTypes();

// The names of the flags set in `flags`, comma-separated; empty for none.
std::string FlagNames(const std::vector<TScriptFlag>& table, int flags);
// The fields of a Shortcuts item and of a RunApp (and PreRunApp) line.
const std::vector<TScriptField>& ShortcutFields();
const std::vector<TScriptField>& ProgramFields();

}  // namespace brik
