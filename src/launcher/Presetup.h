// The package as the running engine sees it: its size check, the
// decompressor library written out of the engine's resources, and the
// extraction of the setup's own files into the setup folder behind the small
// init window.
#pragma once

#include <windows.h>

#include <cstdint>

namespace brik {

// DLG_PRESETUP while the setup files are extracted; null otherwise.
extern HWND InitWindow;

inline constexpr int IDC_PRESETUP_ICON = 100;
inline constexpr int IDC_PRESETUP_PROGRESS = 101;

// True when the package file's size is the trailer's offset + 8, that is,
// nothing was cut off or appended.
bool CheckPackageSize();

// Writes the resource "UNPACK" to SetupFolder + "unpack.dll". False only when
// the resource is missing: a file that cannot be written shows up when the
// library is loaded.
bool WriteUnpackLibrary();

// The sum of the setup files' sizes from the package's trailer; 0 when it
// cannot be read.
uint32_t ReadPresetupSize();

// Extracts every "Presetup\" file of the package into SetupFolder, showing
// its progress. False on failure (after its own message where it has one),
// also when the setup files hold no "Brik.ini"; a library that cannot be
// loaded raises EUnpackError.
bool ExtractPresetup();

// Closes DLG_PRESETUP when it is open.
void DestroyInitWindow();

}  // namespace brik
