// The shortcut step of the install: links created through the shell's link
// object from the work list's shortcut lines, each recorded in the install
// log unless its line says not to.
#pragma once

#include <string>

#include "install/ChangeRules.h"

namespace brik {

// Writes the link file linkPath from the fields, through the shell's link
// object, and tells the shell of the change. COM must be initialised on the
// calling thread. false when the link object refuses a field or the file.
bool SaveShortcut(const std::string& linkPath, const TShortcutFields& fields);

// Every entry of the shortcut list in order. An existing link is kept with
// flag 32 and never logged, since the uninstaller must not take what the
// user had. false, after the error box, at the first link that cannot be
// written: the install then fails.
bool CreateShortcuts();

}  // namespace brik
