#include "ui/kpShell.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "ui/Msg.h"
#include "ui/ShellRules.h"
#include "util/Error.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr int kCreateButtonId = 100;

// What the shell's callback and the message hook share while the browser is
// open. The browser is modal on the user-interface thread, so there is one.
struct BrowserState {
    std::string caption;
    HFONT font = nullptr;
    bool allowCreate = false;
    std::string currentPath;
    bool reopen = false;
    std::string newFolder;
    HWND browser = nullptr;
    HWND tree = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
    HWND create = nullptr;
    RECT treeRect{};
    RECT okRect{};
    RECT cancelRect{};
    HHOOK hook = nullptr;
    bool asking = false;
};

BrowserState* g_browser = nullptr;

// Class names are ASCII; the shell's may come in any case.
bool ClassStartsWith(HWND hwnd, const char* prefix) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

BOOL CALLBACK FindBrowserParts(HWND child, LPARAM) {
    BrowserState& state = *g_browser;
    if (state.tree == nullptr && ClassStartsWith(child, "SYSTREE")) {
        state.tree = child;
    } else if (ClassStartsWith(child, "BUTTON")) {
        if (state.ok == nullptr) {
            state.ok = child;
            SetWindowTextA(child, BrowserLook().okText.c_str());
        } else if (state.cancel == nullptr) {
            state.cancel = child;
            SetWindowTextA(child, BrowserLook().cancelText.c_str());
        }
    }
    return TRUE;
}

RECT ClientRectOf(HWND child, HWND parent) {
    RECT r{};
    if (child == nullptr) return r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Create is usable exactly when the selection is a file-system folder, which
// is when OK is with the destination flags. The selection's path decides
// rather than OK's state, which the shell may change only after telling us
// of the new selection.
void UpdateCreateButton() {
    BrowserState& state = *g_browser;
    if (state.create != nullptr) EnableWindow(state.create, !state.currentPath.empty());
}

void AskForNewFolder() {
    BrowserState& state = *g_browser;
    if (state.asking || state.currentPath.empty()) return;
    state.asking = true;
    const FolderBrowserLook& look = BrowserLook();
    UiRunState& ui = UiState();
    const std::string okBefore = ui.queryOkText;
    const std::string cancelBefore = ui.queryCancelText;
    ui.queryOkText = look.okText;
    ui.queryCancelText = look.cancelText;
    std::string name;
    const bool confirmed = AskString(state.ok, look.queryCaption, look.queryPrompt, name);
    ui.queryOkText = okBefore;
    ui.queryCancelText = cancelBefore;
    state.asking = false;
    if (!confirmed) return;
    // The name is the user's, but it still makes one folder under the
    // selected one: no delimiters, no "..", no device or wildcard tricks.
    const std::string folder = NewFolderPath(state.currentPath, name);
    if (folder.empty() || !platform::ForceDirectories(folder)) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    state.newFolder = folder;
    state.reopen = true;
    SendMessageA(state.ok, BM_CLICK, 0, 0);
}

LRESULT CALLBACK CreateButtonHook(int code, WPARAM wParam, LPARAM lParam) {
    BrowserState* state = g_browser;
    if (code == HC_ACTION && state != nullptr) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_COMMAND && call->wParam == kCreateButtonId && call->hwnd == state->browser)
            AskForNewFolder();
    }
    return CallNextHookEx(state != nullptr ? state->hook : nullptr, code, wParam, lParam);
}

void OnBrowserInitialized(HWND browser) {
    BrowserState& state = *g_browser;
    state.browser = browser;
    SetWindowTextA(browser, state.caption.c_str());
    if (state.font != nullptr) {
        SendMessageA(browser, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
        EnumChildWindows(browser, SetFontOnChild, reinterpret_cast<LPARAM>(state.font));
    }
    EnumChildWindows(browser, FindBrowserParts, 0);
    state.treeRect = ClientRectOf(state.tree, browser);
    state.okRect = ClientRectOf(state.ok, browser);
    state.cancelRect = ClientRectOf(state.cancel, browser);
    if (state.tree != nullptr)
        SetWindowLongA(state.tree, GWL_STYLE, GetWindowLongA(state.tree, GWL_STYLE) | TVS_SHOWSELALWAYS);
    if (state.allowCreate && state.ok != nullptr) {
        state.create = CreateWindowExA(0, "BUTTON", BrowserLook().createText.c_str(),
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, state.treeRect.left,
                                       state.okRect.top, state.okRect.right - state.okRect.left,
                                       state.okRect.bottom - state.okRect.top, browser,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCreateButtonId)),
                                       GetModuleHandleA(nullptr), nullptr);
        if (state.create != nullptr) SendMessageA(state.create, WM_SETFONT, SendMessageA(state.ok, WM_GETFONT, 0, 0), FALSE);
    }
    // A copy: the selection change it causes rewrites the current path while
    // the shell still reads this one. Wine's browser sometimes selects
    // nothing on the first request, while it fills the tree's folders; asked
    // again it finds the path.
    const std::string wanted = state.currentPath;
    for (int attempt = 0; attempt < 2 && !wanted.empty(); ++attempt) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(wanted.c_str()));
        if (state.tree == nullptr || SendMessageA(state.tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0) break;
    }
    UpdateCreateButton();
    state.hook = SetWindowsHookExA(WH_CALLWNDPROC, CreateButtonHook, nullptr, GetCurrentThreadId());
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM) {
    if (g_browser == nullptr) return 0;
    if (message == BFFM_INITIALIZED) {
        OnBrowserInitialized(browser);
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (lParam == 0 || !SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) path[0] = '\0';
        g_browser->currentPath = path;
        UpdateCreateButton();
    }
    return 0;
}

// Item lists are freed by the shell's allocator: ILFree has no name in
// Windows 95's shell32, CoTaskMemFree would import ole32.
void FreeItemList(LPITEMIDLIST list) {
    if (list == nullptr) return;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(list);
        allocator->Release();
    }
}

// One showing of the browser; reopen tells whether Create asked for another.
bool BrowseOnce(HWND owner, const std::string& caption, const std::string& prompt, bool allowCreate,
                std::string& path, UINT flags, int root, BrowserState& state) {
    LPITEMIDLIST rootList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, root, &rootList)) || rootList == nullptr)
        BRIK_RAISE(EError("Cannot open the folder list of the browser."));
    state.allowCreate = allowCreate;
    state.caption = caption;
    state.currentPath = path;
    state.font = BrowserLook().dialogFont;
    if (state.font == nullptr && owner != nullptr && IsWindow(owner))
        state.font = reinterpret_cast<HFONT>(SendMessageA(owner, WM_GETFONT, 0, 0));

    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = rootList;
    info.pszDisplayName = displayName;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = flags;
    info.lpfn = BrowseCallback;
    BrowserState* outer = g_browser;
    g_browser = &state;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    g_browser = outer;
    if (state.hook != nullptr) UnhookWindowsHookEx(state.hook);
    if (state.create != nullptr && IsWindow(state.create)) DestroyWindow(state.create);
    FreeItemList(rootList);
    if (chosen == nullptr) return false;
    if (flags & BIF_BROWSEFORCOMPUTER) {
        path = displayName;
    } else {
        char chosenPath[MAX_PATH] = {};
        const bool hasPath = SHGetPathFromIDListA(chosen, chosenPath) != FALSE;
        if (!hasPath) {
            FreeItemList(chosen);
            BRIK_RAISE(EError("The chosen folder is not a folder of the file system."));
        }
        path = chosenPath;
    }
    FreeItemList(chosen);
    return true;
}

}  // namespace

FolderBrowserLook& BrowserLook() {
    static FolderBrowserLook look;
    return look;
}

bool ChooseFolder(HWND owner, const std::string& caption, const std::string& prompt, bool allowCreate,
                  std::string& path, UINT flags, int root) {
    // After Create the browser opens again on the new folder, so the user
    // sees it selected and confirms it or browses on. The caller's path
    // changes only when the user confirms a folder in the end.
    std::string current = path;
    bool chosen = false;
    for (;;) {
        BrowserState state;
        chosen = BrowseOnce(owner, caption, prompt, allowCreate, current, flags, root, state);
        if (!state.reopen) break;
        current = state.newFolder;
    }
    if (chosen) path = current;
    return chosen;
}

bool ChooseDirectory(HWND owner, const std::string& caption, const std::string& prompt, bool allowCreate,
                     std::string& path) {
    std::string chosen = path;
    if (!ChooseFolder(owner, caption, prompt, allowCreate, chosen, BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS,
                      CSIDL_DRIVES))
        return false;
    path = WithoutTrailingBackslash(chosen);
    return true;
}

int RunAndWait(HWND owner, const std::string& fileIn, const std::string& parameters, int showCommand,
               const std::string& directoryIn) {
    const std::string file = WithoutSurroundingQuotes(fileIn);
    const std::string directory(Trim(WithoutSurroundingQuotes(directoryIn)));
    HANDLE process = nullptr;
    if (platform::FileExists(file) && StartsAsProgram(file)) {
        std::string commandLine = ProgramCommandLine(file, parameters);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
            CloseHandle(info.hThread);
            process = info.hProcess;
        }
    } else {
        SHELLEXECUTEINFOA execute{};
        execute.cbSize = sizeof execute;
        execute.fMask = SEE_MASK_NOCLOSEPROCESS;
        execute.hwnd = owner;
        execute.lpFile = file.c_str();
        execute.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
        execute.lpDirectory = directory.empty() ? nullptr : directory.c_str();
        execute.nShow = showCommand;
        if (ShellExecuteExA(&execute)) process = execute.hProcess;
    }
    if (process == nullptr) return -1;
    while (WaitForSingleObject(process, 100) == WAIT_TIMEOUT) PumpMessages();
    DWORD code = 0;
    const int result = GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
    CloseHandle(process);
    return result;
}

}  // namespace brik
