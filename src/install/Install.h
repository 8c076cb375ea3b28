// The install routine: the password, the scripts, the disk space, the copy
// phase on its thread under the progress dialog, then the changes in their
// order. The run calls it once, after the pre-install dialogs.
#pragma once

#include <windows.h>

namespace brik {

// True when every step went through. When a step fails or the user cancels,
// what the run changed is taken back ([Config] RollbackOnFailure, on by
// default); with it off, what was done stays done.
bool RunInstall();

// The copy phase's thread: 1 when every file went through.
DWORD WINAPI CopyFilesThread(void* unused);

// Whether the caller runs on the copy phase's thread.
bool OnCopyThread();
// An error raised on the copy phase's thread: shows it and ends the thread
// as a failed phase, so that the run goes on to its not-finished end. Only
// on that thread.
[[noreturn]] void FailCopyThread(const char* message);

}  // namespace brik
