#include "ui/Logo.h"

#include "ui/Msg.h"
#include "ui/Placement.h"
#include "util/Platform.h"

namespace brik {

namespace {

struct LogoState {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    HWND window = nullptr;
    int left = 0;
    int top = 0;
    DWORD shownTick = 0;
};

LogoState& Logo() {
    static LogoState state;
    return state;
}

LRESULT CALLBACK LogoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    const LogoState& logo = Logo();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (HDC memory = CreateCompatibleDC(dc)) {
        HGDIOBJ old = SelectObject(memory, logo.bitmap);
        BitBlt(dc, 0, 0, logo.width, logo.height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    EndPaint(window, &ps);
    return 0;
}

}  // namespace

void ShowLogo() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    ShowLogoFile(platform::ExtractFilePath(path) + "logo.bmp");
}

bool ShowLogoFile(const std::string& path) {
    LogoState& logo = Logo();
    if (logo.window) return true;

    auto* bitmap = static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!bitmap) return false;
    BITMAP info{};
    if (!GetObjectA(bitmap, sizeof info, &info)) {
        DeleteObject(bitmap);
        return false;
    }

    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const ScreenPoint at = CenterIn(ScreenRect{work.left, work.top, work.right, work.bottom},
                                    info.bmWidth, info.bmHeight);

    // A window of the background window's class, painted by its own procedure.
    HWND owner = UiState().mainWindow;
    char className[256] = "BrikMainWindow";
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (owner && IsWindow(owner)) {
        GetClassNameA(owner, className, sizeof className);
        instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    } else {
        owner = nullptr;
    }
    HWND window = CreateWindowExA(0, className, "LogoWindow", WS_POPUP, at.x, at.y, info.bmWidth,
                                  info.bmHeight, owner, nullptr, instance, nullptr);
    if (!window) {
        DeleteObject(bitmap);
        return false;
    }
    logo.bitmap = bitmap;
    logo.width = info.bmWidth;
    logo.height = info.bmHeight;
    logo.left = at.x;
    logo.top = at.y;
    logo.window = window;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogoWindowProc));

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    logo.shownTick = GetTickCount();
    return true;
}

void HideLogo(bool keepMinimum) {
    LogoState& logo = Logo();
    if (logo.window) {
        if (keepMinimum) WaitPumping(logo.shownTick, 1000);
        DestroyWindow(logo.window);
    }
    if (logo.bitmap) DeleteObject(logo.bitmap);
    logo = LogoState{};
}

bool GetLogoRect(RECT& rect) {
    const LogoState& logo = Logo();
    if (!logo.window) return false;
    rect = RECT{logo.left, logo.top, logo.left + logo.width, logo.top + logo.height};
    return true;
}

}  // namespace brik
