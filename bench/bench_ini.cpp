// Loads generated INI files of about 1 MB and 10 MB through the cache and
// reports the time per MB of each, so that a loader that is not linear in the
// file size shows up as a ratio well above 1.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/kpIniFile.h"

namespace {

// Sections of varied size with the line shapes the engine meets in practice:
// quoted values, blanks around "=", comments, lines without "=".
std::string MakeIni(size_t targetBytes) {
    std::string text;
    text.reserve(targetBytes + 256);
    int section = 0;
    while (text.size() < targetBytes) {
        text += "[Section" + std::to_string(section) + "]\r\n";
        int lines = 5 + section % 200;
        for (int i = 0; i < lines && text.size() < targetBytes; ++i) {
            switch (i % 4) {
                case 0: text += "Key" + std::to_string(i) + " = \"Some value with blanks " + std::to_string(section) + "\"\r\n"; break;
                case 1: text += "; a comment line that the loader drops\r\n"; break;
                case 2: text += "Path" + std::to_string(i) + "=%ProgramFiles%\\Brisk\\Data\\file" + std::to_string(i) + ".dll,1,0\r\n"; break;
                default: text += "Flag" + std::to_string(i) + "=1\r\n"; break;
            }
        }
        ++section;
    }
    return text;
}

double LoadSeconds(const std::string& path, const std::string& lastSection) {
    auto start = std::chrono::steady_clock::now();
    std::string v = brik::IniReadString(path, lastSection, "Flag3", "");
    auto stop = std::chrono::steady_clock::now();
    brik::CloseIniFile(path);
    if (v != "1") std::fprintf(stderr, "unexpected value read: '%s'\n", v.c_str());
    return std::chrono::duration<double>(stop - start).count();
}

// Writes an install log of `records` records through the cache as the
// install does, one record at a time into interleaved sections, then
// writes the file back: the time per record must not grow with the log.
double LogSeconds(const std::string& path, int records) {
    std::filesystem::remove(path);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < records; ++i) {
        const std::string file = "C:\\Program Files\\Brisk\\Data\\folder" + std::to_string(i / 50) + "\\file" +
                                 std::to_string(i) + ".dll";
        if (i % 50 == 0) brik::IniWriteString(path, "CreateDirs", file.substr(0, file.rfind('\\')), "");
        brik::IniWriteString(path, "CopyFiles", file, "");
        if (i % 10 == 0) brik::IniWriteString(path, "SharedFiles", file, "");
    }
    brik::CloseIniFile(path);
    auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "brik-bench-ini";
    fs::create_directories(dir);
    const size_t sizes[] = {1u << 20, 10u << 20};
    double perMb[2] = {};
    std::printf("%-8s %12s %10s %12s\n", "file", "bytes", "best ms", "ms per MB");
    for (int k = 0; k < 2; ++k) {
        std::string text = MakeIni(sizes[k]);
        // The last section read forces the whole file to be parsed.
        size_t at = text.rfind("\r\n[");
        std::string last = text.substr(at + 3, text.find(']', at) - at - 3);
        std::string path = (dir / ("bench" + std::to_string(k) + ".ini")).string();
        std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        double best = 1e9;
        for (int r = 0; r < 7; ++r) best = std::min(best, LoadSeconds(path, last));
        double mb = static_cast<double>(text.size()) / (1 << 20);
        perMb[k] = best * 1000 / mb;
        std::printf("%-8s %12zu %10.2f %12.2f\n", k == 0 ? "1 MB" : "10 MB", text.size(), best * 1000,
                    perMb[k]);
    }
    std::printf("ratio of ms per MB, 10 MB / 1 MB: %.2f (1.00 = linear)\n", perMb[1] / perMb[0]);

    const int counts[] = {10000, 100000};
    double perRecord[2] = {};
    std::printf("%-8s %12s %10s %12s\n", "log", "records", "best ms", "us per record");
    for (int k = 0; k < 2; ++k) {
        const std::string path = (dir / "install.log").string();
        double best = 1e9;
        for (int r = 0; r < 3; ++r) best = std::min(best, LogSeconds(path, counts[k]));
        perRecord[k] = best * 1e6 / counts[k];
        std::printf("%-8s %12d %10.2f %12.2f\n", "written", counts[k], best * 1000, perRecord[k]);
    }
    std::printf("ratio of us per record, 100,000 / 10,000: %.2f (1.00 = linear)\n", perRecord[1] / perRecord[0]);
    fs::remove_all(dir);
    return 0;
}
