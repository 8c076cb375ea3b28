#include "ui/UrlLink.h"

#include <shellapi.h>

#include "ui/Msg.h"
#include "ui/ShellRules.h"

namespace brik {

namespace {

constexpr const char* kHoverProperty = "Hover";
constexpr const char* kTimerProperty = "Timer";
constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT kHoverCheckMs = 100;
// The caption sits this far from the left and top edges; the control is the
// caption's width plus this margin on both sides and one pixel more.
constexpr int kTextLeft = 3;
constexpr int kTextTop = 1;
constexpr COLORREF kHoverColor = 0xFF0000;  // blue, in Windows' byte order

HCURSOR g_handCursor = nullptr;

bool OpenWithShell(const std::string& address) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOW));
    return result > 32;
}

UrlOpener g_opener = OpenWithShell;

std::string WindowTextOf(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(hwnd, text.data(), length + 1)));
    return text;
}

bool Hovering(HWND hwnd) { return GetPropA(hwnd, kHoverProperty) != nullptr; }

void SetHover(HWND hwnd, bool hover) {
    SetPropA(hwnd, kHoverProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(hover ? 1 : 0)));
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void StopHoverTimer(HWND hwnd) {
    if (GetPropA(hwnd, kTimerProperty) != nullptr) {
        KillTimer(hwnd, reinterpret_cast<UINT_PTR>(GetPropA(hwnd, kTimerProperty)));
        RemovePropA(hwnd, kTimerProperty);
    }
}

HFONT CreateLinkFont(HDC dc, bool underline) {
    return CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                       underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) {
    const UrlOpener previous = g_opener;
    g_opener = opener != nullptr ? opener : OpenWithShell;
    return previous;
}

bool RegisterUrlLinkClass() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (g_handCursor == nullptr) g_handCursor = LoadCursorA(instance, "CUR_HAND");
    WNDCLASSA existing{};
    if (GetClassInfoA(instance, kUrlLinkClassName, &existing) && existing.lpfnWndProc == UrlLinkWindowProc)
        return true;
    WNDCLASSA cls{};
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = UrlLinkWindowProc;
    cls.hInstance = instance;
    cls.lpszClassName = kUrlLinkClassName;
    if (RegisterClassA(&cls) == 0) {
        ShowError("Cannot register url link window class!");
        return false;
    }
    return true;
}

void PaintUrlLink(HWND hwnd) {
    const bool hover = Hovering(hwnd);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    if (dc == nullptr) return;
    const RECT r = paint.rcPaint;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const HDC memory = CreateCompatibleDC(dc);
    const HBITMAP bitmap = CreateCompatibleBitmap(dc, width > 0 ? width : 1, height > 0 ? height : 1);
    const HFONT font = CreateLinkFont(dc, hover);
    if (memory != nullptr && bitmap != nullptr) {
        const HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        const HGDIOBJ oldFont = SelectObject(memory, font);

        const std::string caption = SplitLinkText(WindowTextOf(hwnd)).caption;
        SIZE extent{};
        GetTextExtentPoint32A(memory, caption.c_str(), static_cast<int>(caption.size()), &extent);
        RECT client;
        GetClientRect(hwnd, &client);
        RECT window;
        GetWindowRect(hwnd, &window);
        const int wanted = extent.cx + 2 * kTextLeft + 1;
        if (window.right - window.left != wanted) {
            SetWindowPos(hwnd, nullptr, 0, 0, wanted, window.bottom - window.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }

        const RECT fill{0, 0, width, height};
        FillRect(memory, &fill, GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, hover ? kHoverColor : GetSysColor(COLOR_BTNSHADOW));
        TextOutA(memory, kTextLeft - r.left, kTextTop - r.top, caption.c_str(), static_cast<int>(caption.size()));
        BitBlt(dc, r.left, r.top, width, height, memory, 0, 0, SRCCOPY);

        SelectObject(memory, oldFont);
        SelectObject(memory, oldBitmap);
    }
    if (font != nullptr) DeleteObject(font);
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK UrlLinkWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintUrlLink(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            if (!Hovering(hwnd) && !SplitLinkText(WindowTextOf(hwnd)).address.empty()) {
                if (g_handCursor != nullptr) SetCursor(g_handCursor);
                SetHover(hwnd, true);
                const UINT_PTR timer = SetTimer(hwnd, kHoverTimer, kHoverCheckMs, nullptr);
                if (timer != 0) SetPropA(hwnd, kTimerProperty, reinterpret_cast<HANDLE>(timer));
            }
            return 0;
        case WM_TIMER:
            if (wParam == kHoverTimer) {
                POINT at;
                GetCursorPos(&at);
                if (WindowFromPoint(at) != hwnd) {
                    StopHoverTimer(hwnd);
                    SetHover(hwnd, false);
                }
            }
            return 0;
        case WM_LBUTTONDOWN: {
            // The address is opened by the shell as it stands, never as part
            // of a command line, and only when it is a web or mail address:
            // a link's text comes from a language file.
            const std::string address = SplitLinkText(WindowTextOf(hwnd)).address;
            if (IsOpenableAddress(address)) g_opener(address);
            return 0;
        }
        case WM_DESTROY:
            StopHoverTimer(hwnd);
            RemovePropA(hwnd, kHoverProperty);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace brik
