// GoogleTest's Notification for Windows builds without std::mutex: mingw's
// win32 threading runtime has none, and the programs must not pull in
// winpthread (it imports functions Windows 95 and NT 4 lack).
#pragma once

#ifdef __cplusplus
#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing {
namespace internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) Sleep(1);
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
#endif
