// Turns a setup project folder into a setup package: the engine stub, one
// cabinet with the Presetup files in an MSZIP folder of their own and the
// Data files in the next folder or folders, and the 8-byte trailer. The
// packaged settings file gets the [FileInfo] catalogue (and, for a protected
// package, the password's check hash); the project's own files are only
// read. The same project gives the same bytes: the file order is fixed,
// time stamps come from the files and nothing from the clock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "builder/CabWriter.h"

namespace brik {

struct Diagnostic {
    enum class Level { Warning, Error };
    Level level = Level::Error;
    std::string file;  // as given on the command line, joined with the project path; may be empty
    int line = 0;      // 0: the message is about the whole file
    std::string text;

    // "file:line: error: text", the form editors and build tools jump from.
    std::string Format() const;
};

bool HasErrors(const std::vector<Diagnostic>& diagnostics);

struct ProjectFile {
    std::filesystem::path source;
    std::string shown;     // the path for messages (UTF-8)
    std::string relative;  // below Presetup/ or Data/, with backslashes, in the code page
    std::string stored;    // "Presetup\" or "Data\" + relative
    uint64_t size = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
};

struct Project {
    std::filesystem::path root;
    std::string shownRoot;
    int codePage = 1252;
    std::vector<ProjectFile> presetup;  // in package order
    std::vector<ProjectFile> data;
    // The settings file "Brik.ini" among the Presetup files, or -1.
    int settings = -1;
};

// Lists the project's files below Presetup/ and Data/ (folder names in any
// case), in package order: sorted by stored name without regard to case.
// Names that Windows or the package cannot hold are errors.
void ScanProject(const std::filesystem::path& root, int codePage, Project& project,
                 std::vector<Diagnostic>& diagnostics);

// The checks before building: settings file present, no two stored names
// that differ only in case, every language of [Config] Languages with its
// language file, every InsFiles base name with a script, every package
// source of CopyFiles matching a Data file; INI files whose lines end in a
// bare line feed (the engine only ends lines at a carriage return). Values
// are read as the engine reads them (OpenSetupFile).
void CheckProject(const Project& project, std::vector<Diagnostic>& diagnostics);

// With [Config] Uninstall on and no Presetup/UnInst.exe in the project, the
// uninstaller file goes into the Presetup files (true); without one to add,
// a warning: the install would register no uninstaller.
bool AddUninstaller(Project& project, const std::filesystem::path& uninstaller, std::vector<Diagnostic>& diagnostics);

// The English texts the engine ships (resources/Enu.lng), built into the tool.
std::string_view ShippedEnglishTexts();

// The [FileInfo] line of a Data file ("key=size,version,font"), or empty
// with a warning when the name cannot be a key.
std::string FileInfoLine(const ProjectFile& file, int codePage, std::vector<Diagnostic>& diagnostics);

// The packaged settings file: the project's file as the INI engine writes
// it, [FileInfo] replaced by `fileInfo`, and PswCheckHash set when
// `pswCheckHash` is not empty.
std::string RenderSettings(const std::filesystem::path& settingsFile, const std::vector<std::string>& fileInfo,
                           const std::string& pswCheckHash);

// Why `stub` cannot start a package, or empty: it must be a PE program, and
// the engine must find the package's cabinet, not something in the stub.
std::string StubProblem(const std::vector<uint8_t>& stub);

// A file time as DOS date and time in local time, clamped to 1980..2107.
void DosDateTime(std::filesystem::file_time_type time, uint16_t& date, uint16_t& dosTime);

// Line numbers of sections and keys in an INI file's text, and values read
// as the engine reads its setup files (OpenSetupFile: trimmed, comments
// skipped, the first of same-named sections, quotes around a value kept),
// for messages and for a packaged settings file held in memory.
class IniLineIndex {
public:
    explicit IniLineIndex(std::string_view text);
    int Line(std::string_view section, std::string_view key) const;
    bool Value(std::string_view section, std::string_view key, std::string& value) const;
    // Line feeds without a carriage return before them.
    bool HasBareLineFeeds() const { return bareLineFeeds_; }

    // Every section as written, in file order, a repeated one too (the
    // engine reads only the first of a name), with its "key=value" lines.
    struct Key {
        std::string name;   // trimmed
        std::string value;  // quotes kept
        int line;
    };
    struct Section {
        std::string name;  // trimmed
        int line;
        int firstLine;  // of the first section of the name; equal to line for that one
        std::vector<Key> keys;
    };
    const std::vector<Section>& Sections() const { return sections_; }

private:
    struct Entry {
        int line;
        std::string value;
    };
    const Entry* Find(std::string_view section, std::string_view key) const;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;  // upper-case section and key
    std::vector<Section> sections_;
    bool bareLineFeeds_ = false;
};

struct BuildOptions {
    std::filesystem::path project;
    std::filesystem::path output;
    std::filesystem::path stub;
    // The uninstaller put into a package whose settings turn the uninstall
    // on and whose project brings none of its own; empty: none.
    std::filesystem::path uninstaller;
    CabCompression compression = CabCompression::Mszip;
    bool protect = false;
    std::string password;  // UTF-8
    int codePage = 1252;
    unsigned threads = 2;
    int level = kDefaultDeflateLevel;
    CabLimits limits;
    std::function<void(uint64_t done, uint64_t total)> progress;
};

struct BuildResult {
    bool ok = false;
    std::vector<Diagnostic> diagnostics;
    uint32_t presetupFiles = 0;
    uint32_t dataFiles = 0;
    uint64_t inputBytes = 0;
    uint64_t packageBytes = 0;
    bool uninstallerAdded = false;
};

BuildResult BuildPackage(const BuildOptions& options);

// The checks of BuildPackage without writing anything: the project's files,
// settings, scripts, the uninstaller and the catalogue. Only `project`,
// `uninstaller` and `codePage` of the options are read; ok when no check
// found an error.
BuildResult CheckOnly(const BuildOptions& options);

// The password as the engine hashes it: its bytes in the code page. False
// with `error` set when it is empty or has a character the code page lacks.
bool PasswordBytes(std::string_view utf8, int codePage, std::string& bytes, std::string& error);

}  // namespace brik
