// The wizard: the sequence of dialogs the run shows and the one dialog
// procedure behind every wizard dialog (font, placement, language texts,
// title band, the common buttons, the cancel question), with what each
// dialog does with its own controls.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace brik {

// Names of the dialogs RunDialogSequence shows, in order, upper-case.
extern std::vector<std::string> DialogSequence;
// Cancel asks before it ends a dialog; cleared before the final dialog.
extern bool AskBeforeCancel;

// The dialogs' view of the run: what the settings say about every dialog
// (the run fills it once it has read [Display]) and where the wizard's
// choices go.
struct TDialogDisplay {
    bool ShowMainWindow = false;  // dialogs owned by the background window
    bool ShowDialogTitle = true;
    bool DialogTitleShadow = true;
    COLORREF DialogTitleShadowColor = 0xC0C0C0;
    COLORREF DialogTitleColor = 0xFF5C5C;
    int PositionX = 1;  // DialogPosition codes
    int PositionY = 1;
    bool InstallPathExistWarning = true;
    COLORREF LicenseBackColor = 0xFFFFFF;
    COLORREF ReadmeBackColor = 0xFFFFFF;
    // The offered languages, "code=display name" (the run's list).
    const std::vector<std::string>* Languages = nullptr;
    // The run's values the wizard sets, kept in the install's view of the
    // run: the typed password and the restart choice. Unbound (tests), the
    // dialogs keep values of their own.
    std::string* InstallPassword = nullptr;
    std::atomic<bool>* RebootPending = nullptr;
};
// The bound settings; before any binding (tests) the module's own.
TDialogDisplay& DialogDisplay();
// null: back to the module's own.
void BindDialogDisplay(TDialogDisplay* display);

// Dialog end codes, also the ids of the three common buttons.
constexpr int kDialogBack = 101;
constexpr int kDialogNext = 102;
constexpr int kDialogCancel = 103;

// Shows the dialogs of DialogSequence: true when Next was pressed on the
// last one (or the list is empty); false on Cancel or when a dialog cannot
// be shown ("Cannot show dialog "NAME"!").
bool RunDialogSequence();

INT_PTR CALLBACK WizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The Cancel path of ids 2 (Escape, the close box) and 103.
void ConfirmCancel(HWND dialog);
// Caption and control texts from [Dialogs] and the dialog's own section.
// Touches nothing but the dialog: the copy thread uses it for the dialog it
// shows itself.
void ApplyDialogTexts(HWND dialog, const std::string& name);
// Moves the dialog by the two DialogPosition codes within the work area.
void PositionDialog(HWND dialog, int horizontal, int vertical);
// The title band image for control 100; lives until the dialog is destroyed.
HDC BuildTitleBand(HWND dialog);
void PaintTitleBand(HWND dialog, HDC band);

}  // namespace brik
