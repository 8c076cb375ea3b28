// The link control, the folder browser and program starting on a real window
// system and shell (Wine), driven from the test's own thread through timers.
//
// Started with arguments other than GoogleTest's, the program is its own
// child: given exactly "--exit-code N [--sleep MS]" it ends with N after MS
// milliseconds, given anything else with 99, so that a child whose command
// line was split wrongly ends with another code.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "UiTestUtil.h"
#include "ui/Msg.h"
#include "ui/UiIds.h"
#include "ui/UrlLink.h"
#include "ui/kpShell.h"

namespace brik {
namespace {

using uitest::DialogScript;
using uitest::PumpUntil;
using uitest::SaveScreenshot;
using uitest::TestWindow;

constexpr int kWrongArguments = 99;

std::string ModuleFile() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// --- The link control

std::vector<std::string> g_opened;
bool RecordOpened(const std::string& address) {
    g_opened.push_back(address);
    return true;
}

class UrlLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisterUrlLinkClass());
        g_opened.clear();
        previous_ = SetUrlOpener(RecordOpened);
        SetCursorPos(0, 0);
    }
    void TearDown() override {
        if (link_ != nullptr) DestroyWindow(link_);
        SetUrlOpener(previous_);
    }
    HWND MakeLink(HWND parent, const char* text) {
        link_ = CreateWindowExA(0, kUrlLinkClassName, text, WS_CHILD | WS_VISIBLE, 10, 10, 20, 16, parent,
                                reinterpret_cast<HMENU>(152), GetModuleHandleA(nullptr), nullptr);
        // The first paint sizes the control; the paints that follow fill it.
        PumpUntil([] { return false; }, 10);
        return link_;
    }
    HWND link_ = nullptr;
    UrlOpener previous_ = nullptr;
};

// Colours on the control as the screen shows them.
std::set<COLORREF> ColoursOf(HWND hwnd) {
    RECT client;
    GetClientRect(hwnd, &client);
    std::set<COLORREF> colours;
    HDC dc = GetDC(hwnd);
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) colours.insert(GetPixel(dc, x, y));
    ReleaseDC(hwnd, dc);
    return colours;
}

int CaptionWidth(HWND hwnd, const char* caption) {
    HDC dc = GetDC(hwnd);
    HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &size);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

TEST_F(UrlLinkTest, ClassHasNoCursorNoBrushAndRedrawsOnResize) {
    WNDCLASSA cls{};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), kUrlLinkClassName, &cls));
    EXPECT_EQ(cls.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(cls.hCursor, nullptr);
    EXPECT_EQ(cls.hbrBackground, nullptr);
    EXPECT_EQ(cls.hIcon, nullptr);
    EXPECT_TRUE(RegisterUrlLinkClass()) << "a second registration finds the class";
}

TEST_F(UrlLinkTest, WidthFollowsTheCaptionHeightStays) {
    TestWindow parent(WS_POPUP | WS_VISIBLE, RECT{100, 100, 500, 200});
    HWND link = MakeLink(parent.Handle(), "Brisk|http://example.com/");
    RECT r = uitest::WindowRect(link);
    EXPECT_EQ(r.right - r.left, CaptionWidth(link, "Brisk") + 7);
    EXPECT_EQ(r.bottom - r.top, 16);

    SetWindowTextA(link, "Brisk Installer on the web|http://example.com/");
    InvalidateRect(link, nullptr, FALSE);
    UpdateWindow(link);
    r = uitest::WindowRect(link);
    EXPECT_EQ(r.right - r.left, CaptionWidth(link, "Brisk Installer on the web") + 7);
    EXPECT_EQ(r.bottom - r.top, 16);
}

TEST_F(UrlLinkTest, HoverTurnsBlueWithTheHandUntilThePointerLeaves) {
    TestWindow parent(WS_POPUP | WS_VISIBLE, RECT{100, 100, 500, 200});
    HWND link = MakeLink(parent.Handle(), "Brisk Installer|http://example.com/");
    const COLORREF grey = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF blue = RGB(0, 0, 255);
    std::set<COLORREF> colours = ColoursOf(link);
    EXPECT_TRUE(colours.count(grey)) << "caption in the button shadow colour";
    EXPECT_TRUE(colours.count(GetSysColor(COLOR_BTNFACE)));
    EXPECT_FALSE(colours.count(blue));
    SaveScreenshot(link, "shell_link");

    const RECT r = uitest::WindowRect(link);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_NE(GetPropA(link, "Hover"), nullptr);
    EXPECT_NE(GetPropA(link, "Timer"), nullptr);
    EXPECT_EQ(GetCursor(), LoadCursorA(GetModuleHandleA(nullptr), "CUR_HAND"));
    colours = ColoursOf(link);
    EXPECT_TRUE(colours.count(blue));
    EXPECT_FALSE(colours.count(grey));
    SaveScreenshot(link, "shell_link_hover");
    // The pointer still on the control: the timer, which checks every 100 ms,
    // keeps the hover.
    PumpUntil([] { return false; }, 40);
    EXPECT_NE(GetPropA(link, "Hover"), nullptr);

    SetCursorPos(0, 0);
    EXPECT_TRUE(PumpUntil([&] { return GetPropA(link, "Hover") == nullptr; }));
    EXPECT_EQ(GetPropA(link, "Timer"), nullptr);
    colours = ColoursOf(link);
    EXPECT_TRUE(colours.count(grey));
    EXPECT_FALSE(colours.count(blue));
}

TEST_F(UrlLinkTest, PlainCaptionNeverHovers) {
    TestWindow parent(WS_POPUP | WS_VISIBLE, RECT{100, 100, 500, 200});
    HWND link = MakeLink(parent.Handle(), "Brisk Installer");
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(GetPropA(link, "Hover"), nullptr);
    EXPECT_EQ(GetPropA(link, "Timer"), nullptr);
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(g_opened.empty());
}

TEST_F(UrlLinkTest, ClickOpensOnlyWebAndMailAddresses) {
    struct Case {
        const char* text;
        const char* opened;  // null: refused
    } const cases[] = {
        {"Home|http://example.com/", "http://example.com/"},
        {"Home|HTTPS://example.com/a?b=1", "HTTPS://example.com/a?b=1"},
        {"Mail|mailto:someone@example.com", "mailto:someone@example.com"},
        {"Tool|C:\\windows\\notepad.exe", nullptr},
        {"Tool|cmd /c del C:\\*", nullptr},
        {"File|file:///C:/windows/win.ini", nullptr},
        {"Home|http://example.com/\" -new-tab", nullptr},
    };
    TestWindow parent(WS_POPUP | WS_VISIBLE, RECT{100, 100, 500, 200});
    HWND link = MakeLink(parent.Handle(), "");
    for (const Case& c : cases) {
        g_opened.clear();
        SetWindowTextA(link, c.text);
        // No hover first: a click alone opens.
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        if (c.opened != nullptr) {
            ASSERT_EQ(g_opened.size(), 1u) << c.text;
            EXPECT_EQ(g_opened[0], c.opened);
        } else {
            EXPECT_TRUE(g_opened.empty()) << c.text;
        }
    }
}

// Runs after the tests above: the class is taken away and given back.
TEST(UrlLinkRegistration, FailureIsReportedAndTheSetupGoesOn) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(RegisterUrlLinkClass());
    ASSERT_TRUE(UnregisterClassA(kUrlLinkClassName, instance));
    WNDCLASSA other{};
    other.lpfnWndProc = DefWindowProcA;
    other.hInstance = instance;
    other.lpszClassName = kUrlLinkClassName;
    ASSERT_NE(RegisterClassA(&other), 0);

    std::string text;
    bool result = true;
    {
        uitest::DialogWatcher watcher([&](HWND box) {
            text = uitest::WindowText(GetDlgItem(box, 0xFFFF));
            uitest::PostClick(box, IDOK);
        });
        result = RegisterUrlLinkClass();
        EXPECT_FALSE(watcher.TimedOut());
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(text, "Cannot register url link window class!");

    ASSERT_TRUE(UnregisterClassA(kUrlLinkClassName, instance));
    EXPECT_TRUE(RegisterUrlLinkClass());
}

// --- Program starting

// RunAndWait on something that cannot start; the shell may say so in a box
// of its own, which is closed.
int RunAndWaitMissing(const std::string& file) {
    uitest::DialogWatcher watcher([](HWND box) { uitest::PostClick(box, IDOK); });
    return RunAndWait(nullptr, file, "", SW_HIDE, "");
}

class RunAndWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "brik run " + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        child_ = folder_ + "\\child prog.exe";
        ASSERT_TRUE(CopyFileA(ModuleFile().c_str(), child_.c_str(), FALSE));
        // What an unquoted command line would start instead, with the rest
        // of the path as its first argument.
        decoy_ = folder_ + "\\child.exe";
        ASSERT_TRUE(CopyFileA(ModuleFile().c_str(), decoy_.c_str(), FALSE));
    }
    void TearDown() override {
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        DeleteFileA(child_.c_str());
        DeleteFileA(decoy_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
    std::string child_;
    std::string decoy_;
    std::vector<std::string> files_;
};

TEST_F(RunAndWaitTest, ProgramsStartQuotedAndReturnTheirExitCode) {
    EXPECT_EQ(RunAndWait(nullptr, child_, "--exit-code 3", SW_HIDE, ""), 3);
    EXPECT_EQ(RunAndWait(nullptr, "\"" + child_ + "\"", "--exit-code 0", SW_HIDE, "\"" + folder_ + "\""), 0);
    EXPECT_EQ(RunAndWaitMissing(folder_ + "\\missing.exe"), -1);
}

TEST_F(RunAndWaitTest, MessagesArePumpedWhileWaiting) {
    TestWindow window;
    PostMessageA(window.Handle(), WM_APP, 0, 0);
    EXPECT_EQ(RunAndWait(nullptr, child_, "--exit-code 4 --sleep 500", SW_HIDE, ""), 4);
    EXPECT_EQ(window.AppMessages(), 1);
}

TEST_F(RunAndWaitTest, DocumentsOpenWithTheirProgramAndAreWaitedFor) {
    // A document type of our own whose program is the child.
    const char* type = "BrikShellTest.Document";
    const std::string command = "\"" + child_ + "\" --exit-code 5";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".briktestdoc", &key), ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(type), lstrlenA(type) + 1);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "BrikShellTest.Document\\shell\\open\\command", &key), ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);

    const std::string document = folder_ + "\\notes.briktestdoc";
    files_.push_back(document);
    HANDLE file = CreateFileA(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    EXPECT_EQ(RunAndWait(nullptr, document, "", SW_HIDE, folder_), 5);
    // A missing document: nothing to start.
    EXPECT_EQ(RunAndWaitMissing(folder_ + "\\absent.briktestdoc"), -1);

    RegDeleteKeyA(HKEY_CLASSES_ROOT, "BrikShellTest.Document\\shell\\open\\command");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "BrikShellTest.Document\\shell\\open");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "BrikShellTest.Document\\shell");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "BrikShellTest.Document");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".briktestdoc");
}

// --- The folder browser

std::string SelectedTreeText(HWND browser) {
    HWND tree = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    char text[MAX_PATH] = {};
    TVITEMA info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = MAX_PATH;
    if (item == nullptr || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info))) return {};
    return text;
}

// Clicks a button as the user's click does: the button tells its dialog
// itself, by a sent message.
void PressButton(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

class FolderBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        UiState() = UiRunState{};
        BrowserLook() = FolderBrowserLook{};
        BrowserLook().createText = "New...";
        BrowserLook().okText = "Take";
        BrowserLook().cancelText = "Leave";
        BrowserLook().queryCaption = "Name the folder";
        BrowserLook().queryPrompt = "Folder name:";
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        base_ = std::string(temp) + "brik browse " + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
    }
    void TearDown() override {
        RemoveDirectoryA((base_ + "\\New Sub").c_str());
        RemoveDirectoryA(base_.c_str());
        BrowserLook() = FolderBrowserLook{};
        UiState() = UiRunState{};
    }
    std::string base_;
};

TEST_F(FolderBrowserTest, CreateMakesTheFolderAndReopensOnIt) {
    struct Seen {
        std::string ok, cancel, create, queryOk, queryPrompt, reopenedSelection;
        bool createEnabled = false;
    } seen;
    std::string path = base_ + "\\";
    bool chosen = false;
    {
        DialogScript script({
            {"Pick a folder",
             [&](HWND browser) {
                 seen.ok = uitest::WindowText(GetDlgItem(browser, IDOK));
                 seen.cancel = uitest::WindowText(GetDlgItem(browser, IDCANCEL));
                 HWND create = GetDlgItem(browser, 100);
                 seen.create = uitest::WindowText(create);
                 seen.createEnabled = IsWindowEnabled(create) != FALSE;
                 SaveScreenshot(browser, "shell_browser");
                 PressButton(create);
             }},
            {"Name the folder",
             [&](HWND query) {
                 seen.queryOk = uitest::WindowText(GetDlgItem(query, IDC_QUERY_OK));
                 seen.queryPrompt = uitest::WindowText(GetDlgItem(query, IDC_QUERY_PROMPT));
                 SetDlgItemTextA(query, IDC_QUERY_EDIT, " New Sub ");
                 RedrawWindow(query, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                 SaveScreenshot(query, "shell_new_folder_query");
                 uitest::PostClick(query, IDC_QUERY_OK);
             }},
            {"Pick a folder",
             [&](HWND browser) {
                 seen.reopenedSelection = SelectedTreeText(browser);
                 SaveScreenshot(browser, "shell_browser_reopened");
                 PressButton(GetDlgItem(browser, IDOK));
             }},
        });
        chosen = ChooseDirectory(nullptr, "Pick a folder", "Where to?", true, path);
        EXPECT_FALSE(script.TimedOut());
        EXPECT_EQ(script.Done(), 3u);
    }
    EXPECT_EQ(seen.ok, "Take");
    EXPECT_EQ(seen.cancel, "Leave");
    EXPECT_EQ(seen.create, "New...");
    EXPECT_TRUE(seen.createEnabled);
    EXPECT_EQ(seen.queryOk, "Take");
    EXPECT_EQ(seen.queryPrompt, "Folder name:");
    EXPECT_EQ(seen.reopenedSelection, "New Sub");
    EXPECT_TRUE(chosen);
    EXPECT_EQ(path, base_ + "\\New Sub");
    const DWORD attributes = GetFileAttributesA((base_ + "\\New Sub").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(UiState().queryOkText, "OK") << "the query's texts are the browser's only while it asks";
}

TEST_F(FolderBrowserTest, CancelledQueryCreatesNothingAndCancelKeepsThePath) {
    std::string path = base_;
    bool chosen = true;
    HWND first = nullptr;
    HWND afterCancel = nullptr;
    HWND afterBadName = nullptr;
    {
        const auto askThenCancel = [&](const char* name, int button) {
            return DialogScript::Step{"Name the folder", [=](HWND query) {
                                          SetDlgItemTextA(query, IDC_QUERY_EDIT, name);
                                          uitest::PostClick(query, button);
                                      }};
        };
        DialogScript script({
            {"Pick a folder",
             [&](HWND browser) {
                 first = browser;
                 PressButton(GetDlgItem(browser, 100));
             }},
            askThenCancel("Never", IDC_QUERY_CANCEL),
            {"Pick a folder",
             [&](HWND browser) {
                 afterCancel = browser;
                 PressButton(GetDlgItem(browser, 100));
             },
             true},
            // A name that is no plain folder name creates nothing either.
            askThenCancel("..\\Escaped", IDC_QUERY_OK),
            {"Pick a folder",
             [&](HWND browser) {
                 afterBadName = browser;
                 PressButton(GetDlgItem(browser, IDCANCEL));
             },
             true},
        });
        chosen = ChooseDirectory(nullptr, "Pick a folder", "Where to?", true, path);
        EXPECT_FALSE(script.TimedOut());
        EXPECT_EQ(script.Done(), 5u);
    }
    EXPECT_EQ(afterCancel, first) << "the browser stays open";
    EXPECT_EQ(afterBadName, first);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(path, base_);
    EXPECT_EQ(GetFileAttributesA((base_ + "\\Never").c_str()), INVALID_FILE_ATTRIBUTES);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(GetFileAttributesA((std::string(temp) + "Escaped").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FolderBrowserTest, CreateOnlyWhileAFileSystemFolderIsSelected) {
    std::string path = base_;
    bool onFolder = false;
    bool onComputer = true;
    {
        DialogScript script({{"Pick a folder", [&](HWND browser) {
                                  HWND tree = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
                                  onFolder = IsWindowEnabled(GetDlgItem(browser, 100)) != FALSE;
                                  // My Computer itself, the tree's root: no folder to create in.
                                  const LPARAM root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
                                  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
                                  onComputer = IsWindowEnabled(GetDlgItem(browser, 100)) != FALSE;
                                  PressButton(GetDlgItem(browser, IDCANCEL));
                              }}});
        EXPECT_FALSE(ChooseDirectory(nullptr, "Pick a folder", "Where to?", true, path));
        EXPECT_EQ(script.Done(), 1u);
    }
    EXPECT_TRUE(onFolder);
    EXPECT_FALSE(onComputer);
}

TEST_F(FolderBrowserTest, DriveRootKeepsItsBackslash) {
    std::string path = "C:\\";
    bool chosen = false;
    {
        DialogScript script({{"Pick a folder", [](HWND browser) { PressButton(GetDlgItem(browser, IDOK)); }}});
        chosen = ChooseDirectory(nullptr, "Pick a folder", "Where to?", false, path);
        EXPECT_EQ(script.Done(), 1u);
    }
    EXPECT_TRUE(chosen);
    EXPECT_EQ(path, "C:\\");
}

}  // namespace
}  // namespace brik

int main(int argc, char** argv) {
    // Any argument but GoogleTest's makes this run a child's.
    if (argc >= 2 && std::strncmp(argv[1], "--gtest_", 8) != 0) {
        if (std::strcmp(argv[1], "--exit-code") != 0) return brik::kWrongArguments;
        if (argc == 5 && std::strcmp(argv[3], "--sleep") == 0) {
            Sleep(static_cast<DWORD>(std::atoi(argv[4])));
        } else if (argc != 3) {
            return brik::kWrongArguments;
        }
        return std::atoi(argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
