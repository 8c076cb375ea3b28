// Operations the run sequence calls that belong to modules not written yet:
// the install routine and program running. Each does the least
// the run needs and fails where the finished operation would have work it
// cannot do here; the finished modules replace these definitions one by one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brik {

// Checks the package password; then true only when there is nothing to
// install (no install scripts and no packaged application files). Anything
// else is reported and fails.
bool RunInstall();

// Runs the program of a program line ("program,parameters,folder,show,
// message,wait,after restart"): the exit code when waited for, -1 when it
// cannot be started, 0 otherwise.
int RunProgram(const std::string& entryValue, bool wait, bool afterRestart);

}  // namespace brik
