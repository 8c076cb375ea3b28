// The wizard's side of the install on a real window system: the progress
// dialog starts the copy thread, the cancel question holds it, Yes asks it to
// stop, its closing post ends the dialog; and the version-conflict dialog as
// the resource gives it. Driven from the test's own thread through timers.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "UiTestUtil.h"
#include "config/Settings.h"
#include "ui/Dialogs.h"
#include "ui/Msg.h"
#include "ui/ProgressLink.h"
#include "ui/UrlLink.h"

namespace brik {
namespace {

using uitest::DialogScript;
using uitest::PostClick;
using uitest::PumpUntil;
using uitest::SaveScreenshot;

constexpr const char* kLanguage =
    "[Strings]\r\n"
    "1=Not installed yet.||Abort?\r\n"
    "[Dialogs]\r\n"
    "Caption=Sample setup\r\n"
    "103=Cancel\r\n"
    "[DLG_PROGRESS]\r\n"
    "Title=Installing...\r\n"
    "105=Please wait.\r\n"
    "108=All files\r\n"
    "[DLG_VERSIONCONFLICT]\r\n"
    "Caption=File version conflict\r\n"
    "101=Keep the newer file?\r\n"
    "103=File name:\r\n"
    "105=Located in:\r\n"
    "107=Yes\r\n"
    "108=Yes to all\r\n"
    "109=No\r\n"
    "110=No to all\r\n";

// A stand-in for the copy thread: it reports steps to the overall bar until
// the test lets it finish or the user cancels.
struct FakeCopy {
    std::atomic<bool> abort{false};
    std::atomic<bool> finish{false};
    std::atomic<int> steps{0};
    std::atomic<HWND> dialog{nullptr};
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(void* self) {
        auto& copy = *static_cast<FakeCopy*>(self);
        copy.dialog = ProgressDialog();
        SendDlgItemMessageA(copy.dialog, 109, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        while (!copy.finish && ProgressCheckpoint()) {
            ++copy.steps;
            SendDlgItemMessageA(copy.dialog, 109, PBM_SETPOS, static_cast<WPARAM>(copy.steps % 101), 0);
            Sleep(5);
        }
        FinishProgress();
        return copy.abort ? 0 : 1;
    }
    void Start() {
        thread = CreateThread(nullptr, 0, Run, this, CREATE_SUSPENDED, nullptr);
        BeginProgress(thread, &abort);
    }
    DWORD ExitCode() const {
        DWORD code = 99;
        GetExitCodeThread(thread, &code);
        return code;
    }
    ~FakeCopy() {
        if (thread != nullptr) CloseHandle(thread);
    }
};

class WizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        RegisterUrlLinkClass();
    }
    void SetUp() override {
        savedPaths_ = ConfigPaths();
        folder_ = uitest::TempFile("wizard");
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ConfigPaths().SetupFolder = folder_ + "\\";
        ConfigPaths().SettingsFile = ConfigPaths().SetupFolder + "Brik.ini";
        HANDLE file = CreateFileA((ConfigPaths().SetupFolder + "Enu.lng").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, kLanguage, static_cast<DWORD>(std::strlen(kLanguage)), &written, nullptr);
        CloseHandle(file);
        SelectLanguageFile("ENU");
        AskBeforeCancel = true;
        DialogSequence = {"DLG_PROGRESS"};
    }
    void TearDown() override {
        EndProgress();
        DialogSequence.clear();
        AskBeforeCancel = true;
        DeleteFileA((ConfigPaths().SetupFolder + "Enu.lng").c_str());
        RemoveDirectoryA(folder_.c_str());
        ConfigPaths() = savedPaths_;
        SelectLanguageFile("ENU");
    }
    std::string folder_;
    TConfigPaths savedPaths_;
};

TEST_F(WizardTest, ProgressDialogStartsTheThreadWhichEndsItAsNext) {
    FakeCopy copy;
    copy.Start();
    Sleep(50);
    EXPECT_EQ(copy.steps.load(), 0) << "the thread ran before its dialog";
    struct Seen {
        HWND dialog = nullptr;
        bool hasBack = true, hasNext = true, cancelVisible = false, focusOnBand = false;
        std::string barClass, text, label;
    } seen;
    bool result = false;
    {
        DialogScript script({{"Installing...", [&](HWND dialog) {
                                  seen.dialog = dialog;
                                  seen.hasBack = GetDlgItem(dialog, 101) != nullptr;
                                  seen.hasNext = GetDlgItem(dialog, 102) != nullptr;
                                  seen.cancelVisible = IsWindowVisible(GetDlgItem(dialog, 103)) != FALSE;
                                  seen.focusOnBand = GetFocus() == GetDlgItem(dialog, 100);
                                  seen.barClass = uitest::ClassOf(GetDlgItem(dialog, 107));
                                  seen.text = uitest::WindowText(GetDlgItem(dialog, 105));
                                  seen.label = uitest::WindowText(GetDlgItem(dialog, 108));
                                  PumpUntil([&] { return copy.steps > 20; });
                                  SaveScreenshot(dialog, "wizard_progress");
                                  copy.finish = true;
                              }}});
        result = RunDialogSequence();
        EXPECT_FALSE(script.TimedOut());
    }
    EXPECT_TRUE(result);
    EXPECT_EQ(copy.dialog.load(), seen.dialog) << "the thread reports to the dialog shown";
    EXPECT_FALSE(seen.hasBack);
    EXPECT_FALSE(seen.hasNext);
    EXPECT_TRUE(seen.cancelVisible);
    EXPECT_TRUE(seen.focusOnBand);
    EXPECT_EQ(seen.barClass, "msctls_progress32");
    EXPECT_EQ(seen.text, "Please wait.");
    EXPECT_EQ(seen.label, "All files");
    EXPECT_TRUE(EndProgress()) << "the dialog started the thread";
    EXPECT_EQ(copy.ExitCode(), 1u) << "EndProgress waits for the thread to end";
    EXPECT_EQ(ProgressDialog(), nullptr);
    EXPECT_FALSE(copy.abort);
}

TEST_F(WizardTest, CancelQuestionHoldsTheThreadNoLetsItGoOnYesStopsIt) {
    FakeCopy copy;
    copy.Start();
    int held = -1, afterQuestion = -1, afterNo = -1;
    bool result = false;
    {
        DialogScript script({
            {"Installing...",
             [&](HWND dialog) {
                 PumpUntil([&] { return copy.steps > 5; });
                 PostClick(dialog, 103);
             }},
            {"Question",
             [&](HWND box) {
                 held = copy.steps;
                 // Long enough for dozens of steps, were the thread not held.
                 PumpUntil([] { return false; }, 30);
                 afterQuestion = copy.steps;
                 SaveScreenshot(box, "wizard_progress_cancel");
                 PostClick(box, IDNO);
             }},
            {"Installing...",
             [&](HWND dialog) {
                 PumpUntil([&] { return copy.steps > afterQuestion + 5; });
                 afterNo = copy.steps;
                 EXPECT_FALSE(copy.abort);
                 PostClick(dialog, 103);
             },
             true},
            {"Question", [&](HWND box) { PostClick(box, IDYES); }, true},
        });
        result = RunDialogSequence();
        EXPECT_FALSE(script.TimedOut());
        EXPECT_EQ(script.Done(), 4u);
    }
    EXPECT_TRUE(result) << "the dialog ends through the thread's post, as Next";
    EXPECT_GE(held, 0);
    EXPECT_LE(afterQuestion - held, 1) << "the thread went on while the user was asked";
    EXPECT_GT(afterNo, afterQuestion) << "No let the thread go on";
    EXPECT_TRUE(copy.abort);
    EndProgress();
    EXPECT_EQ(copy.ExitCode(), 0u);
}

// The thread may be far from its next checkpoint when Cancel is clicked (a
// long run of skipped files, a large block being decoded, its writers busy):
// the question comes all the same, while the thread is still busy, and the
// thread stops at the checkpoint it comes to.
TEST_F(WizardTest, CancelQuestionComesWhileTheThreadIsBusy) {
    struct Busy {
        std::atomic<bool> abort{false};
        std::atomic<bool> busy{false};
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE thread = nullptr;
        static DWORD WINAPI Run(void* self) {
            auto& b = *static_cast<Busy*>(self);
            b.busy = true;
            // Bounded, so that a question that waits for the thread comes
            // late, with the thread idle, rather than never.
            WaitForSingleObject(b.release, 20000);
            b.busy = false;
            const bool go = ProgressCheckpoint();
            FinishProgress();
            return go ? 1 : 0;
        }
        ~Busy() {
            CloseHandle(release);
            if (thread != nullptr) CloseHandle(thread);
        }
    } busy;
    busy.thread = CreateThread(nullptr, 0, Busy::Run, &busy, CREATE_SUSPENDED, nullptr);
    BeginProgress(busy.thread, &busy.abort);
    bool busyAtQuestion = false;
    bool result = false;
    {
        DialogScript script({
            {"Installing...",
             [&](HWND dialog) {
                 PumpUntil([&] { return busy.busy.load(); });
                 PostClick(dialog, 103);
             }},
            {"Question",
             [&](HWND box) {
                 busyAtQuestion = busy.busy;
                 PostClick(box, IDYES);
                 SetEvent(busy.release);
             }},
        });
        result = RunDialogSequence();
        EXPECT_FALSE(script.TimedOut());
    }
    EXPECT_TRUE(result);
    EXPECT_TRUE(busyAtQuestion) << "the question waited for the thread to reach a checkpoint";
    EXPECT_TRUE(busy.abort);
    EndProgress();
    DWORD code = 99;
    GetExitCodeThread(busy.thread, &code);
    EXPECT_EQ(code, 0u) << "the thread stopped at its checkpoint";
}

// Escape and Cancel without the question: the flag at once, the dialog
// still ended by the thread.
TEST_F(WizardTest, CancelWithoutQuestionStopsTheThread) {
    for (const int id : {IDCANCEL, 103}) {
        SCOPED_TRACE(id);
        AskBeforeCancel = false;
        FakeCopy copy;
        copy.Start();
        bool result = false;
        {
            DialogScript script({{"Installing...", [&](HWND dialog) {
                                      PumpUntil([&] { return copy.steps > 5; });
                                      PostClick(dialog, id);
                                  }}});
            result = RunDialogSequence();
            EXPECT_FALSE(script.TimedOut());
        }
        EXPECT_TRUE(result);
        EXPECT_TRUE(copy.abort);
        EndProgress();
        EXPECT_EQ(copy.ExitCode(), 0u);
    }
}

// Named in a sequence outside the install, the dialog has no thread to end
// it: Cancel must.
TEST_F(WizardTest, ProgressDialogWithoutThreadEndsOnCancel) {
    bool result = true;
    {
        DialogScript script({
            {"Installing...", [&](HWND dialog) { PostClick(dialog, 103); }},
            {"Question", [&](HWND box) { PostClick(box, IDYES); }},
        });
        result = RunDialogSequence();
        EXPECT_FALSE(script.TimedOut());
    }
    EXPECT_FALSE(result);
    EXPECT_FALSE(EndProgress());
}

INT_PTR CALLBACK ShowConflict(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ApplyDialogTexts(dialog, "DLG_VERSIONCONFLICT");
        SetDlgItemTextA(dialog, 104, "shared.dll");
        SetDlgItemTextA(dialog, 106, "C:\\Windows\\System\\");
        *reinterpret_cast<HWND*>(lParam) = dialog;
    }
    return FALSE;
}

TEST_F(WizardTest, VersionConflictDialogAsTheResourceGivesIt) {
    struct Seen {
        LONG style = 0;
        std::string caption, question, buttons;
        bool readOnly = false, defaultYes = false;
        RECT rect{};
    } seen;
    HWND shown = nullptr;
    {
        DialogScript script({{"File version conflict", [&](HWND dialog) {
                                  seen.style = GetWindowLongA(dialog, GWL_STYLE);
                                  seen.caption = uitest::WindowText(dialog);
                                  seen.question = uitest::WindowText(GetDlgItem(dialog, 101));
                                  for (int id = 107; id <= 110; ++id)
                                      seen.buttons += uitest::WindowText(GetDlgItem(dialog, id)) + "|";
                                  seen.readOnly =
                                      (GetWindowLongA(GetDlgItem(dialog, 104), GWL_STYLE) & ES_READONLY) != 0 &&
                                      (GetWindowLongA(GetDlgItem(dialog, 106), GWL_STYLE) & ES_READONLY) != 0;
                                  seen.defaultYes =
                                      (GetWindowLongA(GetDlgItem(dialog, 107), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
                                  seen.rect = uitest::WindowRect(dialog);
                                  SaveScreenshot(dialog, "wizard_version_conflict");
                                  EndDialog(dialog, 6);
                              }}});
        EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), "DLG_VERSIONCONFLICT", nullptr, ShowConflict,
                                  reinterpret_cast<LPARAM>(&shown)),
                  6);
        EXPECT_FALSE(script.TimedOut());
    }
    EXPECT_NE(shown, nullptr);
    EXPECT_TRUE(seen.style & WS_CAPTION);
    EXPECT_FALSE(seen.style & WS_SYSMENU) << "only the four answers may end it";
    EXPECT_EQ(seen.question, "Keep the newer file?");
    EXPECT_EQ(seen.buttons, "Yes|Yes to all|No|No to all|");
    EXPECT_TRUE(seen.readOnly);
    EXPECT_TRUE(seen.defaultYes);
    const RECT work = uitest::WorkArea();
    EXPECT_NEAR((seen.rect.left + seen.rect.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((seen.rect.top + seen.rect.bottom) / 2, (work.top + work.bottom) / 2, 2);
}

}  // namespace
}  // namespace brik
