#include "install/CopyRules.h"


#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

TFileVersion ParseVersionText(std::string_view text) {
    uint32_t parts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        int32_t value = 0;
        if (TryStrToInt(Trim(FieldAt(i + 1, text, ".")), value) && value >= 0 && value <= 0xFFFF)
            parts[i] = static_cast<uint32_t>(value);
    }
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

std::string VersionText(const TFileVersion& version) {
    return IntToBase(version.high >> 16, 1, 10) + "." + IntToBase(version.high & 0xFFFF, 1, 10) + "." +
           IntToBase(version.low >> 16, 1, 10) + "." + IntToBase(version.low & 0xFFFF, 1, 10);
}

bool IsDestinationNewer(std::string_view sourceVersion, const TFileFacts& dest, TDosTime sourceTime) {
    if (!dest.exists) return false;
    bool newer = false;
    bool same = true;
    if (!sourceVersion.empty() && dest.hasVersion) {
        const TFileVersion source = ParseVersionText(sourceVersion);
        newer = dest.version.high > source.high || (dest.version.high == source.high && dest.version.low > source.low);
        same = dest.version == source;
    }
    if (same) newer = newer || dest.time > sourceTime;
    return newer;
}

bool IsSameFile(std::string_view sourceVersion, const TFileFacts& dest, TDosTime sourceTime) {
    if (!dest.exists) return false;
    if (!sourceVersion.empty() && dest.hasVersion && !(ParseVersionText(sourceVersion) == dest.version)) return false;
    return dest.time == sourceTime;
}

bool IsSourceNewer(const TFileFacts& source, const TFileFacts& dest) {
    if (!dest.exists) return true;
    if (source.hasVersion && dest.hasVersion)
        return source.version.high > dest.version.high ||
               (source.version.high == dest.version.high && source.version.low > dest.version.low);
    return source.time > dest.time;
}

size_t FileNameStart(std::string_view path) {
    const bool* lead = platform::AnsiLeadTable();
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (lead[static_cast<unsigned char>(path[i])] && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\') start = i + 1;
    }
    return start;
}

namespace {

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

// num / den to the nearest, a half to the even neighbour; den > 0.
uint64_t RoundDivHalfEven(uint64_t num, uint64_t den) {
    const uint64_t q = num / den;
    const uint64_t r = num % den;
    if (r > den - r || (r == den - r && (q & 1))) return q + 1;
    return q;
}

// Where the next backslash or slash at or after from is, or npos; the second
// byte of a double-byte character is never one.
size_t NextDelimiter(std::string_view path, size_t from) {
    const bool* lead = platform::AnsiLeadTable();
    for (size_t i = from; i < path.size(); ++i) {
        if (lead[static_cast<unsigned char>(path[i])]) ++i;
        else if (path[i] == '\\' || path[i] == '/') return i;
    }
    return std::string_view::npos;
}

// A folder or file name that Windows takes as itself, inside its folder: not
// empty, not only dots and blanks (".", "..", and "..." or ". ." which the
// system trims to them), no wildcard, stream or reserved character, no device.
bool IsPlainComponent(std::string_view part) {
    if (part.empty() || part.find_first_not_of(". ") == std::string_view::npos) return false;
    const bool* lead = platform::AnsiLeadTable();
    for (size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (lead[static_cast<unsigned char>(c)]) {
            ++i;  // its second byte may be any byte from 0x40 up, "|" too
            continue;
        }
        if (static_cast<unsigned char>(c) < ' ' || std::string_view("*?:\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    return !IsDeviceName(part);
}

}  // namespace

TCopyVerdict DecideCopy(int flags, std::string_view sourceVersion, TDosTime sourceTime, int64_t sourceSize,
                        const TFileFacts& dest) {
    if (!dest.exists) return TCopyVerdict::Write;
    if (flags & kCopyNeverReplace) return TCopyVerdict::Skip;
    if (flags & kCopyAlways) return TCopyVerdict::Write;
    if (IsDestinationNewer(sourceVersion, dest, sourceTime))
        return (flags & kCopyKeepNewer) ? TCopyVerdict::Skip : TCopyVerdict::DestinationNewer;
    if (IsSameFile(sourceVersion, dest, sourceTime) && dest.size == sourceSize) return TCopyVerdict::Skip;
    return TCopyVerdict::Write;
}

const TWorkList::TEntry* FindCopyEntry(const TWorkList& list, std::string_view file) {
    const size_t nameAt = FileNameStart(file);
    const std::string_view folder = file.substr(0, nameAt);
    std::string name(file.substr(nameAt));
    // Masks such as "*.*" then match a name without extension, as on the
    // systems the scripts were written for.
    if (name.find('.') == std::string::npos) name += '.';
    std::string dotted(folder);
    dotted += name;
    for (const TWorkList::TEntry& entry : list.Entries()) {
        const size_t maskAt = FileNameStart(entry.name);
        const std::string_view mask = std::string_view(entry.name).substr(maskAt);
        if (!HasWildcard(mask)) {
            if (SameText(entry.name, dotted)) return &entry;
            continue;
        }
        const std::string_view entryFolder = std::string_view(entry.name).substr(0, maskAt);
        if (folder.size() >= entryFolder.size() && SameText(folder.substr(0, entryFolder.size()), entryFolder) &&
            MatchesMask(name, mask, true))
            return &entry;
    }
    return nullptr;
}

std::string CopyDestination(const TWorkList::TEntry& entry, std::string_view file) {
    const std::string target(Trim(FieldAt(1, entry.value, ",")));
    const size_t maskAt = FileNameStart(entry.name);
    if (!HasWildcard(std::string_view(entry.name).substr(maskAt))) return target;
    if (file.size() < maskAt || !SameText(file.substr(0, maskAt), std::string_view(entry.name).substr(0, maskAt)))
        return {};
    // The part below the entry's folder comes from the package or the disk
    // walk; it may only add folders below the destination.
    const std::string_view below = file.substr(maskAt);
    if (!IsSafeRelativePath(below) || HasDeviceComponent(below) || HasWildcard(below)) return {};
    return target.substr(0, FileNameStart(target)) + std::string(below);
}

int CopyFlagsOf(const TWorkList::TEntry& entry) {
    int32_t flags = 0;
    return TryStrToInt(Trim(FieldAt(2, entry.value, ",")), flags) ? flags : 0;
}

bool IsSafeTargetPath(std::string_view path) {
    std::string_view rest;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() > 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
        rest = path.substr(3);
    } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
        // \\server\share\...; "\\?\" and "\\.\" name devices and raw
        // volumes, which IsPlainComponent refuses with the dots and "?".
        size_t at = 2;
        for (int part = 0; part < 2; ++part) {
            const size_t end = NextDelimiter(path, at);
            if (end == std::string_view::npos || !IsPlainComponent(path.substr(at, end - at))) return false;
            at = end + 1;
        }
        rest = path.substr(at);
    } else {
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = NextDelimiter(rest, start);
        if (!IsPlainComponent(rest.substr(start, end == std::string_view::npos ? end : end - start))) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

int64_t RequiredKilobytes(uint64_t bytes, int64_t extraKilobytes) {
    return static_cast<int64_t>(RoundDivHalfEven(bytes, 1024)) + extraKilobytes;
}

int ProgressPercent(int64_t done, int64_t total) {
    if (total <= 0 || done >= total) return 100;
    if (done <= 0) return 0;
    // done < total here, so done × 100 overflows only when total does first.
    uint64_t num = static_cast<uint64_t>(done);
    uint64_t den = static_cast<uint64_t>(total);
    while (den > UINT64_MAX / 100) {
        num >>= 1;
        den >>= 1;
    }
    return static_cast<int>(RoundDivHalfEven(num * 100, den));
}

std::string RewriteWininit(const std::string* previous, const std::vector<std::string>& entries) {
    std::string out;
    const auto put = [&out](std::string_view line) {
        out.append(line);
        out += "\r\n";
    };
    const auto putEntries = [&] {
        for (const std::string& entry : entries) put(entry);
    };
    bool inRename = false;
    bool written = false;
    if (previous) {
        std::string_view text = *previous;
        while (!text.empty()) {
            size_t end = text.find_first_of("\r\n");
            if (end == std::string_view::npos) end = text.size();
            const std::string_view line = Trim(text.substr(0, end));
            // One line end: CR LF, CR or LF.
            if (end < text.size()) end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
            text.remove_prefix(end);
            // The section ends at its first empty line, or at the next
            // section when none comes between: the new lines belong to
            // [Rename], never to the section after it.
            if (inRename && !written && (line.empty() || line.front() == '[')) {
                putEntries();
                written = true;
            }
            if (!inRename && SameText(line, "[Rename]")) inRename = true;
            put(line);
        }
    }
    if (!inRename) put("[Rename]");
    if (!written) putEntries();
    return out;
}

TRunOnceRename RenameBackCommand(std::string_view shortTarget, std::string_view longFileName) {
    TRunOnceRename rename;
    rename.name = "Rename ";
    rename.name += shortTarget;
    // Both quoted: the short path may still hold a blank where the system
    // kept no short name for a folder, and the long name usually does.
    rename.command = "command.com /c ren \"";
    rename.command.append(shortTarget).append("\" \"").append(longFileName) += '"';
    return rename;
}

TRunOnceRename RemoveFolderCommand(std::string_view shortFolder) {
    TRunOnceRename remove;
    remove.name = "Remove ";
    remove.name += shortFolder;
    remove.command = "command.com /c rd \"";
    remove.command.append(shortFolder) += '"';
    return remove;
}

}  // namespace brik
