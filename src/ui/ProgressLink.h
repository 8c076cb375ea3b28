// The hand-over between the progress dialog, on the user-interface thread,
// and the install's copy thread.
//
// The install creates the thread suspended and hands it over with
// BeginProgress before it shows DLG_PROGRESS. The dialog's initialisation
// publishes the dialog (ProgressDialog) and lets the thread run. The thread
// reports to the dialog only through messages, calls ProgressCheckpoint
// between two pieces of work, and ends the dialog with FinishProgress.
//
// While the user is asked whether to cancel, the thread is held at its next
// checkpoint rather than suspended wherever it happens to be: a thread
// stopped inside the heap or the loader would hold their locks, and the
// question box, which needs them, would never come up. The question comes at
// once, without waiting for the thread to reach a checkpoint: what it shows
// is read before the thread starts, and the thread shows no window of its
// own without passing a checkpoint first.
#pragma once

#include <windows.h>

#include <atomic>

namespace brik {

// Install side: worker is the copy thread, created suspended; abort is the
// flag the cancel question sets and the thread polls. The link keeps
// neither handle nor flag beyond EndProgress; the caller owns both.
void BeginProgress(HANDLE worker, std::atomic<bool>* abort);
// After the progress dialog has ended. True when the dialog did start the
// thread; false when it never came up, and the thread is still suspended.
bool EndProgress();

// The progress dialog while it is shown, else null; any thread.
HWND ProgressDialog();

// Thread side: waits while the cancel question is open; false once the
// user has chosen to cancel.
bool ProgressCheckpoint();
// Thread side: waits like a checkpoint, then ends the progress dialog as
// Next would. The dialog reads the abort flag, not the end code.
void FinishProgress();

// Dialog side (the wizard's procedure).
// True between BeginProgress and EndProgress: Cancel then asks the thread
// to stop instead of ending the dialog.
bool ProgressWorkerBound();
// Whether the thread has been let run.
bool ProgressWorkerStarted();
// Initialisation: publish the dialog, let the thread run.
void StartProgressWorker(HWND dialog);
// Around the cancel question.
void HoldProgressWorker();
void ReleaseProgressWorker();
void RequestProgressAbort();
bool ProgressAbortRequested();
// The dialog is being destroyed: no more messages to it.
void ForgetProgressDialog();

}  // namespace brik
