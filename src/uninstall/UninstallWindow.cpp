#include "uninstall/UninstallWindow.h"

#include "config/Common.h"
#include "config/Settings.h"
#include "ui/Msg.h"
#include "ui/kpGraphUtils.h"

namespace brik {

namespace {

constexpr char kDefaultTitleFont[] = "Times New Roman,16,$FF5C5C,B";
constexpr int kMargin = 8;

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* window = reinterpret_cast<TUninstallWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
    return window ? window->OnMessage(message, wParam, lParam) : FALSE;
}

RECT ChildRect(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

TUninstallWindow::~TUninstallWindow() {
    if (window_) DestroyWindow(window_);
}

bool TUninstallWindow::Create(const TUninstallLook& look, const std::string& caption, const std::string& title) {
    std::string fontText = look.titleFont.empty() ? std::string(kDefaultTitleFont) : look.titleFont;
    const TFontDescription description = ParseFontDescription(fontText);
    LOGFONTA font = MakeLogFont(description.Name, description.Size, description.Style);
    font.lfCharSet = look.charset;
    titleFont_.Reset(CreateFontIndirectA(&font));
    titleColour_ = ResolveColor(description.Color);
    // The dialog's own font has the system's character set; the texts of
    // another language need a font of theirs.
    if (look.charset != DEFAULT_CHARSET && look.charset != ANSI_CHARSET) {
        LOGFONTA text = MakeLogFont("MS Sans Serif", 8, 0);
        text.lfCharSet = look.charset;
        textFont_.Reset(CreateFontIndirectA(&text));
    }
    if (!look.bitmapPath.empty()) {
        bitmap_.Reset(static_cast<HBITMAP>(
            LoadImageA(nullptr, look.bitmapPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    }

    window_ = CreateDialogParamA(GetModuleHandleA(nullptr), "DLG_UNINSTALL", nullptr, UninstallDialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (!window_) return false;
    SetWindowTextA(window_, caption.c_str());
    SetDlgItemTextA(window_, kUninstallTitleId, title.c_str());
    Layout();
    UiState().mainWindow = window_;
    UiState().messageOwner = window_;
    UiState().captionName = caption;
    return true;
}

void TUninstallWindow::Layout() {
    if (titleFont_) SendDlgItemMessageA(window_, kUninstallTitleId, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.Get()), FALSE);
    if (textFont_) {
        for (int id : {kUninstallTextId, kUninstallListId, IDOK, IDYES, IDNO})
            SendDlgItemMessageA(window_, id, WM_SETFONT, reinterpret_cast<WPARAM>(textFont_.Get()), FALSE);
    }
    if (!bitmap_) return;
    BITMAP info{};
    if (!GetObjectA(bitmap_.Get(), sizeof info, &info)) return;
    // The bitmap takes the left edge, at its own size; everything else moves
    // right of it, and the window grows to hold it.
    HWND picture = GetDlgItem(window_, kUninstallBitmapId);
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_.Get()));
    MoveWindow(picture, 0, 0, info.bmWidth, info.bmHeight, FALSE);
    ShowWindow(picture, SW_SHOW);
    for (int id : {kUninstallTitleId, kUninstallTextId, kUninstallProgressId, kUninstallListId, IDOK, IDYES, IDNO}) {
        const RECT r = ChildRect(window_, id);
        MoveWindow(GetDlgItem(window_, id), r.left + info.bmWidth, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    }
    RECT client{};
    GetClientRect(window_, &client);
    RECT wanted{0, 0, client.right + info.bmWidth, client.bottom > info.bmHeight ? client.bottom : info.bmHeight};
    // The buttons keep to the bottom edge.
    const int grow = wanted.bottom - client.bottom;
    for (int id : {IDOK, IDYES, IDNO}) {
        const RECT r = ChildRect(window_, id);
        MoveWindow(GetDlgItem(window_, id), r.left, r.top + grow, r.right - r.left, r.bottom - r.top, FALSE);
    }
    AdjustWindowRectEx(&wanted, static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, wanted.right - wanted.left, wanted.bottom - wanted.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TUninstallWindow::ShowButtons(bool question) {
    ShowWindow(GetDlgItem(window_, IDYES), question ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(window_, IDNO), question ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(window_, IDOK), SW_HIDE);
}

void TUninstallWindow::WaitForAnswer() {
    if (!IsWindowVisible(window_)) {
        CenterInWorkArea(window_);
        ShowWindow(window_, SW_SHOW);
    }
    SetForegroundWindow(window_);
    answer_ = 0;
    MSG message;
    while (answer_ == 0 && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool TUninstallWindow::Ask(const std::string& text, const std::string& yes, const std::string& no) {
    SetDlgItemTextA(window_, kUninstallTextId, text.c_str());
    SetDlgItemTextA(window_, IDYES, yes.c_str());
    SetDlgItemTextA(window_, IDNO, no.c_str());
    ShowButtons(true);
    SendMessageA(window_, DM_SETDEFID, IDYES, 0);
    SetFocus(GetDlgItem(window_, IDYES));
    WaitForAnswer();
    return answer_ == IDYES;
}

void TUninstallWindow::Progress(const std::string& text, size_t done, size_t total) {
    if (!IsWindowVisible(GetDlgItem(window_, kUninstallProgressId))) {
        ShowButtons(false);
        ShowWindow(GetDlgItem(window_, kUninstallProgressId), SW_SHOW);
        if (!IsWindowVisible(window_)) {
            CenterInWorkArea(window_);
            ShowWindow(window_, SW_SHOW);
        }
    }
    SetDlgItemTextA(window_, kUninstallTextId, text.c_str());
    done_ = done;
    total_ = total;
    InvalidateRect(GetDlgItem(window_, kUninstallProgressId), nullptr, FALSE);
    PumpMessages();
}

void TUninstallWindow::Finish(const std::string& text, const std::string& lines, const std::string& ok) {
    ShowButtons(false);
    ShowWindow(GetDlgItem(window_, kUninstallProgressId), SW_HIDE);
    SetDlgItemTextA(window_, kUninstallTextId, text.c_str());
    SetDlgItemTextA(window_, kUninstallListId, lines.c_str());
    if (!lines.empty()) GrowList();
    ShowWindow(GetDlgItem(window_, kUninstallListId), lines.empty() ? SW_HIDE : SW_SHOW);
    SetDlgItemTextA(window_, IDOK, ok.c_str());
    ShowWindow(GetDlgItem(window_, IDOK), SW_SHOW);
    SendMessageA(window_, DM_SETDEFID, IDOK, 0);
    SetFocus(GetDlgItem(window_, IDOK));
    WaitForAnswer();
    ShowWindow(window_, SW_HIDE);
}

// A list of what stayed gets room for a dozen lines: the window grows
// downwards, and the button with it.
void TUninstallWindow::GrowList() {
    HWND list = GetDlgItem(window_, kUninstallListId);
    const RECT r = ChildRect(window_, kUninstallListId);
    const LONG lineHeight = HIWORD(GetDialogBaseUnits()) + 1;
    const LONG grow = 12 * lineHeight - (r.bottom - r.top);
    if (grow <= 0) return;
    MoveWindow(list, r.left, r.top, r.right - r.left, r.bottom - r.top + grow, FALSE);
    const RECT ok = ChildRect(window_, IDOK);
    MoveWindow(GetDlgItem(window_, IDOK), ok.left, ok.top + grow, ok.right - ok.left, ok.bottom - ok.top, FALSE);
    RECT frame{};
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, frame.left, frame.top - grow / 2, frame.right - frame.left,
                 frame.bottom - frame.top + grow, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

void TUninstallWindow::DrawBar(const DRAWITEMSTRUCT& item) const {
    RECT r = item.rcItem;
    DrawEdge(item.hDC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    RECT filled = r;
    const LONG width = r.right - r.left;
    filled.right = r.left + (total_ ? static_cast<LONG>(static_cast<int64_t>(width) * static_cast<int64_t>(done_) /
                                                        static_cast<int64_t>(total_))
                                    : 0);
    FillRect(item.hDC, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
    RECT rest = r;
    rest.left = filled.right;
    FillRect(item.hDC, &rest, GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR TUninstallWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            // Escape and the close box: No while asking, OK at the end;
            // nothing while the removal runs, which must not stop half-way.
            if (id == IDCANCEL) {
                if (IsWindowVisible(GetDlgItem(window_, IDNO))) answer_ = IDNO;
                else if (IsWindowVisible(GetDlgItem(window_, IDOK))) answer_ = IDOK;
                return TRUE;
            }
            if ((id == IDYES || id == IDNO || id == IDOK) && IsWindowVisible(GetDlgItem(window_, id))) answer_ = id;
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(window_, kUninstallTitleId)) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, titleColour_);
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_DRAWITEM:
            if (wParam == kUninstallProgressId) {
                DrawBar(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace brik
