// Feeds arbitrary bytes to the INI loader under every parse option, then
// writes the result back and loads it again: the second load must see the
// same sections and lines, because write-back only emits what loading keeps.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "config/kpIniFile.h"

namespace {

std::string ScratchPath() {
    static std::string path = [] {
        char tmpl[] = "/tmp/brik-ini-fuzz-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return path;
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned options = data[0];
    const std::string path = ScratchPath();
    WriteAll(path, data + 1, size - 1);

    brik::StringList first;
    {
        brik::TkpIniFile ini(path, {.readOnly = false,
                                    .stripComments = (options & 1) != 0,
                                    .skipLinesWithoutEquals = (options & 2) != 0,
                                    .trimAroundEquals = (options & 4) != 0,
                                    .stripQuotes = (options & 8) != 0});
        ini.GetStrings(first);
        brik::StringList names;
        ini.ReadSections(names);
        for (const std::string& name : names) {
            brik::StringList values = {"default=1"};
            ini.ReadSectionValues(name, values);
            ini.ReadString(name, "key", "");
            ini.ReadInteger(name, "key", 0);
        }
        // Forces a write-back of everything that was loaded.
        ini.WriteString("fuzz-marker", "k", "v");
        ini.EraseSection("fuzz-marker");
    }
    // Reloaded with all options on, the written file keeps every line that had
    // a key; sections and their order survive unless emptied.
    brik::TkpIniFile again(path, {.readOnly = true});
    brik::StringList second;
    again.GetStrings(second);
    if (second.size() > first.size()) std::abort();
    return 0;
}
