// The single-byte Windows code pages in which packages carry their texts:
// stored file names, [FileInfo] keys and font names, and the password, whose
// check hash and key are computed over its bytes in the target system's ANSI
// code page. The builder's own input is Unicode (UTF-8 on Linux; the command
// line and file names are converted to it on Windows).
#pragma once

#include <string>
#include <string_view>

namespace brik {

inline constexpr int kDefaultCodePage = 1252;

bool IsSupportedCodePage(int codePage);
// "874, 1250, 1251, ..." for messages.
std::string SupportedCodePages();

// Decodes UTF-8; false on malformed input (overlong forms, surrogates and
// values past U+10FFFF included).
bool DecodeUtf8(std::string_view utf8, std::u32string& out);
void AppendUtf8(char32_t c, std::string& out);

// Unicode text in the code page. False when a character has no byte there;
// `bad` then holds that character (as UTF-8) for the message.
bool EncodeCodePage(std::u32string_view text, int codePage, std::string& out, std::string* bad = nullptr);
bool Utf8ToCodePage(std::string_view utf8, int codePage, std::string& out, std::string* bad = nullptr);
// Text in the code page as UTF-8; a byte the code page does not map (or an
// unknown code page's byte above 127) becomes U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
// Bytes of a Mac OS Roman string (old font name records) as Unicode.
std::u32string DecodeMacRoman(std::string_view bytes);

// Upper case in the code page as Windows maps it (a character whose upper
// case has no byte in the code page stays as it is).
char CodePageUpper(char c, int codePage);
std::string CodePageUpperCase(std::string_view text, int codePage);

}  // namespace brik
