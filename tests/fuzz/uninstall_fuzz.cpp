// Feeds arbitrary bytes to the uninstaller as its install log, read through
// the INI engine as the uninstaller reads it, and builds the plan. Whatever
// the log says, the plan must keep its rules: nothing aimed at a drive root,
// the system's folders or a registry root; actions in the order of their
// kinds (the uninstall registration last); every action named by a record of
// its section.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "config/kpIniFile.h"
#include "install/LogFormat.h"
#include "uninstall/UninstallPlan.h"
#include "util/kpStrUtils.h"

namespace {

std::string ScratchPath() {
    static std::string path = [] {
        char tmpl[] = "/tmp/brik-uninstall-fuzz-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return path;
}

bool Named(const std::string& log, std::string_view section, const std::string& record) {
    brik::StringList names;
    brik::IniReadSection(log, section, names);
    for (const std::string& name : names)
        if (brik::SameText(brik::Trim(name), brik::Trim(record))) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = ScratchPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    brik::CloseIniFile(path);

    const brik::TLogSectionLines lines = [&path](std::string_view section) {
        brik::StringList values;
        brik::IniReadSectionValues(path, section, values);
        return values;
    };
    const brik::TProtectedFolders folders{"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"};
    // Without a registration that vouches for it, a log touches no registry
    // and runs nothing, and no file without a stamp the file still has.
    const brik::TUndoPlan unverified = brik::BuildUndoPlan(lines, folders, {"C:\\App", {}, {}});
    for (const brik::TUndoAction& a : unverified.actions) {
        if (a.kind == brik::TUndoKind::RunProgram || a.kind == brik::TUndoKind::DeleteRegValue ||
            a.kind == brik::TUndoKind::DeleteRegKey || a.kind == brik::TUndoKind::DeleteInstalledFile ||
            a.kind == brik::TUndoKind::UnregisterServer || a.kind == brik::TUndoKind::ReleaseSharedFile ||
            a.kind == brik::TUndoKind::RemoveFont)
            std::abort();
        if (a.kind == brik::TUndoKind::DeleteShortcut && !brik::IsShortcutFile(a.target)) std::abort();
    }

    const std::string registrationKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App";
    const brik::TUndoPlan plan = brik::BuildUndoPlan(
        lines, folders, {"C:\\App", registrationKey, [](const std::string&, std::string_view) { return true; }});

    int lastKind = -1;
    bool registrationSeen = false;
    for (const brik::TUndoAction& a : plan.actions) {
        if (a.target.empty()) std::abort();
        const int kind = static_cast<int>(a.kind);
        const bool registration = a.kind == brik::TUndoKind::DeleteRegKey && a.wholeKey;
        if (a.wholeKey && !brik::SameText(a.target, registrationKey)) std::abort();
        if (registrationSeen && !registration) std::abort();
        registrationSeen = registrationSeen || registration;
        if (!registration && kind < lastKind) std::abort();
        if (!registration) lastKind = kind;
        if (a.kind != brik::TUndoKind::RunProgram && a.kind != brik::TUndoKind::DeleteRegKey &&
            a.kind != brik::TUndoKind::DeleteRegValue) {
            if (a.target.size() <= 3 || brik::SameText(a.target, "C:\\WINDOWS") ||
                brik::SameText(a.target, "C:\\WINDOWS\\SYSTEM"))
                std::abort();
        }
        if (!Named(path, brik::RecordSection(a.kind), a.record)) std::abort();
    }
    brik::CloseIniFile(path);
    return 0;
}
