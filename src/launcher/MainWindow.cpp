#include "launcher/MainWindow.h"

#include "config/Common.h"
#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "launcher/Main.h"
#include "ui/BackgroundLayout.h"
#include "ui/Msg.h"
#include "ui/kpGraphUtils.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

// The background as last drawn, kept until the client area changes size.
struct TBackgroundCache {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
};

// Only the background window carries its cache: it hands it over as its
// creation parameter. The logo window is of the same class and goes through
// this procedure until it installs its own, so nothing here may act on a
// window without one.
TBackgroundCache* CacheOf(HWND window) {
    return reinterpret_cast<TBackgroundCache*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void DropBackgroundCache(TBackgroundCache& cache) {
    if (cache.dc != nullptr) {
        if (cache.oldBitmap != nullptr) SelectObject(cache.dc, cache.oldBitmap);
        DeleteDC(cache.dc);
    }
    if (cache.bitmap != nullptr) DeleteObject(cache.bitmap);
    cache = TBackgroundCache{};
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof info, &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

// A memory context holding one of the run's bitmaps, for copying from.
class BitmapSource {
public:
    BitmapSource(HDC compatible, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatible)) {
        if (dc_ != nullptr) old_ = SelectObject(dc_, bitmap);
    }
    ~BitmapSource() {
        if (dc_ == nullptr) return;
        if (old_ != nullptr) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    BitmapSource(const BitmapSource&) = delete;
    BitmapSource& operator=(const BitmapSource&) = delete;
    HDC Dc() const { return old_ != nullptr ? dc_ : nullptr; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

bool TileBackground(HDC target, HDC paint, HBITMAP bitmap, int width, int height) {
    const SIZE size = BitmapSize(bitmap);
    const TileGrid grid = BackgroundTiles(width, height, size.cx, size.cy);
    if (grid.columns == 0) return false;
    BitmapSource source(paint, bitmap);
    if (source.Dc() == nullptr) return false;
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column)
            BitBlt(target, column * size.cx, row * size.cy, size.cx, size.cy, source.Dc(), 0, 0, SRCCOPY);
    return true;
}

void DrawStaticBitmaps(HDC target, HDC paint, int width, int height) {
    for (const TStaticBitmap& entry : Run().StaticBitmaps) {
        if (entry.bitmap == nullptr) continue;
        const StaticBitmapPlace place = ParseStaticBitmap(ValuePart(entry.line));
        const SIZE size = BitmapSize(entry.bitmap);
        if (size.cx <= 0 || size.cy <= 0) continue;
        const ScreenPoint at = StaticBitmapOrigin(place, width, height, size.cx, size.cy);
        BitmapSource source(paint, entry.bitmap);
        if (source.Dc() == nullptr) continue;
        if (place.Opaque()) {
            BitBlt(target, at.x, at.y, size.cx, size.cy, source.Dc(), 0, 0, SRCCOPY);
        } else {
            DrawBitmapTransparent(target, at.x, at.y, size.cx, size.cy, source.Dc(), 0, 0, size.cx, size.cy,
                                  ResolveColor(static_cast<DWORD>(place.transparent)), nullptr);
        }
    }
}

// The whole client area into a new cache: the tiled bitmap or the gradient,
// then the static bitmaps. The gradient colours are read from the settings
// each time.
bool BuildBackground(TBackgroundCache& cache, const RECT& client, HDC paint) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return false;
    cache.dc = CreateCompatibleDC(paint);
    cache.bitmap = cache.dc != nullptr ? CreateCompatibleBitmap(paint, width, height) : nullptr;
    if (cache.bitmap == nullptr) {
        DropBackgroundCache(cache);
        return false;
    }
    cache.oldBitmap = SelectObject(cache.dc, cache.bitmap);

    const TRunContext& run = Run();
    const HBITMAP background = run.DisplaySettings.BackgroundBitmap;
    if (background == nullptr || !TileBackground(cache.dc, paint, background, width, height)) {
        const std::string& settings = run.paths.SettingsFile;
        const auto top = static_cast<DWORD>(IniReadInteger(settings, "Display", "GradientTopColor", 0));
        const auto bottom =
            static_cast<DWORD>(IniReadInteger(settings, "Display", "GradientBottomColor", 0xFF8000));
        FillGradient(cache.dc, RECT{0, 0, width, height}, top, bottom, kGradientDown,
                     BackgroundGradientBands(height));
    }
    DrawStaticBitmaps(cache.dc, paint, width, height);
    return true;
}

// The title at a client position, drawn into a memory bitmap whose origin
// is the update rectangle's corner; the bitmap's edges clip it.
void DrawTitle(HDC target, const std::string& title, const RECT& update, int x, int y, COLORREF colour) {
    RECT rect{x - update.left, y - update.top, update.right - update.left, update.bottom - update.top};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    SetTextColor(target, colour);
    DrawTextA(target, title.c_str(), static_cast<int>(title.size()), &rect, 0);
}

// Composes the update rectangle off screen (background from the cache, the
// title over it) and copies it to the window at once, so that nothing
// flickers.
void PaintMainWindow(HWND window, TBackgroundCache& cache) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const RECT update = paint.rcPaint;
    const int width = update.right - update.left;
    const int height = update.bottom - update.top;
    HDC memory = width > 0 && height > 0 ? CreateCompatibleDC(dc) : nullptr;
    HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (bitmap != nullptr) {
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        RECT client;
        GetClientRect(window, &client);
        if (cache.dc == nullptr) BuildBackground(cache, client, dc);
        if (cache.dc != nullptr) BitBlt(memory, 0, 0, width, height, cache.dc, update.left, update.top, SRCCOPY);

        const TDisplaySettings& display = Run().DisplaySettings;
        const std::string title = display.ShowMainTitle ? ExpandText(GetVariable("MainTitle")) : std::string();
        if (!title.empty()) {
            SetBkMode(memory, TRANSPARENT);
            HFONT font = CreateFontIndirectA(&MainTitleFont);
            HGDIOBJ oldFont = font != nullptr ? SelectObject(memory, font) : nullptr;
            if (display.MainTitleShadow) DrawTitle(memory, title, update, 23, 23, display.MainTitleShadowColor);
            DrawTitle(memory, title, update, 20, 20, display.MainTitleColor);
            if (oldFont != nullptr) SelectObject(memory, oldFont);
            if (font != nullptr) DeleteObject(font);
        }
        BitBlt(dc, update.left, update.top, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldBitmap);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (create->lpCreateParams != nullptr)
                SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_DESTROY:
            if (TBackgroundCache* cache = CacheOf(window)) {
                DropBackgroundCache(*cache);
                SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            }
            return 0;
        case WM_SIZE:
            if (TBackgroundCache* cache = CacheOf(window)) DropBackgroundCache(*cache);
            return 0;
        case WM_PAINT:
            if (TBackgroundCache* cache = CacheOf(window)) {
                PaintMainWindow(window, *cache);
                return 0;
            }
            break;
        case WM_ERASEBKGND:
            // Painting covers the whole update area.
            return 1;
        case WM_SYSCOMMAND:
            // The user can neither move, size, minimise nor close it.
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The one background window's cache; handed to it when it is created.
TBackgroundCache gBackgroundCache;

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
    DropBackgroundCache(gBackgroundCache);
    return CreateWindowExA(0, kMainWindowClass, "", kMainWindowStyle, work.left, work.top, work.right - work.left,
                           work.bottom - work.top, nullptr, nullptr, instance, &gBackgroundCache);
}

}  // namespace brik
