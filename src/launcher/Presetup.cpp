#include "launcher/Presetup.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cab/PackageEnd.h"
#include "launcher/Main.h"
#include "install/Unpacker.h"
#include "ui/Logo.h"
#include "ui/Msg.h"
#include "util/Lz.h"
#include "util/Platform.h"
#include "util/WinHandles.h"
#include "util/kpSysUtils.h"

namespace brik {

HWND InitWindow = nullptr;

namespace {

bool ReadAtHandle(void* file, uint64_t offset, void* buffer, size_t size) {
    LONG high = static_cast<LONG>(offset >> 32);
    if (SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    DWORD got = 0;
    return ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr) && got == size;
}

// Reads the package's trailer (the Presetup size, then the trailer's offset)
// from where it ends: the file's end, or just before its signature. The file
// is opened so that nobody can write it meanwhile.
bool ReadTrailer(const std::string& package, uint32_t (&words)[2], uint64_t& end) {
    TScopedFile file(CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD high = 0;
    const DWORD low = GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    end = cab::FindPackageEnd((uint64_t{high} << 32) | low, ReadAtHandle, file.Get()).end;
    // Little-endian words, as the processor holds them.
    return end >= sizeof words && ReadAtHandle(file.Get(), end - sizeof words, words, sizeof words);
}

// Just below the logo, but never closer than 15 pixels to the bottom of the
// work area.
void PlaceBelowLogo() {
    RECT logo;
    if (!GetLogoRect(logo)) return;
    RECT window, work;
    if (!GetWindowRect(InitWindow, &window) || !SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return;
    const int height = window.bottom - window.top;
    const int y = std::min<int>(work.bottom - height - 15, logo.bottom + 15);
    SetWindowPos(InitWindow, nullptr, window.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool CheckPackageSize(const std::string& package) {
    uint32_t trailer[2];
    uint64_t end = 0;
    return ReadTrailer(package, trailer, end) && end == uint64_t{trailer[1]} + 8;
}

uint32_t ReadPresetupSize(const std::string& package) {
    uint32_t trailer[2];
    uint64_t end = 0;
    return ReadTrailer(package, trailer, end) ? trailer[0] : 0;
}

bool WriteUnpackLibrary(const std::string& folder) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, "UNPACK", reinterpret_cast<LPCSTR>(RT_RCDATA));
    if (resource == nullptr) return false;
    const DWORD packedSize = SizeofResource(self, resource);
    HGLOBAL loaded = LoadResource(self, resource);
    const auto* packed = static_cast<const uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (packed == nullptr) return false;
    const int64_t size = LzExpandedSize(packed, packedSize);
    if (size < 0) return false;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!LzExpand(packed, packedSize, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size())) return false;
    const std::string path = folder + "unpack.dll";
    bool complete = false;
    {
        TScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        DWORD written = 0;
        complete = file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size();
    }
    // A cut-off library must not be loaded later by anyone.
    if (!complete) DeleteFileA(path.c_str());
    return complete;
}

void DestroyInitWindow() {
    if (InitWindow != nullptr) DestroyWindow(InitWindow);
    InitWindow = nullptr;
}

bool ExtractPresetup(const TRunContext& run) {
    const std::string& setupFolder = run.paths.SetupFolder;
    // No procedure of its own: the dialog manager's default handling is all
    // a progress window needs.
    InitWindow = CreateDialogParamA(GetModuleHandleA(nullptr), "DLG_PRESETUP", run.ui.mainWindow, nullptr, 0);
    if (InitWindow == nullptr) {
        ShowError("Cannot create init window!");
        return false;
    }
    HWND bar = GetDlgItem(InitWindow, IDC_PRESETUP_PROGRESS);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    PlaceBelowLogo();

    const uint32_t presetupSize = ReadPresetupSize(run.paths.SetupExePath);
    if (GetFreeDiskSpaceKB(setupFolder, run.OSVersion.Is9x()) <
        static_cast<int64_t>(RoundDivHalfEven(presetupSize, 1024))) {
        ShowError("Insufficient free disk space!");
        DestroyInitWindow();
        return false;
    }

    // A library that cannot be loaded ends the run here; the abort closes
    // this window.
    auto unpacker = std::make_unique<TUnpacker>(setupFolder + "unpack.dll", run.paths.SetupExePath);
    ShowWindow(InitWindow, SW_SHOW);
    RedrawWindow(InitWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    uint64_t written = 0;
    bool refused = false;
    const bool ok = unpacker->Enumerate(
        [&](const std::string& name, int, int, std::string& destination, const FILETIME&) {
            switch (PresetupDestination(name, setupFolder, destination)) {
                case PresetupName::Extract:
                    platform::ForceDirectories(platform::ExtractFilePath(destination));
                    return 1;
                case PresetupName::End:
                    return static_cast<int>(unpack::kAnswerEnd);
                case PresetupName::Refuse:
                    break;
            }
            refused = true;
            return -1;
        },
        nullptr,
        [&](const std::string&, const std::string&, int, int chunkSize, int) {
            written += static_cast<uint32_t>(chunkSize);
            const uint64_t percent = RoundDivHalfEven(written * 100, presetupSize);
            SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(std::min<uint64_t>(percent, 100)), 0);
            // Messages are not pumped while the library works: paint the
            // bar directly.
            UpdateWindow(bar);
            return 1;
        });

    Sleep(100);
    unpacker.reset();
    DestroyInitWindow();
    // Without its settings file a setup would run on defaults that nobody
    // chose: a package that lacks it is as broken as one that cannot be read.
    return ok && !refused && platform::FileExists(setupFolder + "Brik.ini");
}

}  // namespace brik
