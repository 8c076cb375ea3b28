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
    return started;
}

HWND ProgressDialog() { return Dialog; }

bool ProgressCheckpoint() {
    if (Link.gate != nullptr) WaitForSingleObject(Link.gate, INFINITE);
    return Link.abort == nullptr || !*Link.abort;
}

void FinishProgress() {
    ProgressCheckpoint();
    if (HWND dialog = Dialog) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(102, 0), 0);
}

bool ProgressWorkerBound() { return Link.worker != nullptr; }

void StartProgressWorker(HWND dialog) {
    Dialog = dialog;
    // A second showing finds the thread running already.
    if (Link.worker == nullptr || Link.started) return;
    Link.started = true;
    ResumeThread(Link.worker);
}

void HoldProgressWorker() {
    if (Link.gate != nullptr) ResetEvent(Link.gate);
}

void ReleaseProgressWorker() {
    if (Link.gate != nullptr) SetEvent(Link.gate);
}

void RequestProgressAbort() {
    if (Link.abort != nullptr) *Link.abort = true;
}

bool ProgressAbortRequested() { return Link.abort != nullptr && *Link.abort; }

void ForgetProgressDialog() { Dialog = nullptr; }

}  // namespace brik
