// The programs of the install: the RunApp lines, run last of all steps,
// and the launcher's pre-install programs, which go through the same code.
#pragma once

#include <string>

namespace brik {

// Runs the program, document or folder of a program line ("program,
// parameters,folder,show,message,wait,after restart"). With afterRestart
// while a restart is pending, a program is stored under RunOnce (the
// machine's, else the user's) and nothing runs now. A folder is opened and
// followed by a short pause. The exit code when waited for, -1 when it
// cannot be started, 0 otherwise.
int RunProgram(const std::string& entryValue, bool wait, bool afterRestart);

// Every entry of the run list in order; programs that fail to start are
// not reported.
void RunPrograms();

}  // namespace brik
