#include "install/CopyRules.h"

#include <cstdio>

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
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(version.high >> 16),
                  static_cast<unsigned>(version.high & 0xFFFF), static_cast<unsigned>(version.low >> 16),
                  static_cast<unsigned>(version.low & 0xFFFF));
    return text;
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

}  // namespace brik
