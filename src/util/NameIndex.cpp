#include "util/NameIndex.h"

namespace brik {

namespace {

// FNV-1a: short names, few collisions, no table.
std::size_t Hash(std::string_view name) {
    uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

}  // namespace

// The slot that holds `name`, or the free slot where it would go.
std::size_t NameIndex::SlotOf(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = Hash(name) & mask;; slot = (slot + 1) & mask) {
        const uint32_t entry = slots_[slot];
        if (entry == 0 || entries_[entry - 1].first == name) return slot;
    }
}

void NameIndex::Rehash(std::size_t slotCount) {
    slots_.assign(slotCount, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        slots_[SlotOf(entries_[i].first)] = static_cast<uint32_t>(i + 1);
}

void NameIndex::Reserve(std::size_t count) {
    std::size_t slotCount = 16;
    while (slotCount < count * 2) slotCount *= 2;
    entries_.reserve(count);
    if (slotCount > slots_.size()) Rehash(slotCount);
}

std::pair<int*, bool> NameIndex::TryEmplace(std::string name, int value) {
    // At most half full: probe runs stay short.
    if ((entries_.size() + 1) * 2 > slots_.size()) Rehash(slots_.empty() ? 16 : slots_.size() * 2);
    const std::size_t slot = SlotOf(name);
    if (slots_[slot] != 0) return {&entries_[slots_[slot] - 1].second, false};
    entries_.emplace_back(std::move(name), value);
    slots_[slot] = static_cast<uint32_t>(entries_.size());
    return {&entries_.back().second, true};
}

const int* NameIndex::Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const uint32_t entry = slots_[SlotOf(name)];
    return entry == 0 ? nullptr : &entries_[entry - 1].second;
}

void NameIndex::Clear() {
    entries_.clear();
    slots_.clear();
}

}  // namespace brik
