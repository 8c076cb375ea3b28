// What an install of a package would do on a given Windows, worked out
// without running it: the engine's own script reading, copy decisions and
// variable expansion, fed with the standard folders of a default English
// installation of that Windows instead of the live system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/Variables.h"

namespace brik {

// The Windows kinds a plan is made for.
enum class TPlanWindows : uint8_t { Win95, Win98, WinMe, NT4, Win2000, WinXP };
// "95", "98", "me", "nt4", "2000", "xp", any case; false for anything else.
bool ParsePlanWindows(std::string_view text, TPlanWindows& windows);
// The name the option takes, and the name people know the system by.
const char* PlanWindowsOption(TPlanWindows windows);
const char* PlanWindowsTitle(TPlanWindows windows);

// What LoadVariables asks of the system, answered for a default English
// installation of that Windows, used by a single user named "User": the
// environment block, the Windows and system folders, the shell folders and
// the registry values the built-in variables read (every other value is
// missing, so its variable takes its default).
std::unique_ptr<IVariableSources> DefaultSystemSources(TPlanWindows windows);

struct TPlanRequest {
    TPlanWindows windows = TPlanWindows::WinXP;
    // Empty: the language the engine starts with when nobody chooses.
    std::string language;
    // name=value pairs the user would have set in the wizard (InstallPath,
    // ProgramGroup, ...), in order; set after the settings' own variables.
    std::vector<std::pair<std::string, std::string>> variables;
    // The target's ANSI code page the package's texts are in.
    int codePage = 1252;
};

// One thing the install would do, as named fields in a fixed order.
struct TPlanField {
    enum class Kind : uint8_t { Text, Number, Bool };
    std::string name;
    std::string value;  // the number's or the bool's text for those kinds
    Kind kind = Kind::Text;
};
struct TPlanItem {
    std::string line;  // one line of the plain text
    std::vector<TPlanField> fields;
    // Why the engine would refuse the item; empty when it would not.
    std::string refused;
};
struct TPlanGroup {
    const char* key;    // the JSON member
    const char* title;  // the plain text heading
    std::vector<TPlanItem> items;
};

struct TPlan {
    std::vector<TPlanField> header;
    std::vector<TPlanGroup> groups;
    std::vector<std::string> notes;  // what the reader should know about the plan itself
};

// The plan of the setup files in setupFolder (a folder with its delimiter at
// the end, holding Brik.ini with its [FileInfo], the language files and the
// scripts under the names the engine asks for). False with `error` set when
// no plan can be made (no settings file, a language the package lacks).
bool MakePlan(const std::string& setupFolder, const TPlanRequest& request, TPlan& plan, std::string& error);

// The setup files of a project folder (its [FileInfo] made as the build
// makes it) or of a setup package (read as the engine's Presetup walk reads
// them; they are never encrypted) written into folder, each also under the
// spelling the engine asks for when that differs only in case. False with
// `error` set when the input cannot be read.
bool StageProject(const std::string& projectUtf8, int codePage, const std::string& folder, std::string& error);
bool StagePackage(const std::string& file, const std::string& folder, bool& passwordProtected,
                  std::string& error);

// Plain text, grouped by kind, one line per item; UTF-8.
std::string PlanText(const TPlan& plan, int codePage);
// One JSON object (the shape the README documents); UTF-8.
std::string PlanJson(const TPlan& plan, int codePage);
// A JSON string literal of UTF-8 text: quotes, backslashes and control
// characters escaped.
std::string JsonString(std::string_view utf8);

}  // namespace brik
