// Registry paths as settings, install scripts and variables write them: one
// text, root name first ("HKLM\SOFTWARE\..."). The text rules live here, apart
// from the Win32 calls of kpRegIni, so that every spelling can be checked on
// any machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

enum class RegRoot : uint8_t {
    ClassesRoot,   // "HKCR", "HKEY_CLASSES_ROOT"
    CurrentUser,   // "HKCU", "HKEY_CURRENT_USER", and every path without a known root name
    LocalMachine,  // "HKLM", "HKEY_LOCAL_MACHINE"
    Users,         // "HKU", "HKEY_USERS"
};

struct RegPath {
    RegRoot root = RegRoot::CurrentUser;
    std::string subKey;  // empty: the root key itself
};

// One trailing backslash goes (not from "C:\"); a leading root name (any case,
// short or spelled out) picks the root, anything else falls under
// HKEY_CURRENT_USER whole.
RegPath ParseRegPath(std::string_view path);

// The root's short name: "HKCR", "HKCU", "HKLM", "HKU".
const char* RegRootName(RegRoot root);

// The key the path addresses, written out whole with its root's short name
// ("Software\X" is "HKCU\Software\X", "hkey_local_machine\A\" is
// "HKLM\A"): what the install logs, so that the uninstaller reads the key
// that was written, whatever the script's spelling.
std::string ResolvedRegPath(std::string_view path);

// Position of the last backslash that stands outside single or double
// quotes, scanning from the end; npos when there is none.
size_t LastUnquotedBackslash(std::string_view text);

// Divides a full value path ("key path\value name") at its last unquoted
// backslash. A value name in single quotes loses them, so it may hold
// backslashes. Without a divider the key path is empty and the whole text is
// the value name.
void SplitRegValuePath(std::string_view fullPath, std::string& keyPath, std::string& valueName);

// The key's name (after the last backslash or colon, one trailing backslash
// ignored) and its parent path (the text before, less one trailing backslash).
void SplitRegKeyParent(std::string_view keyPath, std::string& parentPath, std::string& name);

// Blanks are dropped; each pair of characters is one byte, 0 when the pair is
// not two hexadecimal digits; an odd last character is ignored.
std::vector<uint8_t> HexTextToBytes(std::string_view text);
// Two upper-case hexadecimal digits per byte, no separators.
std::string BytesToHexText(const void* data, size_t size);

}  // namespace brik
