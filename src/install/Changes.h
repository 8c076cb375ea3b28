// The install's changes after the copy phase: COM servers, registry, INI
// files, fonts, shortcuts and programs, each from its work list. The install
// routine calls them in its final order; each answers whether its step went
// through.
#pragma once

namespace brik {

bool RegisterComServers();
void RegisterFonts();
void CreateShortcuts();
void RunPrograms();

}  // namespace brik
