// The shell's folder browser made to fit the setup (its caption, button
// texts and font, and an extra Create button that makes a new folder), and
// the starting of a program or document that waits for it to end while the
// user interface stays responsive.
#pragma once

#include <windows.h>

#include <string>

namespace brik {

// The browser's texts and font. DLG_DIR's initialisation sets the texts from
// its language section; the dialog framework sets the font when it publishes
// its dialog font. They live for the program; user-interface thread only.
struct FolderBrowserLook {
    std::string createText = "Create...";
    std::string okText = "OK";
    std::string cancelText = "Cancel";
    std::string queryCaption = "Create directory";  // the new-folder query
    std::string queryPrompt = "Name";
    // The dialog font, or null: then the owner window's font, if any.
    HFONT dialogFont = nullptr;
};
FolderBrowserLook& BrowserLook();

// The shell's folder browser (SHBrowseForFolderA) under root (a CSIDL_
// value), with caption and prompt (the text above the tree), opened on path.
// With allowCreate it has a Create button, enabled while OK is: it asks for
// a name (AskString with the query texts), creates that folder and its
// missing parents under the selected one and opens the browser again on
// it. True with path set to the chosen folder (or, with
// BIF_BROWSEFORCOMPUTER, the computer's name); false when the user cancels,
// path unchanged. A root that cannot be resolved or a chosen folder without
// a file-system path raises an error.
bool ChooseFolder(HWND owner, const std::string& caption, const std::string& prompt, bool allowCreate,
                  std::string& path, UINT flags, int root);

// ChooseFolder for a destination folder: file-system folders under My
// Computer; the result loses one trailing backslash, except a drive root
// (C:\ stays C:\).
bool ChooseDirectory(HWND owner, const std::string& caption, const std::string& prompt, bool allowCreate,
                     std::string& path);

// Starts file and waits for it to end, dispatching the thread's messages
// meanwhile. An existing .exe, .com, .bat, .pif or .lnk file is started
// directly, its path quoted at the start of the command line; anything else
// (a document, another extension, a missing file) goes to the shell, which
// opens it with its associated program. directory (quotes and blanks
// around it removed) is the working folder, empty for the current one.
// Returns the exit code of the process that was waited for, -1 when nothing
// could be started or there was no process to wait for.
int RunAndWait(HWND owner, const std::string& file, const std::string& parameters, int showCommand,
               const std::string& directory);

}  // namespace brik
