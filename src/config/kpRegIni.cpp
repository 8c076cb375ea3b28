#include "config/kpRegIni.h"

#include <windows.h>

#include "util/WinHandles.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

HKEY RootKey(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegRoot::Users: return HKEY_USERS;
        case RegRoot::CurrentUser: break;
    }
    return HKEY_CURRENT_USER;
}

// One key for the length of one call.
class Key {
public:

    bool Open(const std::string& keyPath, REGSAM access) {
        const RegPath path = ParseRegPath(keyPath);
        return Took(RegOpenKeyExA(RootKey(path.root), path.subKey.c_str(), 0, access, handle_.Out()));
    }
    // Creates every missing level.
    bool Create(const std::string& keyPath) {
        const RegPath path = ParseRegPath(keyPath);
        return Took(RegCreateKeyA(RootKey(path.root), path.subKey.c_str(), handle_.Out()));
    }
    HKEY Handle() const { return handle_.Get(); }

    // The value's type and size; false when it cannot be queried.
    bool Query(const std::string& valueName, DWORD& type, DWORD& size) const {
        type = REG_NONE;
        size = 0;
        return RegQueryValueExA(handle_.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    }
    bool Read(const std::string& valueName, void* buffer, DWORD& size) const {
        return RegQueryValueExA(handle_.Get(), valueName.c_str(), nullptr, nullptr, static_cast<BYTE*>(buffer),
                                &size) == ERROR_SUCCESS;
    }
    bool ReadBinary(const std::string& valueName, std::vector<uint8_t>& data) const {
        DWORD type;
        DWORD size;
        if (!Query(valueName, type, size)) return false;
        std::vector<uint8_t> block(size);
        // A value may grow between the two calls; its new size is then refused.
        if (!Read(valueName, block.data(), size)) return false;
        block.resize(size);
        data = std::move(block);
        return true;
    }

private:
    // What a failed call left in the handle is never closed.
    bool Took(LONG status) {
        if (status == ERROR_SUCCESS) return true;
        handle_.Release();
        return false;
    }

    TScopedKey handle_;
};

constexpr DWORD kMaxStringBytes = 4096;

// The process's generator for value names, seeded once from the clock and
// the process; shared by both threads without a lock.
uint32_t NextRandom() {
    static volatile LONG state = 0;
    for (;;) {
        const LONG old = state;
        uint32_t x = static_cast<uint32_t>(old);
        if (x == 0) x = (GetTickCount() ^ (GetCurrentProcessId() << 16)) | 1u;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        if (InterlockedCompareExchange(const_cast<LONG*>(&state), static_cast<LONG>(x), old) == old) return x;
    }
}

}  // namespace

uint32_t RegValueType(const std::string& keyPath, const std::string& valueName) {
    Key key;
    DWORD type;
    DWORD size;
    if (!key.Open(keyPath, KEY_READ) || !key.Query(valueName, type, size)) return kRegNone;
    return type;
}

bool RegReadValue(const std::string& keyPath, const std::string& valueName, void* buffer, uint32_t& size) {
    Key key;
    if (!key.Open(keyPath, KEY_READ)) return false;
    DWORD n = size;
    if (!key.Read(valueName, buffer, n)) return false;
    size = n;
    return true;
}

std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultValue) {
    Key key;
    DWORD type;
    DWORD size;
    if (!key.Open(keyPath, KEY_READ) || !key.Query(valueName, type, size)) return defaultValue;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::string buffer(kMaxStringBytes, '\0');
            DWORD n = kMaxStringBytes;
            if (!key.Read(valueName, buffer.data(), n)) return defaultValue;
            buffer.resize(n);
            const size_t zero = buffer.find('\0');
            if (zero != std::string::npos) buffer.resize(zero);
            return buffer;
        }
        case REG_BINARY: {
            std::vector<uint8_t> data;
            if (!key.ReadBinary(valueName, data)) return defaultValue;
            return BytesToHexText(data.data(), data.size());
        }
        case REG_DWORD: {
            DWORD value = 0;
            DWORD n = sizeof value;
            int32_t number;
            if (key.Read(valueName, &value, n) && n == sizeof value)
                number = static_cast<int32_t>(value);
            else
                number = ParseNumber(defaultValue, 0);
            return std::to_string(number);
        }
        default:
            return defaultValue;
    }
}

int32_t RegReadInteger(const std::string& keyPath, const std::string& valueName, int32_t defaultValue) {
    DWORD value = 0;
    uint32_t size = sizeof value;
    if (!RegReadValue(keyPath, valueName, &value, size) || size != sizeof value) return defaultValue;
    return static_cast<int32_t>(value);
}

bool RegReadBinary(const std::string& keyPath, const std::string& valueName, std::vector<uint8_t>& data) {
    Key key;
    return key.Open(keyPath, KEY_READ) && key.ReadBinary(valueName, data);
}

std::string RegReadHex(const std::string& keyPath, const std::string& valueName,
                       const std::string& defaultValue) {
    std::vector<uint8_t> data;
    if (!RegReadBinary(keyPath, valueName, data)) return defaultValue;
    return BytesToHexText(data.data(), data.size());
}

void RegListSubKeys(const std::string& keyPath, StringList& names) {
    names.clear();
    Key key;
    if (!key.Open(keyPath, KEY_READ)) return;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        FILETIME written;
        const LONG rc = RegEnumKeyExA(key.Handle(), i, name, &length, nullptr, nullptr, nullptr, &written);
        if (rc == ERROR_MORE_DATA) continue;  // longer than we take
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
}

bool RegWriteData(const std::string& keyPath, const std::string& valueName, uint32_t type, uint32_t size,
                  const void* data) {
    Key key;
    if (!key.Create(keyPath)) return false;
    return RegSetValueExA(key.Handle(), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool RegWriteString(const std::string& keyPath, const std::string& valueName, const std::string& text) {
    return RegWriteData(keyPath, valueName, kRegSz, static_cast<uint32_t>(text.size() + 1), text.c_str());
}

bool RegWriteInteger(const std::string& keyPath, const std::string& valueName, int32_t value) {
    const DWORD data = static_cast<DWORD>(value);
    return RegWriteData(keyPath, valueName, kRegDword, sizeof data, &data);
}

bool RegWriteBinary(const std::string& keyPath, const std::string& valueName, const void* data, uint32_t size) {
    return RegWriteData(keyPath, valueName, kRegBinary, size, data);
}

bool RegWriteHex(const std::string& keyPath, const std::string& valueName, const std::string& hexText) {
    const std::vector<uint8_t> bytes = HexTextToBytes(hexText);
    return RegWriteBinary(keyPath, valueName, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

bool RegCreateKeyPath(const std::string& keyPath) {
    Key key;
    return key.Create(keyPath);
}

bool RegKeyExists(const std::string& keyPath) {
    Key key;
    return key.Open(keyPath, KEY_READ);
}

namespace {

// The key's count of sub-keys and values; false when it cannot be read.
bool CountKeyItems(const std::string& keyPath, DWORD& subKeys, DWORD& values) {
    Key key;
    subKeys = 0;
    values = 0;
    return key.Open(keyPath, KEY_READ) &&
           RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool RegKeyIsEmpty(const std::string& keyPath) {
    DWORD subKeys, values;
    return CountKeyItems(keyPath, subKeys, values) && subKeys == 0 && values == 0;
}

bool RegValueExists(const std::string& keyPath, const std::string& valueName) {
    Key key;
    DWORD type;
    DWORD size;
    return key.Open(keyPath, KEY_READ) && key.Query(valueName, type, size);
}

bool RegRemoveValue(const std::string& keyPath, const std::string& valueName) {
    Key key;
    return key.Open(keyPath, KEY_WRITE) && RegDeleteValueA(key.Handle(), valueName.c_str()) == ERROR_SUCCESS;
}

bool RegRemoveKey(const std::string& keyPath, bool recursive) {
    // A root key is never a key to remove: its recursive walk would empty the
    // whole root.
    if (ParseRegPath(keyPath).subKey.empty()) return false;
    if (recursive) {
        StringList subKeys;
        RegListSubKeys(keyPath, subKeys);
        std::string base = keyPath;
        if (base.empty() || base.back() != '\\') base += '\\';
        for (const std::string& name : subKeys) RegRemoveKey(base + name, true);
    } else {
        // Windows 95/98/Me delete a key with everything below it; NT
        // refuses. A key that still holds sub-keys is refused on both.
        DWORD subKeys, values;
        if (!CountKeyItems(keyPath, subKeys, values) || subKeys != 0) return false;
    }
    std::string parent;
    std::string name;
    SplitRegKeyParent(keyPath, parent, name);
    Key key;
    return key.Open(parent, KEY_WRITE) && RegDeleteKeyA(key.Handle(), name.c_str()) == ERROR_SUCCESS;
}

std::string RegUniqueValueName(const std::string& keyPath, const std::string& prefix) {
    for (;;) {
        std::string name = prefix + std::to_string(NextRandom() % 2147483647u);
        if (!RegValueExists(keyPath, name)) return name;
    }
}

}  // namespace brik
