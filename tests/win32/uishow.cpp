// Puts the logo, the status window and an error box on the screen one after
// the other, for screenshots taken from outside (tests/wine/ui_screens.sh):
//   uishow --make-logo FILE.bmp   writes a demonstration logo
//   uishow FOLDER                 shows "logo.bmp" from beside the program,
//                                 then the status window over a background
//                                 window, then an error box
// Before each of the first two steps is taken down, the program writes
// FOLDER\<step>.ready (the window's screen rectangle) and waits, dispatching
// messages, for FOLDER\<step>.go; a wait longer than 60 s ends the program
// with 3.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui/Logo.h"
#include "ui/Msg.h"
#include "ui/kpGraphUtils.h"

namespace {

using namespace brik;

const char* const kTitle = "Brisk Installer Demo";

HFONT MakeFont(int height, int weight, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
}

// The background window's look: the default gradient and a title.
LRESULT CALLBACK MainProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(wnd, &ps);
            RECT client;
            GetClientRect(wnd, &client);
            FillGradient(dc, client, 0x000000, 0xFF8000, kGradientDown, (client.bottom - client.top) / 3);
            HFONT font = MakeFont(-36, FW_BOLD, "Times New Roman");
            HGDIOBJ old = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            RECT title{20, 20, client.right, client.bottom};
            SetTextColor(dc, RGB(64, 64, 64));
            OffsetRect(&title, 3, 3);
            DrawTextA(dc, kTitle, -1, &title, 0);
            OffsetRect(&title, -3, -3);
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextA(dc, kTitle, -1, &title, 0);
            SelectObject(dc, old);
            DeleteObject(font);
            EndPaint(wnd, &ps);
            return 0;
        }
        case WM_SYSCOMMAND:
            return 0;
        default:
            return DefWindowProcA(wnd, message, wParam, lParam);
    }
}

HWND CreateMain() {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, "MAINICON");
    wc.lpszClassName = "BrikMainWindow";
    if (!RegisterClassA(&wc)) return nullptr;
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return CreateWindowExA(0, wc.lpszClassName, kTitle,
                           WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX, work.left,
                           work.top, work.right - work.left, work.bottom - work.top, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Handshake(const std::string& folder, const char* step, const RECT& rect) {
    const std::string ready = folder + "\\" + step + ".ready";
    if (std::FILE* f = std::fopen(ready.c_str(), "w")) {
        std::fprintf(f, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        std::fclose(f);
    }
    const std::string go = folder + "\\" + step + ".go";
    const DWORD start = GetTickCount();
    while (!FileExists(go)) {
        if (GetTickCount() - start > 60000) return false;
        WaitPumping(GetTickCount(), 50);
    }
    return true;
}

int MakeLogo(const std::string& path) {
    const int w = 360, h = 140;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillGradient(dc, all, 0x8A3A10, 0xF0C890, kGradientRight, w / 4);
    RECT band{0, h - 34, w, h};
    FillGradient(dc, band, 0x202020, 0x5A5A5A, kGradientDown, 34);
    HFONT big = MakeFont(-34, FW_BOLD, "Times New Roman");
    HFONT small = MakeFont(-13, FW_NORMAL, "Tahoma");
    HGDIOBJ oldFont = SelectObject(dc, big);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text{0, 0, w, h - 34};
    DrawTextInRect(dc, "Brisk Installer", text, true, kAlignMiddle, kAlignCenter);
    SelectObject(dc, small);
    SetTextColor(dc, RGB(230, 230, 230));
    DrawTextInRect(dc, "Setup is preparing the installation...", band, true, kAlignMiddle,
                   kAlignCenter);
    SelectObject(dc, oldFont);
    DeleteObject(big);
    DeleteObject(small);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    SelectObject(dc, oldBitmap);
    const int rows = GetDIBits(dc, bitmap, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (rows != h) return 1;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
              std::fwrite(pixels.data(), pixels.size(), 1, f) == 1;
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--make-logo") return MakeLogo(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: uishow --make-logo FILE.bmp | uishow FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];

    HWND main = CreateMain();
    if (!main) return 1;
    UiState().mainWindow = main;
    UiState().messageOwner = main;

    // Start-up: the background window is still hidden under the logo.
    ShowLogo();
    RECT logo{};
    if (!GetLogoRect(logo)) {
        std::fprintf(stderr, "uishow: no logo.bmp beside the program\n");
        return 1;
    }
    if (!Handshake(folder, "logo", logo)) return 3;
    HideLogo();

    ShowWindow(main, SW_SHOWMAXIMIZED);
    UpdateWindow(main);
    ShowMessageWindow(
        "Removing references to the previous version of Brisk Installer Demo, please wait...", 0);
    RECT message{};
    GetWindowRect(MessageWindow(), &message);
    if (!Handshake(folder, "message", message)) return 3;
    HideMessageWindow();
    DestroyMessageWindow();

    UiState().captionName = kTitle;
    ShowError("Invalid package size!\rThis package has been corrupted, installation impossible.");
    DestroyWindow(main);
    return 0;
}
