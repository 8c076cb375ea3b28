#include "builder/Starter.h"

#include <cstring>
#include <fstream>
#include <system_error>

#include "builder/PackageBuilder.h"

namespace brik {

namespace fs = std::filesystem;

namespace {

// INI files of a package end their lines with CR LF: the engine ends a line
// only at a carriage return.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

const char kSettings[] = R"(; The settings of this setup. Run "brikpack check" on the project after a
; change: it names every key it does not know, with the line.
[Config]
; The languages offered: a Code.lng file in Presetup for each (Enu.lng is
; English; add Deu.lng and write Languages=Enu,Deu for German too).
Languages=Enu
; The install scripts: App stands for App.ins (read on every Windows) and
; App.9x, App.nt, App.xp... (read only on that kind of Windows).
InsFiles=App
; The wizard's pages before and after the install.
PreInstallDialogSequence=DLG_WELCOME,DLG_LICENSE,DLG_README,DLG_DIR,DLG_GROUP,DLG_START
PostInstallDialogSequence=
; Log the install and register the uninstaller in the list of programs.
Uninstall=1

[Display]
ShowMainWindow=1
MainTitleFont=Times New Roman,28,$FFFFFF,BI
GradientTopColor=$7F1F00
GradientBottomColor=$FFA050

; Variables: every text and script line may use them as %Name%.
[Variables]
ProgramName=@NAME@
ProgramVersion=1.0
Company=My Company
; The folder the user is offered (DLG_DIR changes it).
InstallPath=%ProgramFiles%\%Company%\%ProgramName%
; The Start menu group the user is offered (DLG_GROUP changes it).
ProgramGroup=%ProgramName%
)";

const char kScript[] = R"(; The install script: what the install does. Sections named in an index
; section ([CopyFiles], [AddReg]...) hold the items; the index line gives
; them their folder, key or file. Lines starting with ";" are comments:
; remove the ";" of an example to use it. A section name followed by the
; language (such as [CopyFiles.Deu]) is read only for that language.

; --- Files -----------------------------------------------------------------
; name=target,flags: a file of Data\ (wildcards allowed in the last part)
; and its name in the folder of the index line; "*.*" keeps the names, and
; an empty target keeps the file's folders below Data\ too. Flags, added:
;   1 not removed by the uninstaller     2 always replace
;   4 register as a COM server           8 a font
;  16 keep a newer file without asking  32 never replace
;  64 the source is a file beside the setup, not in the package
; 128 shared: counted in the system's shared-file counts
[CopyFiles]
ProgramFiles=%InstallPath%
;SystemFiles=%System%
;FontFiles=%Fonts%

[ProgramFiles]
MyApp.exe=MyApp.exe
License.txt=License.txt
Readme.txt=Readme.txt

;[SystemFiles]
;MyLib.dll=MyLib.dll,132

;[FontFiles]
;MyFont.ttf=MyFont.ttf,8

; --- Files to delete before copying -----------------------------------------
;[DelFiles]
;OldFiles=%InstallPath%
;[OldFiles]
;*.tmp=

; --- Registry ---------------------------------------------------------------
; value name=data,type,flags; type 0 text, 1 number, 2 binary (hex bytes);
; "\" names the key's default value. Flags 1 (not removed) and 32 (never
; replace an existing value).
[AddReg]
AppSettings=HKLM\Software\%Company%\%ProgramName%

[AppSettings]
InstallPath=%InstallPath%
Version=%ProgramVersion%
;StartCount=0,1

; Keys and values to delete: a key's path, or a value's.
;[DelReg]
;OldSettings=HKCU\Software\%Company%
;[OldSettings]
;Old Program=

; --- INI files --------------------------------------------------------------
; The index line names the file and its section: key=data,flags.
;[AddIni]
;AppIni=%InstallPath%\MyApp.ini,Options
;[AppIni]
;Language=%LangStr%

; --- Shortcuts --------------------------------------------------------------
; name=target,arguments,start in,icon file,icon index,hot key,show
; (1 normal, 2 maximised, 3 minimised),description,flags
[Shortcuts]
Group=%ProgramsMenu%\%ProgramGroup%
;Desktop=%Desktop%

[Group]
@NAME@=%InstallPath%\MyApp.exe,,%InstallPath%,,,,1,Starts %ProgramName%
Read Me=%InstallPath%\Readme.txt

;[Desktop]
;@NAME@=%InstallPath%\MyApp.exe

; --- Programs run at the end ------------------------------------------------
; name=program,parameters,folder,show,message,wait (1) or not (0),after
; the restart when one is pending (1)
;[RunApp]
;Welcome=%InstallPath%\MyApp.exe,/welcome,%InstallPath%,1,,0

; --- For the uninstaller ----------------------------------------------------
; Programs the uninstaller runs first, in the same form as [RunApp].
;[Uninstall.RunApp]
;Stop=%InstallPath%\MyApp.exe,/quit
)";

const char kLicense[] = R"(Replace this file with your program's licence agreement.

The wizard's licence page shows Presetup\License.txt (or License.rtf, or
License.Enu for one language); the user accepts it with Yes.
)";

const char kReadme[] = R"(@NAME@

Replace this file with what your users should read before they install.
The wizard's readme page shows Presetup\Readme.txt; this copy in Data\ is
installed with the program.
)";

const char kAbout[] = R"(This is a starter project of Brisk Installer. It builds and installs as it
stands:

    brikpack build @FOLDER@ -o setup.exe

What to change, in this order:

1. Data\ holds your program's files. MyApp.exe is a placeholder: put your
   own files there, folders too.
2. Presetup\App.ins, the install script, says where each file goes and
   what else the install does (registry, INI files, shortcuts, programs).
   Every kind of item has a commented example there.
3. Presetup\Brik.ini holds the settings: the program's name, company and
   version under [Variables], the wizard's pages, the languages, colours.
4. Presetup\License.txt and Presetup\Readme.txt are the texts of the
   wizard's licence and readme pages.
5. Presetup\Enu.lng holds every English text the user sees; change what
   you like. For another language, add its file (Deu.lng...) and name it
   in [Config] Languages.

After each change:

    brikpack check @FOLDER@      the project's mistakes, with file and line
    brikpack build @FOLDER@ -o setup.exe

The authors' guide (docs/guide.md of Brisk Installer) describes every key,
section and item kind.
)";

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(std::vector<uint8_t>& b, size_t at, std::string_view text) {
    std::memcpy(b.data() + at, text.data(), text.size());
}

}  // namespace

std::vector<uint8_t> PlaceholderProgram(const std::string& caption, const std::string& text) {
    // One section holds code, imports and texts; the image has a fixed base
    // and no relocations, as the smallest programs of the linkers of the
    // time had, so that the oldest loaders take it.
    constexpr uint32_t kBase = 0x400000, kRva = 0x1000, kHeaders = 0x200, kSection = 0x200;
    constexpr uint32_t kCode = 0x00, kImports = 0x40, kIltUser = 0x80, kIltKernel = 0x88, kIatUser = 0x90,
                       kIatKernel = 0x98, kHintMessageBox = 0xA0, kHintExit = 0xB0, kUser = 0xC0, kKernel = 0xD0,
                       kTexts = 0xE0;
    std::vector<uint8_t> pe(kHeaders + kSection, 0);

    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3C, 0x40);
    PutText(pe, 0x40, std::string_view("PE\0\0", 4));
    Put16(pe, 0x44, 0x14C);  // i386
    Put16(pe, 0x46, 1);      // one section
    Put16(pe, 0x54, 0xE0);   // the optional header's size
    Put16(pe, 0x56, 0x010F); // executable, 32-bit, no relocations, no symbols

    Put16(pe, 0x58, 0x10B);  // PE32
    pe[0x5A] = 1;            // linker version
    Put32(pe, 0x5C, kSection);
    Put32(pe, 0x68, kRva + kCode);  // entry point
    Put32(pe, 0x6C, kRva);
    Put32(pe, 0x70, kRva);
    Put32(pe, 0x74, kBase);
    Put32(pe, 0x78, 0x1000);  // section alignment
    Put32(pe, 0x7C, 0x200);   // file alignment
    Put16(pe, 0x80, 4);       // Windows 4.0: 95 and NT 4
    Put16(pe, 0x88, 4);
    Put32(pe, 0x90, kRva + 0x1000);  // the image's size
    Put32(pe, 0x94, kHeaders);
    Put16(pe, 0x9C, 2);  // GUI
    Put32(pe, 0xA0, 0x100000);
    Put32(pe, 0xA4, 0x1000);
    Put32(pe, 0xA8, 0x100000);
    Put32(pe, 0xAC, 0x1000);
    Put32(pe, 0xB4, 16);
    Put32(pe, 0xC0, kRva + kImports);  // the import directory
    Put32(pe, 0xC4, 60);
    Put32(pe, 0x118, kRva + kIatUser);  // the import address table
    Put32(pe, 0x11C, 16);

    PutText(pe, 0x138, ".text");
    Put32(pe, 0x140, kSection);  // virtual size
    Put32(pe, 0x144, kRva);
    Put32(pe, 0x148, kSection);  // raw size
    Put32(pe, 0x14C, kHeaders);
    Put32(pe, 0x15C, 0xE0000060);  // code, data, executable, readable, writable (the loader fills the IAT)

    const size_t s = kHeaders;  // the section's first byte in the file
    const std::string shownCaption = caption.substr(0, 63);
    const std::string shownText = text.substr(0, 200);
    const uint32_t captionAt = kTexts, textAt = kTexts + static_cast<uint32_t>(shownCaption.size()) + 1;
    PutText(pe, s + captionAt, shownCaption);
    PutText(pe, s + textAt, shownText);

    // MessageBoxA(0, text, caption, MB_ICONINFORMATION); ExitProcess(0)
    const uint8_t code[] = {0x6A, 0x40, 0x68, 0, 0, 0, 0, 0x68, 0, 0, 0, 0, 0x6A, 0x00, 0xFF, 0x15,
                            0,    0,    0,    0, 0x6A, 0x00, 0xFF, 0x15, 0, 0, 0, 0};
    std::memcpy(pe.data() + s + kCode, code, sizeof code);
    Put32(pe, s + kCode + 3, kBase + kRva + captionAt);
    Put32(pe, s + kCode + 8, kBase + kRva + textAt);
    Put32(pe, s + kCode + 16, kBase + kRva + kIatUser);
    Put32(pe, s + kCode + 24, kBase + kRva + kIatKernel);

    // Two import descriptors and the empty one that ends them; the lookup
    // and address tables both name the functions, as every loader expects.
    const struct {
        uint32_t ilt, iat, dll, hint;
    } imports[] = {{kIltUser, kIatUser, kUser, kHintMessageBox}, {kIltKernel, kIatKernel, kKernel, kHintExit}};
    for (size_t i = 0; i < 2; ++i) {
        const size_t d = s + kImports + 20 * i;
        Put32(pe, d, kRva + imports[i].ilt);
        Put32(pe, d + 12, kRva + imports[i].dll);
        Put32(pe, d + 16, kRva + imports[i].iat);
        Put32(pe, s + imports[i].ilt, kRva + imports[i].hint);
        Put32(pe, s + imports[i].iat, kRva + imports[i].hint);
    }
    PutText(pe, s + kHintMessageBox + 2, "MessageBoxA");
    PutText(pe, s + kHintExit + 2, "ExitProcess");
    PutText(pe, s + kUser, "USER32.dll");
    PutText(pe, s + kKernel, "KERNEL32.dll");
    return pe;
}

std::vector<StarterFile> StarterProject(const std::string& programName) {
    const std::string name = programName.empty() ? "My Application" : programName;
    auto named = [&](const char* text) { return WithCrLf(Replaced(text, "@NAME@", name)); };
    const std::vector<uint8_t> program = PlaceholderProgram(
        name, "This is the placeholder program of a new setup project.\r\n\r\nPut your program's files into the "
              "project's Data folder and name them in Presetup\\App.ins.");
    return {
        {"Presetup/Brik.ini", named(kSettings)},
        {"Presetup/Enu.lng", std::string(ShippedEnglishTexts())},
        {"Presetup/App.ins", named(kScript)},
        {"Presetup/License.txt", named(kLicense)},
        {"Presetup/Readme.txt", named(kReadme)},
        {"Data/MyApp.exe", std::string(program.begin(), program.end())},
        {"Data/License.txt", named(kLicense)},
        {"Data/Readme.txt", named(kReadme)},
        {"README.txt", named(kAbout)},
    };
}

bool WriteStarterProject(const fs::path& folder, const std::string& programName, std::string& error) {
    std::error_code failure;
    if (fs::exists(folder, failure)) {
        if (!fs::is_directory(folder, failure)) {
            error = "is a file, not a folder";
            return false;
        }
        if (!fs::is_empty(folder, failure)) {
            error = "is not empty: a new project goes into a new or empty folder";
            return false;
        }
    }
    std::vector<StarterFile> files = StarterProject(programName);
    const std::string shown = folder.generic_string();
    for (StarterFile& file : files)
        if (std::strcmp(file.relative, "README.txt") == 0) file.content = Replaced(file.content, "@FOLDER@", shown);
    for (const StarterFile& file : files) {
        const fs::path path = folder / fs::path(file.relative);
        fs::create_directories(path.parent_path(), failure);
        if (failure) {
            error = "cannot create " + path.parent_path().string() + ": " + failure.message();
            return false;
        }
        std::ofstream out(path, std::ios::binary);
        out.write(file.content.data(), static_cast<std::streamsize>(file.content.size()));
        out.close();
        if (!out) {
            error = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

}  // namespace brik
