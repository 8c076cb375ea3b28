// The launcher's decisions that need no Windows service: the operating-system
// kinds and the refusal rules, the clock code of temporary names, the
// language and dialog lists read from the settings, the rounding of sizes
// and the names the Presetup walk may write. Header-only so that the native
// unit tests check exactly what the engine runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.h"
#include "util/TempNames.h"
#include "util/kpStrUtils.h"

namespace brik {

// Platform identifiers as the system reports them (dwPlatformId).
inline constexpr int kPlatformWin32s = 0;
inline constexpr int kPlatformWindows = 1;  // Windows 95, 98, Me
inline constexpr int kPlatformNT = 2;

enum TOsKind : uint8_t {
    osWin32s = 0,
    osWin95 = 1,
    osWin98 = 2,
    osWinNT = 3,  // NT 4 and older
    osWin2000 = 4,
    osWinMe = 5,
    osWinXP = 6,
};

// Description of the running Windows, filled once when the process starts.
struct TOSVersion {
    uint8_t OsKind = osWin32s;
    int PlatformId = kPlatformWin32s;
    int Major = 0;
    int Minor = 0;
    std::string VersionText;  // "5.01", "4.0"
    int Build = 0;            // low 16 bits only on the 9x platform
    std::string ServicePack;  // the CSD text
    std::string Description;  // "Windows XP 5.01.2600 Service Pack 2"

    bool IsNT() const { return PlatformId == kPlatformNT; }
    bool Is9x() const { return PlatformId == kPlatformWindows; }
};

inline uint8_t OsKindOf(int platformId, int major, int minor) {
    switch (platformId) {
        case kPlatformWindows:
            if (major > 4 || (major == 4 && minor >= 90)) return osWinMe;
            if (major == 4 && minor > 0) return osWin98;
            return osWin95;
        case kPlatformNT:
            if (major > 4) return minor > 0 ? osWinXP : osWin2000;
            return osWinNT;
        default:
            return osWin32s;
    }
}

inline const char* OsKindText(uint8_t kind) {
    static const char* const texts[] = {"32s", "95", "98", "NT", "2000", "Me", "XP"};
    return kind < 7 ? texts[kind] : "";
}

// printf's "%.Nd": at least `digits` digits with zeros in front, a minus
// sign before them. Written out because the C++ library switches the
// Windows build to mingw's own printf, which would add 30 KB to the engine.
inline std::string DecimalText(int value, size_t digits = 1) {
    const bool negative = value < 0;
    unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (text.size() < digits) text.insert(0, digits - text.size(), '0');
    if (negative) text.insert(0, 1, '-');
    return text;
}

inline TOSVersion MakeOSVersion(int platformId, int major, int minor, int build, std::string_view csd) {
    TOSVersion v;
    v.PlatformId = platformId;
    v.Major = major;
    v.Minor = minor;
    v.Build = platformId == kPlatformWindows ? (build & 0xFFFF) : build;
    v.ServicePack = std::string(csd);
    v.OsKind = OsKindOf(platformId, major, minor);
    v.VersionText = DecimalText(major) + "." + DecimalText(minor, minor != 0 ? 2 : 1);
    std::string description = "Windows ";
    description += OsKindText(v.OsKind);
    description += ' ';
    description += v.VersionText;
    description += '.';
    description += DecimalText(v.Build, 4);
    description += ' ';
    description += v.ServicePack;
    v.Description = Trim(description);
    return v;
}

// The SupportedOS rule: tokens compare as a whole and untrimmed, so a blank
// after a comma makes the next token unknown. An empty value means no check.
inline bool IsOSSupported(std::string_view supportedOS, const TOSVersion& os) {
    if (supportedOS.empty()) return true;
    for (const std::string& token : SplitCommaList(supportedOS)) {
        if (os.IsNT()) {
            if (SameText(token, "nt") || (SameText(token, "nt4") && os.Major == 4) ||
                (SameText(token, "2k") && os.OsKind == osWin2000) ||
                (SameText(token, "xp") && os.OsKind == osWinXP))
                return true;
        } else {
            if (SameText(token, "9x") || (SameText(token, "95") && os.OsKind == osWin95) ||
                (SameText(token, "98") && os.OsKind == osWin98) ||
                (SameText(token, "me") && os.OsKind == osWinMe))
                return true;
        }
    }
    return false;
}

// The MinOSVersion rule: "major.minor.build", each missing or non-numeric part
// taking the running system's own value, so that an empty value passes.
inline bool MeetsMinOSVersion(std::string_view minOSVersion, const TOSVersion& os) {
    const int own[3] = {os.Major, os.Minor, os.Build};
    int required[3] = {own[0], own[1], own[2]};
    size_t start = 0;
    for (int part = 0; part < 3 && start <= minOSVersion.size(); ++part) {
        size_t end = minOSVersion.find('.', start);
        if (end == std::string_view::npos) end = minOSVersion.size();
        int32_t n;
        if (TryStrToInt(minOSVersion.substr(start, end - start), n)) required[part] = n;
        start = end + 1;
    }
    for (int part = 0; part < 3; ++part) {
        if (own[part] != required[part]) return own[part] > required[part];
    }
    return true;
}

// A dialog sequence setting as dialog names: trimmed, in upper case, empty
// items skipped.
inline std::vector<std::string> SplitDialogSequence(std::string_view value) {
    std::vector<std::string> names;
    for (const std::string& item : SplitCommaList(value)) {
        std::string name = AnsiUpperCase(Trim(item));
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

// The first language: the user's own abbreviation, spelled as the system
// spells it, when it is offered and automatic selection is on; otherwise the
// first entry's code. Entries are "code=display name".
inline std::string ChooseLanguage(const std::vector<std::string>& languageList, std::string_view userAbbrev,
                                  bool autoSelect) {
    if (autoSelect && !userAbbrev.empty()) {
        for (const std::string& entry : languageList)
            if (SameText(NamePart(entry), userAbbrev)) return std::string(userAbbrev);
    }
    return languageList.empty() ? std::string() : std::string(NamePart(languageList.front()));
}

// num / den rounded to the nearest integer, a half to the even neighbour.
inline uint64_t RoundDivHalfEven(uint64_t num, uint64_t den) {
    if (den == 0) return 0;
    const uint64_t q = num / den;
    const uint64_t r = num % den;
    if (r > den - r) return q + 1;
    if (r == den - r) return q + (q & 1);
    return q;
}

// What the Presetup walk does with one stored name.
enum class PresetupName {
    Extract,  // a setup file; destination filled
    End,      // not a setup file: the walk ends here
    Refuse,   // a setup file that must not be written: the extraction fails
};

inline constexpr size_t kMaxDestinationLength = 255;

// A name under "Presetup\" goes to folder + the rest of the name, unless the
// rest could leave the folder (absolute, drive, UNC, ".."), names a device
// or the destination would not fit the library's buffer.
inline PresetupName PresetupDestination(std::string_view name, std::string_view folder,
                                        std::string& destination) {
    destination.clear();
    if (!MatchesMask(name, "Presetup\\*", true)) return PresetupName::End;
    std::string_view rest = name.substr(9);
    if (!IsSafeRelativePath(rest) || HasDeviceComponent(rest)) return PresetupName::Refuse;
    std::string path(folder);
    path += rest;
    if (path.size() > kMaxDestinationLength) return PresetupName::Refuse;
    destination = std::move(path);
    return PresetupName::Extract;
}

}  // namespace brik
