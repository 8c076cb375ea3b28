// The uninstaller's texts and its reading of its own command line, free of
// Windows so that the native tests cover them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

// The numbers of the uninstaller's texts in the log's [Strings] section,
// which an install copies from the language file's [Uninstall.Strings].
// "%s" stands for the program's name in the first ones, for the log's path
// in the log errors.
enum TUninstallText : int {
    kTextCaption = 1,       // "Uninstall %s"
    kTextQuestion = 2,      // "Do you want to remove %s and all of its components?"
    kTextRemoving = 3,      // "Removing %s..."
    kTextRemoved = 4,       // "%s was removed from your computer."
    kTextNotAll = 5,        // "%s was removed, apart from the items listed below."
    kTextRestart = 6,       // "Some files are in use. Restart Windows to complete the removal."
    kTextNothingLeft = 7,   // "Nothing of %s is left to remove."
    kTextLogMissing = 8,    // "Cannot read the install log "%s". Nothing was removed."
    kTextNotALog = 9,       // ""%s" is not an install log. Nothing was removed."
    kTextYes = 10,
    kTextNo = 11,
    kTextOk = 12,
    kTextKept = 13,         // after an item that holds what the install did not make
    kTextAtRestart = 14,    // after an item removed at the next restart
    kTextFailed = 15,       // after an item that could not be removed
    kTextRefused = 16,      // before a log line that was not undone, and why
    kTextLogChanged = 17,   // "This install log was changed after the install. Nothing was removed."
    kTextOpenFolder = 18,   // "The install log "%s" lies in a folder that other users can change. Nothing was removed."
    kTextLast = kTextOpenFolder,
};

// Our English text of a number; empty for an unknown number.
std::string_view DefaultUninstallText(int number);

// A text of the log's [Strings] by its number; nothing when the log has none.
using TTextLookup = std::function<std::optional<std::string>(int number)>;

// The text of a number: the log's own when it has one that is not empty,
// ours otherwise; "%s" becomes argument, "||" a line break.
std::string UninstallText(const TTextLookup& strings, int number, std::string_view argument = {});

// What the uninstaller was started with: the log's path as the one argument
// (quoted or not; an unquoted path with blanks is taken whole) and, in the
// copy that the uninstaller starts of itself, "/original=N" before it: the
// handle of the process that started the copy.
struct TUninstallArguments {
    std::string logPath;
    unsigned long originalProcess = 0;  // 0: started by the user or Windows
};
TUninstallArguments ParseUninstallArguments(std::string_view commandLine);

// The command line of the copy: the program, quoted; the original's handle;
// the log, quoted.
std::string CopyCommandLine(std::string_view program, unsigned long originalProcess, std::string_view logPath);

}  // namespace brik
