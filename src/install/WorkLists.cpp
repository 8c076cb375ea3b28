#include "install/WorkLists.h"

#include "util/kpStrUtils.h"

namespace brik {

void TWorkList::Set(std::string name, std::string value) {
    auto [position, added] = index_.TryEmplace(AnsiUpperCase(name), static_cast<int>(entries_.size()));
    if (!added) {
        entries_[static_cast<size_t>(*position)].value = std::move(value);
        return;
    }
    entries_.push_back({std::move(name), std::move(value)});
}

void TWorkList::Append(std::string name, std::string value) {
    index_.TryEmplace(AnsiUpperCase(name), static_cast<int>(entries_.size()));
    entries_.push_back({std::move(name), std::move(value)});
}

const TWorkList::TEntry* TWorkList::Find(std::string_view name) const {
    const int* position = index_.Find(AnsiUpperCase(name));
    return position != nullptr ? &entries_[static_cast<size_t>(*position)] : nullptr;
}

void TWorkList::Clear() {
    entries_.clear();
    index_.Clear();
}

void TWorkLists::Clear() {
    for (TWorkList* list : {&PackageFileList, &ExternalFileList, &DeleteFileList, &RegAddList, &RegDeleteList,
                            &ShortcutList, &IniAddList, &RunList, &UninstallSectionList, &ComServerList, &FontList})
        list->Clear();
}

}  // namespace brik
