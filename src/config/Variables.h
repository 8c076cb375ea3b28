// The process's one variable store and the %Name% expansion that nearly every
// text passes through: script paths, dialog texts, settings values, registry
// and INI entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "util/NameIndex.h"

namespace brik {

using StringList = std::vector<std::string>;

// Passes over the whole store before a text counts as a runaway reference.
inline constexpr int kMaxExpandPasses = 100;
// A value that holds its own reference twice doubles the text with every
// pass; such a text fails long before the pass limit instead of exhausting
// memory. No real expansion comes near this.
inline constexpr size_t kMaxExpandGrowth = size_t{1} << 20;

// Ordered Name=Value lines, split at the first "="; values stay unexpanded.
// Lookups by name ignore case the locale's way; the first line of a name
// wins. Expansion matches names by the fixed code-page-1251 upper-case
// mapping, as ReplaceAllNoCase does: double-byte characters of the system's
// code page only as they are.
//
// An index by expansion name is kept up to date by every change, so that
// expanding never writes to the store: the install worker expands while the
// interface thread may too (the store itself changes only before the worker
// starts).
class TVariableList {
public:
    const StringList& Lines() const { return lines_; }
    int Count() const { return static_cast<int>(lines_.size()); }

    void Clear();
    void Assign(StringList lines);
    void Append(std::string line);
    // Replaces the first line of that name in place (written as the caller
    // wrote the name) or appends one.
    void Set(std::string_view name, std::string_view value);
    // Index of the first line of that name, -1 when none.
    int IndexOf(std::string_view name) const;
    // The raw value of the first line of that name, empty when none.
    std::string Value(std::string_view name) const;

    // The expansion passes. False when the text still changed in the last
    // allowed pass, or grew by more than `maxGrowth` bytes; `result` is then
    // the text unexpanded.
    bool Expand(std::string_view text, std::string& result, size_t maxGrowth = kMaxExpandGrowth) const;

private:
    void Reindex();
    void IndexLine(int i);

    StringList lines_;
    // Upper-cased (1251) name -> first line of that name; lines of equal
    // names are chained through next_ in list order.
    NameIndex byName_;
    std::vector<int> next_;
    std::vector<int> chainEnd_;  // last line of a chain, kept at its first line
    // Lines whose name holds "%": their pattern may span several "%" of a
    // text, so they are tried in every pass.
    std::vector<int> spanning_;
};

extern TVariableList VariableList;

// Shows "Infinite reference in the string "%s"!"; the launcher points it at
// its error box. Without a handler nothing is shown.
using ExpandErrorHandler = std::function<void(const std::string& message)>;
void SetExpandErrorHandler(ExpandErrorHandler handler);

std::string ExpandVariables(std::string_view text);
// ExpandVariables, then every "||" becomes CR LF.
std::string ExpandText(std::string_view text);
std::string GetVariable(std::string_view name);
void SetVariable(std::string_view name, std::string_view value);
// Drops characters up to code 32 from both ends, then one trailing backslash.
void SetPathVariable(std::string_view name, std::string_view value);

// The folder that the user or the system named and that holds path: the
// deepest of InstallPath and the built-in folder variables (Windows, System,
// Program Files, the shell's folders...) as they now read; else the path's
// drive root ("C:\", "\\server\share"), or empty for a path without one.
// Below it, every folder comes from a script, a package or a log.
std::string GivenFolderOf(std::string_view path);

// The first run of characters other than `separator`.
std::string FirstWord(std::string_view text, char separator);
// "C:" of "C:\...", "\\server\share" of a UNC path, else empty.
std::string ExtractFileDrive(std::string_view path);

// Shell folder numbers (CSIDL_...), as the built-in variables ask the
// system's sources for them.
enum : int {
    kCsidlPrograms = 2,
    kCsidlPersonal = 5,
    kCsidlStartup = 7,
    kCsidlRecent = 8,
    kCsidlSendTo = 9,
    kCsidlStartMenu = 11,
    kCsidlDesktopDirectory = 16,
    kCsidlNetHood = 19,
    kCsidlFonts = 20,
    kCsidlTemplates = 21,
    kCsidlCommonStartMenu = 22,
    kCsidlCommonPrograms = 23,
    kCsidlCommonStartup = 24,
    kCsidlCommonDesktopDirectory = 25,
};

// What LoadVariables asks of the system. The Win32 engine answers from the
// environment block, the shell and the registry; tests answer from tables.
class IVariableSources {
public:
    virtual ~IVariableSources() = default;
    // Environment strings in the order of the environment block.
    virtual StringList Environment() = 0;
    virtual std::string WindowsDirectory() = 0;
    virtual std::string SystemDirectory() = 0;
    // Empty when the shell has no such folder.
    virtual std::string ShellFolder(int csidl) = 0;
    virtual std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                                      const std::string& defaultValue) = 0;
    virtual void RegListSubKeys(const std::string& keyPath, StringList& names) = 0;
    // An [IniVariables] value; the system's own INI files by default.
    virtual std::string IniReadString(const std::string& file, const std::string& section, const std::string& key,
                                      const std::string& defaultValue);
    // Today in the user's short date format.
    virtual std::string ShortDate() = 0;
};

struct VariableContext {
    std::string setupExePath;   // the running setup program
    std::string setupFolder;    // the folder of the extracted setup files
    std::string settingsFile;   // its settings file
    std::string languageCode;   // suffix of the language sections, and LangStr
};

// Rebuilds VariableList: environment, built-in variables, then the settings
// file's [Variables], [RegVariables] and [IniVariables] sections, each
// followed by its ".<language>" section. The settings file is closed in the
// INI cache first so that it is read as it is on disk.
void LoadVariablesFrom(IVariableSources& sources, const VariableContext& context);

}  // namespace brik
