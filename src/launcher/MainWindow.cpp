// A first background window: the class, the window and its refusal of every
// system command are final; painting is for now the plain gradient, without
// the background bitmap, the static bitmaps and the title.
#include "launcher/MainWindow.h"

#include "config/kpIniFile.h"
#include "config/Settings.h"
#include "ui/Msg.h"
#include "ui/kpGraphUtils.h"

namespace brik {

namespace {

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const auto top = static_cast<DWORD>(IniReadInteger(ConfigPaths().SettingsFile, "Display", "GradientTopColor", 0));
    const auto bottom = static_cast<DWORD>(IniReadInteger(ConfigPaths().SettingsFile, "Display", "GradientBottomColor", 0xFF8000));
    FillGradient(dc, client, top, bottom, 0, (client.bottom - client.top) / 3);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SYSCOMMAND:
            // The user can neither move, size, minimise nor close it.
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

HWND CreateMainWindow(HICON icon) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA classEx{};
    classEx.cbSize = sizeof classEx;
    classEx.style = CS_HREDRAW | CS_VREDRAW | CS_NOCLOSE;
    classEx.lpfnWndProc = MainWindowProc;
    classEx.hInstance = instance;
    classEx.hIcon = icon;
    classEx.lpszClassName = kMainWindowClass;
    if (RegisterClassExA(&classEx) == 0) {
        WNDCLASSA plain{};
        plain.style = classEx.style;
        plain.lpfnWndProc = classEx.lpfnWndProc;
        plain.hInstance = instance;
        plain.hIcon = icon;
        plain.lpszClassName = kMainWindowClass;
        if (RegisterClassA(&plain) == 0) {
            ShowError("Cannot register main window class!");
            return nullptr;
        }
    }
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return CreateWindowExA(0, kMainWindowClass, "", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX,
                           work.left, work.top, work.right - work.left, work.bottom - work.top, nullptr, nullptr,
                           instance, nullptr);
}

}  // namespace brik
