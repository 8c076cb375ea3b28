// One run of the uninstaller: from the log's path to the final word.
#pragma once

#include "uninstall/UninstallRules.h"

namespace brik {

// Reads the log, asks, takes the install back and says how it went; the
// program's exit code (0 when the log was read, whatever the user chose).
int RunUninstaller(const TUninstallArguments& arguments);

}  // namespace brik
