// Feeds arbitrary variable stores and texts to the %Name% expansion. The
// input is the store's Name=Value lines, a zero byte, and the text. An
// expansion that succeeds must be a fixed point: expanding its result again
// changes nothing. Every line's name must be found at or before that line,
// whichever way its case is written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/Variables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view store = input.substr(0, split);
    const std::string_view text = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    brik::StringList lines;
    size_t start = 0;
    while (start <= store.size()) {
        const size_t end = store.find('\n', start);
        lines.emplace_back(store.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    brik::TVariableList list;
    list.Assign(lines);
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& line = list.Lines()[static_cast<size_t>(i)];
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        const int found = list.IndexOf(std::string_view(line).substr(0, eq));
        if (found < 0 || found > i) std::abort();
    }

    // Small growth limit: runaway texts fail fast instead of filling memory.
    constexpr size_t kGrowth = 1 << 16;
    std::string once;
    if (list.Expand(text, once, kGrowth)) {
        std::string twice;
        if (!list.Expand(once, twice, kGrowth) || twice != once) std::abort();
    } else if (once != text) {
        std::abort();  // a failed expansion gives the text back unexpanded
    }

    // Changing one value keeps the index consistent for the next expansion.
    if (!lines.empty()) {
        list.Set("Fuzz", text);
        if (list.IndexOf("FUZZ") < 0) std::abort();
        std::string again;
        list.Expand("%fuzz%", again, kGrowth);
    }
    return 0;
}
