#include "install/LogFormat.h"

#include "install/CopyRules.h"

namespace brik {

namespace {

constexpr const char* kSectionNames[] = {"CopyFiles",  "AddReg",     "AddIni",   "Shortcuts",  "CreateDirs",
                                         "CreateKeys", "RegServers", "RegFonts", "SharedFiles"};
constexpr int kKindCount = static_cast<int>(sizeof kSectionNames / sizeof kSectionNames[0]);

// A field as the log's reader splits fields: quote-aware, a single-quoted
// run taken as it stands, a doubled quote as one.
std::string LogField(std::string_view text) {
    const bool plain = text.find(',') == std::string_view::npos &&
                       (text.empty() || (text.front() != '\'' && text.front() != '"'));
    if (plain) return std::string(text);
    std::string field = "'";
    for (const char c : text) {
        if (c == '\'') field += c;
        field += c;
    }
    return field + "'";
}

}  // namespace

std::string IniRecordName(std::string_view file, std::string_view section, std::string_view key, bool newSection) {
    std::string name = LogField(file) + "," + LogField(section) + "," + LogField(key);
    if (newSection) name.append(",").append(kIniNewSection);
    return name;
}

const char* LogSectionName(int kind) { return kind >= 0 && kind < kKindCount ? kSectionNames[kind] : ""; }

bool IsSafeLoggedPath(std::string_view path) {
    // The copy rules' check, and a local drive: a log never names a share
    // the uninstall could reach.
    const char drive = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
    return drive >= 'a' && drive <= 'z' && path.size() >= 4 && path[1] == ':' && IsSafeTargetPath(path);
}

std::string UninstallKeyPath(std::string_view keyName) {
    while (!keyName.empty() && keyName.front() == '\\') keyName.remove_prefix(1);
    if (keyName.empty()) return {};
    std::string key(kUninstallRoot);
    key += '\\';
    key += keyName;
    return key;
}

std::string UninstallCommandLine(std::string_view uninstaller, std::string_view logPath) {
    std::string command = "\"";
    command.append(uninstaller).append("\" \"").append(logPath) += '"';
    return command;
}

}  // namespace brik
