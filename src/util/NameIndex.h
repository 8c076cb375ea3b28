// Names to line numbers, for the lookups of variables and INI merges: a small
// hash table of our own instead of std::unordered_map, whose compiled part in
// the C++ library (hashing, bucket sizing) would otherwise come prebuilt,
// for a later processor, into the shipped programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brik {

class NameIndex {
public:
    // The value stored under `name`; when there is none, stores `value` there
    // first. The bool tells whether it did. The pointer stays valid until
    // the next insertion or Clear.
    std::pair<int*, bool> TryEmplace(std::string name, int value);
    // The value stored under `name`, or null.
    const int* Find(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }
    void Clear();
    void Reserve(std::size_t count);

private:
    std::size_t SlotOf(std::string_view name) const;
    void Rehash(std::size_t slotCount);

    std::vector<std::pair<std::string, int>> entries_;
    // Open addressing over a power-of-two table: entry number + 1, 0 = free.
    std::vector<uint32_t> slots_;
};

}  // namespace brik
