// Expands 2,000 script lines against an environment-sized store of 300
// variables with references nested three deep, and reports the time per line
// of the indexed expansion beside the literal passes. Lines without "%" are
// timed against stores of 30, 300 and 3,000 variables: their cost must not
// depend on the store's size.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "ExpandReference.h"
#include "config/Variables.h"

namespace {

using brik::StringList;

// Environment strings, built-in folders and the setup's own variables, the
// referenced ones spread over the list so that some lines take extra passes.
StringList MakeStore(int size) {
    StringList store;
    for (int i = 0; std::ssize(store) < size - 26; ++i)
        store.push_back("ENV_VARIABLE_" + std::to_string(i) + "=C:\\Some\\Folder\\" + std::to_string(i));
    auto insertAt = [&](std::ptrdiff_t at, std::string line) {
        store.insert(store.begin() + std::min(at, std::ssize(store)), std::move(line));
    };
    insertAt(10, "InstallPath=%ProgramFiles%\\%ProgramName%");
    insertAt(40, "ProgramFiles=C:\\Program Files");
    insertAt(120, "System=C:\\WINDOWS\\SYSTEM32");
    store.push_back("ProgramName=Brisk Demo");
    for (int k = 0; k < 20; ++k) {
        // Third level: AppDir<k> -> InstallPath -> ProgramFiles, ProgramName.
        store.push_back("AppDir" + std::to_string(k) + "=%InstallPath%\\Module" + std::to_string(k));
    }
    store.push_back("Shared=%CommonFiles%\\Brisk");
    store.push_back("CommonFiles=%ProgramFiles%\\Common Files");
    return store;
}

StringList MakeLines(int count) {
    StringList lines;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 5) {
            case 0: lines.push_back("bin\\file" + n + ".dll=%AppDir" + std::to_string(i % 20) + "%\\bin,1,0"); break;
            case 1: lines.push_back("%System%\\lib" + n + ".dll=%Shared%\\lib" + n + ".dll,2"); break;
            case 2: lines.push_back("HKLM\\SOFTWARE\\Brisk\\%ProgramName%\\Key" + n + ",Path,%InstallPath%"); break;
            case 3: lines.push_back("Readme" + n + ".txt=%AppDir3%\\doc\\%Unknown%\\100%"); break;
            default: lines.push_back("data\\plain\\file" + n + ".dat=data\\plain,0,0"); break;
        }
    }
    return lines;
}

template <typename F>
double BestNsPerLine(const StringList& lines, int rounds, F expand) {
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        size_t sink = 0;
        for (const std::string& line : lines) sink += expand(line).size();
        const auto stop = std::chrono::steady_clock::now();
        if (sink == 0) std::fprintf(stderr, "nothing expanded\n");
        best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count() /
                                  static_cast<double>(lines.size()));
    }
    return best;
}

}  // namespace

int main() {
    const StringList store = MakeStore(300);
    const StringList lines = MakeLines(2000);
    brik::VariableList.Assign(store);

    for (const std::string& line : lines) {
        std::string literal;
        brik::test::ExpandLiterally(store, line, literal);
        if (brik::ExpandVariables(line) != literal) {
            std::fprintf(stderr, "results differ for %s\n", line.c_str());
            return 1;
        }
    }

    const double fast = BestNsPerLine(lines, 20, [](const std::string& s) { return brik::ExpandVariables(s); });
    const double literal = BestNsPerLine(lines, 3, [&](const std::string& s) {
        std::string out;
        brik::test::ExpandLiterally(store, s, out);
        return out;
    });
    std::printf("ExpandVariables, %zu variables, %zu script lines (references three deep)\n", store.size(),
                lines.size());
    std::printf("  indexed passes  %9.0f ns per line\n", fast);
    std::printf("  literal passes  %9.0f ns per line (%.0fx)\n", literal, literal / fast);

    StringList plain;
    for (const std::string& line : lines)
        if (line.find('%') == std::string::npos) plain.push_back(line);
    std::printf("lines without %%:\n");
    for (int size : {30, 300, 3000}) {
        brik::VariableList.Assign(MakeStore(size));
        const double ns = BestNsPerLine(plain, 20, [](const std::string& s) { return brik::ExpandVariables(s); });
        std::printf("  %5d variables  %9.0f ns per line\n", size, ns);
    }
    return 0;
}
