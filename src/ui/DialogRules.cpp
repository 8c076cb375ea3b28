#include "ui/DialogRules.h"

#include <array>

namespace brik {

std::string DialogTextValue(std::string_view value) {
    if (value.empty() || value.front() != '"') return std::string(value);
    std::string text;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] != '"') {
            text += value[i];
        } else if (i + 1 < value.size() && value[i + 1] == '"') {
            text += '"';
            ++i;
        } else {
            break;
        }
    }
    return text;
}

int DialogControlId(std::string_view key) {
    // Control ids are 16 bits; a longer run of digits is no control.
    if (key.empty() || key.size() > 5) return 0;
    int id = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return 0;
        id = id * 10 + (c - '0');
    }
    return id <= 0xFFFF ? id : 0;
}

int DialogOffset(int code, int area, int size) {
    switch (code) {
        case 0: return area / 16;
        case 1: return (area - size) / 2;
        case 2: return area - area / 16 - size;
        default: return 0;
    }
}

std::string RestoreLinkText(std::string_view scrambled) {
    std::string text(scrambled);
    for (char& c : text) c = RestoreLinkByte(c);
    return text;
}

namespace {

template <size_t N>
constexpr std::array<char, N - 1> Scramble(const char (&text)[N]) {
    std::array<char, N - 1> bytes{};
    for (size_t i = 0; i + 1 < N; ++i) bytes[i] = ScrambleLinkByte(text[i]);
    return bytes;
}

// Only the scrambled bytes reach the program's data.
constexpr auto kLinkText = Scramble("Brisk Installer|https://brisk-installer.example/");

}  // namespace

std::string_view ScrambledLinkText() { return {kLinkText.data(), kLinkText.size()}; }

}  // namespace brik
