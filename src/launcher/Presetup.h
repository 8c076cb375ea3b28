// The package as the running engine sees it: its size check, the
// decompressor library written out of the engine's resources, and the
// extraction of the setup's own files into the setup folder behind the small
// init window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace brik {

// DLG_PRESETUP while the setup files are extracted; null otherwise.
extern HWND InitWindow;

inline constexpr int IDC_PRESETUP_ICON = 100;
inline constexpr int IDC_PRESETUP_PROGRESS = 101;

struct TRunContext;

// True when the package ends at the trailer's offset + 8, that is, nothing
// was cut off or appended: at the file's end, or for a signed package just
// before its signature.
bool CheckPackageSize(const std::string& package);

// Expands the resource "UNPACK" (packed by the build, util/Lz.h) to folder
// + "unpack.dll". False when the resource is missing or damaged or not every
// byte of it could be written.
bool WriteUnpackLibrary(const std::string& folder);

// The sum of the setup files' sizes from the package's trailer; 0 when it
// cannot be read.
uint32_t ReadPresetupSize(const std::string& package);

// Extracts every "Presetup\" file of the run's package into its setup
// folder, showing its progress. False on failure (after its own message where
// it has one), also when the setup files hold no "Brik.ini"; a library that
// cannot be loaded raises EUnpackError.
bool ExtractPresetup(const TRunContext& run);

// Closes DLG_PRESETUP when it is open.
void DestroyInitWindow();

}  // namespace brik
