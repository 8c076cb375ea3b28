// The registry and INI changes of the install scripts, after the copy phase:
// the values of the registry list are written and what the delete list names
// is removed; the INI entries are written and every changed INI file is
// flushed. What did not exist before is logged for the uninstaller, what did
// never is.
#pragma once

#include <string>

namespace brik {

// False (after the error box) when a value cannot be written; the later
// values and the deletions are then not done.
bool ApplyRegistryChanges();
// Creates the missing levels of a key, outermost first, logging each one
// it creates; keys that exist, roots included, are never logged.
void CreateKeyLogged(const std::string& keyPath);
// False (after the error box) when an entry cannot be written. The changed
// INI files, the install log among them, are written either way.
bool ApplyIniChanges();

}  // namespace brik
