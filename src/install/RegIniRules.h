// How the registry and INI entries of the install scripts read: the value
// path and its data, type and flags, and the INI file, section, key, data
// and flags. Portable, so that every spelling can be checked on any machine;
// the writing is in RegIniChanges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

// Flags of the registry and INI entries.
inline constexpr int32_t kChangeNoLog = 1;          // the uninstaller leaves it
inline constexpr int32_t kChangeKeepExisting = 32;  // an existing one is not replaced

// "key\value" = data[,type[,flags]]; a path that ends in a backslash names
// the key's default value.
struct TRegValueEntry {
    std::string keyPath;    // resolved: root first, as ResolvedRegPath writes it
    std::string valueName;  // empty: the default value
    std::string fullPath;   // the resolved key and the value name as written: what the log records
    std::string data;
    uint32_t type = 0;      // kRegSz, kRegDword or kRegBinary
    int32_t flags = 0;
};
TRegValueEntry ParseRegValueEntry(std::string_view name, std::string_view value);
// What is stored: a string with its terminating zero, a DWORD in the
// system's byte order, or the bytes of the hexadecimal text.
std::vector<uint8_t> RegValueBytes(const TRegValueEntry& entry);

// The key a key path lies in: the text before its last backslash outside
// quotes (one trailing backslash ignored); empty for a single name.
std::string RegParentKeyPath(std::string_view keyPath);

// Why a DelReg never deletes this key, or empty when it may: a root, or a
// root's direct child (HKLM\Software), which holds every program's keys.
// A key that has sub-keys is refused as well, but only the system can tell.
std::string RegKeyDeleteRefusal(std::string_view keyPath);

// "file,section,key" = data[,flags]
struct TIniEntry {
    std::string file;
    std::string section;
    std::string key;
    std::string data;
    int32_t flags = 0;
};
TIniEntry ParseIniEntry(std::string_view name, std::string_view value);

}  // namespace brik
