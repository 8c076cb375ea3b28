#include "install/LogFormat.h"

#include "crypto/Haval.h"
#include "install/CopyRules.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr const char* kSectionNames[] = {"CopyFiles",  "AddReg",     "AddIni",   "Shortcuts",  "CreateDirs",
                                         "CreateKeys", "RegServers", "RegFonts", "SharedFiles"};
constexpr int kKindCount = static_cast<int>(sizeof kSectionNames / sizeof kSectionNames[0]);

// The stamp's time is read back as the digits IntToBase writes.
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kHexBits = 4;

// The rights of a folder's access list that let someone put a file of their
// own in it: add a file, delete one, change the list or the owner, and the
// generic rights that hold them.
constexpr uint32_t kAddFileRight = 0x0002;
constexpr uint32_t kDeleteChildRight = 0x0040;
constexpr uint32_t kWriteListRight = 0x00040000;
constexpr uint32_t kWriteOwnerRight = 0x00080000;
constexpr uint32_t kGenericAllRight = 0x10000000;
constexpr uint32_t kGenericWriteRight = 0x40000000;
constexpr uint32_t kOpeningRights =
    kAddFileRight | kDeleteChildRight | kWriteListRight | kWriteOwnerRight | kGenericAllRight | kGenericWriteRight;

std::string WithoutTrailingBackslashes(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return std::string(path);
}


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

std::string LogPathOfCommandLine(std::string_view commandLine) {
    const size_t close = commandLine.rfind('"');
    if (close == std::string_view::npos || close == 0) return {};
    const size_t open = commandLine.rfind('"', close - 1);
    if (open == std::string_view::npos) return {};
    return std::string(commandLine.substr(open + 1, close - open - 1));
}

std::string LogDigestText(std::string_view bytes) {
    std::string text;
    for (const uint8_t byte : HavalHash(bytes)) text += IntToBase(byte, 2, 16);
    return text;
}

std::string FileStampText(int64_t size, uint64_t writeTime) {
    return IntToBase(size, 1, 10) + "," + IntToBase(static_cast<int64_t>(writeTime), 16, 16);
}

bool ParseFileStamp(std::string_view text, int64_t& size, uint64_t& writeTime) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma == 0 || comma + 1 == text.size()) return false;
    int64_t parsedSize = 0;
    for (const char c : text.substr(0, comma)) {
        if (c < '0' || c > '9' || parsedSize > (INT64_MAX - 9) / 10) return false;
        parsedSize = parsedSize * 10 + (c - '0');
    }
    const std::string_view hex = text.substr(comma + 1);
    if (hex.size() > 16) return false;
    uint64_t parsedTime = 0;
    for (const char c : hex) {
        const char upper = static_cast<char>(c >= 'a' && c <= 'f' ? c - ('a' - 'A') : c);
        const char* digit = std::char_traits<char>::find(kHexDigits, 16, upper);
        if (digit == nullptr) return false;
        parsedTime = (parsedTime << kHexBits) | static_cast<uint64_t>(digit - kHexDigits);
    }
    size = parsedSize;
    writeTime = parsedTime;
    return true;
}

bool IsShortcutFile(std::string_view path) {
    constexpr std::string_view kShortcutKinds[] = {".lnk", ".pif", ".url"};
    for (const std::string_view kind : kShortcutKinds)
        if (path.size() > kind.size() && SameText(path.substr(path.size() - kind.size()), kind)) return true;
    return false;
}

bool IsInFolder(std::string_view path, std::string_view folder) {
    const std::string base = WithoutTrailingBackslashes(folder);
    return !base.empty() && path.size() > base.size() + 1 && path[base.size()] == '\\' &&
           SameText(path.substr(0, base.size()), base) && path[base.size() + 1] != '\\';
}

TLogTrust JudgeRegistration(std::string_view logPath, std::string_view digest, std::string_view commandLine,
                            std::string_view storedDigest) {
    if (storedDigest.empty() || !SameText(LogPathOfCommandLine(commandLine), logPath)) return TLogTrust::Unverified;
    return SameText(storedDigest, digest) ? TLogTrust::Verified : TLogTrust::Changed;
}

bool EntryOpensFolder(const TAccessEntry& e) {
    return e.allows && !e.inheritOnly && e.anyUser && (e.rights & kOpeningRights) != 0;
}

bool IsAnyUserSid(const uint8_t* sid, size_t size) {
    // Revision, count of sub-authorities, the 48-bit authority (big-endian),
    // then the sub-authorities (32-bit, little-endian).
    constexpr size_t kHeader = 8;
    constexpr uint8_t kWorldAuthority = 1, kNtAuthority = 5;
    constexpr uint32_t kWorld = 0, kInteractive = 4, kAuthenticatedUsers = 11, kBuiltin = 32, kUsers = 545, kGuests = 546;
    if (size < kHeader || sid[0] != 1 || size < kHeader + 4u * sid[1]) return false;
    for (int i = 2; i < 7; ++i)
        if (sid[i] != 0) return false;
    const auto sub = [sid](int n) {
        const uint8_t* p = sid + kHeader + 4 * n;
        return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
    };
    if (sid[1] == 1 && sid[7] == kWorldAuthority) return sub(0) == kWorld;
    if (sid[7] != kNtAuthority) return false;
    if (sid[1] == 1) return sub(0) == kInteractive || sub(0) == kAuthenticatedUsers;
    return sid[1] == 2 && sub(0) == kBuiltin && (sub(1) == kUsers || sub(1) == kGuests);
}

std::string UninstallCommandLine(std::string_view uninstaller, std::string_view logPath) {
    std::string command = "\"";
    command.append(uninstaller).append("\" \"").append(logPath) += '"';
    return command;
}

}  // namespace brik
