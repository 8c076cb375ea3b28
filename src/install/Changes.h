// The install's changes after the copy phase: COM servers, registry, INI
// files and fonts, each from its work list (shortcuts and programs have
// modules of their own). The install routine calls them in its final
// order; each answers whether its step went through.
#pragma once

namespace brik {

bool RegisterComServers();
void RegisterFonts();

}  // namespace brik
