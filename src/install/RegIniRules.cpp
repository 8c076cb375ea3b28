#include "install/RegIniRules.h"

#include "config/RegPath.h"
#include "config/kpRegIni.h"
#include "util/kpStrUtils.h"

namespace brik {

TRegValueEntry ParseRegValueEntry(std::string_view name, std::string_view value) {
    TRegValueEntry entry;
    std::string writtenKey;
    SplitRegValuePath(name, writtenKey, entry.valueName);
    entry.keyPath = ResolvedRegPath(writtenKey);
    // The value name keeps its spelling (quotes and all), so that the
    // uninstaller splits the record as the install split the line.
    const size_t divider = LastUnquotedBackslash(name);
    entry.fullPath = entry.keyPath + "\\" + std::string(divider == std::string_view::npos ? name : name.substr(divider + 1));
    entry.data = FieldAt(1, value, ",");
    switch (ParseNumber(FieldAt(2, value, ","), 0)) {
        case 1: entry.type = kRegDword; break;
        case 2: entry.type = kRegBinary; break;
        default: entry.type = kRegSz; break;
    }
    entry.flags = ParseNumber(FieldAt(3, value, ","), 0);
    return entry;
}

std::vector<uint8_t> RegValueBytes(const TRegValueEntry& entry) {
    if (entry.type == kRegBinary) return HexTextToBytes(entry.data);
    if (entry.type == kRegDword) {
        const auto number = static_cast<uint32_t>(ParseNumber(entry.data, 0));
        return {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number >> 16),
                static_cast<uint8_t>(number >> 24)};
    }
    std::vector<uint8_t> bytes(entry.data.begin(), entry.data.end());
    bytes.push_back(0);
    return bytes;
}

std::string RegParentKeyPath(std::string_view keyPath) {
    if (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
    const size_t divider = LastUnquotedBackslash(keyPath);
    return divider == std::string_view::npos ? std::string() : std::string(keyPath.substr(0, divider));
}

std::string RegKeyDeleteRefusal(std::string_view keyPath) {
    const RegPath parsed = ParseRegPath(keyPath);
    if (parsed.subKey.empty()) return "a registry root is never deleted";
    if (parsed.subKey.find('\\') == std::string::npos)
        return "a registry root's direct child is never deleted";
    return {};
}

TIniEntry ParseIniEntry(std::string_view name, std::string_view value) {
    TIniEntry entry;
    entry.file = FieldAt(1, name, ",");
    entry.section = FieldAt(2, name, ",");
    entry.key = FieldAt(3, name, ",");
    entry.data = FieldAt(1, value, ",");
    entry.flags = ParseNumber(FieldAt(2, value, ","), 0);
    return entry;
}

}  // namespace brik
