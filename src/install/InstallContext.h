// The install engine's view of the run: what the install reads and writes of
// the run's state. The run owns it and binds it before the first dialog.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "install/RollbackJournal.h"
#include "install/Scripts.h"
#include "install/WorkLists.h"

namespace brik {

struct TInstallState {
    // Written by the install thread when a file has to wait for a restart
    // (and by the run from the settings before); the run reads it once the
    // install has returned. Atomic because two threads touch it.
    std::atomic<bool> RebootPending{false};
    // Uninstall is on and UnInst.exe came with the package.
    bool UninstallEnabled = false;
    // The password the user typed; checked by the install before anything
    // is written.
    std::string InstallPassword;
    // An empty folder inside the setup folder, with a trailing backslash:
    // fonts are written there before they are installed.
    std::string ScratchFolder;
    // Bytes of the package's setup files, from its trailer.
    int64_t PresetupBytes = 0;
    // The running system, as the scripts and the restart handling need it.
    TScriptSystem System;
    // What the scripts ask for; filled when the install reads them.
    TWorkLists Lists;
    // The install log: its path (install folder + "install.log") and whether
    // records are written.
    std::string LogPath;
    bool Logging = false;
    // Set by the cancel question on the progress dialog; the copy thread
    // polls it.
    std::atomic<bool> AbortRequested{false};
    // What this run changed, for taking a failed install back; written by
    // one thread at a time (the copy thread while it runs, else the run's).
    TRollbackJournal Journal;
};

// The bound state; before any binding (tests, tools) one of the module's own.
TInstallState& InstallState();
// null: back to the module's own.
void BindInstallState(TInstallState* state);

}  // namespace brik
