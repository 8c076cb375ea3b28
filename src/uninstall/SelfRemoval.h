// How the uninstaller takes itself away. A program cannot delete its own
// running file, so the one that Windows starts copies itself into a fresh
// folder of its own in the temporary folder, starts the copy and ends; the
// copy waits for it to end, and its own file and folder go at the next
// start of Windows.
#pragma once

#include <string>

namespace brik {

// In the program Windows started: copies it and starts the copy with the
// log; true when the copy runs (this program then ends at once).
bool HandOverToCopy(const std::string& logPath);

// In the copy: waits for the program that started it to end (at most
// 30 seconds), so that its file can go.
void WaitForOriginal(unsigned long processHandle);

// In the copy: its own file and the folder made for it go at the next start
// of Windows. Nothing when this program is not such a copy.
void RemoveCopyAtRestart();

}  // namespace brik
