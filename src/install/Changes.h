// The install's changes that are still to come: COM servers and fonts, each
// from its work list (the registry, INI files, shortcuts and programs have
// modules of their own). The install routine calls them in its final order.
#pragma once

namespace brik {

bool RegisterComServers();
void RegisterFonts();

}  // namespace brik
