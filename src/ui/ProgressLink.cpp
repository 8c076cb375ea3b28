#include "ui/ProgressLink.h"

namespace brik {

namespace {

struct TLink {
    HANDLE worker = nullptr;
    std::atomic<bool>* abort = nullptr;
    // Manual-reset, signalled while the thread may run.
    HANDLE gate = nullptr;
    bool started = false;
};
TLink Link;
std::atomic<HWND> Dialog{nullptr};
// Set before the gate closes: the thread looks at it at every checkpoint,
// and only then at the gate, which costs a call into the system.
std::atomic<bool> Holding{false};

}  // namespace

void BeginProgress(HANDLE worker, std::atomic<bool>* abort) {
    EndProgress();
    Link.worker = worker;
    Link.abort = abort;
    Link.gate = CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

bool EndProgress() {
    const bool started = Link.started;
    // The thread may still be on its way out after its closing post; its
    // exit code means nothing before it has ended, and the gate must outlive
    // its last checkpoint.
    if (started && Link.worker != nullptr) WaitForSingleObject(Link.worker, INFINITE);
    if (Link.gate != nullptr) CloseHandle(Link.gate);
    Link = {};
    Dialog = nullptr;
    Holding = false;
    return started;
}

HWND ProgressDialog() { return Dialog; }

bool ProgressCheckpoint() {
    if (Holding && Link.gate != nullptr) WaitForSingleObject(Link.gate, INFINITE);
    return Link.abort == nullptr || !*Link.abort;
}

void FinishProgress() {
    ProgressCheckpoint();
    if (HWND dialog = Dialog) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(102, 0), 0);
}

bool ProgressWorkerBound() { return Link.worker != nullptr; }

bool ProgressWorkerStarted() { return Link.started; }

void StartProgressWorker(HWND dialog) {
    Dialog = dialog;
    // A second showing finds the thread running already.
    if (Link.worker == nullptr || Link.started) return;
    Link.started = true;
    ResumeThread(Link.worker);
}

void HoldProgressWorker() {
    if (Link.gate == nullptr) return;
    // The thread stops at its next checkpoint, which may be far off (a long
    // run of skipped files, a large block being decoded, the writers busy):
    // the question does not wait for it. It touches nothing the thread
    // uses: its text was read before the thread started.
    ResetEvent(Link.gate);
    Holding = true;
}

void ReleaseProgressWorker() {
    Holding = false;
    if (Link.gate != nullptr) SetEvent(Link.gate);
}

void RequestProgressAbort() {
    if (Link.abort != nullptr) *Link.abort = true;
}

bool ProgressAbortRequested() { return Link.abort != nullptr && *Link.abort; }

void ForgetProgressDialog() { Dialog = nullptr; }

}  // namespace brik
