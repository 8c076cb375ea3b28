// The install's work lists: what the install scripts ask for, read once
// before anything changes, and what the copy phase adds for the later steps.
// The steps after the reading see only these lists, never the scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/NameIndex.h"

namespace brik {

// Ordered name=value entries whose names compare without regard to case.
// Set replaces an entry of the same name in place, so a later script (or
// the language's section) overrides an earlier line and the order of first
// appearance stays.
class TWorkList {
public:
    struct TEntry {
        std::string name;
        std::string value;
    };

    void Set(std::string name, std::string value);
    // Added even when the name is there already (the lists the copy phase
    // fills: one entry per file written).
    void Append(std::string name, std::string value);
    // The entry of that name, or null.
    const TEntry* Find(std::string_view name) const;

    const std::vector<TEntry>& Entries() const { return entries_; }
    bool Empty() const { return entries_.empty(); }
    size_t Size() const { return entries_.size(); }
    void Clear();

private:
    std::vector<TEntry> entries_;
    NameIndex index_;  // upper-cased name -> position of its first entry
};

struct TWorkLists {
    TWorkList PackageFileList;       // "Data\" + source = destination[,flags]
    TWorkList ExternalFileList;      // source on disk = destination[,flags]
    TWorkList DeleteFileList;        // folder\mask of files to delete
    TWorkList RegAddList;            // key\value = data[,type[,flags]]
    TWorkList RegDeleteList;         // key\value or key\subkey
    TWorkList ShortcutList;          // folder\name = the shortcut's fields
    TWorkList IniAddList;            // file,section,key = data[,flags]
    TWorkList RunList;               // name = the program's fields
    TWorkList UninstallSectionList;  // script,section
    TWorkList ComServerList;         // path = at once,log
    TWorkList FontList;              // font name = path,written path,log
    void Clear();
};

}  // namespace brik
