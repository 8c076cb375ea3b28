// The one INI engine: every INI-format file the setup touches (settings,
// language files, install scripts, the install log, the target system's INI
// files) is read and written here, never through the system's profile
// functions, so that all of them follow the same syntax and write-back rules.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/IniText.h"
#include "util/Error.h"
#include "util/NameIndex.h"
#include "util/Platform.h"

namespace brik {

using StringList = std::vector<std::string>;

// Raised when a file exists but cannot be opened; caught once at the process
// entry, which shows its message.
class EInOutError : public EError {
public:
    using EError::EError;
};

struct IniSection {
    std::string name;  // exactly as it stood between the brackets
    StringList lines;  // normally name=value, in file order
    // Where each key first stands, for sections so long that scanning them
    // on every lookup would cost: an install log lists thousands of files,
    // and each new one is looked up before it is added. Current while
    // `indexed` equals the line count; the key lookup builds it.
    NameIndex keys;
    size_t indexed = 0;
    // In an object that may write its file back: the section's block of the
    // file's text and, for each of `lines`, its line there (ascending).
    int block = -1;
    std::vector<int> text;
};

// Sections in file order. Lookups start at the last hit, so a run of reads in
// one section costs one comparison per lookup.
class TSectionList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    IniSection& operator[](int i) { return items_[static_cast<size_t>(i)]; }
    const IniSection& operator[](int i) const { return items_[static_cast<size_t>(i)]; }
    void Add(std::string name) {
        IniSection section;
        section.name = std::move(name);
        items_.push_back(std::move(section));
    }
    void Delete(int i) { items_.erase(items_.begin() + i); }
    void Clear() { items_.clear(); LastFound = 0; }
    std::vector<IniSection>& Items() { return items_; }

    // Case-insensitive; -1 when absent.
    int IndexOf(std::string_view name);

    int LastFound = 0;

private:
    std::vector<IniSection> items_;
};

// Decides which of two same-named sections survives loading: true keeps the
// earlier one.
using DuplicateSectionHandler =
    std::function<bool(const std::string& name, const StringList& first, const StringList& second)>;

// How an object holds its file and which line rules its reading follows.
// The defaults are the engine's syntax on a file that may be written back;
// name only what differs: TkpIniFile(path, {.readOnly = true}).
struct IniOptions {
    // Never written back; the file is closed once it is read.
    bool readOnly = false;
    // Lines starting with ";" are dropped.
    bool stripComments = true;
    // Lines without "=" are dropped.
    bool skipLinesWithoutEquals = true;
    // Blanks and tabs around the first "=" are removed.
    bool trimAroundEquals = true;
    // One pair of matching quotes around a value is removed.
    bool stripQuotes = true;
};

class TkpIniFile {
public:
    TkpIniFile(const std::string& fileName, const IniOptions& options);
    virtual ~TkpIniFile();
    TkpIniFile(const TkpIniFile&) = delete;
    TkpIniFile& operator=(const TkpIniFile&) = delete;

    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue);
    virtual void WriteString(std::string_view section, std::string_view key, std::string_view value);
    virtual int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue);
    virtual void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    virtual bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);
    virtual void WriteBool(std::string_view section, std::string_view key, bool value);
    virtual void ReadSection(std::string_view section, StringList& names);
    virtual void ReadSections(StringList& names);
    virtual void ReadSectionValues(std::string_view section, StringList& values);
    virtual void WriteSectionValues(std::string_view section, const StringList& values);
    virtual void EraseSection(std::string_view section);
    virtual void DeleteKey(std::string_view section, std::string_view key);
    virtual void GetStrings(StringList& lines);
    // Whether the section holds nothing but blank lines in the file: no key,
    // and no comment or other line a reading drops. A section absent, or
    // one whose file is not kept, counts as bare when it has no lines.
    bool SectionIsBare(std::string_view section);
    // Writes the file back if modified. False when a write was due and failed;
    // the changes are dropped either way.
    virtual bool UpdateFile();

    // Flushes, then points the object at another file and loads it. A name
    // without a folder lives in the Windows directory.
    void SetFileName(const std::string& name);

    const std::string& FileName() const { return fileName_; }
    bool Modified() const { return modified_; }
    bool ReadOnly() const { return options_.readOnly; }
    bool HasOpenHandle() const { return handle_.IsOpen(); }
    // The parsed view. Changing lines here bypasses the file's text: only
    // for read-only objects (a write-back writes the text).
    TSectionList& Sections() { return sections_; }

    DuplicateSectionHandler OnDuplicateSection;

private:
    struct KeyRef {
        int section = -1;
        int line = -1;
    };
    KeyRef FindKey(std::string_view section, std::string_view key, bool create);
    void Load();
    enum class Parsed { Dropped, Header, Line };
    Parsed AddLine(std::string& line);
    void EndLine(std::string& line, std::string& raw, LineEnd end);
    bool KeepsText() const { return !options_.readOnly; }
    void ReduceDuplicateSections();
    bool Flush();

    std::string fileName_;
    platform::File handle_;
    bool modified_ = false;
    TSectionList sections_;
    // The file's bytes, kept by objects that may write back: a write-back
    // changes only the lines set, added or deleted.
    TIniText text_;
    int currentSection_ = 0;
    IniOptions options_;
};

// The process-wide cache. Reads use a read-only object, writes a read-write
// one; changes reach the disk when an object is closed or replaced.
TkpIniFile& GetIniFile(const std::string& fileName, bool readOnly);
// The file an INI name stands for: a name without a folder lives in the
// Windows directory.
std::string IniFilePath(const std::string& name);
std::string IniReadString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view defaultValue);
int32_t IniReadInteger(const std::string& file, std::string_view section, std::string_view key,
                       int32_t defaultValue);
bool IniReadBool(const std::string& file, std::string_view section, std::string_view key,
                 bool defaultValue);
void IniReadSections(const std::string& file, StringList& names);
void IniReadSection(const std::string& file, std::string_view section, StringList& names);
void IniReadSectionValues(const std::string& file, std::string_view section, StringList& values);
bool IniWriteString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value);
void CloseIniFile(const std::string& file);
void CloseAllIniFiles();
// Whether files opened by the cache from now on lose one pair of quotes
// around a value (on at start). The setup engine turns it off before it reads
// its settings, so that quotes an author wrote stay part of the value;
// objects already in the cache keep the option they were loaded with.
void SetIniStripQuotes(bool strip);

// The engine's reading of its setup files (the settings file, language files
// and install scripts): comments and lines without "=" dropped, blanks around
// "=" removed, and quotes around a value kept, so that what an author wrote
// in quotes stays part of the value. The engine switches the cache to it
// before it reads its first setup file; the package tool reads a project's
// files through OpenSetupFile. One reading for both, so that a check the
// tool makes holds for what the engine will see.
void UseSetupFileReading();
// A read-only object reading `path` as the engine reads its setup files.
std::unique_ptr<TkpIniFile> OpenSetupFile(const std::string& path);

}  // namespace brik
