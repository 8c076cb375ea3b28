#include "config/Common.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>

namespace brik {

LOGFONTA MainTitleFont{};
LOGFONTA DialogFont{};
LOGFONTA DialogTitleFont{};

namespace {

std::function<void(const TLanguageChange&)>& LanguageChangedHook() {
    static std::function<void(const TLanguageChange&)> hook;
    return hook;
}

std::string TextOf(const char* buffer, UINT length, UINT capacity) {
    if (length == 0 || length >= capacity) return {};
    return std::string(buffer, length);
}

class SystemSources final : public IVariableSources {
public:
    StringList Environment() override {
        StringList lines;
        char* block = GetEnvironmentStringsA();
        if (block == nullptr) return lines;
        for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) lines.emplace_back(p);
        FreeEnvironmentStringsA(block);
        return lines;
    }

    std::string WindowsDirectory() override {
        char buffer[MAX_PATH + 1];
        return TextOf(buffer, GetWindowsDirectoryA(buffer, sizeof buffer), sizeof buffer);
    }

    std::string SystemDirectory() override {
        char buffer[MAX_PATH + 1];
        return TextOf(buffer, GetSystemDirectoryA(buffer, sizeof buffer), sizeof buffer);
    }

    std::string ShellFolder(int csidl) override {
        LPITEMIDLIST list = nullptr;
        if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != NOERROR || list == nullptr) return {};
        char buffer[MAX_PATH + 1] = {};
        std::string path;
        if (SHGetPathFromIDListA(list, buffer)) path = buffer;
        // The shell's allocator: present on every shell, unlike ILFree by name.
        IMalloc* shellMalloc = nullptr;
        if (SHGetMalloc(&shellMalloc) == NOERROR && shellMalloc != nullptr) {
            shellMalloc->Free(list);
            shellMalloc->Release();
        }
        return path;
    }

    std::string RegReadString(const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultValue) override {
        return brik::RegReadString(keyPath, valueName, defaultValue);
    }

    void RegListSubKeys(const std::string& keyPath, StringList& names) override {
        brik::RegListSubKeys(keyPath, names);
    }

    std::string ShortDate() override {
        char buffer[128];
        const int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n - 1)) : std::string();
    }
};

// EnumSystemLocalesA hands no context to its callback.
struct CharsetSearch {
    std::string code;
    BYTE charset = DEFAULT_CHARSET;
};
CharsetSearch* g_charsetSearch = nullptr;

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Not in the import table: the engine must start on systems whose gdi32
// lacks it.
using TranslateCharsetInfoFn = BOOL(WINAPI*)(DWORD*, LPCHARSETINFO, DWORD);

BOOL CALLBACK OnInstalledLocale(LPSTR text) {
    CharsetSearch& search = *g_charsetSearch;
    const LCID locale = static_cast<LCID>(std::strtoul(text, nullptr, 16));
    char abbreviation[16] = {};
    if (GetLocaleInfoA(locale, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation) == 0) return TRUE;
    abbreviation[3] = '\0';
    if (!SameAscii(abbreviation, search.code)) return TRUE;

    char codePage[8] = {};
    if (GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, codePage, sizeof codePage) != 0) {
        codePage[5] = '\0';
        const auto translate = reinterpret_cast<TranslateCharsetInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("gdi32.dll"), "TranslateCharsetInfo")));
        CHARSETINFO info{};
        const auto page = static_cast<UINT_PTR>(std::strtoul(codePage, nullptr, 10));
        if (translate != nullptr && translate(reinterpret_cast<DWORD*>(page), &info, TCI_SRCCODEPAGE))
            search.charset = static_cast<BYTE>(info.ciCharset);
    }
    return FALSE;
}

}  // namespace

void SetLanguageChangedHook(std::function<void(const TLanguageChange&)> hook) {
    LanguageChangedHook() = std::move(hook);
}

IVariableSources& SystemVariableSources() {
    static SystemSources sources;
    return sources;
}

void LoadVariables() {
    const TConfigPaths& paths = ConfigPaths();
    VariableContext context{paths.SetupExePath, paths.SetupFolder, paths.SettingsFile,
                            LanguageState().LanguageCode};
    LoadVariablesFrom(SystemVariableSources(), context);
}

BYTE LanguageCharset(const std::string& code) {
    CharsetSearch search;
    search.code = code;
    CharsetSearch* outer = g_charsetSearch;
    g_charsetSearch = &search;
    EnumSystemLocalesA(OnInstalledLocale, LCID_INSTALLED);
    g_charsetSearch = outer;
    return search.charset;
}

LOGFONTA MakeLogFont(const std::string& name, int32_t size, uint8_t style) {
    LOGFONTA font{};
    // Every window of the run is on the one screen.
    HDC dc = GetDC(nullptr);
    const int pixelsPerInch = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ReleaseDC(nullptr, dc);
    font.lfHeight = -MulDiv(size, pixelsPerInch, 72);
    font.lfWeight = (style & fsBold) != 0 ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (style & fsItalic) != 0 ? 1 : 0;
    font.lfUnderline = (style & fsUnderline) != 0 ? 1 : 0;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, name.c_str(), LF_FACESIZE);
    return font;
}

void SetLanguage(const std::string& code) {
    SelectLanguageFile(code);

    const BYTE charset = LanguageCharset(code);
    MainTitleFont.lfCharSet = charset;
    DialogFont.lfCharSet = charset;
    DialogTitleFont.lfCharSet = charset;

    LoadVariables();

    TLanguageChange change;
    change.TitleChanged = UpdateProgramTitle();
    change.ProgramTitle = LanguageState().ProgramTitle;
    change.Caption = GetLangString("Dialogs", "Caption");
    if (LanguageChangedHook()) LanguageChangedHook()(change);
}

}  // namespace brik
