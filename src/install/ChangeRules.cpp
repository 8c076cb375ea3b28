#include "install/ChangeRules.h"

#include "ui/ShellRules.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

// The system's show commands.
constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;
constexpr int kSwShowMaximized = 3;
constexpr int kSwShowMinNoActive = 7;

std::string Field(int n, std::string_view value) { return FieldAt(n, value, ","); }
std::string Unquoted(int n, std::string_view value) { return WithoutSurroundingQuotes(Field(n, value)); }
int Number(int n, std::string_view value, int absent) { return ParseNumber(Trim(Field(n, value)), absent); }

}  // namespace

TShortcutFields ParseShortcutFields(std::string_view value) {
    TShortcutFields f;
    f.Target = Unquoted(1, value);
    f.Arguments = Field(2, value);
    f.WorkingFolder = Unquoted(3, value);
    f.IconFile = Unquoted(4, value);
    f.IconIndex = Number(5, value, 0);
    f.Hotkey = static_cast<uint16_t>(Number(6, value, 0));
    f.ShowMode = ShortcutShowMode(Number(7, value, 1));
    f.Description = Unquoted(8, value);
    f.Flags = Number(9, value, 0);
    return f;
}

std::string ShortcutLinkPath(std::string_view entryName) { return WithoutSurroundingQuotes(entryName) + ".lnk"; }

uint8_t ShortcutShowMode(int showField) {
    switch (showField) {
        case 2: return 2;
        case 3: return 1;
        default: return 0;
    }
}

int ShortcutShowCommand(uint8_t showMode) {
    switch (showMode) {
        case 1: return kSwShowMinNoActive;
        case 2: return kSwShowMaximized;
        default: return kSwShowNormal;
    }
}

TProgramFields ParseProgramFields(std::string_view value) {
    TProgramFields f;
    f.Program = Unquoted(1, value);
    f.Parameters = Field(2, value);
    f.WorkingFolder = Field(3, value);
    f.ShowCommand = ProgramShowCommand(Number(4, value, 1));
    f.Message = Unquoted(5, value);
    f.Wait = Number(6, value, 1) != 0;
    f.AfterRestart = Number(7, value, 0) != 0;
    return f;
}

int ProgramShowCommand(int showField) {
    switch (showField) {
        case 0: return kSwHide;
        case 2: return kSwShowMaximized;
        case 3: return kSwShowMinNoActive;
        default: return kSwShowNormal;
    }
}

std::string RunOnceCommand(std::string_view program, std::string_view parameters) {
    return ProgramCommandLine(program, parameters);
}

bool IsProgramFile(std::string_view path) {
    const size_t dot = path.rfind('.');
    return dot != std::string_view::npos && path.find('\\', dot) == std::string_view::npos &&
           SameText(path.substr(dot), ".exe");
}

std::string RegServerCommand(std::string_view systemFolder, std::string_view path) {
    const std::string file = WithoutSurroundingQuotes(path);
    if (IsProgramFile(file)) return ProgramCommandLine(file, "/REGSERVER");
    return ProgramCommandLine(std::string(systemFolder) + "\\regsvr32.exe", "/s \"" + file + "\"");
}

const char* FontsKey(bool win9x) {
    return win9x ? "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts\\"
                 : "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
}

std::string FontFileFromRegistry(std::string_view data, std::string_view fontsFolder) {
    if (data.find_first_of("\\/:") != std::string_view::npos) return std::string(data);
    return std::string(fontsFolder) + "\\" + std::string(data);
}

std::string FontRegistryData(std::string_view file, std::string_view fontsFolder) {
    const size_t slash = file.find_last_of('\\');
    if (slash != std::string_view::npos && SameText(file.substr(0, slash), fontsFolder))
        return std::string(file.substr(slash + 1));
    return std::string(file);
}

}  // namespace brik
