// The font step of the install: the fonts the copy phase wrote to the
// scratch folder go to their destination, are registered in the fonts key
// and loaded for this session, and every window hears of it.
#pragma once

#include <string>

namespace brik {

// The system's fonts folder (no trailing backslash); the Windows folder's
// "Fonts" where the shell names none.
std::string FontsFolder();

// Installs every font of the run's list, in order; the first failure is
// shown and ends the step with false.
bool RegisterFonts();

// Puts the font written at writtenPath in place and registers it under
// fontName, unless the system has a font of that name already (its file is
// then replaced, nothing registered). Without a name the file is put in
// place (where no file is yet) and not registered. false when the file
// cannot be put in place or the system does not take it as a font.
bool InstallFont(const std::string& fontName, const std::string& writtenPath, const std::string& destPath, bool log);

}  // namespace brik
