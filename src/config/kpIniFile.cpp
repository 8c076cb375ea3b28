#include "config/kpIniFile.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "util/NameIndex.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

constexpr char kEof = 0x1A;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// A line without "=" is never found by a key search, not even an empty one.
bool LineHasKey(std::string_view line, std::string_view key) {
    return line.find('=') != std::string_view::npos && SameText(NamePart(line), key);
}

// Below this many lines a scan is as quick as the index.
constexpr size_t kIndexedLines = 64;

// The index compares keys in their upper-case form; a key with a double-byte
// character is looked up by scanning, so that the index never decides what
// the scan's comparison would decide otherwise.
bool HasLeadByte(std::string_view key) {
    const bool* lead = platform::AnsiLeadTable();
    for (const char c : key)
        if (lead[static_cast<unsigned char>(c)]) return true;
    return false;
}

void IndexKeys(IniSection& section) {
    section.keys.Clear();
    section.keys.Reserve(section.lines.size());
    for (size_t i = 0; i < section.lines.size(); ++i) {
        const std::string& line = section.lines[i];
        if (line.find('=') != std::string::npos)
            section.keys.TryEmplace(AnsiUpperCase(NamePart(line)), static_cast<int>(i));
    }
    section.indexed = section.lines.size();
}

bool HasDirectoryPart(std::string_view name) {
    return name.find_first_of("\\/:") != std::string_view::npos;
}

}  // namespace

std::string IniFilePath(const std::string& name) {
    if (name.empty() || HasDirectoryPart(name)) return name;
    std::string dir = platform::WindowsDirectory();
    if (dir.empty() || !platform::IsPathDelim(dir.back())) dir += platform::PathDelim;
    return dir + name;
}

int TSectionList::IndexOf(std::string_view name) {
    const int n = Count();
    if (n == 0) return -1;
    int start = LastFound < n ? LastFound : 0;
    for (int k = 0; k < n; ++k) {
        int i = start + k;
        if (i >= n) i -= n;
        if (SameText(items_[static_cast<size_t>(i)].name, name)) {
            LastFound = i;
            return i;
        }
    }
    return -1;
}

TkpIniFile::TkpIniFile(const std::string& fileName, const IniOptions& options) : options_(options) {
    SetFileName(fileName);
}

TkpIniFile::~TkpIniFile() {
    Flush();
    handle_.Close();
}

void TkpIniFile::SetFileName(const std::string& name) {
    Flush();
    handle_.Close();
    sections_.Clear();
    text_.Clear();
    currentSection_ = 0;
    fileName_ = IniFilePath(name);
    if (!fileName_.empty()) Load();
    modified_ = false;
}

void TkpIniFile::Load() {
    currentSection_ = 0;
    handle_.Close();
    if (!platform::FileExists(fileName_)) return;
    if (!handle_.Open(fileName_, options_.readOnly ? platform::OpenMode::ReadShared
                                                   : platform::OpenMode::ReadWriteLocked))
        BRIK_RAISE(EInOutError("Cannot open file " + fileName_));

    // A line ends at a carriage return; line feeds anywhere are dropped, so
    // CR LF and lone CR both end lines while LF alone does not. An object
    // that may write back keeps each line's bytes too, and one line feed
    // right after a carriage return as part of that line's end.
    const bool keepText = KeepsText();
    std::string line;
    std::string raw;
    bool afterCr = false;
    std::vector<char> buf(64 * 1024);
    for (;;) {
        long got = handle_.Read(buf.data(), buf.size());
        if (got <= 0) break;
        const char* p = buf.data();
        const char* end = p + got;
        while (p < end) {
            if (afterCr) {
                afterCr = false;
                const bool lineFeed = *p == '\n';
                if (lineFeed) ++p;
                EndLine(line, raw, lineFeed ? LineEnd::CrLf : LineEnd::Cr);
                continue;
            }
            const char* stop = p;
            while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
            line.append(p, stop);
            if (keepText) raw.append(p, stop);
            if (stop == end) break;
            if (*stop == '\r')
                afterCr = true;
            else if (keepText)
                raw += '\n';
            p = stop + 1;
        }
    }
    if (afterCr)
        EndLine(line, raw, LineEnd::Cr);
    else if (!line.empty() || !raw.empty())
        EndLine(line, raw, LineEnd::None);

    ReduceDuplicateSections();
    if (options_.readOnly) handle_.Close();
}

// Takes one line as read and, when the text is kept, its bytes (both
// buffers are reused for the next line).
void TkpIniFile::EndLine(std::string& line, std::string& raw, LineEnd end) {
    const Parsed parsed = AddLine(line);
    if (!KeepsText()) return;
    const int at = text_.AddLine(std::move(raw), end, parsed == Parsed::Header);
    raw.clear();
    IniSection* section = sections_.Count() > 0 ? &sections_[sections_.Count() - 1] : nullptr;
    if (parsed == Parsed::Header) section->block = text_.LastBlock();
    if (parsed == Parsed::Line) section->text.push_back(at);
}

// Takes one line as read (its buffer is reused for the next one).
TkpIniFile::Parsed TkpIniFile::AddLine(std::string& line) {
    if (line.size() == 1 && line[0] == kEof) line.clear();
    // Trimmed in place: the buffer is reused for the next line.
    const std::string_view kept = Trim(line);
    const size_t begin = static_cast<size_t>(kept.data() - line.data());
    line.erase(begin + kept.size()).erase(0, begin);
    if (options_.stripComments && !line.empty() && line[0] == ';') line.clear();
    if (line.empty()) return Parsed::Dropped;

    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
        sections_.Add(line.substr(1, line.size() - 2));
        line.clear();
        return Parsed::Header;
    }

    // Positions below are 0-based: "position 2 or later" means index >= 1.
    if (options_.trimAroundEquals) {
        size_t eq = line.find('=');
        while (eq != std::string::npos && eq >= 1 && IsBlankOrTab(line[eq - 1])) {
            line.erase(eq - 1, 1);
            --eq;
        }
        if (eq != std::string::npos && eq >= 1) {
            size_t after = eq + 1;
            size_t n = 0;
            while (after + n < line.size() && IsBlankOrTab(line[after + n])) ++n;
            if (n) line.erase(after, n);
        }
    }
    if (options_.stripQuotes) {
        size_t eq = line.find('=');
        if (eq != std::string::npos && eq >= 1) {
            size_t len = line.size();
            // 1-based: L - 1 > p, last char equals the one after "=", and is a quote.
            if (len - 1 > eq + 1 && line[len - 1] == line[eq + 1] &&
                (line[len - 1] == '"' || line[len - 1] == '\'')) {
                line.erase(len - 1, 1);
                line.erase(eq + 1, 1);
            }
        }
    }
    if (options_.skipLinesWithoutEquals && line.find('=') == std::string::npos) {
        line.clear();
        return Parsed::Dropped;
    }
    if (sections_.Count() == 0) {
        line.clear();
        return Parsed::Dropped;
    }
    sections_[sections_.Count() - 1].lines.push_back(std::move(line));
    line.clear();
    return Parsed::Line;
}

void TkpIniFile::ReduceDuplicateSections() {
    const int n = sections_.Count();
    if (n < 2) return;
    struct Entry {
        std::string key;
        int pos;
    };
    std::vector<Entry> order;
    order.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order.push_back({AnsiUpperCase(sections_[i].name), i});
    // Ties are broken by file position, so group members are met in file order.
    std::sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.pos < b.pos;
    });

    std::vector<bool> drop(static_cast<size_t>(n), false);
    bool any = false;
    size_t g = 0;
    while (g < order.size()) {
        size_t h = g + 1;
        int kept = order[g].pos;
        while (h < order.size() && order[h].key == order[g].key) {
            int first = std::min(kept, order[h].pos);
            int second = std::max(kept, order[h].pos);
            bool keepFirst = true;
            if (OnDuplicateSection)
                keepFirst = OnDuplicateSection(sections_[first].name, sections_[first].lines,
                                               sections_[second].lines);
            int loser = keepFirst ? second : first;
            kept = keepFirst ? first : second;
            sections_[loser].lines.clear();
            drop[static_cast<size_t>(loser)] = true;
            any = true;
            ++h;
        }
        g = h;
    }
    if (!any) return;
    auto& items = sections_.Items();
    size_t out = 0;
    for (size_t i = 0; i < items.size(); ++i)
        if (!drop[i]) {
            if (out != i) items[out] = std::move(items[i]);
            ++out;
        }
    items.resize(out);
}

TkpIniFile::KeyRef TkpIniFile::FindKey(std::string_view section, std::string_view key, bool create) {
    KeyRef ref;
    const int n = sections_.Count();
    if (n > 0) {
        int start = currentSection_ < n ? currentSection_ : 0;
        for (int k = 0; k < n; ++k) {
            int i = start + k;
            if (i >= n) i -= n;
            if (platform::CompareTextLocale(sections_[i].name, section) == 0) {
                currentSection_ = i;
                ref.section = i;
                break;
            }
        }
    }
    if (ref.section < 0) {
        if (!create) return ref;
        sections_.Add(std::string(section));
        ref.section = currentSection_ = sections_.Count() - 1;
        if (KeepsText()) sections_[ref.section].block = text_.AppendBlock("[" + std::string(section) + "]");
    }
    IniSection& found = sections_[ref.section];
    const StringList& lines = found.lines;
    if (lines.size() >= kIndexedLines && !HasLeadByte(key)) {
        if (found.indexed != lines.size()) IndexKeys(found);
        const std::string upper = AnsiUpperCase(key);
        const int* at = found.keys.Find(upper);
        // A line changed behind the index's back: index afresh, ask again.
        if (at != nullptr && !LineHasKey(lines[static_cast<size_t>(*at)], key)) {
            IndexKeys(found);
            at = found.keys.Find(upper);
        }
        if (at != nullptr) ref.line = *at;
        return ref;
    }
    for (size_t i = 0; i < lines.size(); ++i)
        if (LineHasKey(lines[i], key)) {
            ref.line = static_cast<int>(i);
            break;
        }
    return ref;
}

std::string TkpIniFile::ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) {
    KeyRef ref = FindKey(section, key, false);
    if (ref.line < 0) return std::string(defaultValue);
    return sections_[ref.section].lines[static_cast<size_t>(ref.line)].substr(key.size() + 1);
}

void TkpIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (key.empty()) {
        if (section.empty() && value.empty())
            UpdateFile();
        else
            EraseSection(section);
        return;
    }
    std::string newLine;
    newLine.reserve(key.size() + 1 + value.size());
    newLine.append(key).append("=").append(value);
    KeyRef ref = FindKey(section, key, true);
    IniSection& target = sections_[ref.section];
    StringList& lines = target.lines;
    // The line set or added is the only one of the file's text that changes.
    const bool keepText = KeepsText() && target.block >= 0;
    if (ref.line < 0) {
        if (keepText) target.text.push_back(text_.InsertLine(target.block, newLine));
        lines.push_back(std::move(newLine));
        // The lookup left the index current: the new key joins it.
        if (target.indexed + 1 == lines.size() && target.indexed >= kIndexedLines) {
            target.keys.TryEmplace(AnsiUpperCase(key), static_cast<int>(lines.size() - 1));
            target.indexed = lines.size();
        }
        modified_ = true;
    } else if (lines[static_cast<size_t>(ref.line)] != newLine) {
        if (keepText) text_.SetLine(target.block, target.text[static_cast<size_t>(ref.line)], newLine);
        lines[static_cast<size_t>(ref.line)] = std::move(newLine);
        modified_ = true;
    }
}

int32_t TkpIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) {
    std::string text = ReadString(section, key, "");
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int32_t value;
    return TryStrToInt(text, value) ? value : defaultValue;
}

void TkpIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool TkpIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TkpIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TkpIniFile::ReadSection(std::string_view section, StringList& names) {
    int i = sections_.IndexOf(section);
    if (i < 0) return;
    for (const std::string& line : sections_[i].lines)
        names.emplace_back(NamePart(line, LineWithoutEquals::HasNoName));
}

void TkpIniFile::ReadSections(StringList& names) {
    names.clear();
    for (const IniSection& s : sections_.Items()) names.push_back(s.name);
}

void TkpIniFile::ReadSectionValues(std::string_view section, StringList& values) {
    int i = sections_.IndexOf(section);
    if (i < 0) return;
    const StringList& lines = sections_[i].lines;
    StringList merged(lines.begin(), lines.end());
    if (!values.empty()) {
        // Callers pass defaults here; a set keeps the merge linear for big sections.
        NameIndex names;
        names.Reserve(lines.size());
        // A line without "=" counts as named "", as in section listings.
        const auto name = [](std::string_view line) {
            return AnsiUpperCase(NamePart(line, LineWithoutEquals::HasNoName));
        };
        for (const std::string& line : lines) names.TryEmplace(name(line), 0);
        for (std::string& old : values)
            if (!names.Contains(name(old))) merged.push_back(std::move(old));
    }
    values = std::move(merged);
}

void TkpIniFile::WriteSectionValues(std::string_view section, const StringList& values) {
    for (const std::string& line : values) WriteString(section, NamePart(line), ValuePart(line));
}

void TkpIniFile::EraseSection(std::string_view section) {
    int i = sections_.IndexOf(section);
    if (i < 0) return;
    if (KeepsText() && sections_[i].block >= 0) text_.EraseBlock(sections_[i].block);
    sections_.Delete(i);
    sections_.LastFound = 0;
    currentSection_ = 0;
    modified_ = true;
}

void TkpIniFile::DeleteKey(std::string_view section, std::string_view key) {
    KeyRef ref = FindKey(section, key, false);
    if (ref.line < 0) return;
    IniSection& target = sections_[ref.section];
    if (KeepsText() && target.block >= 0) {
        const auto at = target.text.begin() + ref.line;
        text_.EraseLine(target.block, *at);
        for (auto later = target.text.erase(at); later != target.text.end(); ++later) --*later;
    }
    target.lines.erase(target.lines.begin() + ref.line);
    // The lines after it moved up: the index is rebuilt when next needed.
    target.indexed = static_cast<size_t>(-1);
    modified_ = true;
}

void TkpIniFile::GetStrings(StringList& lines) {
    for (const IniSection& s : sections_.Items()) {
        if (s.lines.empty()) continue;
        lines.push_back("[" + s.name + "]");
        lines.insert(lines.end(), s.lines.begin(), s.lines.end());
        lines.emplace_back();
    }
}

bool TkpIniFile::SectionIsBare(std::string_view section) {
    const int i = sections_.IndexOf(section);
    if (i < 0) return true;
    if (!KeepsText() || sections_[i].block < 0) return sections_[i].lines.empty();
    return text_.IsBare(sections_[i].block);
}

bool TkpIniFile::UpdateFile() { return Flush(); }

bool TkpIniFile::Flush() {
    if (!modified_) return true;
    bool ok = true;
    if (!fileName_.empty() && !options_.readOnly) {
        if (!handle_.IsOpen()) {
            platform::ForceDirectories(platform::ExtractFilePath(fileName_));
            handle_.Open(fileName_, platform::OpenMode::WriteLocked);
        }
        ok = false;
        if (handle_.IsOpen()) {
            // The whole text is built first and written in one go, so a failing
            // disk cannot leave a file that ends in the middle of a line.
            const std::string text = text_.Render();
            ok = handle_.Rewind() && handle_.Write(text.data(), text.size()) && handle_.Truncate();
        }
    }
    modified_ = false;
    return ok;
}

// ---------------------------------------------------------------------------
// The cache

namespace {

bool gStripQuotes = true;
constexpr bool kSetupFilesStripQuotes = false;

// Every object the cache or a setup-file reader makes; only these options
// differ between them.
std::unique_ptr<TkpIniFile> NewIniFile(const std::string& fileName, bool readOnly, bool stripQuotes) {
    return std::make_unique<TkpIniFile>(fileName, IniOptions{.readOnly = readOnly, .stripQuotes = stripQuotes});
}

class IniCache {
public:
    ~IniCache() { CloseAll(); }

    TkpIniFile& Get(const std::string& fileName, bool readOnly) {
        std::string key = AnsiUpperCase(fileName);
        auto it = FindFile(key);
        if (it != files_.end()) {
            if (!(it->second->ReadOnly() && !readOnly)) return *it->second;
            files_.erase(it);  // flushes; a read-write object replaces it
        }
        auto object = NewIniFile(fileName, readOnly, gStripQuotes);
        TkpIniFile& ref = *object;
        files_.emplace_back(std::move(key), std::move(object));
        return ref;
    }

    void Close(const std::string& fileName) {
        auto it = FindFile(AnsiUpperCase(fileName));
        if (it != files_.end()) files_.erase(it);
    }

    void CloseAll() {
        // Objects are destroyed one by one so that each flush sees a
        // consistent cache.
        while (!files_.empty()) files_.erase(files_.begin());
    }

private:
    using Files = std::vector<std::pair<std::string, std::unique_ptr<TkpIniFile>>>;

    Files::iterator FindFile(const std::string& key) {
        auto it = files_.begin();
        while (it != files_.end() && it->first != key) ++it;
        return it;
    }

    // A setup keeps a handful of files open: a list is enough (and keeps
    // the C++ library's compiled tree code out of the shipped programs).
    Files files_;
};

IniCache& Cache() {
    static IniCache cache;
    return cache;
}

}  // namespace

TkpIniFile& GetIniFile(const std::string& fileName, bool readOnly) {
    return Cache().Get(fileName, readOnly);
}

std::string IniReadString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
    return GetIniFile(file, true).ReadString(section, key, defaultValue);
}

int32_t IniReadInteger(const std::string& file, std::string_view section, std::string_view key,
                       int32_t defaultValue) {
    std::string text = IniReadString(file, section, key, std::to_string(defaultValue));
    int32_t value;
    return TryStrToInt(text, value) ? value : defaultValue;
}

bool IniReadBool(const std::string& file, std::string_view section, std::string_view key,
                 bool defaultValue) {
    return IniReadString(file, section, key, defaultValue ? "1" : "0") == "1";
}

void IniReadSections(const std::string& file, StringList& names) {
    GetIniFile(file, true).ReadSections(names);
}

void IniReadSection(const std::string& file, std::string_view section, StringList& names) {
    GetIniFile(file, true).ReadSection(section, names);
}

void IniReadSectionValues(const std::string& file, std::string_view section, StringList& values) {
    GetIniFile(file, true).ReadSectionValues(section, values);
}

bool IniWriteString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value) {
    GetIniFile(file, false).WriteString(section, key, value);
    return true;
}

void CloseIniFile(const std::string& file) { Cache().Close(file); }

void CloseAllIniFiles() { Cache().CloseAll(); }

void SetIniStripQuotes(bool strip) { gStripQuotes = strip; }

void UseSetupFileReading() { SetIniStripQuotes(kSetupFilesStripQuotes); }

std::unique_ptr<TkpIniFile> OpenSetupFile(const std::string& path) {
    return NewIniFile(path, true, kSetupFilesStripQuotes);
}

}  // namespace brik
