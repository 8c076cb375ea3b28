#include "ui/ProgressLink.h"

namespace brik {

namespace {

struct TLink {
    HANDLE worker = nullptr;
    std::atomic<bool>* abort = nullptr;
    // Manual-reset, signalled while the thread may run.
    HANDLE gate = nullptr;
    // Manual-reset, signalled while the thread waits at the closed gate.
    HANDLE parked = nullptr;
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
    Link.parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

bool EndProgress() {
    const bool started = Link.started;
    // The thread may still be on its way out after its closing post; its
    // exit code means nothing before it has ended, and the gate must outlive
    // its last checkpoint.
    if (started && Link.worker != nullptr) WaitForSingleObject(Link.worker, INFINITE);
    if (Link.gate != nullptr) CloseHandle(Link.gate);
    if (Link.parked != nullptr) CloseHandle(Link.parked);
    Link = {};
    Dialog = nullptr;
    Holding = false;
    return started;
}

HWND ProgressDialog() { return Dialog; }

bool ProgressCheckpoint() {
    if (Holding && Link.gate != nullptr && WaitForSingleObject(Link.gate, 0) == WAIT_TIMEOUT) {
        SetEvent(Link.parked);
        WaitForSingleObject(Link.gate, INFINITE);
        ResetEvent(Link.parked);
    }
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
    if (Link.gate == nullptr) return;
    ResetEvent(Link.gate);
    Holding = true;
    if (!Link.started || Link.worker == nullptr) return;
    // Until the thread is parked (or gone): the question reads the language
    // file, which the thread may be reading at this moment, and the cached
    // files are not shared between threads. The thread may be waiting for
    // us to take a message it sent (a bar position), so sent messages are
    // taken meanwhile; nothing else is, so no click comes in between.
    const HANDLE waits[2] = {Link.parked, Link.worker};
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 2) break;
        MSG message;
        // Taking a look lets the system deliver the sent ones; nothing is removed.
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
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
