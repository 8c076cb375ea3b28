// Registry access by path: every key is named by one text whose first
// component is a root name (see RegPath.h). Each call opens, uses and closes
// its own key, so no handle outlives a call and the functions may be used
// from any thread. Failures show nothing: they come back as false, an empty
// list, the caller's default, or type 0.
//
// Declared with plain types so that portable callers can name them; the
// implementation is Win32 (ANSI registry functions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/RegPath.h"

namespace brik {

using StringList = std::vector<std::string>;

// Registry value types as the system numbers them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// An empty value name means the key's default (unnamed) value.
uint32_t RegValueType(const std::string& keyPath, const std::string& valueName);
// `size` in: the buffer's size; out: the bytes stored, on success.
bool RegReadValue(const std::string& keyPath, const std::string& valueName, void* buffer,
                  uint32_t& size);
// String types as they are (no %...% expanded, at most 4095 characters);
// binary data as upper-case hexadecimal; DWORD as signed decimal.
std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultValue);
int32_t RegReadInteger(const std::string& keyPath, const std::string& valueName,
                       int32_t defaultValue);
bool RegReadBinary(const std::string& keyPath, const std::string& valueName,
                   std::vector<uint8_t>& data);
std::string RegReadHex(const std::string& keyPath, const std::string& valueName,
                       const std::string& defaultValue);
// Direct sub-keys in the order the system enumerates them; empty when the key
// cannot be opened.
void RegListSubKeys(const std::string& keyPath, StringList& names);

// Writes create every missing level of the key path.
bool RegWriteData(const std::string& keyPath, const std::string& valueName, uint32_t type,
                  uint32_t size, const void* data);
bool RegWriteString(const std::string& keyPath, const std::string& valueName, const std::string& text);
bool RegWriteInteger(const std::string& keyPath, const std::string& valueName, int32_t value);
bool RegWriteBinary(const std::string& keyPath, const std::string& valueName, const void* data,
                    uint32_t size);
bool RegWriteHex(const std::string& keyPath, const std::string& valueName, const std::string& hexText);

// Creates every missing level of the key path.
bool RegCreateKeyPath(const std::string& keyPath);
bool RegKeyExists(const std::string& keyPath);
// The key exists and holds neither values nor sub-keys.
bool RegKeyIsEmpty(const std::string& keyPath);
bool RegValueExists(const std::string& keyPath, const std::string& valueName);
bool RegRemoveValue(const std::string& keyPath, const std::string& valueName);
// With `recursive`, the sub-keys go first (their failures are ignored);
// without, a key that has sub-keys is refused on every system. A root key
// is never removed.
bool RegRemoveKey(const std::string& keyPath, bool recursive);
// `prefix` and a random number from 0 to 2147483646 that no value of the key
// is named yet.
std::string RegUniqueValueName(const std::string& keyPath, const std::string& prefix);

}  // namespace brik
