#include "install/RollbackJournal.h"

#include <algorithm>

#include "util/kpStrUtils.h"

namespace brik {

namespace {

// A name of the delayed-move list as a plain path: the system's "\??\"
// prefix and the "!" of a replaceable target go.
std::string ValueKey(std::string_view key, std::string_view name) {
    std::string both = AnsiUpperCase(key);
    both += '\0';
    both += AnsiUpperCase(name);
    return both;
}

std::string_view PlainMoveName(std::string_view name) {
    if (!name.empty() && name.front() == '!') name.remove_prefix(1);
    if (name.size() >= 4 && name.substr(0, 4) == "\\??\\") name.remove_prefix(4);
    return name;
}

}  // namespace

void TRollbackJournal::Start(bool enabled) {
    enabled_ = enabled;
    entries_.clear();
    files_.Clear();
    values_.Clear();
    logPath_.clear();
    logKept_.clear();
}

void TRollbackJournal::Add(TRollbackEntry entry) {
    if (!enabled_) return;
    if (entry.kind == TRollbackKind::CreatedFile || entry.kind == TRollbackKind::ReplacedFile)
        files_.TryEmplace(AnsiUpperCase(entry.path), 0);
    if (entry.kind == TRollbackKind::RegValue) values_.TryEmplace(ValueKey(entry.path, entry.name), 0);
    entries_.push_back(std::move(entry));
}

bool TRollbackJournal::Covers(std::string_view path) const { return files_.Contains(AnsiUpperCase(path)); }

bool TRollbackJournal::CoversValue(std::string_view key, std::string_view name) const {
    return values_.Contains(ValueKey(key, name));
}

void TRollbackJournal::SetLog(std::string path, std::string kept) {
    if (!enabled_) return;
    logPath_ = std::move(path);
    logKept_ = std::move(kept);
}

std::vector<TRollbackEntry> TRollbackJournal::TakeUndoOrder() {
    std::vector<TRollbackEntry> order(std::make_move_iterator(entries_.rbegin()),
                                      std::make_move_iterator(entries_.rend()));
    Start(enabled_);
    return order;
}

std::vector<std::string> TRollbackJournal::TakeKeptFiles() {
    std::vector<std::string> kept;
    if (!logKept_.empty()) kept.push_back(logKept_);
    for (const TRollbackEntry& e : entries_)
        if (e.kind == TRollbackKind::ReplacedFile && !e.kept.empty()) kept.push_back(e.kept);
    Start(enabled_);
    return kept;
}

std::string WithoutDelayedMoves(std::string_view list, const std::vector<std::string>& sources) {
    std::string left;
    size_t at = 0;
    const auto next = [&]() -> std::string_view {
        if (at >= list.size()) return {};
        const size_t end = std::min(list.find('\0', at), list.size());
        const std::string_view name = list.substr(at, end - at);
        at = end + 1;
        return name;
    };
    while (at < list.size()) {
        const std::string_view source = next();
        // An empty source is the list's end.
        if (source.empty()) break;
        const std::string_view target = next();
        const std::string_view plain = PlainMoveName(source);
        if (std::any_of(sources.begin(), sources.end(), [&](const std::string& s) { return SameText(plain, s); }))
            continue;
        left.append(source);
        left += '\0';
        left.append(target);
        left += '\0';
    }
    if (!left.empty()) left += '\0';
    return left;
}

}  // namespace brik
