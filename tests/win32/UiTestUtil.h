// Windows, bitmaps and a dialog watcher for the tests of the user-interface
// routines, which run on the test's own thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brik::uitest {

// A top-level window of a class of its own that counts the WM_APP messages
// it receives.
class TestWindow {
public:
    static constexpr const char* kClassName = "BrikUiTestWindow";
    explicit TestWindow(DWORD style = WS_POPUP | WS_VISIBLE, RECT rect = {0, 0, 200, 100},
                        HWND owner = nullptr);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    int AppMessages() const;

private:
    HWND hwnd_ = nullptr;
};

// A 32-bit top-down DIB section selected into a memory context.
class Dib {
public:
    Dib(int width, int height, COLORREF fill);
    ~Dib();
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    void Set(int x, int y, COLORREF color);
    std::vector<COLORREF> Pixels() const;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Runs action once on the first visible dialog-class window ("#32770") of
// this thread that is not in ignore, from a thread timer, so that it works
// inside the modal loop of a message box or dialog. The window must have been
// seen on two ticks, so that it has settled. After 10 s without one it
// cancels the active window, so that a test fails instead of hanging.
class DialogWatcher {
public:
    using Action = std::function<void(HWND)>;
    explicit DialogWatcher(Action action, std::vector<HWND> ignore = {});
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    bool Fired() const { return fired_; }
    bool TimedOut() const { return timedOut_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    Action action_;
    std::vector<HWND> ignore_;
    UINT_PTR timer_ = 0;
    int ticks_ = 0;
    HWND seen_ = nullptr;
    bool fired_ = false;
    bool timedOut_ = false;
};

// Pumps the thread's messages until done() or about rounds × 10 ms have
// passed.
bool PumpUntil(const std::function<bool()>& done, int rounds = 500);

// Saves what the screen shows of a window as NAME.bmp in the folder that
// BRIK_SCREENSHOT_DIR names, when it names one, for people to look at.
void SaveScreenshot(HWND hwnd, const char* name);

// Acts on the dialogs of this thread one after the other, from a thread
// timer, so that it works inside their modal loops: each step waits for a
// visible dialog with its caption that no earlier step acted on and that has
// been seen on two ticks. After 15 s it cancels the active window, so that a
// test fails instead of hanging.
class DialogScript {
public:
    struct Step {
        std::string caption;
        std::function<void(HWND)> action;
        bool again = false;  // may act on a dialog an earlier step acted on
    };
    explicit DialogScript(std::vector<Step> steps);
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;
    size_t Done() const { return next_; }
    bool TimedOut() const { return timedOut_; }

private:
    struct Find {
        DialogScript* script;
        HWND found;
    };
    static BOOL CALLBACK FindProc(HWND hwnd, LPARAM lParam);
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static inline DialogScript* self_ = nullptr;
    std::vector<Step> steps_;
    std::vector<HWND> handled_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
    int ticks_ = 0;
    HWND seen_ = nullptr;
    bool timedOut_ = false;
    bool busy_ = false;
};

RECT WindowRect(HWND hwnd);
RECT WorkArea();
std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);
// Posts a click of a dialog's button, as the user's click would come.
void PostClick(HWND dialog, int id);
// Writes a 24-bit bitmap file of the picture (rows top to bottom).
bool WriteBitmapFile(const std::string& path, int width, int height,
                     const std::function<COLORREF(int, int)>& pixel);
// A scratch file path in the system's temporary folder.
std::string TempFile(const std::string& name);

}  // namespace brik::uitest
