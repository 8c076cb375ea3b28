#include "config/Settings.h"

#include "config/Variables.h"
#include "config/kpIniFile.h"
#include "util/BoundView.h"
#include "util/Platform.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

TLanguageState& MutableLanguageState() {
    static TLanguageState state;
    return state;
}

}  // namespace

namespace {
TBoundView<TConfigPaths>& PathsView() {
    static TBoundView<TConfigPaths> view;
    return view;
}
}  // namespace

TConfigPaths& ConfigPaths() { return PathsView().Get(); }

void BindConfigPaths(TConfigPaths* paths) { PathsView().Bind(paths); }

const TLanguageState& LanguageState() { return MutableLanguageState(); }

void SelectLanguageFile(const std::string& code) {
    TLanguageState& state = MutableLanguageState();
    state.LanguageCode = code;
    state.LanguageFile = LanguageFilePath(code);
}

bool UpdateProgramTitle() {
    TLanguageState& state = MutableLanguageState();
    std::string title = ExpandText("%ProgramName%");
    const bool changed = title != state.ProgramTitle;
    state.ProgramTitle = std::move(title);
    return changed;
}

void SetInitialProgramTitle(std::string title) { MutableLanguageState().ProgramTitle = std::move(title); }

std::string LanguageFilePath(const std::string& code) {
    const std::string& folder = ConfigPaths().SetupFolder;
    std::string path = folder + code + ".lng";
    if (platform::FileExists(path)) return path;
    return folder + "Enu.lng";
}

std::string GetSetting(std::string_view section, std::string_view key, std::string_view defaultValue) {
    const std::string& file = ConfigPaths().SettingsFile;
    const std::string value = file.empty() ? std::string(defaultValue)
                                           : IniReadString(file, section, key, defaultValue);
    return std::string(Trim(ExpandText(value)));
}

std::string GetLangString(std::string_view section, std::string_view key, std::string_view defaultValue) {
    const std::string& file = LanguageState().LanguageFile;
    if (file.empty()) return ExpandText(defaultValue);
    return ExpandText(IniReadString(file, section, key, defaultValue));
}

std::string GetLangNumberString(std::string_view section, int number) {
    return GetLangString(section, std::to_string(number), {});
}

std::string GetMessageString(int number) { return GetLangNumberString("Strings", number); }

TFontDescription ParseFontDescription(std::string_view text) {
    const CharSet comma(",");
    TFontDescription font;
    font.Name = FieldAt(1, text, comma);
    if (font.Name.size() > 31) font.Name.resize(31);
    int32_t number = 0;
    if (TryStrToInt(FieldAt(2, text, comma), number)) font.Size = number;
    if (TryStrToInt(FieldAt(3, text, comma), number)) font.Color = static_cast<uint32_t>(number);
    for (char c : FieldAt(4, text, comma)) {
        switch (c) {
            case 'B': font.Style |= fsBold; break;
            case 'I': font.Style |= fsItalic; break;
            case 'U': font.Style |= fsUnderline; break;
            case 'S': font.Style |= fsStrikeOut; break;
            default: break;
        }
    }
    return font;
}

std::string FormatMessageText(const std::string& text, const std::string& argument) {
    const size_t at = text.find("%s");
    if (at == std::string::npos) return text;
    return text.substr(0, at) + argument + text.substr(at + 2);
}

}  // namespace brik
