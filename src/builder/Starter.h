// The starter project of `brikpack new`: a project that builds and installs
// as it stands, whose files say what an author changes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brik {

struct StarterFile {
    const char* relative;  // below the project folder, with forward slashes
    std::string content;
};

// The files of a starter project for a program of that name: Brik.ini,
// Enu.lng (the shipped English texts), App.ins with an example of every
// item kind, a placeholder program in Data/ and README.txt.
std::vector<StarterFile> StarterProject(const std::string& programName);

// A small valid Windows program (PE32, GUI, imports from user32 and
// kernel32 only, runs on every 32-bit Windows) that shows `text` in a
// message box captioned `caption` and ends. Texts are ANSI, each cut at
// 200 bytes.
std::vector<uint8_t> PlaceholderProgram(const std::string& caption, const std::string& text);

// Writes the starter project into `folder`, which must be missing or empty
// (an author's files are never overwritten); false with `error` otherwise.
bool WriteStarterProject(const std::filesystem::path& folder, const std::string& programName, std::string& error);

}  // namespace brik
