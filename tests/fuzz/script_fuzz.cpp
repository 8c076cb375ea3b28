// Feeds arbitrary bytes to the install script reader as one script file, read
// for the language Enu against a small variable store that holds a runaway
// reference. Whatever the script says, the lists must keep their rules: one
// entry per name (without regard to case), package files named below Data,
// uninstall sections named by their script.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "install/Scripts.h"

namespace {

std::string ScratchPath() {
    static std::string path = [] {
        char tmpl[] = "/tmp/brik-script-fuzz-XXXXXX";
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

void CheckUnique(const brik::TWorkList& list) {
    for (const brik::TWorkList::TEntry& entry : list.Entries())
        if (list.Find(entry.name) != &entry) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const bool once = [] {
        brik::VariableList.Assign({"InstallPath=%ProgramFiles%\\App", "ProgramFiles=C:\\Program Files",
                                   "System=C:\\Windows\\System", "Loop=%Loop%x", "Half=%"});
        return true;
    }();
    (void)once;
    // Both readings: the engine's (quotes kept) and the plain one.
    brik::SetIniStripQuotes((data[0] & 1) != 0);
    const std::string path = ScratchPath();
    WriteAll(path, data + 1, size - 1);
    brik::CloseIniFile(path);

    brik::TWorkLists lists;
    brik::ReadScriptFile(path, "Enu", lists);
    brik::CloseIniFile(path);

    for (const brik::TWorkList* list : {&lists.PackageFileList, &lists.ExternalFileList, &lists.DeleteFileList,
                                        &lists.RegAddList, &lists.RegDeleteList, &lists.ShortcutList,
                                        &lists.IniAddList, &lists.RunList, &lists.UninstallSectionList})
        CheckUnique(*list);
    for (const brik::TWorkList::TEntry& entry : lists.PackageFileList.Entries())
        if (entry.name.compare(0, 5, "Data\\") != 0) std::abort();
    for (const brik::TWorkList::TEntry& entry : lists.UninstallSectionList.Entries())
        if (entry.name.compare(0, path.size() + 1, path + ",") != 0 || !entry.value.empty()) std::abort();
    return 0;
}
