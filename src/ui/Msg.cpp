#include "ui/Msg.h"

#include <cstring>

#include "ui/Placement.h"
#include "ui/UiIds.h"
#include "ui/kpGraphUtils.h"
#include "util/BoundView.h"

namespace brik {

namespace {
TBoundView<UiRunState>& StateView() {
    static TBoundView<UiRunState> view;
    return view;
}
}  // namespace

UiRunState& UiState() { return StateView().Get(); }

void BindUiState(UiRunState* state) { StateView().Bind(state); }

namespace {

// The shipped programs run their windows on one thread, and thread_local
// would bring the C library's emulated thread storage into them.
#if defined(BRIK_SHIPPED)
#define BRIK_THREAD_LOCAL
#else
#define BRIK_THREAD_LOCAL thread_local
#endif

// --- Message boxes

// The hook that centres the next message box of this thread. It removes
// itself at the box's activation; ShowMessageBox removes it if the box never
// came.
BRIK_THREAD_LOCAL HHOOK t_centerHook = nullptr;
// A box activated while still hidden is in the middle of its initialisation
// and may place itself afterwards (Wine's boxes do); it is centred once more
// when its modal loop first runs.
BRIK_THREAD_LOCAL HWND t_lateBox = nullptr;
BRIK_THREAD_LOCAL UINT_PTR t_lateTimer = 0;

void RemoveCenterHook() {
    if (t_centerHook) {
        UnhookWindowsHookEx(t_centerHook);
        t_centerHook = nullptr;
    }
}

void CancelLateCentring() {
    if (t_lateTimer) KillTimer(nullptr, t_lateTimer);
    t_lateTimer = 0;
    t_lateBox = nullptr;
}

void CALLBACK CenterLateBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = t_lateBox;
    CancelLateCentring();
    if (box && IsWindow(box)) CenterInWorkArea(box);
}

LRESULT CALLBACK CenterBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code != HCBT_ACTIVATE) return CallNextHookEx(t_centerHook, code, wParam, lParam);
    HWND box = reinterpret_cast<HWND>(wParam);
    CenterInWorkArea(box);
    if (!IsWindowVisible(box)) {
        CancelLateCentring();
        t_lateBox = box;
        t_lateTimer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, CenterLateBox);
    }
    LRESULT result = CallNextHookEx(t_centerHook, code, wParam, lParam);
    RemoveCenterHook();
    return result;
}

HWND MessageBoxOwner() {
    HWND owner = UiState().messageOwner;
    if (!owner || !IsWindow(owner)) return nullptr;
    return GetLastActivePopup(owner);
}

std::string CaptionOr(const char* word) {
    const std::string& name = UiState().captionName;
    return name.empty() ? std::string(word) : name;
}

HINSTANCE ResourceModule() { return GetModuleHandleA(nullptr); }

BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), MAKELPARAM(FALSE, 0));
    return TRUE;
}

void ApplyFont(HWND dialog, HFONT font) {
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(FALSE, 0));
    EnumChildWindows(dialog, SetChildFont, reinterpret_cast<LPARAM>(font));
}

// --- The text query

struct QueryState {
    std::string caption;
    std::string prompt;
    std::string value;
    HFONT font = nullptr;
};

INT_PTR CALLBACK QueryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* query = reinterpret_cast<QueryState*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            if (query->font) ApplyFont(dialog, query->font);
            SetWindowTextA(dialog, query->caption.c_str());
            SetDlgItemTextA(dialog, IDC_QUERY_PROMPT, query->prompt.c_str());
            SetDlgItemTextA(dialog, IDC_QUERY_EDIT, query->value.c_str());
            SendDlgItemMessageA(dialog, IDC_QUERY_EDIT, EM_SETSEL, 0, -1);
            SetDlgItemTextA(dialog, IDC_QUERY_OK, UiState().queryOkText.c_str());
            SetDlgItemTextA(dialog, IDC_QUERY_CANCEL, UiState().queryCancelText.c_str());
            SetFocus(GetDlgItem(dialog, IDC_QUERY_EDIT));
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            auto* query = reinterpret_cast<QueryState*>(GetWindowLongPtrA(dialog, DWLP_USER));
            switch (LOWORD(wParam)) {
                case IDCANCEL:  // Escape: the dialog has no close box
                case IDC_QUERY_CANCEL:
                    EndDialog(dialog, 2);
                    return TRUE;
                case IDC_QUERY_OK: {
                    char buffer[1025] = {};
                    GetDlgItemTextA(dialog, IDC_QUERY_EDIT, buffer, sizeof buffer);
                    if (query) query->value = buffer;
                    EndDialog(dialog, 1);
                    return TRUE;
                }
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

// --- The status window

struct MessageWindowState {
    HWND window = nullptr;
    std::string text;
    DWORD minimumMs = 0;
    DWORD shownTick = 0;
    int margin = 0;
    HFONT font = nullptr;
    BYTE charset = DEFAULT_CHARSET;  // of `font`
};

MessageWindowState& Status() {
    static MessageWindowState state;
    return state;
}

LOGFONTA DialogLogFont() {
    LOGFONTA font = UiState().dialogFont;
    if (font.lfFaceName[0]) return font;
    font = LOGFONTA{};
    HWND reference = UiState().mainWindow;
    HDC dc = GetDC(reference);
    font.lfHeight = -MulDiv(8, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 72);
    if (dc) ReleaseDC(reference, dc);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "MS Sans Serif");
    return font;
}

void PaintMessageWindow(HWND window) {
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);

    HWND textControl = GetDlgItem(window, IDC_MESSAGE_TEXT);
    if (!textControl) return;
    // The static paints its own empty face; let it do so first, or it would
    // cover the text afterwards.
    UpdateWindow(textControl);
    HDC dc = GetDC(textControl);
    if (!dc) return;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(textControl, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    RECT rect;
    GetClientRect(textControl, &rect);
    DrawTextInRect(dc, Status().text, rect, true, kAlignMiddle, kAlignCenter);
    if (oldFont) SelectObject(dc, oldFont);
    ReleaseDC(textControl, dc);
}

INT_PTR CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_PAINT) PaintMessageWindow(window);
    return 0;
}

int OuterWidth(HWND window) {
    RECT r;
    return GetWindowRect(window, &r) ? r.right - r.left : 0;
}

int OuterHeight(HWND window) {
    RECT r;
    return GetWindowRect(window, &r) ? r.bottom - r.top : 0;
}

// The window's font from the dialog font as it is now; the old one goes.
void UseDialogFont(MessageWindowState& status) {
    LOGFONTA logFont = DialogLogFont();
    HFONT font = CreateFontIndirectA(&logFont);
    if (font == nullptr) return;
    ApplyFont(status.window, font);
    if (status.font) DeleteObject(status.font);
    status.font = font;
    status.charset = logFont.lfCharSet;
}

bool CreateMessageWindow() {
    MessageWindowState& status = Status();
    status.window = CreateDialogParamA(ResourceModule(), "DLG_MESSAGE", UiState().mainWindow,
                                       MessageWindowProc, 0);
    if (!status.window) {
        ShowError("Cannot create message window!");
        return false;
    }
    status.margin = OuterWidth(status.window) -
                    OuterWidth(GetDlgItem(status.window, IDC_MESSAGE_TEXT));
    UseDialogFont(status);
    return true;
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT style) {
    RemoveCenterHook();
    t_centerHook = SetWindowsHookExA(WH_CBT, CenterBoxHook, nullptr, GetCurrentThreadId());
    int result = MessageBoxA(owner, text.c_str(), caption.c_str(),
                             style | MB_TASKMODAL | MB_SETFOREGROUND);
    RemoveCenterHook();
    CancelLateCentring();
    return result;
}

void ShowError(const std::string& text) {
    ShowMessageBox(MessageBoxOwner(), CaptionOr("Error"), text, MB_OK | MB_ICONHAND);
}

void ShowWarning(const std::string& text) {
    ShowMessageBox(MessageBoxOwner(), CaptionOr("Warning"), text, MB_OK | MB_ICONEXCLAMATION);
}

int AskQuestion(const std::string& text) {
    return ShowMessageBox(MessageBoxOwner(), CaptionOr("Question"), text,
                          MB_YESNO | MB_ICONQUESTION);
}

bool AskString(HWND owner, const std::string& caption, const std::string& prompt,
               std::string& value) {
    QueryState query;
    query.caption = caption;
    query.prompt = prompt;
    query.value = value;
    if (owner && IsWindow(owner)) {
        query.font = reinterpret_cast<HFONT>(SendMessageA(owner, WM_GETFONT, 0, 0));
    } else {
        owner = nullptr;
    }
    INT_PTR result = DialogBoxParamA(ResourceModule(), "DLG_INPUTQUERYSTR", owner,
                                     QueryDialogProc, reinterpret_cast<LPARAM>(&query));
    if (result != 1) return false;
    value = query.value;
    return true;
}

void ShowMessageWindow(const std::string& text, DWORD minimumMs) {
    MessageWindowState& status = Status();
    if (status.window && !IsWindow(status.window)) DestroyMessageWindow();  // went with its owner
    if (!status.window && !CreateMessageWindow()) return;
    // A language chosen since the window was made may need another
    // character set.
    if (DialogLogFont().lfCharSet != status.charset) UseDialogFont(status);
    status.text = text;
    status.minimumMs = minimumMs;

    HWND textControl = GetDlgItem(status.window, IDC_MESSAGE_TEXT);
    const int width = MessageTextWidth(static_cast<int>(TextExtent(textControl, text).cx));
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE;
    SetWindowPos(textControl, nullptr, 0, 0, width, OuterHeight(textControl), flags);
    SetWindowPos(status.window, nullptr, 0, 0, width + status.margin, OuterHeight(status.window),
                 flags);

    CenterInWorkArea(status.window);
    ShowWindow(status.window, SW_SHOW);
    SetForegroundWindow(status.window);
    RedrawWindow(status.window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    status.shownTick = GetTickCount();
}

void FollowMessageWindow(const std::string& text, DWORD minimumMs) {
    MessageWindowState& status = Status();
    if (status.window && IsWindow(status.window) && IsWindowVisible(status.window))
        WaitPumping(status.shownTick, status.minimumMs);
    ShowMessageWindow(text, minimumMs);
}

void HideMessageWindow() {
    MessageWindowState& status = Status();
    if (!status.window || !IsWindow(status.window) || !IsWindowVisible(status.window)) return;
    WaitPumping(status.shownTick, status.minimumMs);
    ShowWindow(status.window, SW_HIDE);
    if (UiState().mainWindow) UpdateWindow(UiState().mainWindow);
    Sleep(50);
}

void DestroyMessageWindow() {
    MessageWindowState& status = Status();
    if (status.window && IsWindow(status.window)) DestroyWindow(status.window);
    if (status.font) DeleteObject(status.font);
    status = MessageWindowState{};
}

HWND MessageWindow() { return Status().window; }

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(1);
}

void WaitPumping(DWORD startTick, DWORD spanMs) {
    for (;;) {
        PumpMessages();
        const DWORD now = GetTickCount();
        if (now < startTick || now - startTick >= spanMs) return;
    }
}

void CenterInWorkArea(HWND wnd) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, screenWidth, screenHeight};
    }
    RECT r;
    if (!GetWindowRect(wnd, &r)) return;
    const ScreenPoint p =
        CenterInWorkArea(ScreenRect{work.left, work.top, work.right, work.bottom}, screenWidth,
                         screenHeight, r.right - r.left, r.bottom - r.top);
    SetWindowPos(wnd, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace brik
