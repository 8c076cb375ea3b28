// The text rules of the shortcut and program steps: the fields of a shortcut
// line and of a program line, the show modes they name, and the command a
// program is started with after the next restart. Free of Windows, so that
// the native tests cover them; the show commands are the system's SW_
// numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brik {

// A shortcut line: "target,arguments,folder,icon file,icon index,hot key,
// show,description,flags". One pair of double quotes around the target,
// the folder, the icon file and the description is removed; the arguments
// stay as written, since quotes there group what the program reads.
struct TShortcutFields {
    std::string Target;
    std::string Arguments;
    std::string WorkingFolder;
    std::string IconFile;
    std::string Description;
    int IconIndex = 0;
    uint16_t Hotkey = 0;    // virtual key in the low byte, modifiers in the high byte
    uint8_t ShowMode = 0;   // 0 normal, 1 minimised, 2 maximised
    int Flags = 0;          // 1 not logged, 32 an existing link stays
};
TShortcutFields ParseShortcutFields(std::string_view value);
// The link file of a shortcut entry: its name without surrounding quotes,
// with ".lnk".
std::string ShortcutLinkPath(std::string_view entryName);
// A shortcut's show field (1 normal, 2 maximised, 3 minimised) as the link
// keeps it; any other number is normal.
uint8_t ShortcutShowMode(int showField);
// The show command a link starts its target with.
int ShortcutShowCommand(uint8_t showMode);

// A program line: "program,parameters,folder,show,message,wait,after
// restart". Quotes around the program and the message are removed; the
// parameters and the folder stay as written.
struct TProgramFields {
    std::string Program;
    std::string Parameters;
    std::string WorkingFolder;
    std::string Message;
    int ShowCommand = 1;
    bool Wait = true;
    bool AfterRestart = false;
};
TProgramFields ParseProgramFields(std::string_view value);
// A program line's show field: 0 hidden, 2 maximised, 3 minimised without
// activation, anything else normal.
int ProgramShowCommand(int showField);

// The command stored to run a program at the next logon: the program,
// quoted so that blanks in its path cannot split it, then the parameters.
std::string RunOnceCommand(std::string_view program, std::string_view parameters);

// A COM server that is a program (".exe", any case): it registers itself.
bool IsProgramFile(std::string_view path);
// The command stored to register a COM server at the next logon, when its
// file waits for the restart: a program registers itself (/REGSERVER), a
// library through the system's regsvr32.exe, run by its full path from
// systemFolder (no trailing backslash). Both paths quoted.
std::string RegServerCommand(std::string_view systemFolder, std::string_view path);

// The key of the fonts the system loads at start: the Windows 95, 98 and Me
// key or the NT one.
const char* FontsKey(bool win9x);
// A font file as the fonts key names it: a bare file name lies in the fonts
// folder (no trailing backslash).
std::string FontFileFromRegistry(std::string_view data, std::string_view fontsFolder);
// What the fonts key gets for a font file: its name alone when it lies in the
// fonts folder itself, else its full path.
std::string FontRegistryData(std::string_view file, std::string_view fontsFolder);

}  // namespace brik
