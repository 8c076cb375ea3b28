#include "util/Platform.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace brik::platform {
namespace {

// The folders asked about, in order, and the first link found among them.
TEST(FirstLinkBelow, AsksEachFolderBelowTheBaseOutermostFirst) {
    struct Case {
        const char* what;
        const char* base;
        const char* path;
        bool withLast;
        std::set<std::string> links;
        const char* found;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {"nothing below the base is a link", "C:\\App", "C:\\App\\a\\b\\f.txt", true, {},
         "", {"C:\\App\\a", "C:\\App\\a\\b", "C:\\App\\a\\b\\f.txt"}},
        {"a base with its delimiter", "C:\\App\\", "C:\\App\\a\\f.txt", false, {},
         "", {"C:\\App\\a"}},
        {"the base and what is above it are taken as given", "C:\\App", "C:\\App\\f.txt", true,
         {"C:", "C:\\App"}, "", {"C:\\App\\f.txt"}},
        {"the first link stops the walk", "C:\\App", "C:\\App\\sub\\deeper\\f.txt", false,
         {"C:\\App\\sub", "C:\\App\\sub\\deeper"}, "C:\\App\\sub", {"C:\\App\\sub"}},
        {"a linked file, when asked", "C:\\App", "C:\\App\\sub\\f.txt", true, {"C:\\App\\sub\\f.txt"},
         "C:\\App\\sub\\f.txt", {"C:\\App\\sub", "C:\\App\\sub\\f.txt"}},
        {"a linked file, when not asked", "C:\\App", "C:\\App\\f.txt", false, {"C:\\App\\f.txt"}, "", {}},
        {"a folder named with its delimiter is asked once", "C:\\App", "C:\\App\\sub\\", true,
         {"C:\\App\\sub"}, "C:\\App\\sub", {"C:\\App\\sub"}},
        {"the base itself", "C:\\App", "C:\\App", true, {"C:\\App"}, "", {}},
        {"a one-letter folder", "C:\\", "C:\\a\\f", false, {"C:\\a"}, "C:\\a", {"C:\\a"}},
        {"POSIX delimiters", "/tmp/out", "/tmp/out/x/y/f", false, {"/tmp/out/x/y"}, "/tmp/out/x/y",
         {"/tmp/out/x", "/tmp/out/x/y"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> asked;
        const std::string found = FirstLinkBelow(c.base, c.path, c.withLast, [&](const std::string& path) {
            asked.push_back(path);
            return c.links.count(path) != 0;
        });
        EXPECT_EQ(found, c.found) << c.what;
        EXPECT_EQ(asked, c.asked) << c.what;
    }
}

}  // namespace
}  // namespace brik::platform
