// What the [FileInfo] catalogue says about a packaged file besides its size:
// the file version from a program's version resource, and the name under
// which Windows registers a font file. Everything is read from the file
// itself, bounds-checked: a damaged or hostile file gives no version or no
// name, never a crash.
#pragma once

#include <string>
#include <string_view>

#include "cab/Cabinet.h"

namespace brik {

// "%d.%d.%d.%d" of the fixed file version in the version resource of a PE
// (or 16-bit NE) program, as the engine's version lookup reports it; empty
// when the file has none.
std::string FileVersionText(cab::CabSource& file);

// Whether the file is a font by its extension (".ttf", ".otf", ".ttc",
// ".fon", any case): only those get a registry name.
bool IsFontFile(std::string_view fileName);

// The font's registry name in the code page, following the system's
// convention: the full name from the name table, with " (OpenType)" for
// PostScript outlines in .otf, " (TrueType)" for TrueType outlines in .otf
// and collections; a .ttf file gets the bare name, because the engine adds
// " (TrueType)" itself when it registers one. A .fon file's name comes from
// its module description ("FONTRES 100,96,96 : Courier 10,12,15" gives
// "Courier 10,12,15") or else from its font directory (face name and point
// sizes). False with `problem` set when no name can be found.
bool FontRegistryName(cab::CabSource& file, std::string_view fileName, int codePage, std::string& name,
                      std::string& problem);

}  // namespace brik
