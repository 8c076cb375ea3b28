#include "ui/ShellRules.h"

#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Whether the last character is a backslash: in a double-byte code page the
// second byte of a character may have a backslash's value.
bool EndsWithBackslash(std::string_view path) {
    const bool* lead = platform::AnsiLeadTable();
    size_t i = 0;
    bool last = false;
    while (i < path.size()) {
        const auto byte = static_cast<unsigned char>(path[i]);
        last = byte == '\\';
        i += lead[byte] && i + 1 < path.size() ? 2 : 1;
    }
    return last;
}

}  // namespace

LinkText SplitLinkText(std::string_view text) {
    return {TokenAt(1, text, "|"), TokenAt(2, text, "|")};
}

bool IsOpenableAddress(std::string_view address) {
    size_t rest = 0;
    for (std::string_view scheme : {"http://", "https://", "mailto:"}) {
        if (StartsWithNoCase(address, scheme)) {
            rest = scheme.size();
            break;
        }
    }
    if (rest == 0 || rest == address.size()) return false;
    for (char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 127 || c == '"') return false;
    }
    return true;
}

std::string WithoutTrailingBackslash(std::string path) {
    const bool driveRoot = path.size() == 3 && path[1] == ':';
    if (path.size() > 1 && !driveRoot && EndsWithBackslash(path)) path.pop_back();
    return path;
}

std::string WithoutSurroundingQuotes(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return std::string(text);
}

bool StartsAsProgram(std::string_view file) {
    const size_t dot = file.find_last_of(".\\/");
    if (dot == std::string_view::npos || file[dot] != '.') return false;
    const std::string_view extension = file.substr(dot);
    if (extension.size() != 4) return false;
    for (std::string_view known : {".exe", ".com", ".bat", ".pif", ".lnk"})
        if (StartsWithNoCase(extension, known)) return true;
    return false;
}

std::string ProgramCommandLine(std::string_view file, std::string_view parameters) {
    return std::string(Trim("\"" + WithoutSurroundingQuotes(file) + "\" " + std::string(parameters)));
}

std::string NewFolderPath(std::string_view parent, std::string_view nameIn) {
    const std::string_view name = Trim(nameIn);
    if (name.empty() || name == "." || name == ".." || parent.empty()) return {};
    const bool* lead = platform::AnsiLeadTable();
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const auto byte = static_cast<unsigned char>(c);
        if (lead[byte] && i + 1 < name.size()) {
            ++i;  // a double-byte character, whatever its second byte
            continue;
        }
        if (byte < ' ' || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return {};
    }
    std::string path(parent);
    if (!EndsWithBackslash(path)) path += '\\';
    return path + std::string(name);
}

}  // namespace brik
