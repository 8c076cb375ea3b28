// Carries out one action of an uninstall plan on the system.
#pragma once

#include <functional>
#include <string>

#include "uninstall/UninstallPlan.h"

namespace brik {

enum class TUndoResult {
    Done,       // taken back
    Absent,     // nothing left to take back
    Kept,       // left on purpose: a folder or key that holds more than the
                // install made, a file other programs still count on
    AtRestart,  // in use: goes at the next start of Windows
    Failed,
};

TUndoResult CarryOut(const TUndoAction& action);

// Whether something of the install is still there for the action to take
// back; a program to run is never counted. A run that finds nothing is a
// second run, and changes nothing.
bool IsPresent(const TUndoAction& action);

// Whether test holds for every file anywhere below the folder (true for an
// empty or missing folder); a link inside it fails, and so does a folder
// that is a link or is reached through one (LinkOnTheWay), unwalked.
bool EveryFileBelow(const std::string& folder, const std::function<bool(const std::string& path)>& test);

}  // namespace brik
