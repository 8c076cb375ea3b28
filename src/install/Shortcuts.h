// The shortcut step of the install: links created through the shell's link
// object from the work list's shortcut lines, each recorded in the install
// log unless its line says not to.
#pragma once

#include <string>

#include "install/ChangeRules.h"

namespace brik {

// A shortcut as the shell's link object writes it: the fields of its line
// and the link file. COM must be initialised on the calling thread.
struct TkpShellLink : TShortcutFields {
    std::string LinkPath;
    // Writes LinkPath from the fields and tells the shell of the change;
    // false when the link object refuses a field or the file.
    bool Save() const;
    bool SaveAs(const std::string& path) {
        LinkPath = path;
        return Save();
    }
};

// Every entry of the shortcut list in order. An existing link is kept with
// flag 32 and never logged, since the uninstaller must not take what the
// user had. false, after the error box, at the first link that cannot be
// written: the install then fails.
bool CreateShortcuts();

}  // namespace brik
