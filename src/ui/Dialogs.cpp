#include "ui/Dialogs.h"

#include <richedit.h>

#include <cstring>

#include "config/Common.h"
#include "config/kpIniFile.h"
#include "crypto/Password.h"
#include "ui/DialogRules.h"
#include "ui/Msg.h"
#include "ui/ProgressLink.h"
#include "ui/kpShell.h"
#include "util/BoundView.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

std::vector<std::string> DialogSequence;
bool AskBeforeCancel = true;

namespace {

// The cancel question of the progress dialog, read as the dialog comes up.
std::string CancelQuestion;

std::string& TypedPassword() {
    static std::string own;
    return DialogDisplay().InstallPassword != nullptr ? *DialogDisplay().InstallPassword : own;
}

std::atomic<bool>& RebootChoice() {
    static std::atomic<bool> own{false};
    return DialogDisplay().RebootPending != nullptr ? *DialogDisplay().RebootPending : own;
}

}  // namespace

namespace {
TBoundView<TDialogDisplay>& DisplayView() {
    static TBoundView<TDialogDisplay> view;
    return view;
}
}  // namespace

TDialogDisplay& DialogDisplay() { return DisplayView().Get(); }

void BindDialogDisplay(TDialogDisplay* display) { DisplayView().Bind(display); }

namespace {

// One dialog at a time: a dialog never starts a sequence.
size_t DialogIndex = 0;
std::string CurrentDialogName;
HFONT DialogFontHandle = nullptr;
std::string TitleText;

struct TitleBandImage {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
} Band;

constexpr int kTitleBand = 100;
constexpr int kLinkControl = 152;
constexpr int kSingleButton = 104;

bool IsDialog(const char* name) { return CurrentDialogName == name; }

void DeleteTitleBand() {
    if (Band.dc != nullptr) {
        SelectObject(Band.dc, Band.previous);
        DeleteDC(Band.dc);
    }
    if (Band.bitmap != nullptr) DeleteObject(Band.bitmap);
    Band = {};
}

HBITMAP LoadSetupBitmap(const std::string& name) {
    // The settings are data of the package: the name stays inside the setup folder.
    if (name.empty() || !IsSafeRelativePath(name)) return nullptr;
    const std::string path = ConfigPaths().SetupFolder + name;
    return static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

void SetControlText(HWND dialog, int id, const std::string& text) {
    HWND target = id == 0 ? dialog : GetDlgItem(dialog, id);
    if (target == nullptr) return;
    SendMessageA(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (target != dialog) SendMessageA(target, EM_SETSEL, 0, static_cast<LPARAM>(text.size()));
}

std::string ControlText(HWND dialog, int id) {
    char buffer[1025] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

// A language value as the dialogs take it: the quote rule, then expanded.
std::string DialogLangString(const std::string& section, const char* key) {
    const std::string& file = LanguageState().LanguageFile;
    if (file.empty()) return {};
    return ExpandText(DialogTextValue(IniReadString(file, section, key, "")));
}

void SetSelectedEditText(HWND dialog, int id, const std::string& text) {
    SetControlText(dialog, id, text);
}

// --- Licence and readme texts -----------------------------------------------

struct StreamSource {
    const std::string* text;
    size_t position;
};

DWORD CALLBACK StreamOut(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* written) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const size_t left = source->text->size() - source->position;
    const size_t count = left < static_cast<size_t>(size) ? left : static_cast<size_t>(size);
    std::memcpy(buffer, source->text->data() + source->position, count);
    source->position += count;
    *written = static_cast<LONG>(count);
    return 0;
}

// The whole file, up to its first zero byte; empty when it cannot be read.
std::string ReadTextFile(const std::string& path) {
    // Texts for a dialog: anything larger is not one.
    constexpr DWORD kLimit = 16u << 20;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    const DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE && size <= kLimit) {
        text.resize(size);
        DWORD read = 0;
        if (size == 0 || !ReadFile(file, text.data(), size, &read, nullptr)) read = 0;
        text.resize(read);
    }
    CloseHandle(file);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

void LoadDocument(HWND dialog, int id, const char* baseName, COLORREF background) {
    const std::string folder = ConfigPaths().SetupFolder + baseName;
    std::string text;
    for (const std::string& suffix : {"." + LanguageState().LanguageCode, std::string(".rtf"), std::string(".txt")}) {
        text = ReadTextFile(folder + suffix);
        if (!text.empty()) break;
    }
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return;
    if (!text.empty()) {
        const bool rich = text.size() >= 5 && SameText(std::string_view(text).substr(0, 5), "{\\rtf");
        StreamSource source{&text, 0};
        EDITSTREAM stream{};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
        stream.pfnCallback = StreamOut;
        SendMessageA(control, EM_STREAMIN, rich ? SF_RTF : SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    }
    SendMessageA(control, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(background));
}

// --- The password -------------------------------------------------------------

// Overwrites the text before it is let go: a password must not linger in
// freed memory.
void WipeString(std::string& text) {
    volatile char* bytes = text.data();
    for (size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    text.clear();
}

// The typed password into InstallPassword, then out of the edit control; the
// buffer it passed through is wiped.
void TakePassword(HWND dialog) {
    char buffer[1025];
    const int length = GetDlgItemTextA(dialog, 106, buffer, sizeof buffer);
    std::string& password = TypedPassword();
    WipeString(password);
    password.assign(buffer, static_cast<size_t>(length > 0 ? length : 0));
    volatile char* bytes = buffer;
    for (size_t i = 0; i < sizeof buffer; ++i) bytes[i] = 0;
    SetDlgItemTextA(dialog, 106, "");
}

// --- Program groups ---------------------------------------------------------

// The sub-folders of the folder `menu` expands to, into the list box,
// each name once.
void AddGroupFolders(HWND list, const char* menu) {
    const std::string folder = ExpandVariables(menu);
    if (folder.empty()) return;
    WIN32_FIND_DATAA found;
    const std::string pattern = folder + (folder.back() == '\\' ? "*" : "\\*");
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string_view name(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == "." || name == "..") continue;
        if (SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(found.cFileName)) == LB_ERR)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// --- What each dialog does with its own controls ----------------------------

void InitOwnControls(HWND dialog) {
    if (IsDialog("DLG_FINISH") || IsDialog("DLG_NOTFINISH")) {
        SetFocus(GetDlgItem(dialog, kSingleButton));
    } else if (IsDialog("DLG_REBOOT")) {
        const int selected = RebootChoice() ? 106 : 107;
        SendDlgItemMessageA(dialog, selected, BM_SETCHECK, BST_CHECKED, 0);
        SetFocus(GetDlgItem(dialog, selected));
    } else if (IsDialog("DLG_LICENSE")) {
        SetFocus(GetDlgItem(dialog, 108));
        LoadDocument(dialog, 108, "License", DialogDisplay().LicenseBackColor);
    } else if (IsDialog("DLG_README")) {
        LoadDocument(dialog, 106, "Readme", DialogDisplay().ReadmeBackColor);
    } else if (IsDialog("DLG_LANGUAGE")) {
        HWND list = GetDlgItem(dialog, 106);
        const std::vector<std::string>* languages = DialogDisplay().Languages;
        for (size_t i = 0; languages != nullptr && i < languages->size(); ++i) {
            const std::string name(ValuePart((*languages)[i]));
            const LRESULT item = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
            if (item >= 0) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
        }
        // Chosen once the list is whole: the sorted list moves items as it fills.
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (LRESULT item = 0; item < count; ++item) {
            const auto index = static_cast<size_t>(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0));
            if (index < languages->size() && SameText(NamePart((*languages)[index]), LanguageState().LanguageCode))
                SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
        }
        SetFocus(list);
    } else if (IsDialog("DLG_PASSWORD")) {
        // Shown again after Back; it leaves the edit control once taken.
        SetSelectedEditText(dialog, 106, TypedPassword());
        SetFocus(GetDlgItem(dialog, 106));
    } else if (IsDialog("DLG_GROUP")) {
        SetSelectedEditText(dialog, 106, ExpandVariables(GetVariable("ProgramGroup")));
        HWND list = GetDlgItem(dialog, 107);
        AddGroupFolders(list, "%CommonProgramsMenu%");
        AddGroupFolders(list, "%ProgramsMenu%");
    } else if (IsDialog("DLG_DIR")) {
        FolderBrowserLook& look = BrowserLook();
        look.createText = DialogLangString("DLG_DIR", "202");
        look.okText = DialogLangString("DLG_DIR", "203");
        look.cancelText = DialogLangString("DLG_DIR", "204");
        look.queryCaption = DialogLangString("DLG_DIR", "205");
        look.queryPrompt = DialogLangString("DLG_DIR", "206");
        SetSelectedEditText(dialog, 106, ExpandVariables(GetVariable("InstallPath")));
    }
}

// True when the dialog's own handling consumed the command.
bool HandleOwnCommand(HWND dialog, int id, int code) {
    if (IsDialog("DLG_FINISH") || IsDialog("DLG_NOTFINISH")) {
        if (id != kSingleButton) return false;
        EndDialog(dialog, kDialogNext);
        return true;
    }
    if (IsDialog("DLG_LICENSE")) {
        if (id == 105) {
            EndDialog(dialog, kDialogNext);
            return true;
        }
        if (id == 106 || id == IDCANCEL) {
            EndDialog(dialog, kDialogCancel);
            return true;
        }
        return false;
    }
    if (IsDialog("DLG_DIR") && id == 107) {
        // The variable changes only on Back or Next: the choice goes into
        // the edit.
        std::string path = ControlText(dialog, 106);
        BrowserLook().dialogFont = DialogFontHandle;
        if (ChooseDirectory(dialog, DialogLangString("DLG_DIR", "200"), DialogLangString("DLG_DIR", "201"), true,
                            path)) {
            SetSelectedEditText(dialog, 106, path);
            SetFocus(GetDlgItem(dialog, 106));
        }
        return true;
    }
    if (IsDialog("DLG_GROUP") && id == 107) {
        if (code == LBN_SELCHANGE) {
            HWND list = GetDlgItem(dialog, 107);
            const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
            char name[MAX_PATH + 1] = {};
            if (item != LB_ERR && SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(item), 0) <= MAX_PATH &&
                SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(name)) != LB_ERR)
                SetSelectedEditText(dialog, 106, name);
        }
        return true;
    }
    if (id != kDialogBack && id != kDialogNext) return false;
    if (IsDialog("DLG_LANGUAGE")) {
        HWND list = GetDlgItem(dialog, 106);
        const std::vector<std::string>* languages = DialogDisplay().Languages;
        const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
        // No choice leaves the language as it is.
        if (item != LB_ERR && languages != nullptr) {
            const auto index = static_cast<size_t>(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0));
            if (index < languages->size()) SetLanguage(std::string(NamePart((*languages)[index])));
        }
    } else if (IsDialog("DLG_PASSWORD")) {
        TakePassword(dialog);
        if (id == kDialogNext) {
            const std::string checkHash =
                IniReadString(ConfigPaths().SettingsFile, kPasswordSection, kPswCheckHashKey, "");
            if (!CheckPassword(TypedPassword(), checkHash)) {
                ShowError(GetMessageString(12));
                WipeString(TypedPassword());
                SetFocus(GetDlgItem(dialog, 106));
                return true;
            }
        }
    } else if (IsDialog("DLG_GROUP")) {
        SetVariable("ProgramGroup", ControlText(dialog, 106));
    } else if (IsDialog("DLG_REBOOT")) {
        RebootChoice() = IsDlgButtonChecked(dialog, 106) == BST_CHECKED;
    } else if (IsDialog("DLG_DIR")) {
        const std::string typed = ControlText(dialog, 106);
        const std::string path(Trim(typed));
        if (!path.empty()) {
            SetPathVariable("InstallPath", path);
            if (id == kDialogNext && DialogDisplay().InstallPathExistWarning && platform::DirectoryExists(path) &&
                AskQuestion(GetLangString("DLG_DIR", "300")) != IDYES)
                return true;
        }
    }
    return false;
}

void BlitBand(HDC target, const RECT& rect) {
    if (Band.dc != nullptr)
        BitBlt(target, 0, 0, rect.right - rect.left, rect.bottom - rect.top, Band.dc, 0, 0, SRCCOPY);
}

void InitDialog(HWND dialog) {
    UiRunState& ui = UiState();
    const TDialogDisplay& display = DialogDisplay();
    ui.messageOwner = dialog;

    DialogFontHandle = CreateFontIndirectA(&DialogFont);
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFontHandle), FALSE);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFontHandle), FALSE);

    PositionDialog(dialog, display.PositionX, display.PositionY);
    if (DialogIndex == 0) ShowWindow(GetDlgItem(dialog, kDialogBack), SW_HIDE);
    if (ui.mainWindow != nullptr) {
        const auto icon = static_cast<LPARAM>(GetClassLongPtrA(ui.mainWindow, GCLP_HICON));
        SendMessageA(dialog, WM_SETICON, ICON_BIG, icon);
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, icon);
    }
    ApplyDialogTexts(dialog, CurrentDialogName);
    TitleText = DialogLangString(CurrentDialogName, "Title");
    if (TitleText.empty()) TitleText = DialogLangString("Dialogs", "Title");
    BuildTitleBand(dialog);

    const std::string link = RestoreLinkText(ScrambledLinkText());
    if (HWND control = GetDlgItem(dialog, kLinkControl)) {
        SetWindowTextA(control, link.c_str());
        if (link.empty()) ShowWindow(control, SW_HIDE);
    }
    SetFocus(GetDlgItem(dialog, kDialogNext));
    if (IsDialog("DLG_PROGRESS")) {
        // Read while no thread of the install reads the language file: the
        // question comes without waiting for the thread to stop.
        if (!ProgressWorkerStarted()) CancelQuestion = GetMessageString(1);
        // The thread starts only now that it has a dialog to report to.
        StartProgressWorker(dialog);
        SetFocus(GetDlgItem(dialog, kTitleBand));
    }
    InitOwnControls(dialog);
}

}  // namespace

void ApplyDialogTexts(HWND dialog, const std::string& name) {
    const std::string& file = LanguageState().LanguageFile;
    std::string caption = DialogLangString(name, "Caption");
    if (caption.empty()) caption = DialogLangString("Dialogs", "Caption");
    if (!caption.empty()) SetWindowTextA(dialog, caption.c_str());
    if (file.empty()) return;

    for (const std::string& section : {std::string("Dialogs"), name}) {
        StringList lines;
        IniReadSectionValues(file, section, lines);
        for (const std::string& line : lines) {
            const std::string text = ExpandText(DialogTextValue(ValuePart(line)));
            SetControlText(dialog, DialogControlId(NamePart(line)), text);
        }
    }
}

void PositionDialog(HWND dialog, int horizontal, int vertical) {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT outer{};
    GetWindowRect(dialog, &outer);
    const int x = work.left + DialogOffset(horizontal, work.right - work.left, outer.right - outer.left);
    const int y = work.top + DialogOffset(vertical, work.bottom - work.top, outer.bottom - outer.top);
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HDC BuildTitleBand(HWND dialog) {
    DeleteTitleBand();
    HWND control = GetDlgItem(dialog, kTitleBand);
    if (control == nullptr) return nullptr;
    RECT rect{};
    GetClientRect(control, &rect);
    const int w = rect.right;
    const int h = rect.bottom;
    HDC windowDC = GetDC(control);
    Band.dc = CreateCompatibleDC(windowDC);
    Band.bitmap = CreateCompatibleBitmap(windowDC, w, h);
    ReleaseDC(control, windowDC);
    if (Band.dc == nullptr || Band.bitmap == nullptr) {
        DeleteTitleBand();
        return nullptr;
    }
    Band.previous = SelectObject(Band.dc, Band.bitmap);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(Band.dc, &rect, face);

    const std::string named(Trim(IniReadString(ConfigPaths().SettingsFile, "DialogBitmap", CurrentDialogName, "")));
    HBITMAP bitmap = LoadSetupBitmap(named.empty() ? std::string("Brik.bmp") : named);
    if (bitmap == nullptr) bitmap = LoadSetupBitmap("Brik.bmp");
    if (bitmap != nullptr) {
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        HDC source = CreateCompatibleDC(Band.dc);
        HGDIOBJ old = SelectObject(source, bitmap);
        // The last column and row keep the face colour.
        StretchBlt(Band.dc, 0, 0, w - 1, h - 1, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        DeleteObject(bitmap);
    }

    const TDialogDisplay& display = DialogDisplay();
    if (display.ShowDialogTitle && !TitleText.empty()) {
        HFONT font = CreateFontIndirectA(&DialogTitleFont);
        HGDIOBJ oldFont = SelectObject(Band.dc, font);
        SetBkMode(Band.dc, TRANSPARENT);
        if (display.DialogTitleShadow) {
            RECT shadow{12, 7, w, h};
            SetTextColor(Band.dc, display.DialogTitleShadowColor);
            DrawTextA(Band.dc, TitleText.c_str(), -1, &shadow, 0);
        }
        RECT title{10, 5, w, h};
        SetTextColor(Band.dc, display.DialogTitleColor);
        DrawTextA(Band.dc, TitleText.c_str(), -1, &title, 0);
        SelectObject(Band.dc, oldFont);
        DeleteObject(font);
    }
    return Band.dc;
}

void PaintTitleBand(HWND dialog, HDC band) {
    HWND control = GetDlgItem(dialog, kTitleBand);
    if (control == nullptr || band == nullptr) return;
    RECT rect{};
    GetClientRect(control, &rect);
    HDC target = GetDC(control);
    BlitBand(target, rect);
    ReleaseDC(control, target);
}

void ConfirmCancel(HWND dialog) {
    // The progress dialog ends when its thread has stopped; without a thread
    // (a sequence that names it outside the install) it is a dialog like any
    // other, or Cancel could never close it.
    const bool progress = IsDialog("DLG_PROGRESS") && ProgressWorkerBound();
    if (progress && ProgressAbortRequested()) return;
    // Held while the user decides, so that the thread neither ends the
    // dialog under the question nor writes on.
    if (progress) HoldProgressWorker();
    if (!AskBeforeCancel || AskQuestion(progress ? CancelQuestion : GetMessageString(1)) == IDYES) {
        if (progress) {
            RequestProgressAbort();
        } else {
            EndDialog(dialog, kDialogCancel);
        }
    }
    if (progress) ReleaseProgressWorker();
}

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            InitDialog(dialog);
            break;
        case WM_DRAWITEM: {
            // The band is an owner-drawn static: it is drawn whenever the
            // control itself is, not only when the dialog paints.
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (wParam == kTitleBand) {
                BlitBand(item->hDC, item->rcItem);
                return TRUE;
            }
            break;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) PaintTitleBand(dialog, Band.dc);
            break;
        case WM_DESTROY:
            if (IsDialog("DLG_PROGRESS")) ForgetProgressDialog();
            DeleteTitleBand();
            if (DialogFontHandle != nullptr) DeleteObject(DialogFontHandle);
            DialogFontHandle = nullptr;
            break;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HandleOwnCommand(dialog, id, HIWORD(wParam))) break;
            if (id == IDCANCEL || id == kDialogCancel) {
                ConfirmCancel(dialog);
            } else if (id == kDialogBack || id == kDialogNext) {
                EndDialog(dialog, id);
            }
            break;
        }
        default:
            break;
    }
    return 0;
}

bool RunDialogSequence() {
    UiRunState& ui = UiState();
    if (DialogSequence.empty()) return true;
    DialogIndex = 0;
    for (;;) {
        CurrentDialogName = DialogSequence[DialogIndex];
        HWND owner = DialogDisplay().ShowMainWindow ? ui.mainWindow : nullptr;
        const INT_PTR result =
            DialogBoxParamA(GetModuleHandleA(nullptr), CurrentDialogName.c_str(), owner, WizardDialogProc, 0);
        ui.messageOwner = ui.mainWindow;
        if (result == -1) {
            ShowError("Cannot show dialog \"" + CurrentDialogName + "\"!");
            CurrentDialogName.clear();
            return false;
        }
        if (DialogDisplay().ShowMainWindow && ui.mainWindow != nullptr)
            RedrawWindow(ui.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        switch (result) {
            case kDialogBack:
                if (DialogIndex > 0) --DialogIndex;
                break;
            case kDialogNext:
                if (DialogIndex + 1 == DialogSequence.size()) {
                    CurrentDialogName.clear();
                    return true;
                }
                ++DialogIndex;
                break;
            case kDialogCancel:
                CurrentDialogName.clear();
                return false;
            default:
                break;
        }
    }
}

}  // namespace brik
