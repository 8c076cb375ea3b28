// Operations the run sequence calls that belong to modules not written yet:
// program running. Each does the least
// the run needs and fails where the finished operation would have work it
// cannot do here; the finished modules replace these definitions one by one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brik {

// Runs the program of a program line ("program,parameters,folder,show,
// message,wait,after restart"): the exit code when waited for, -1 when it
// cannot be started, 0 otherwise.
int RunProgram(const std::string& entryValue, bool wait, bool afterRestart);

}  // namespace brik
