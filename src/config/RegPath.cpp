#include "config/RegPath.h"

#include "util/kpStrUtils.h"

namespace brik {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "C:\" is a drive's root and keeps its backslash.
std::string_view DropTrailingBackslash(std::string_view path) {
    if (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':'))
        path.remove_suffix(1);
    return path;
}

}  // namespace

RegPath ParseRegPath(std::string_view path) {
    path = DropTrailingBackslash(path);
    const size_t slash = path.find('\\');
    std::string first(path.substr(0, slash));
    for (char& c : first) c = AsciiUpper(c);

    struct Root {
        const char* name;
        RegRoot root;
    };
    // The spelled-out names are the system's own: a key written under
    // HKEY_CURRENT_USER\HKEY_LOCAL_MACHINE is never what an author meant.
    static constexpr Root kRoots[] = {
        {"HKCR", RegRoot::ClassesRoot},  {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
        {"HKCU", RegRoot::CurrentUser},  {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
        {"HKLM", RegRoot::LocalMachine}, {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
        {"HKU", RegRoot::Users},         {"HKEY_USERS", RegRoot::Users},
    };
    for (const Root& r : kRoots) {
        if (first == r.name) {
            RegPath result{r.root, {}};
            if (slash != std::string_view::npos) result.subKey.assign(path.substr(slash + 1));
            return result;
        }
    }
    return RegPath{RegRoot::CurrentUser, std::string(path)};
}

const char* RegRootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return "HKCR";
        case RegRoot::LocalMachine: return "HKLM";
        case RegRoot::Users: return "HKU";
        case RegRoot::CurrentUser: break;
    }
    return "HKCU";
}

std::string ResolvedRegPath(std::string_view path) {
    const RegPath parsed = ParseRegPath(path);
    std::string resolved = RegRootName(parsed.root);
    if (!parsed.subKey.empty()) resolved += "\\" + parsed.subKey;
    return resolved;
}

size_t LastUnquotedBackslash(std::string_view text) {
    char open = '\0';
    for (size_t i = text.size(); i-- > 0;) {
        const char c = text[i];
        if (open != '\0') {
            if (c == open) open = '\0';
        } else if (c == '"' || c == '\'') {
            open = c;
        } else if (c == '\\') {
            return i;
        }
    }
    return std::string_view::npos;
}

void SplitRegValuePath(std::string_view fullPath, std::string& keyPath, std::string& valueName) {
    const size_t divider = LastUnquotedBackslash(fullPath);
    std::string_view name = fullPath;
    if (divider == std::string_view::npos) {
        keyPath.clear();
    } else {
        keyPath.assign(fullPath.substr(0, divider));
        name = fullPath.substr(divider + 1);
    }
    valueName = Unquote(name, '\'');
}

void SplitRegKeyParent(std::string_view keyPath, std::string& parentPath, std::string& name) {
    if (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
    const size_t cut = keyPath.find_last_of("\\:");
    if (cut == std::string_view::npos) {
        parentPath.clear();
        name.assign(keyPath);
        return;
    }
    name.assign(keyPath.substr(cut + 1));
    std::string_view parent = keyPath.substr(0, cut + 1);
    if (!parent.empty() && parent.back() == '\\') parent.remove_suffix(1);
    parentPath.assign(parent);
}

std::vector<uint8_t> HexTextToBytes(std::string_view text) {
    const std::string packed = RemoveBlanks(text);
    std::vector<uint8_t> bytes(packed.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = HexDigit(packed[2 * i]);
        const int lo = HexDigit(packed[2 * i + 1]);
        bytes[i] = hi < 0 || lo < 0 ? 0 : static_cast<uint8_t>(hi * 16 + lo);
    }
    return bytes;
}

std::string BytesToHexText(const void* data, size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const uint8_t*>(data);
    std::string text(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        text[2 * i] = kDigits[p[i] >> 4];
        text[2 * i + 1] = kDigits[p[i] & 15];
    }
    return text;
}

}  // namespace brik
