// The engine's Win32 modules under Wine: the administrator test with a
// replaced token, the folder routines, the unpacker's adapters and a real
// walk through unpack.dll.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "CabBuilder.h"
#include "TestUtil.h"
#include "crypto/Gost.h"
#include "crypto/Password.h"
#include "launcher/Main.h"
#include "launcher/MainWindow.h"
#include "launcher/Presetup.h"
#include "install/Unpacker.h"

namespace brik {
namespace {

using test::CabBuilder;
using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

std::string ExeFolder() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

// --- IsUserAdmin with a token of chosen groups --------------------------

struct FakeToken {
    bool openFails = false;
    std::vector<PSID> groups;
};
FakeToken* g_token = nullptr;

BOOL WINAPI FakeOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (g_token->openFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A real handle, so that closing it is real too.
    return DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), token, access, FALSE, 0);
}

BOOL WINAPI FakeGetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD size,
                                    PDWORD needed) {
    if (kind != TokenGroups) return FALSE;
    const DWORD count = static_cast<DWORD>(g_token->groups.size());
    const DWORD bytes = sizeof(TOKEN_GROUPS) + count * sizeof(SID_AND_ATTRIBUTES);
    *needed = bytes;
    if (buffer == nullptr || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    groups->GroupCount = count;
    for (DWORD i = 0; i < count; ++i) {
        groups->Groups[i].Sid = g_token->groups[i];
        groups->Groups[i].Attributes = 0;  // not even enabled: the test ignores the flags
    }
    return TRUE;
}

PSID BuiltinSid(DWORD rid) {
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID sid = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, &sid);
    return sid;
}

TEST(IsUserAdmin, TokenGroupsDecide) {
    const bool nt = true;
    const bool win98 = false;
    PSID admins = BuiltinSid(DOMAIN_ALIAS_RID_ADMINS);
    PSID users = BuiltinSid(DOMAIN_ALIAS_RID_USERS);
    PSID guests = BuiltinSid(DOMAIN_ALIAS_RID_GUESTS);
    ASSERT_TRUE(admins && users && guests);

    TTokenApi fake = SystemTokenApi();
    ASSERT_TRUE(fake.Complete());
    fake.OpenProcessToken = FakeOpenProcessToken;
    fake.GetTokenInformation = FakeGetTokenInformation;

    struct Case {
        const char* what;
        bool openFails;
        std::vector<PSID> groups;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"a user and a guest", false, {users, guests}, false},
        {"no groups", false, {}, false},
        {"administrators among others", false, {users, admins, guests}, true},
        {"administrators alone", false, {admins}, true},
        {"the token cannot be opened", true, {admins}, false},
    };
    for (const Case& c : cases) {
        FakeToken token{c.openFails, c.groups};
        g_token = &token;
        EXPECT_EQ(IsUserAdmin(nt, fake), c.expected) << c.what;
        // The 9x platform has no token: everybody administers.
        EXPECT_TRUE(IsUserAdmin(win98, fake)) << c.what;
    }
    g_token = nullptr;
    EXPECT_FALSE(IsUserAdmin(nt, TTokenApi{}));
    EXPECT_TRUE(IsUserAdmin(win98, TTokenApi{}));
    FreeSid(admins);
    FreeSid(users);
    FreeSid(guests);
}

// --- Folders ---------------------------------------------------------------

std::string WinPath(const ScratchDir& dir, const std::string& name) {
    std::string p = dir.Path(name);
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

void MakeTree(const std::string& root, bool withDotFile) {
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\sub").c_str(), nullptr);
    CreateDirectoryA((root + "\\sub\\deeper").c_str(), nullptr);
    WriteBytes(root + "\\a.txt", "a");
    WriteBytes(root + "\\sub\\b.txt", "b");
    WriteBytes(root + "\\sub\\deeper\\ro.txt", "read-only");
    SetFileAttributesA((root + "\\sub\\deeper\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    if (withDotFile) WriteBytes(root + "\\sub\\.keep", "kept");
}

TEST(DeleteFolderTree, FilesFoldersAndNamesStartingWithAPoint) {
    ScratchDir dir;
    const std::string tree = WinPath(dir, "tree");

    EXPECT_FALSE(DeleteFolderTree(WinPath(dir, "missing"), true));

    MakeTree(tree, false);
    EXPECT_TRUE(DeleteFolderTree(tree + "\\", false));  // files only; a trailing backslash is fine
    EXPECT_TRUE(platform::DirectoryExists(tree + "\\sub\\deeper"));
    EXPECT_FALSE(platform::FileExists(tree + "\\sub\\deeper\\ro.txt"));
    EXPECT_FALSE(platform::FileExists(tree + "\\a.txt"));

    MakeTree(tree, false);
    EXPECT_TRUE(DeleteFolderTree(tree, true));
    EXPECT_FALSE(platform::DirectoryExists(tree));

    // A name starting with a point goes like any other, and so its folder.
    MakeTree(tree, true);
    CreateDirectoryA((tree + "\\.cache").c_str(), nullptr);
    WriteBytes(tree + "\\.cache\\x", "x");
    EXPECT_TRUE(DeleteFolderTree(tree, true));
    EXPECT_FALSE(platform::DirectoryExists(tree));
}

// Names the clock gives for the next `count` hundredths of a second.
std::vector<std::string> ComingNames(const std::string& prefix, const std::string& extension, int count) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        ULARGE_INTEGER u;
        u.QuadPart = t.QuadPart + static_cast<ULONGLONG>(i) * 100000;  // 10 ms
        FILETIME f{u.LowPart, u.HighPart};
        SYSTEMTIME s;
        FileTimeToSystemTime(&f, &s);
        names.push_back(UniqueNameFromCode(
            prefix, extension, true, UniqueNameCode(s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond,
                                                    s.wMilliseconds)));
    }
    return names;
}

TEST(UniqueFileName, PlantedFilesAndFoldersAreSkipped) {
    ScratchDir dir;
    const std::string root = WinPath(dir, "");
    // Files under the names of the next second, and folders under the names
    // of the next second for the setup folder's empty prefix.
    std::set<std::string> planted;
    for (const std::string& name : ComingNames("font", ".tmp", 100)) {
        WriteBytes(root + name, "planted");
        planted.insert(name);
    }
    for (const std::string& name : ComingNames("", "", 100)) {
        CreateDirectoryA((root + name).c_str(), nullptr);
        planted.insert(name);
    }

    const std::string font = UniqueFileName(root, "font", ".tmp", true);
    EXPECT_EQ(font.size(), 12u);
    EXPECT_EQ(font.substr(0, 4), "font");
    EXPECT_EQ(planted.count(font), 0u) << font;
    EXPECT_EQ(GetFileAttributesA((root + font).c_str()), INVALID_FILE_ATTRIBUTES);

    const std::string folder = CreateUniqueFolder(root);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    const std::string name = folder.substr(root.size(), folder.size() - root.size() - 1);
    EXPECT_EQ(name.size(), 8u);
    EXPECT_EQ(planted.count(name), 0u) << name;
    EXPECT_TRUE(platform::DirectoryExists(folder));
    EXPECT_TRUE(DeleteFolderTree(folder, true));

    // A parent that does not exist yet is made first.
    const std::string nested = CreateUniqueFolder(root + "new\\parent");
    EXPECT_TRUE(platform::DirectoryExists(nested));
}

// Where no folder can be made, nothing is handed out: neither a name that
// was not created nor one that exists already.
TEST(CreateUniqueFolder, NothingWhereNoFolderCanBeMade) {
    ScratchDir dir;
    const std::string file = WinPath(dir, "file.txt");
    WriteBytes(file, "x");
    EXPECT_EQ(CreateUniqueFolder(file), "");
    EXPECT_EQ(CreateUniqueFolder(file + "\\below"), "");
    EXPECT_EQ(CreateUniqueFolder(WinPath(dir, "bad|name")), "");
}

// The test program carries a stand-in "UNPACK" resource (the marker
// library's source text). A folder that does not exist cannot take it, and
// no stray file is left.
TEST(WriteUnpackLibrary, WholeResourceOrNothing) {
    ScratchDir dir;
    ASSERT_TRUE(WriteUnpackLibrary(WinPath(dir, "")));
    EXPECT_EQ(ReadBytes(WinPath(dir, "unpack.dll")).rfind("// A library that stands in", 0), 0u);
    EXPECT_FALSE(WriteUnpackLibrary(WinPath(dir, "missing\\")));
    EXPECT_EQ(GetFileAttributesA(WinPath(dir, "missing\\unpack.dll").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Libraries other than the always-known ones come from the system folder.
TEST(LoadSystemLibrary, FromTheSystemFolderOnly) {
    const std::string system = SystemDirectory();
    ASSERT_FALSE(system.empty());
    EXPECT_NE(system.back(), '\\');
    HMODULE comctl = LoadSystemLibrary("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    const std::string path = ModulePath(comctl);
    EXPECT_TRUE(SameText(path.substr(0, system.size() + 1), system + "\\")) << path;
    EXPECT_NE(SystemProc<FARPROC>(comctl, "InitCommonControls"), nullptr);
    EXPECT_EQ(SystemProc<FARPROC>(comctl, "NoSuchFunction"), nullptr);
    EXPECT_EQ(SystemProc<FARPROC>(nullptr, "InitCommonControls"), nullptr);
    FreeLibrary(comctl);
    EXPECT_EQ(LoadSystemLibrary("no-such-library.dll"), nullptr);
}

TEST(FreeDiskSpace, FoldersOnly) {
    ScratchDir dir;
    const std::string file = WinPath(dir, "file.txt");
    WriteBytes(file, "x");
    EXPECT_EQ(GetFreeDiskSpaceKB(WinPath(dir, "missing"), false), 0);
    EXPECT_EQ(GetFreeDiskSpaceKB(file, false), 0);
    EXPECT_GT(GetFreeDiskSpaceKB(WinPath(dir, ""), false), 0);
    // The 9x way: the drive's root.
    EXPECT_GT(GetFreeDiskSpaceKB(WinPath(dir, ""), true), 0);
}

TEST(OSVersion, MatchesTheSystem) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    const TOSVersion v = ReadOSVersion();
    EXPECT_EQ(v.PlatformId, static_cast<int>(info.dwPlatformId));
    EXPECT_EQ(v.Major, static_cast<int>(info.dwMajorVersion));
    EXPECT_EQ(v.Minor, static_cast<int>(info.dwMinorVersion));
    EXPECT_EQ(v.OsKind, OsKindOf(v.PlatformId, v.Major, v.Minor));
    EXPECT_EQ(v.Description.rfind("Windows ", 0), 0u) << v.Description;
}

// --- Unpacker adapters ----------------------------------------------------------

TEST(UnpackerAdapters, NotificationCodesAndDestinations) {
    using namespace unpacker_detail;
    std::vector<std::string> seen;
    std::string nextDestination;
    int nextResult = 1;
    BeginWalk(
        [&](const std::string& name, int size, int attributes, std::string& destination, const FILETIME&) {
            seen.push_back("next " + name + " " + std::to_string(size) + " " + std::to_string(attributes) +
                           (destination.empty() ? "" : " not empty"));
            destination = nextDestination;
            return nextResult;
        },
        nullptr, nullptr, nullptr);
    char buffer[unpack::kDestinationSize] = {};
    unpack::NotifyRecord record{"Presetup\\Brik.ini", 12, 0x50216000, 0x21, buffer};

    nextDestination = "C:\\x\\Brik.ini";
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileNext, &record), 1);
    EXPECT_STREQ(buffer, "C:\\x\\Brik.ini");

    // Skipped, or ended: the buffer is left alone.
    std::memset(buffer, 0, sizeof buffer);
    nextResult = unpack::kAnswerSkip;
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileNext, &record), unpack::kAnswerSkip);
    nextResult = unpack::kAnswerEnd;
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileNext, &record), unpack::kAnswerEnd);
    EXPECT_STREQ(buffer, "");

    // Without the other two callbacks the walk goes on; unknown codes get 0.
    unpack::ProgressRecord progress{"a", "b", 10, 5, 5};
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileDone, &record), 1);
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyProgress, &progress), 1);
    EXPECT_EQ(NotifyAdapter(7, &record), 0);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "next Presetup\\Brik.ini 12 33");
    EXPECT_FALSE(EndWalk());

    // A destination the library's buffer cannot hold is never cut short; the
    // refusal ends the walk at the library's next notifications and fails it.
    int doneCalls = 0;
    BeginWalk(
        [&](const std::string&, int, int, std::string& destination, const FILETIME&) {
            destination.assign(unpack::kDestinationSize, 'a');
            return 1;
        },
        [&](const std::string&, int, int, const std::string&, const FILETIME&) { return ++doneCalls; },
        [](const std::string&, const std::string&, int, int, int) { return 1; }, nullptr);
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileNext, &record), -1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyProgress, &progress), -1);
    // A file that is whole on the disk all the same is still told of.
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileDone, &record), 1);
    EXPECT_EQ(doneCalls, 1);
    EXPECT_TRUE(EndWalk());

    // A callback's own refusal fails the walk as well.
    BeginWalk([](const std::string&, int, int, std::string&, const FILETIME&) { return -1; }, nullptr, nullptr,
              nullptr);
    EXPECT_EQ(NotifyAdapter(unpack::kNotifyFileNext, &record), unpack::kAnswerRefuse);
    EXPECT_TRUE(EndWalk());
}

TEST(UnpackerAdapters, DecryptionOnlyWithAKey) {
    using namespace unpacker_detail;
    std::vector<uint8_t> data(37);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    const std::vector<uint8_t> original = data;

    BeginWalk(nullptr, nullptr, nullptr, nullptr);
    DecryptAdapter(data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(data, original);
    EndWalk();

    const auto key = PackageKey("secret");
    ASSERT_TRUE(key.has_value());
    BeginWalk(nullptr, nullptr, nullptr, key->data());
    DecryptAdapter(data.data(), 16);  // the chain carries over between calls
    DecryptAdapter(data.data() + 16, 21);
    DecryptAdapter(data.data(), 0);
    EndWalk();
    std::vector<uint8_t> expected = original;
    TGost gost;
    gost.Initialise(key->data(), 256);
    gost.Decrypt(expected.data(), expected.data(), 16);
    gost.Decrypt(expected.data() + 16, expected.data() + 16, 21);
    EXPECT_EQ(data, expected);
    EXPECT_NE(data, original);
}

// --- TUnpacker with the real library -------------------------------------------

TEST(TUnpacker, LoadFailuresGiveTheirMessages) {
    TUnpacker unpacker(nullptr);
    EXPECT_STREQ(unpacker.Load(ExeFolder() + "no-such-library.dll", "x"), "Can't load unpack library");
    EXPECT_STREQ(unpacker.Load(ExeFolder() + "noexports.dll", "x"),
                 "Important functions was not found in the unpack library");
    // Nothing loaded: a walk fails without calling anything.
    EXPECT_FALSE(unpacker.Enumerate([](const std::string&, int, int, std::string&, const FILETIME&) { return 1; }));
}

TEST(TUnpacker, WalkWithCallbacks) {
    const char* library = std::getenv("BRIK_UNPACK_DLL");
    if (library == nullptr) GTEST_SKIP() << "BRIK_UNPACK_DLL is not set";
    ScratchDir dir;
    CabBuilder cab;
    cab.AddFile("Presetup\\Brik.ini", "[Config]\r\n");
    cab.AddFile("Presetup\\Enu.lng", std::string(3000, 'e'));
    cab.AddFile("Data\\App.exe", "MZ");
    const std::vector<uint8_t> bytes = cab.Build(100);
    const std::string package = WinPath(dir, "setup.exe");
    WriteBytes(package, std::string(bytes.begin(), bytes.end()));

    std::vector<std::string> events;
    int64_t written = 0;
    {
        TUnpacker unpacker(library, package);
        EXPECT_TRUE(unpacker.Enumerate(
            [&](const std::string& name, int size, int, std::string& destination, const FILETIME& time) {
                events.push_back("next " + name + " " + std::to_string(size));
                SYSTEMTIME st;
                FileTimeToSystemTime(&time, &st);
                EXPECT_EQ(st.wYear, 2020);
                if (name.rfind("Presetup\\", 0) != 0) return static_cast<int>(unpack::kAnswerEnd);
                destination = WinPath(dir, name.substr(9));
                return 1;
            },
            [&](const std::string& name, int, int, const std::string& destination, const FILETIME&) {
                events.push_back("done " + name + " " + destination.substr(destination.find_last_of('\\') + 1));
                return 0;
            },
            [&](const std::string&, const std::string&, int, int chunk, int) {
                written += chunk;
                return 1;
            }));
    }
    const std::vector<std::string> expected = {"next Presetup\\Brik.ini 10", "done Presetup\\Brik.ini Brik.ini",
                                               "next Presetup\\Enu.lng 3000", "done Presetup\\Enu.lng Enu.lng",
                                               "next Data\\App.exe 2"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(written, 3010);
    EXPECT_EQ(ReadBytes(WinPath(dir, "Enu.lng")), std::string(3000, 'e'));

    // A file refused where it comes fails the walk: it is no wished-for end.
    {
        TUnpacker refused(library, package);
        EXPECT_FALSE(refused.Enumerate([](const std::string& name, int, int, std::string&, const FILETIME&) {
            return name.rfind("Presetup\\", 0) == 0 ? 0 : -1;
        }));
    }

    // A progress callback's -1 fails the walk.
    TUnpacker again(library, package);
    EXPECT_FALSE(again.Enumerate(
        [&](const std::string& name, int, int, std::string& destination, const FILETIME&) {
            destination = WinPath(dir, "again-" + name.substr(name.find('\\') + 1));
            return 1;
        },
        nullptr, [](const std::string&, const std::string&, int, int, int) { return -1; }));
}

// --- The background window ------------------------------------------------

// Pumps until the thread's queue is empty, so that posted messages (a
// system command the key handling posts) have been handled.
void PumpAll() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// One background window over the work area, shown, with the class
// registered for it alone; the static bitmaps of the run go with it.
class BackgroundWindow {
public:
    BackgroundWindow() {
        brik::Run().DisplaySettings = TDisplaySettings{};
        brik::Run().DisplaySettings.ShowMainTitle = false;
        window_ = CreateMainWindow(nullptr);
        if (window_ != nullptr) {
            ShowWindow(window_, SW_SHOW);
            UpdateWindow(window_);
        }
    }
    ~BackgroundWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
        UnregisterClassA(kMainWindowClass, GetModuleHandleA(nullptr));
        for (TStaticBitmap& entry : brik::Run().StaticBitmaps) DeleteObject(entry.bitmap);
        brik::Run().StaticBitmaps.clear();
    }
    BackgroundWindow(const BackgroundWindow&) = delete;
    BackgroundWindow& operator=(const BackgroundWindow&) = delete;

    HWND Handle() const { return window_; }
    SIZE Client() const {
        RECT r;
        GetClientRect(window_, &r);
        return SIZE{r.right, r.bottom};
    }
    void Redraw() const {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
    }
    COLORREF Pixel(int x, int y) const {
        HDC dc = GetDC(window_);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(window_, dc);
        return c;
    }

private:
    HWND window_ = nullptr;
};

HBITMAP SolidBitmap(int width, int height, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(colour);
    RECT r{0, 0, width, height};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

TEST(MainWindow, StylesAndIgnoredSystemCommands) {
    BackgroundWindow background;
    HWND w = background.Handle();
    ASSERT_NE(w, nullptr);
    const auto style = static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE));
    EXPECT_EQ(style & kMainWindowStyle, kMainWindowStyle);
    // No box at all: with a maximise box the caption shows a minimise button too.
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(GetClassLongA(w, GCL_STYLE) & (CS_NOCLOSE | CS_HREDRAW | CS_VREDRAW),
              static_cast<DWORD>(CS_NOCLOSE | CS_HREDRAW | CS_VREDRAW));
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame;
    GetWindowRect(w, &frame);
    EXPECT_EQ(frame.right - frame.left, work.right - work.left);
    EXPECT_EQ(frame.bottom - frame.top, work.bottom - work.top);

    // Alt+F4, then the system menu's commands.
    SendMessageA(w, WM_SYSKEYDOWN, VK_F4, (1 << 29) | 1);
    PumpAll();
    for (const WPARAM command : {SC_CLOSE, SC_MINIMIZE, SC_RESTORE, SC_MAXIMIZE}) {
        SendMessageA(w, WM_SYSCOMMAND, command, 0);
        PumpAll();
        ASSERT_TRUE(IsWindow(w)) << command;
        EXPECT_TRUE(IsWindowVisible(w)) << command;
        EXPECT_FALSE(IsIconic(w)) << command;
        EXPECT_FALSE(IsZoomed(w)) << command;
    }
}

TEST(MainWindow, CachedBackgroundUntilResizedAndNotTouchedByTheLogo) {
    // A red square 10 pixels from the right and bottom edges.
    brik::Run().StaticBitmaps.push_back({"1=corner.bmp,10,10,3", SolidBitmap(8, 8, RGB(255, 0, 0))});
    BackgroundWindow background;
    HWND w = background.Handle();
    ASSERT_NE(w, nullptr);
    const SIZE client = background.Client();
    ASSERT_GT(client.cx, 100);
    ASSERT_GT(client.cy, 100);
    // The default gradient: black at the top; the square at its corner.
    EXPECT_EQ(background.Pixel(client.cx / 2, 0), RGB(0, 0, 0));
    EXPECT_EQ(background.Pixel(client.cx - 14, client.cy - 14), RGB(255, 0, 0));
    EXPECT_NE(background.Pixel(client.cx - 9, client.cy - 9), RGB(255, 0, 0));

    // Drawn from the cache: a changed line shows only after a resize.
    brik::Run().StaticBitmaps[0].line = "1=corner.bmp,10,10,0";
    background.Redraw();
    EXPECT_EQ(background.Pixel(client.cx - 14, client.cy - 14), RGB(255, 0, 0));
    EXPECT_NE(background.Pixel(14, 14), RGB(255, 0, 0));

    // A window of the class without the background's state, as the logo is:
    // created, sized and destroyed through the class procedure, it leaves
    // the background's cache alone.
    HWND other = CreateWindowExA(0, kMainWindowClass, "LogoWindow", WS_POPUP, 0, 0, 50, 50, w, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    ShowWindow(other, SW_SHOW);
    UpdateWindow(other);
    SetWindowPos(other, nullptr, 0, 0, 60, 40, SWP_NOZORDER | SWP_NOACTIVATE);
    DestroyWindow(other);
    PumpAll();
    background.Redraw();
    EXPECT_EQ(background.Pixel(client.cx - 14, client.cy - 14), RGB(255, 0, 0));

    // Resized: built again, the square now at the top-left.
    RECT frame;
    GetWindowRect(w, &frame);
    SetWindowPos(w, nullptr, 0, 0, frame.right - frame.left - 20, frame.bottom - frame.top - 20,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    UpdateWindow(w);
    const SIZE smaller = background.Client();
    EXPECT_EQ(background.Pixel(14, 14), RGB(255, 0, 0));
    EXPECT_NE(background.Pixel(smaller.cx - 14, smaller.cy - 14), RGB(255, 0, 0));
}

}  // namespace
}  // namespace brik
