#include "UiTestUtil.h"

#include <cstdio>
#include <cstring>

namespace brik::uitest {

namespace {

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, GetWindowLongPtrA(hwnd, GWLP_USERDATA) + 1);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterTestClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = TestWindow::kClassName;
    registered = RegisterClassA(&wc) != 0;
}

DialogWatcher* g_watcher = nullptr;

struct FindDialog {
    const std::vector<HWND>* ignore;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM lParam) {
    auto* find = reinterpret_cast<FindDialog*>(lParam);
    if (!IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770") return TRUE;
    for (HWND h : *find->ignore) {
        if (h == hwnd) return TRUE;
    }
    find->found = hwnd;
    return FALSE;
}

}  // namespace

TestWindow::TestWindow(DWORD style, RECT rect, HWND owner) {
    RegisterTestClass();
    hwnd_ = CreateWindowExA(0, kClassName, "Brisk UI test window", style, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top, owner, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

int TestWindow::AppMessages() const {
    return static_cast<int>(GetWindowLongPtrA(hwnd_, GWLP_USERDATA));
}

Dib::Dib(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    bits_ = static_cast<uint32_t*>(bits);
    if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) Set(x, y, fill);
    }
}

Dib::~Dib() {
    if (dc_) {
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
}

COLORREF Dib::At(int x, int y) const {
    GdiFlush();
    const uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

void Dib::Set(int x, int y, COLORREF color) {
    GdiFlush();
    bits_[static_cast<size_t>(y) * width_ + x] =
        (static_cast<uint32_t>(GetRValue(color)) << 16) |
        (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

std::vector<COLORREF> Dib::Pixels() const {
    std::vector<COLORREF> out;
    out.reserve(static_cast<size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) out.push_back(At(x, y));
    }
    return out;
}

DialogWatcher::DialogWatcher(Action action, std::vector<HWND> ignore)
    : action_(std::move(action)), ignore_(std::move(ignore)) {
    g_watcher = this;
    timer_ = SetTimer(nullptr, 0, 20, &DialogWatcher::Tick);
}

DialogWatcher::~DialogWatcher() {
    if (timer_) KillTimer(nullptr, timer_);
    g_watcher = nullptr;
}

void CALLBACK DialogWatcher::Tick(HWND, UINT, UINT_PTR, DWORD) {
    DialogWatcher* self = g_watcher;
    if (!self || self->fired_ || self->timedOut_) return;
    FindDialog find{&self->ignore_, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&find));
    if (find.found && find.found == self->seen_) {
        self->fired_ = true;
        self->action_(find.found);
        return;
    }
    self->seen_ = find.found;
    if (++self->ticks_ * 20 >= 10000) {
        self->timedOut_ = true;
        if (HWND active = GetActiveWindow()) PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
    }
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

RECT WorkArea() {
    RECT r{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

std::string WindowText(HWND hwnd) {
    char buffer[4096] = {};
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

std::string ClassOf(HWND hwnd) {
    char buffer[256] = {};
    GetClassNameA(hwnd, buffer, sizeof buffer);
    return buffer;
}

void PostClick(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WriteBitmapFile(const std::string& path, int width, int height,
                     const std::function<COLORREF(int, int)>& pixel) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride * height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1;
    std::vector<unsigned char> row(static_cast<size_t>(stride));
    for (int y = height - 1; ok && y >= 0; --y) {
        std::memset(row.data(), 0, row.size());
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixel(x, y);
            row[static_cast<size_t>(x) * 3] = GetBValue(c);
            row[static_cast<size_t>(x) * 3 + 1] = GetGValue(c);
            row[static_cast<size_t>(x) * 3 + 2] = GetRValue(c);
        }
        ok = std::fwrite(row.data(), row.size(), 1, f) == 1;
    }
    return std::fclose(f) == 0 && ok;
}

std::string TempFile(const std::string& name) {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "brik-ui-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

bool PumpUntil(const std::function<bool()>& done, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        if (done()) return true;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    return done();
}

void SaveScreenshot(HWND hwnd, const char* name) {
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("BRIK_SCREENSHOT_DIR", folder, MAX_PATH) == 0) return;
    CreateDirectoryA(folder, nullptr);
    const RECT r = WindowRect(hwnd);
    Dib picture(r.right - r.left, r.bottom - r.top, 0);
    HDC screen = GetDC(nullptr);
    BitBlt(picture.Dc(), 0, 0, picture.Width(), picture.Height(), screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    WriteBitmapFile(std::string(folder) + "\\" + name + ".bmp", picture.Width(), picture.Height(),
                    [&](int x, int y) { return picture.At(x, y); });
}

DialogScript::DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
    self_ = this;
    timer_ = SetTimer(nullptr, 0, 30, &DialogScript::Tick);
}

DialogScript::~DialogScript() {
    KillTimer(nullptr, timer_);
    self_ = nullptr;
}

BOOL CALLBACK DialogScript::FindProc(HWND hwnd, LPARAM lParam) {
    auto* find = reinterpret_cast<Find*>(lParam);
    if (!IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770") return TRUE;
    if (WindowText(hwnd) != find->script->steps_[find->script->next_].caption) return TRUE;
    if (!find->script->steps_[find->script->next_].again) {
        for (HWND done : find->script->handled_)
            if (done == hwnd) return TRUE;
    }
    find->found = hwnd;
    return FALSE;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
    DialogScript* self = self_;
    if (self == nullptr || self->timedOut_ || self->busy_) return;
    if (self->next_ < self->steps_.size()) {
        Find find{self, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), FindProc, reinterpret_cast<LPARAM>(&find));
        if (find.found != nullptr && find.found == self->seen_) {
            self->handled_.push_back(find.found);
            self->busy_ = true;
            self->steps_[self->next_++].action(find.found);
            self->busy_ = false;
            self->seen_ = nullptr;
            return;
        }
        self->seen_ = find.found;
    }
    if (++self->ticks_ * 30 >= 15000) {
        self->timedOut_ = true;
        if (HWND active = GetActiveWindow()) PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
    }
}

}  // namespace brik::uitest
