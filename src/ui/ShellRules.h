// The text rules of the link control, the folder browser and program
// starting, free of Windows so that the native tests cover them too.
#pragma once

#include <string>
#include <string_view>

namespace brik {

// A link control's text: the caption, optionally followed by "|" and the
// address. Runs of "|" count as one separator and leading ones are skipped.
struct LinkText {
    std::string caption;
    std::string address;  // empty: a plain caption, no link
};
LinkText SplitLinkText(std::string_view text);

// Whether a link may hand this address to the shell: only web and mail
// addresses, with something after the scheme, and nothing a program's
// command line could read as a second argument or a switch (blanks, quotes,
// control characters). Everything else the shell would open (files, folders,
// programs, other protocols) is refused.
bool IsOpenableAddress(std::string_view address);

// A chosen folder without one trailing backslash; a drive root (C:\) and a
// lone backslash keep theirs, since without it they name another folder.
std::string WithoutTrailingBackslash(std::string path);

// The text without one pair of double quotes around it.
std::string WithoutSurroundingQuotes(std::string_view text);

// Whether a file is started as a program rather than opened as a document:
// its extension, in any case, is .exe, .com, .bat, .pif or .lnk.
bool StartsAsProgram(std::string_view file);

// The command line a program is started with: the file, unquoted and then
// quoted again so that blanks in its path cannot split it, then the
// parameters; trimmed.
std::string ProgramCommandLine(std::string_view file, std::string_view parameters);

// The folder a user's new-folder name makes under parent; empty when the
// name (blanks trimmed) is not one plain folder name: empty, "." or "..",
// or with a path delimiter, a drive colon, a wildcard or another character
// that no folder name may hold.
std::string NewFolderPath(std::string_view parent, std::string_view name);

}  // namespace brik
