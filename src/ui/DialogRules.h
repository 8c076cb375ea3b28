// The wizard dialogs' text and placement rules, free of Windows so that the
// native tests hold them too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brik {

// A dialog text as a language file writes it: a value that starts with a
// double quote is the quoted text alone, a doubled quote inside standing for
// one and anything after the closing quote dropped (an unclosed quote runs to
// the end); any other value is taken as it is.
std::string DialogTextValue(std::string_view value);

// The control a dialog text goes to: its key read as a decimal number, 0
// (the dialog window itself) when the key is not one.
int DialogControlId(std::string_view key);

// Offset of a dialog of outer size `size` in a work area `area` pixels long
// on one axis, by the placement code of DialogPosition: 0 a sixteenth in,
// 1 centred, 2 a sixteenth from the far edge, anything else at the edge.
int DialogOffset(int code, int area, int size);

// The link text of the dialogs is kept scrambled in the program (each byte
// rotated right by five bits) and restored when a dialog opens.
constexpr char ScrambleLinkByte(char c) {
    const auto b = static_cast<uint8_t>(c);
    return static_cast<char>(static_cast<uint8_t>((b >> 5) | (b << 3)));
}
constexpr char RestoreLinkByte(char c) {
    const auto b = static_cast<uint8_t>(c);
    return static_cast<char>(static_cast<uint8_t>((b << 5) | (b >> 3)));
}
std::string RestoreLinkText(std::string_view scrambled);

// The link text: the product's name and its address, as stored.
std::string_view ScrambledLinkText();

}  // namespace brik
