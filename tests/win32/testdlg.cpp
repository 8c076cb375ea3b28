// testdlg: a modal dialog for the window driver's end-to-end test.
// "Show" opens a message box with the edit control's text. The exit code
// tells the test how the dialog ended: the length of the text after OK
// (at most 199), 200 after Cancel, 201 when the dialog could not be shown.

#include <windows.h>

#include "resource.h"

namespace {

constexpr int kExitCancel = 200;
constexpr int kExitNoDialog = 201;
constexpr int kMaxReportedLength = 199;

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SHOW: {
          char text[256];
          GetDlgItemTextA(dialog, IDC_TEXT, text, sizeof text);
          MessageBoxA(dialog, text, "Brisk Test Message", MB_OK | MB_ICONINFORMATION);
          return TRUE;
        }
        case IDOK: {
          int length = GetWindowTextLengthA(GetDlgItem(dialog, IDC_TEXT));
          EndDialog(dialog, length < kMaxReportedLength ? length : kMaxReportedLength);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, kExitCancel);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_TESTDLG), nullptr, TestDialogProc, 0);
  return result < 0 ? kExitNoDialog : static_cast<int>(result);
}
