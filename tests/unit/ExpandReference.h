// The expansion passes written out literally: every line of the store, in
// order, replaced over the whole working text in every pass. Slow on
// purpose; the store's indexed expansion must give the same results.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/kpStrUtils.h"

namespace brik::test {

inline std::string Upper1251(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperCase1251(c);
    return out;
}

// False (and `result` the input) when the text still changed in the last
// allowed pass or grew by more than `maxGrowth`. Lines without a name take no
// part.
inline bool ExpandLiterally(const std::vector<std::string>& lines, std::string_view text,
                            std::string& result, size_t maxGrowth = size_t{1} << 20,
                            int maxPasses = 100) {
    std::string work(text);
    for (int passes = 0;;) {
        bool changed = false;
        if (work.find('%') != std::string::npos) {
            for (const std::string& line : lines) {
                const std::string name(NamePart(line));
                if (name.empty()) continue;
                const std::string pattern = "%" + name + "%";
                if (Upper1251(work).find(Upper1251(pattern)) == std::string::npos) continue;
                // A hit inside a double-byte character is none.
                if (ReplaceAllNoCase(work, pattern, "").size() == work.size()) continue;
                work = ReplaceAllNoCase(work, pattern, ValuePart(line));
                if (work.size() > text.size() + maxGrowth) {
                    result.assign(text);
                    return false;
                }
                changed = true;
            }
        }
        if (++passes > maxPasses) {
            result.assign(text);
            return false;
        }
        if (!changed) {
            result = std::move(work);
            return true;
        }
    }
}

}  // namespace brik::test
