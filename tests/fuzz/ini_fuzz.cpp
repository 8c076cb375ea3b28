// Feeds arbitrary bytes to the INI loader under every parse option, then
// writes to it: a write that takes back what it added leaves every byte as it
// was, and after a mix of changes the file reads back as the object saw it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "config/kpIniFile.h"
#include "util/kpStrUtils.h"

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

std::string ReadAll(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
    std::fclose(f);
    return bytes;
}

bool Has(const brik::StringList& names, const std::string& name) {
    for (const std::string& n : names)
        if (brik::SameText(n, name)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned options = data[0];
    const std::string path = ScratchPath();
    WriteAll(path, data + 1, size - 1);
    const std::string original(reinterpret_cast<const char*>(data) + 1, size - 1);
    const brik::IniOptions parse{.readOnly = false,
                                 .stripComments = (options & 1) != 0,
                                 .skipLinesWithoutEquals = (options & 2) != 0,
                                 .trimAroundEquals = (options & 4) != 0,
                                 .stripQuotes = (options & 8) != 0};

    brik::StringList first;
    brik::StringList names;
    {
        brik::TkpIniFile ini(path, parse);
        ini.GetStrings(first);
        ini.ReadSections(names);
        for (const std::string& name : names) {
            brik::StringList values = {"default=1"};
            ini.ReadSectionValues(name, values);
            ini.ReadString(name, "key", "");
            ini.ReadInteger(name, "key", 0);
        }
        // Forces a write-back that must take back exactly what it added.
        ini.WriteString("fuzz-marker", "k", "v");
        ini.EraseSection("fuzz-marker");
    }
    if (!Has(names, "fuzz-marker") && ReadAll(path) != original) std::abort();
    // Reloaded with all options on, the written file keeps every line that had
    // a key; sections and their order survive unless emptied.
    {
        brik::TkpIniFile again(path, {.readOnly = true});
        brik::StringList second;
        again.GetStrings(second);
        if (second.size() > first.size()) std::abort();
    }
    if (names.empty()) return 0;

    // A new key in an existing section, deleted again: the same bytes.
    WriteAll(path, data + 1, size - 1);
    const std::string& section = names.front();
    brik::StringList keys;
    {
        brik::TkpIniFile ini(path, parse);
        ini.ReadSection(section, keys);
        if (Has(keys, "fuzz-new")) return 0;
        ini.WriteString(section, "fuzz-new", "1");
        ini.DeleteKey(section, "fuzz-new");
    }
    if (ReadAll(path) != original) std::abort();

    // A mix of changes: the file reads back as the object saw it.
    brik::StringList seen;
    {
        brik::TkpIniFile ini(path, parse);
        for (const std::string& key : keys)
            if (!key.empty()) {
                ini.WriteString(section, key, "changed");
                break;
            }
        ini.WriteString(section, "fuzz-new", "2");
        if (!Has(names, "fuzz-marker")) ini.WriteString("fuzz-marker", "k", "v");
        if (keys.size() > 1 && !keys.back().empty()) ini.DeleteKey(section, keys.back());
        ini.GetStrings(seen);
    }
    brik::IniOptions reread = parse;
    reread.readOnly = true;
    brik::TkpIniFile again(path, reread);
    brik::StringList read;
    again.GetStrings(read);
    if (read != seen) std::abort();
    return 0;
}
