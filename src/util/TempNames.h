// Names and places of the engine's temporary files and folders, free of
// Windows so that the native tests check exactly what the engine runs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/kpStrUtils.h"

namespace brik {

inline bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

inline int DayOfYear(int year, int month, int day) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (month < 1 || month > 12) return day;
    return before[month - 1] + day + (month > 2 && IsLeapYear(year) ? 1 : 0);
}

// The eight-character clock code of temporary names: three base-32 digits of
// a day number within a ten-year cycle, then five of the hundredths of a
// second since midnight.
inline std::string UniqueNameCode(int year, int month, int day, int hour, int minute, int second,
                                  int milliseconds) {
    const int y = year % 10;
    const int64_t dayNumber = int64_t{y} * 365 + y / 4 + DayOfYear(year, month, day);
    const int64_t hundredths =
        int64_t{hour} * 360000 + int64_t{minute} * 6000 + int64_t{second} * 100 + milliseconds / 10;
    return IntToBase(dayNumber, 3, 32) + IntToBase(hundredths, 5, 32);
}

// prefix + code + extension; a short name keeps prefix and code to eight
// characters.
inline std::string UniqueNameFromCode(std::string_view prefix, std::string_view extension, bool shortName,
                                      std::string_view code) {
    std::string name;
    if (shortName) {
        prefix = prefix.substr(0, 4);
        name.assign(prefix);
        name += code.substr(std::min(prefix.size(), code.size()));
    } else {
        name.assign(prefix);
        name += code;
    }
    name += extension;
    return name;
}

inline std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
    return path;
}

// The temporary folder, unless the system's answer is the current folder,
// which a setup must not fill: then the Windows directory's Temp on the 9x
// platform, else C:\Temp.
inline std::string ChooseTempPath(const std::string& systemTemp, const std::string& currentDir, bool win9x,
                                  const std::string& windowsDir) {
    std::string temp = WithTrailingBackslash(systemTemp);
    if (!SameText(temp, WithTrailingBackslash(currentDir))) return temp;
    return win9x ? WithTrailingBackslash(windowsDir) + "Temp\\" : std::string("C:\\Temp\\");
}

}  // namespace brik
