// The message boxes, the text query, the status window, the logo and the
// drawing routines on a real window system (Wine), driven from the test's own
// thread through timers.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "UiTestUtil.h"
#include "ui/GradientBands.h"
#include "ui/Logo.h"
#include "ui/Msg.h"
#include "ui/UiIds.h"
#include "ui/kpGraphUtils.h"

namespace brik {
namespace {

using uitest::Dib;
using uitest::DialogWatcher;
using uitest::TestWindow;
using uitest::WindowRect;
using uitest::WorkArea;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// Resets the run state that each test may change.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override { UiState() = UiRunState{}; }
    void TearDown() override { UiState() = UiRunState{}; }
};

// True when a message of this number waits in the thread's queue; takes it off.
bool TakeWaiting(UINT message) {
    MSG msg;
    return PeekMessageA(&msg, nullptr, message, message, PM_REMOVE) != 0;
}

// --- Message boxes

struct BoxSeen {
    std::string caption;
    std::string text;
    RECT rect{};
    HWND owner = nullptr;
    HICON icon = nullptr;
    std::vector<int> buttons;
    bool otherWindowEnabled = true;
};

BOOL CALLBACK CollectControl(HWND child, LPARAM lParam) {
    auto* seen = reinterpret_cast<BoxSeen*>(lParam);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    const std::string cls = uitest::ClassOf(child);
    if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
        seen->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    } else if (cls == "Button" && IsWindowVisible(child)) {
        seen->buttons.push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

// Shows a box with show(), reads it while it is up, presses button.
BoxSeen RunBox(const std::function<int()>& show, int button, int& result, HWND other = nullptr) {
    BoxSeen seen;
    DialogWatcher watcher([&](HWND box) {
        seen.caption = uitest::WindowText(box);
        seen.text = uitest::WindowText(GetDlgItem(box, 0xFFFF));
        seen.rect = WindowRect(box);
        seen.owner = GetWindow(box, GW_OWNER);
        EnumChildWindows(box, CollectControl, reinterpret_cast<LPARAM>(&seen));
        std::sort(seen.buttons.begin(), seen.buttons.end());
        if (other) seen.otherWindowEnabled = IsWindowEnabled(other) != 0;
        uitest::PostClick(box, button);
    });
    result = show();
    EXPECT_TRUE(watcher.Fired()) << "no message box appeared";
    EXPECT_FALSE(watcher.TimedOut());
    return seen;
}

void ExpectCentredInWorkArea(const RECT& r) {
    const RECT work = WorkArea();
    EXPECT_EQ(r.left, work.left + (Width(work) - Width(r)) / 2);
    EXPECT_EQ(r.top, work.top + (Height(work) - Height(r)) / 2);
}

TEST_F(UiTest, MessageBoxCaptionIconButtonsAndPlacement) {
    // The owner sits in the top-left corner: the box is centred all the same.
    TestWindow owner(WS_POPUP | WS_VISIBLE, RECT{0, 0, 160, 90});
    struct Case {
        const char* what;
        const char* captionName;
        std::function<int()> show;
        LPCSTR icon;
        std::vector<int> buttons;
        int press;
        const char* caption;
        int result;
    };
    const Case cases[] = {
        {"error", "", [] { ShowError("Invalid package size!"); return IDOK; }, IDI_HAND,
         {IDOK}, IDOK, "Error", IDOK},
        {"warning", "", [] { ShowWarning("Invalid package size!"); return IDOK; },
         IDI_EXCLAMATION, {IDOK}, IDOK, "Warning", IDOK},
        {"question, yes", "", [] { return AskQuestion("Invalid package size!"); }, IDI_QUESTION,
         {IDYES, IDNO}, IDYES, "Question", IDYES},
        {"question, no", "", [] { return AskQuestion("Invalid package size!"); }, IDI_QUESTION,
         {IDYES, IDNO}, IDNO, "Question", IDNO},
        {"error after a language is set", "Brisk Demo 2.1",
         [] { ShowError("Invalid package size!"); return IDOK; }, IDI_HAND, {IDOK}, IDOK,
         "Brisk Demo 2.1", IDOK},
        {"question after a language is set", "Brisk Demo 2.1",
         [] { return AskQuestion("Invalid package size!"); }, IDI_QUESTION, {IDYES, IDNO}, IDNO,
         "Brisk Demo 2.1", IDNO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UiState().messageOwner = owner.Handle();
        UiState().captionName = c.captionName;
        int result = 0;
        const BoxSeen seen = RunBox(c.show, c.press, result);
        EXPECT_EQ(seen.caption, c.caption);
        EXPECT_EQ(seen.text, "Invalid package size!");
        EXPECT_EQ(seen.owner, owner.Handle());
        EXPECT_EQ(seen.icon, LoadIconA(nullptr, c.icon));
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(result, c.result);
        ExpectCentredInWorkArea(seen.rect);
    }
}

TEST_F(UiTest, MessageBoxOwnedByTheLastActivePopupOrTaskModal) {
    TestWindow owner(WS_POPUP | WS_VISIBLE, RECT{0, 0, 160, 90});
    TestWindow popup(WS_POPUP | WS_VISIBLE, RECT{200, 0, 360, 90}, owner.Handle());
    SetActiveWindow(popup.Handle());
    ASSERT_EQ(GetLastActivePopup(owner.Handle()), popup.Handle());
    UiState().messageOwner = owner.Handle();
    int result = 0;
    BoxSeen seen = RunBox([] { ShowWarning("owned"); return IDOK; }, IDOK, result);
    EXPECT_EQ(seen.owner, popup.Handle());

    // Without an owner the box is task-modal: the thread's other windows are
    // disabled while it is up.
    UiState().messageOwner = nullptr;
    seen = RunBox([] { ShowError("no owner"); return IDOK; }, IDOK, result, owner.Handle());
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_FALSE(seen.otherWindowEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    ExpectCentredInWorkArea(seen.rect);

    // The centring hook lives for one box only: a window activated later
    // stays where it was put.
    TestWindow later(WS_POPUP | WS_VISIBLE, RECT{5, 5, 105, 55});
    SetActiveWindow(later.Handle());
    EXPECT_EQ(WindowRect(later.Handle()).left, 5) << "a later window was moved by a left-over hook";
}

// A smaller work area for one test, so that the boxes' own placement (in the
// monitor's work area) and ours differ; restored afterwards.
class SmallWorkArea {
public:
    explicit SmallWorkArea(RECT area) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved_, 0);
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0);
    }
    ~SmallWorkArea() { SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved_, 0); }

private:
    RECT saved_{};
};

TEST_F(UiTest, MessageBoxCentredInAChangedWorkArea) {
    SmallWorkArea area(RECT{40, 30, 560, 430});
    ASSERT_EQ(WorkArea().right, 560);
    int result = 0;
    const BoxSeen seen = RunBox([] { ShowWarning("centred"); return IDOK; }, IDOK, result);
    ExpectCentredInWorkArea(seen.rect);
}

TEST_F(UiTest, CenterInWorkAreaKeepsSizeAndStaysOnScreen) {
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    TestWindow small(WS_POPUP | WS_VISIBLE, RECT{0, 0, 301, 151});
    CenterInWorkArea(small.Handle());
    const RECT r = WindowRect(small.Handle());
    EXPECT_EQ(Width(r), 301);
    EXPECT_EQ(Height(r), 151);
    ExpectCentredInWorkArea(r);

    TestWindow huge(WS_POPUP, RECT{10, 10, 10 + screenW + 100, 10 + screenH + 60});
    CenterInWorkArea(huge.Handle());
    const RECT h = WindowRect(huge.Handle());
    EXPECT_EQ(h.left, 0);
    EXPECT_EQ(h.top, 0);
    EXPECT_EQ(Width(h), screenW + 100);
    EXPECT_EQ(Height(h), screenH + 60);
}

// --- Text query

TEST_F(UiTest, AskStringReturnsTheEditedTextOnlyOnOk) {
    HFONT ownerFont = CreateFontA(-15, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 120, 40,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    SendMessageA(owner, WM_SETFONT, reinterpret_cast<WPARAM>(ownerFont), 0);

    const std::string longText(2000, 'x');
    struct Case {
        const char* what;
        std::function<void(HWND dialog, HWND edit)> act;
        bool result;
        std::string value;
    };
    const Case cases[] = {
        {"OK button",
         [](HWND d, HWND e) { SetWindowTextA(e, "New Folder"); uitest::PostClick(d, IDC_QUERY_OK); },
         true, "New Folder"},
        {"Enter key",
         [](HWND, HWND e) { SetWindowTextA(e, "Typed"); PostMessageA(e, WM_KEYDOWN, VK_RETURN, 0); },
         true, "Typed"},
        {"empty text", [](HWND d, HWND e) { SetWindowTextA(e, ""); uitest::PostClick(d, IDC_QUERY_OK); },
         true, ""},
        {"at most 1024 characters",
         [&longText](HWND d, HWND e) {
             SetWindowTextA(e, longText.c_str());
             uitest::PostClick(d, IDC_QUERY_OK);
         },
         true, std::string(1024, 'x')},
        {"Cancel button",
         [](HWND d, HWND e) { SetWindowTextA(e, "changed"); uitest::PostClick(d, IDC_QUERY_CANCEL); },
         false, "start value"},
        {"Escape key",
         [](HWND, HWND e) { SetWindowTextA(e, "changed"); PostMessageA(e, WM_KEYDOWN, VK_ESCAPE, 0); },
         false, "start value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string value = "start value";
        std::string caption, prompt, initial, okText, cancelText;
        DWORD selStart = 1, selEnd = 0;
        HWND dialogOwner = nullptr, focus = nullptr, editHandle = nullptr;
        HFONT editFont = nullptr;
        DialogWatcher watcher([&](HWND dialog) {
            HWND edit = GetDlgItem(dialog, IDC_QUERY_EDIT);
            editHandle = edit;
            caption = uitest::WindowText(dialog);
            prompt = uitest::WindowText(GetDlgItem(dialog, IDC_QUERY_PROMPT));
            initial = uitest::WindowText(edit);
            okText = uitest::WindowText(GetDlgItem(dialog, IDC_QUERY_OK));
            cancelText = uitest::WindowText(GetDlgItem(dialog, IDC_QUERY_CANCEL));
            SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                         reinterpret_cast<LPARAM>(&selEnd));
            dialogOwner = GetWindow(dialog, GW_OWNER);
            focus = GetFocus();
            editFont = reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0));
            c.act(dialog, edit);
        });
        EXPECT_EQ(AskString(owner, "New folder", "Folder name:", value), c.result);
        EXPECT_TRUE(watcher.Fired());
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(caption, "New folder");
        EXPECT_EQ(prompt, "Folder name:");
        EXPECT_EQ(initial, "start value");
        EXPECT_EQ(selStart, 0u);
        EXPECT_EQ(selEnd, 11u);
        EXPECT_EQ(okText, "OK");
        EXPECT_EQ(cancelText, "Cancel");
        EXPECT_EQ(dialogOwner, owner);
        EXPECT_EQ(focus, editHandle);
        EXPECT_EQ(editFont, ownerFont);
    }

    // The folder browser's button texts; no owner, so no font either.
    UiState().queryOkText = "Create";
    UiState().queryCancelText = "Close";
    std::string value = "x";
    std::string okText, cancelText;
    HWND dialogOwner = owner;
    HFONT editFont = ownerFont;
    DialogWatcher watcher([&](HWND dialog) {
        okText = uitest::WindowText(GetDlgItem(dialog, IDC_QUERY_OK));
        cancelText = uitest::WindowText(GetDlgItem(dialog, IDC_QUERY_CANCEL));
        dialogOwner = GetWindow(dialog, GW_OWNER);
        editFont = reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_QUERY_EDIT, WM_GETFONT, 0, 0));
        uitest::PostClick(dialog, IDC_QUERY_OK);
    });
    EXPECT_TRUE(AskString(nullptr, "c", "p", value));
    EXPECT_EQ(okText, "Create");
    EXPECT_EQ(cancelText, "Close");
    EXPECT_EQ(dialogOwner, nullptr);
    EXPECT_NE(editFont, ownerFont);

    DestroyWindow(owner);
    DeleteObject(ownerFont);
}

// --- Status window

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

bool g_timerRan = false;
void CALLBACK NoteTimer(HWND, UINT, UINT_PTR, DWORD) { g_timerRan = true; }
// Whether the status window was hidden at any tick of a timer.
bool g_sawHidden = false;
void CALLBACK NoteHidden(HWND, UINT, UINT_PTR, DWORD) {
    if (!IsWindowVisible(MessageWindow())) g_sawHidden = true;
}

int MessageTextControlWidth() {
    return Width(WindowRect(GetDlgItem(MessageWindow(), IDC_MESSAGE_TEXT)));
}

// Pixels darker than mid-grey in the status window's text area, read back
// from the window system: the text painted over the control's own face.
int DarkPixelsInMessageText() {
    HWND text = GetDlgItem(MessageWindow(), IDC_MESSAGE_TEXT);
    RECT r;
    GetClientRect(text, &r);
    HDC dc = GetDC(text);
    int dark = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 96) ++dark;
        }
    }
    ReleaseDC(text, dc);
    return dark;
}

TEST_F(UiTest, MessageWindowSizeFontPlacementAndMinimumTime) {
    TestWindow main(WS_POPUP, RECT{0, 0, 400, 300});
    UiState().mainWindow = main.Handle();
    std::strcpy(UiState().dialogFont.lfFaceName, "Tahoma");
    UiState().dialogFont.lfHeight = -11;
    UiState().dialogFont.lfWeight = FW_NORMAL;

    // The margin, from a copy of the dialog made here.
    HWND reference = CreateDialogParamA(GetModuleHandleA(nullptr), "DLG_MESSAGE", nullptr,
                                        NoDialogProc, 0);
    ASSERT_NE(reference, nullptr);
    const RECT referenceRect = WindowRect(reference);
    const RECT referenceText = WindowRect(GetDlgItem(reference, IDC_MESSAGE_TEXT));
    const int margin = Width(referenceRect) - Width(referenceText);
    DestroyWindow(reference);

    // Hiding without a shown window neither waits nor dispatches.
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0);
    HideMessageWindow();
    EXPECT_TRUE(TakeWaiting(WM_APP + 7));

    const std::string medium = "Updating registry...";
    const std::string longText =
        "Removing references to the previous version of the program before the new files "
        "are copied; this can take a while on a slow disk, please wait.";
    ShowMessageWindow("OK", 0);
    HWND window = MessageWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetWindow(window, GW_OWNER), main.Handle());

    HWND textControl = GetDlgItem(window, IDC_MESSAGE_TEXT);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(textControl, WM_GETFONT, 0, 0));
    LOGFONTA used{};
    ASSERT_TRUE(font && GetObjectA(font, sizeof used, &used));
    EXPECT_STREQ(used.lfFaceName, "Tahoma");
    EXPECT_EQ(used.lfHeight, -11);

    HDC dc = GetDC(textControl);
    HGDIOBJ old = SelectObject(dc, font);
    const int mediumWidth = static_cast<int>(TextExtent(dc, medium).cx);
    SelectObject(dc, old);
    ReleaseDC(textControl, dc);
    ASSERT_GT(mediumWidth, 50);
    ASSERT_LT(mediumWidth, 300);

    struct Case { const std::string* text; int width; };
    const std::string shortText = "OK";
    const Case cases[] = {{&shortText, 50}, {&longText, 300}, {&medium, mediumWidth}};
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.text);
        ShowMessageWindow(*c.text, 0);
        EXPECT_EQ(MessageWindow(), window) << "the window is made once and kept";
        const RECT r = WindowRect(window);
        EXPECT_EQ(MessageTextControlWidth(), c.width);
        EXPECT_EQ(Width(r), c.width + margin);
        EXPECT_EQ(Height(r), Height(referenceRect));
        EXPECT_EQ(Height(WindowRect(textControl)), Height(referenceText));
        ExpectCentredInWorkArea(r);
        EXPECT_GT(DarkPixelsInMessageText(), 0) << "no text painted";
    }

    // Hidden 100 ms after showing with 750 ms: stays up for the rest of the
    // time and dispatches messages meanwhile.
    g_timerRan = false;
    const DWORD before = GetTickCount();
    ShowMessageWindow("Calculating necessary amount of disk space...", 750);
    Sleep(100);
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, NoteTimer);
    HideMessageWindow();
    const DWORD elapsed = GetTickCount() - before;
    KillTimer(nullptr, timer);
    EXPECT_GE(elapsed, 750u);
    EXPECT_TRUE(g_timerRan) << "no message was dispatched while waiting";
    EXPECT_FALSE(IsWindowVisible(window));

    // A second show while visible restarts the minimum time.
    ShowMessageWindow("first", 60000);
    const DWORD second = GetTickCount();
    ShowMessageWindow("second", 300);
    HideMessageWindow();
    EXPECT_GE(GetTickCount() - second, 300u);
    EXPECT_FALSE(IsWindowVisible(window));

    // A following step's text: the first stays up its whole minimum time,
    // the window is never hidden in between, and the second has its own.
    g_sawHidden = false;
    const DWORD followBefore = GetTickCount();
    ShowMessageWindow("Reading install information files...", 300);
    const UINT_PTR watch = SetTimer(nullptr, 0, 20, NoteHidden);
    FollowMessageWindow("Calculating necessary amount of disk space...", 300);
    const DWORD followed = GetTickCount();
    EXPECT_GE(followed - followBefore, 300u);
    EXPECT_TRUE(IsWindowVisible(window));
    HideMessageWindow();
    KillTimer(nullptr, watch);
    EXPECT_GE(GetTickCount() - followed, 300u);
    EXPECT_FALSE(g_sawHidden) << "the window was hidden between the two texts";
    EXPECT_FALSE(IsWindowVisible(window));
    // With nothing shown it simply shows.
    FollowMessageWindow("Updating registry...", 0);
    EXPECT_TRUE(IsWindowVisible(window));
    HideMessageWindow();

    // A language with another character set, chosen while the window
    // exists: its next text comes in a font of that set.
    UiState().dialogFont.lfCharSet = RUSSIAN_CHARSET;
    ShowMessageWindow("Updating registry...", 0);
    EXPECT_EQ(MessageWindow(), window);
    font = reinterpret_cast<HFONT>(SendMessageA(textControl, WM_GETFONT, 0, 0));
    ASSERT_TRUE(font && GetObjectA(font, sizeof used, &used));
    EXPECT_EQ(used.lfCharSet, RUSSIAN_CHARSET);
    EXPECT_STREQ(used.lfFaceName, "Tahoma");
    HideMessageWindow();
    UiState().dialogFont.lfCharSet = DEFAULT_CHARSET;

    DestroyMessageWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MessageWindow(), nullptr);
}

// --- Message pumping

TEST_F(UiTest, PumpMessagesStopsAtQuitAndWaitPumpingSurvivesAWrap) {
    TestWindow window;
    PostMessageA(window.Handle(), WM_APP, 0, 0);
    PostMessageA(window.Handle(), WM_APP, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageA(window.Handle(), WM_APP + 1, 0, 0);
    PumpMessages();
    EXPECT_EQ(window.AppMessages(), 2);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "quit not taken";
    EXPECT_TRUE(TakeWaiting(WM_APP + 1)) << "messages after the quit were dispatched";

    PostMessageA(window.Handle(), WM_APP, 0, 0);
    WaitPumping(GetTickCount(), 0);
    EXPECT_EQ(window.AppMessages(), 3);

    // A start in the future means the counter wrapped: no wait. A watchdog
    // timer tells a wait of seconds from the one pass expected.
    g_timerRan = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 5000, NoteTimer);
    WaitPumping(GetTickCount() + 0x40000000u, 60000);
    KillTimer(nullptr, timer);
    EXPECT_FALSE(g_timerRan);
}

// --- Logo

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

HWND FindLogoWindow() { return FindWindowA(nullptr, "LogoWindow"); }

COLORREF LogoPixel(int x, int y) { return RGB(x * 4, y * 5, (x + y) % 2 ? 200 : 40); }

TEST_F(UiTest, LogoCentredOwnedPaintedAndKeptOneSecond) {
    TestWindow main(WS_POPUP, RECT{0, 0, 400, 300});
    UiState().mainWindow = main.Handle();
    const std::string path = uitest::TempFile("logo.bmp");
    ASSERT_TRUE(uitest::WriteBitmapFile(path, 61, 47, LogoPixel));

    const DWORD before = GetTickCount();
    ASSERT_TRUE(ShowLogoFile(path));
    HWND logo = FindLogoWindow();
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(IsWindowVisible(logo));
    EXPECT_EQ(uitest::ClassOf(logo), TestWindow::kClassName);
    EXPECT_EQ(GetWindow(logo, GW_OWNER), main.Handle());
    const LONG style = GetWindowLongA(logo, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));

    const RECT r = WindowRect(logo);
    EXPECT_EQ(Width(r), 61);
    EXPECT_EQ(Height(r), 47);
    ExpectCentredInWorkArea(r);
    RECT reported{};
    ASSERT_TRUE(GetLogoRect(reported));
    EXPECT_TRUE(EqualRect(&reported, &r));

    HDC dc = GetDC(logo);
    for (POINT p : {POINT{0, 0}, POINT{60, 0}, POINT{30, 20}, POINT{60, 46}, POINT{0, 46}}) {
        EXPECT_EQ(GetPixel(dc, p.x, p.y), LogoPixel(p.x, p.y)) << p.x << "," << p.y;
    }
    ReleaseDC(logo, dc);

    HideLogo();
    EXPECT_GE(GetTickCount() - before, 1000u);
    EXPECT_FALSE(IsWindow(logo));
    EXPECT_FALSE(GetLogoRect(reported));
    DeleteFileA(path.c_str());
}

TEST_F(UiTest, NoLogoWithoutALoadableBitmap) {
    TestWindow main(WS_POPUP, RECT{0, 0, 400, 300});
    UiState().mainWindow = main.Handle();
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string beside = exe;
    beside = beside.substr(0, beside.find_last_of('\\') + 1) + "logo.bmp";
    ASSERT_FALSE(FileExists(beside)) << "a logo.bmp lies beside the test program";

    const std::string garbage = uitest::TempFile("garbage.bmp");
    std::FILE* f = std::fopen(garbage.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("BM this is not a bitmap", f);
    std::fclose(f);

    for (const std::function<void()>& show :
         {std::function<void()>([] { ShowLogo(); }),
          std::function<void()>([&] { EXPECT_FALSE(ShowLogoFile(garbage)); }),
          std::function<void()>([] { EXPECT_FALSE(ShowLogoFile("Z:\\no\\such\\logo.bmp")); })}) {
        show();
        RECT r;
        EXPECT_FALSE(GetLogoRect(r));
        EXPECT_EQ(FindLogoWindow(), nullptr);
        // No logo: HideLogo neither waits nor dispatches.
        PostThreadMessageA(GetCurrentThreadId(), WM_APP + 9, 0, 0);
        HideLogo();
        EXPECT_TRUE(TakeWaiting(WM_APP + 9));
    }
    DeleteFileA(garbage.c_str());
}

// --- Drawing

TEST(UiDrawing, ResolveColor) {
    EXPECT_EQ(ResolveColor(0x80000005u), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(ResolveColor(0x8000000Fu), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ResolveColor(0xFF8000u), 0xFF8000u);
    EXPECT_EQ(ResolveColor(0u), 0u);
}

// The picture FillGradient must leave: the sentinel, with each band painted
// over its predecessors and clipped to the bitmap.
std::vector<COLORREF> ExpectedGradient(int width, int height, COLORREF sentinel, RECT rect,
                                       DWORD first, DWORD second, int direction, int bands) {
    std::vector<COLORREF> out(static_cast<size_t>(width) * height, sentinel);
    if (IsRectEmpty(&rect)) return out;
    const bool vertical = GradientIsVertical(direction);
    for (const GradientBand& b :
         GradientBands(vertical ? rect.top : rect.left, vertical ? Height(rect) : Width(rect),
                       ResolveColor(first), ResolveColor(second), direction, bands)) {
        RECT r = rect;
        if (vertical) {
            r.top = b.from;
            r.bottom = b.to;
        } else {
            r.left = b.from;
            r.right = b.to;
        }
        for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, height); ++y) {
            for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, width); ++x) {
                out[static_cast<size_t>(y) * width + x] = b.color;
            }
        }
    }
    return out;
}

TEST(UiDrawing, FillGradientPaintsTheBands) {
    const COLORREF sentinel = RGB(1, 2, 3);
    struct Case {
        const char* what;
        RECT rect;
        DWORD first, second;
        int direction, bands;
    };
    const Case cases[] = {
        {"background example", {0, 0, 20, 90}, 0x000000, 0xFF0000, 0, 30},
        {"offset, upwards", {5, 3, 25, 60}, 0x0000FF, 0x00FF00, 1, 7},
        {"left to right", {0, 0, 90, 10}, 0x123456, 0xFEDCBA, 2, 45},
        {"right to left, system colour, bands capped", {2, 2, 37, 12}, 0x80000005, 0x0080FF, 3, 1000},
        {"one band", {4, 4, 30, 30}, 0x00FF00, 0xFF0000, 0, 1},
        {"empty", {10, 10, 10, 40}, 0x00FF00, 0xFF0000, 0, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dib dib(96, 96, sentinel);
        FillGradient(dib.Dc(), c.rect, c.first, c.second, c.direction, c.bands);
        const std::vector<COLORREF> expected = ExpectedGradient(
            96, 96, sentinel, c.rect, c.first, c.second, c.direction, c.bands);
        const std::vector<COLORREF> got = dib.Pixels();
        int wrong = 0;
        for (size_t i = 0; i < got.size() && wrong < 5; ++i) {
            if (got[i] != expected[i]) {
                ++wrong;
                ADD_FAILURE() << "pixel " << i % 96 << "," << i / 96 << ": 0x" << std::hex << got[i]
                              << ", expected 0x" << expected[i];
            }
        }
    }

    // The example's own numbers: rows 0 to 2 black, the 16th band blue 128.
    Dib dib(20, 92, sentinel);
    FillGradient(dib.Dc(), RECT{0, 0, 20, 90}, 0x000000, 0xFF0000, 0, 30);
    EXPECT_EQ(dib.At(7, 0), RGB(0, 0, 0));
    EXPECT_EQ(dib.At(7, 2), RGB(0, 0, 0));
    EXPECT_EQ(dib.At(7, 45), RGB(0, 0, 128));
    EXPECT_EQ(dib.At(7, 47), RGB(0, 0, 128));
}

TEST(UiDrawing, DrawBitmapTransparentKeepsTheBackgroundUnderTheKeyColour) {
    const COLORREF key = RGB(255, 0, 255);
    const COLORREF ground = RGB(0, 160, 0);
    // 4 x 3 source: a frame of colours around key-coloured holes.
    const COLORREF source[3][4] = {
        {RGB(200, 0, 0), key, RGB(0, 0, 200), RGB(10, 20, 30)},
        {key, RGB(255, 255, 255), key, RGB(0, 0, 0)},
        {RGB(90, 90, 90), RGB(254, 0, 255), key, RGB(1, 1, 1)},
    };
    Dib src(4, 3, 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) src.Set(x, y, source[y][x]);
    }
    struct Case { int x, y, w, h, sx, sy, sw, sh; };
    const Case cases[] = {
        {1, 1, 4, 3, 0, 0, 4, 3},   // same size
        {2, 3, 8, 6, 0, 0, 4, 3},   // doubled
        {0, 0, 6, 6, 1, 1, 2, 2},   // a part, tripled
        {5, 1, 12, 3, 0, 1, 4, 1},  // one row, wider
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.w) +
                     "x" + std::to_string(c.h));
        Dib dest(20, 12, ground);
        DrawBitmapTransparent(dest.Dc(), c.x, c.y, c.w, c.h, src.Dc(), c.sx, c.sy, c.sw, c.sh, key,
                              nullptr);
        for (int y = 0; y < dest.Height(); ++y) {
            for (int x = 0; x < dest.Width(); ++x) {
                COLORREF expected = ground;
                if (x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h) {
                    const COLORREF s = source[c.sy + (y - c.y) * c.sh / c.h][c.sx + (x - c.x) * c.sw / c.w];
                    if (s != key) expected = s;
                }
                ASSERT_EQ(dest.At(x, y), expected) << "at " << x << "," << y;
            }
        }
    }
}

// First and last rows and columns with dark pixels.
struct Ink { int top = -1, bottom = -1, left = -1, right = -1; };
Ink FindInk(const Dib& dib) {
    Ink ink;
    for (int y = 0; y < dib.Height(); ++y) {
        for (int x = 0; x < dib.Width(); ++x) {
            const COLORREF c = dib.At(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) >= 3 * 96) continue;
            if (ink.top < 0) ink.top = y;
            ink.bottom = y;
            if (ink.left < 0 || x < ink.left) ink.left = x;
            ink.right = std::max(ink.right, x);
        }
    }
    return ink;
}

TEST(UiDrawing, TextMeasureWrapAndAlignedDrawing) {
    Dib probe(8, 8, RGB(255, 255, 255));
    HFONT font = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    SelectObject(probe.Dc(), font);
    EXPECT_EQ(TextExtent(probe.Dc(), "").cx, 0);
    const SIZE one = TextExtent(probe.Dc(), "W");
    const SIZE both = TextExtent(probe.Dc(), "W W");
    ASSERT_GT(one.cx, 0);
    ASSERT_GT(both.cx, one.cx);
    EXPECT_EQ(WrapText(probe.Dc(), "W W", (one.cx + both.cx) / 2), "W\r\nW");
    EXPECT_EQ(WrapText(probe.Dc(), "W W", both.cx), "W W");
    EXPECT_EQ(WrapText(probe.Dc(), "Supercalifragilistic", one.cx), "Supercalifragilistic");

    // The window variant measures in the window's own font.
    HWND label = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HFONT big = CreateFontA(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(big), 0);
    EXPECT_GT(TextExtent(label, "W W").cy, 2 * both.cy);
    DestroyWindow(label);
    DeleteObject(big);

    // Vertical codes move the text by the gap; horizontal codes by the room.
    const std::string text = "Brisk setup text";
    const int lineHeight = TextExtent(probe.Dc(), text).cy;
    const int textWidth = TextExtent(probe.Dc(), text).cx;
    auto draw = [&](RECT rect, int vertical, int horizontal, bool transparent) {
        auto dib = std::make_unique<Dib>(200, 120, RGB(255, 255, 255));
        SelectObject(dib->Dc(), font);
        SetBkColor(dib->Dc(), RGB(255, 0, 0));
        DrawTextInRect(dib->Dc(), text, rect, transparent, vertical, horizontal);
        return dib;
    };
    const RECT tall{10, 10, 190, 110};
    const Ink top = FindInk(*draw(tall, kAlignTop, kAlignLeft, true));
    ASSERT_GE(top.top, 0) << "nothing drawn";
    const int gap = (Height(tall) - lineHeight) / 2;
    EXPECT_EQ(FindInk(*draw(tall, kAlignMiddle, kAlignLeft, true)).top, top.top + gap);
    EXPECT_EQ(FindInk(*draw(tall, kAlignBottom, kAlignLeft, true)).top, top.top + 2 * gap);
    EXPECT_EQ(FindInk(*draw(tall, kAlignTop, kAlignRight, true)).left,
              top.left + Width(tall) - textWidth);
    EXPECT_NEAR(FindInk(*draw(tall, kAlignTop, kAlignCenter, true)).left,
                top.left + (Width(tall) - textWidth) / 2, 1);

    // Shorter than the text: starts at the top even when centred.
    const RECT flat{10, 10, 190, 10 + lineHeight / 2};
    EXPECT_EQ(FindInk(*draw(flat, kAlignMiddle, kAlignLeft, true)).top,
              FindInk(*draw(flat, kAlignTop, kAlignLeft, true)).top);

    // Wrapped into two lines, centred as a block of two line heights.
    const RECT narrow{10, 10, 10 + textWidth - 5, 110};
    const int gap2 = (Height(narrow) - 2 * lineHeight) / 2;
    const Ink two = FindInk(*draw(narrow, kAlignMiddle, kAlignLeft, true));
    EXPECT_EQ(two.top, top.top + gap2);
    EXPECT_GT(two.bottom - two.top, lineHeight);

    // Opaque text fills its cells with the background colour.
    auto countRed = [](const Dib& dib) {
        int n = 0;
        for (COLORREF c : dib.Pixels()) n += c == RGB(255, 0, 0);
        return n;
    };
    EXPECT_EQ(countRed(*draw(tall, kAlignTop, kAlignLeft, true)), 0);
    EXPECT_GT(countRed(*draw(tall, kAlignTop, kAlignLeft, false)), 0);
    DeleteObject(font);
}

}  // namespace
}  // namespace brik
