// Brisk Notes, the sample package's application: a note pad that keeps its
// notes in Notes.txt beside itself and shows them in the face its settings
// file names (BriskNotes.ini, which the setup writes; the face is the font
// the setup installs).
//   BriskNotes.exe            the note pad
//   BriskNotes.exe /welcome   the first start, run by the setup: writes
//                             Welcome.txt, the first page a new user sees,
//                             and ends without showing a window, so that
//                             the setup need not wait for the user
//   BriskNotes.exe /forget    run by the uninstaller: removes Welcome.txt,
//                             which the install log does not know of
#include <windows.h>

namespace {

char Folder[MAX_PATH];  // the program's own folder, with a backslash
HWND Editor = nullptr;
HFONT Face = nullptr;

// A file of ours: the program's folder and the name.
void OurFile(char* path, const char* name) {
    lstrcpynA(path, Folder, MAX_PATH);
    if (lstrlenA(path) + lstrlenA(name) < MAX_PATH) lstrcatA(path, name);
}

void Setting(const char* key, const char* fallback, char* value, DWORD size) {
    char ini[MAX_PATH];
    OurFile(ini, "BriskNotes.ini");
    GetPrivateProfileStringA("Settings", key, fallback, value, size, ini);
}

bool WriteWhole(const char* path, const char* text, DWORD length) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text, length, &written, nullptr) && written == length;
    return CloseHandle(file) && ok;
}

// The file's text, or nullptr; the caller frees it with HeapFree.
char* ReadWhole(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD size = GetFileSize(file, nullptr);
    char* text = size < 0x1000000 ? static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1)) : nullptr;
    DWORD read = 0;
    if (text != nullptr && (!ReadFile(file, text, size, &read, nullptr) || read != size)) {
        HeapFree(GetProcessHeap(), 0, text);
        text = nullptr;
    }
    if (text != nullptr) text[read] = '\0';
    CloseHandle(file);
    return text;
}

// The spelling library the company's programs share, where the settings
// say it was installed: its name and version, or why there is none.
void SpellingLibrary(char* text, int size) {
    char path[MAX_PATH];
    Setting("SpellChecker", "", path, sizeof path);
    HMODULE library = path[0] != '\0' ? LoadLibraryA(path) : nullptr;
    using NameFunction = const char*(WINAPI*)();
    const auto name = library != nullptr
                          ? reinterpret_cast<NameFunction>(reinterpret_cast<void*>(GetProcAddress(library, "BriskSpellName")))
                          : nullptr;
    lstrcpynA(text, name != nullptr ? name() : "not installed", size);
    if (library != nullptr) FreeLibrary(library);
}

int Welcome() {
    char spelling[128];
    SpellingLibrary(spelling, sizeof spelling);
    char text[1024];
    wsprintfA(text,
              "Welcome to Brisk Notes!\r\n\r\n"
              "Type your notes here; they are kept when you close the window.\r\n\r\n"
              "Spelling: %s\r\n",
              spelling);
    char path[MAX_PATH];
    OurFile(path, "Welcome.txt");
    return WriteWhole(path, text, static_cast<DWORD>(lstrlenA(text))) ? 0 : 1;
}

int Forget() {
    char path[MAX_PATH];
    OurFile(path, "Welcome.txt");
    return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

void LoadNotes() {
    char path[MAX_PATH];
    OurFile(path, "Notes.txt");
    char* text = ReadWhole(path);
    if (text == nullptr) {
        OurFile(path, "Welcome.txt");
        text = ReadWhole(path);
    }
    if (text != nullptr) {
        SetWindowTextA(Editor, text);
        HeapFree(GetProcessHeap(), 0, text);
    }
}

void SaveNotes() {
    if (SendMessageA(Editor, EM_GETMODIFY, 0, 0) == 0) return;
    const int length = GetWindowTextLengthA(Editor);
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(length) + 1));
    if (text == nullptr) return;
    GetWindowTextA(Editor, text, length + 1);
    char path[MAX_PATH];
    OurFile(path, "Notes.txt");
    if (!WriteWhole(path, text, static_cast<DWORD>(length)))
        MessageBoxA(nullptr, "Your notes could not be saved.", "Brisk Notes", MB_OK | MB_ICONEXCLAMATION);
    HeapFree(GetProcessHeap(), 0, text);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        Editor = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                                 0, 0, 0, 0, window, nullptr, nullptr, nullptr);
        char face[LF_FACESIZE];
        Setting("Font", "Arial", face, sizeof face);
        char ini[MAX_PATH];
        OurFile(ini, "BriskNotes.ini");
        const int points = static_cast<int>(GetPrivateProfileIntA("Settings", "FontSize", 11, ini));
        HDC screen = GetDC(nullptr);
        const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        Face = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
        SendMessageA(Editor, WM_SETFONT, reinterpret_cast<WPARAM>(Face), 0);
        LoadNotes();
        return 0;
    }
    case WM_SIZE:
        MoveWindow(Editor, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(Editor);
        return 0;
    case WM_CLOSE:
        SaveNotes();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (Face != nullptr) DeleteObject(Face);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int NotePad(HINSTANCE instance, int show) {
    // While it exists, the setup refuses to replace our files ([Config]
    // CheckMutex of the sample's Brik.ini).
    HANDLE running = CreateMutexA(nullptr, FALSE, "BriskNotesRunning");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "BriskNotesWindow";
    if (RegisterClassA(&windowClass) == 0) return 1;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Brisk Notes", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 520, 380, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (running != nullptr) CloseHandle(running);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    const DWORD length = GetModuleFileNameA(nullptr, Folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    for (char* p = Folder + length; p > Folder; --p) {
        if (p[-1] == '\\') {
            *p = '\0';
            break;
        }
    }
    while (*commandLine == ' ') ++commandLine;
    if (lstrcmpiA(commandLine, "/welcome") == 0) return Welcome();
    if (lstrcmpiA(commandLine, "/forget") == 0) return Forget();
    return NotePad(instance, show);
}
