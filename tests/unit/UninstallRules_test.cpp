#include "uninstall/UninstallRules.h"

#include <gtest/gtest.h>

#include <map>

namespace brik {
namespace {

TEST(UninstallRules, TextsFromTheLogOrOurs) {
    const std::map<int, std::string> own = {{kTextQuestion, "Remove %s (100%s sure)?||Really?"},
                                            {kTextRemoved, ""}};
    const TTextLookup lookup = [&own](int n) -> std::optional<std::string> {
        const auto it = own.find(n);
        return it == own.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    // The log's text, every %s filled and || a line break; a %s in the
    // argument stays as it is.
    EXPECT_EQ(UninstallText(lookup, kTextQuestion, "App %s"), "Remove App %s (100App %s sure)?\r\nReally?");
    // An empty text of the log, a missing one, or no log at all: ours.
    EXPECT_EQ(UninstallText(lookup, kTextRemoved, "App"), "App was removed from your computer.");
    EXPECT_EQ(UninstallText(lookup, kTextCaption, "App"), "Uninstall App");
    EXPECT_EQ(UninstallText(nullptr, kTextLogMissing, "C:\\x.log"),
              "Cannot read the install log \"C:\\x.log\". Nothing was removed.");
    for (int n = 1; n <= kTextLast; ++n) EXPECT_FALSE(DefaultUninstallText(n).empty()) << n;
    EXPECT_TRUE(DefaultUninstallText(kTextLast + 1).empty());
}

TEST(UninstallRules, CommandLines) {
    struct Case {
        const char* line;
        const char* log;
        unsigned long original;
    };
    const Case cases[] = {
        {R"("C:\Program Files\App\install.log")", R"(C:\Program Files\App\install.log)", 0},
        // An unquoted path with blanks is taken whole.
        {R"(  C:\Program Files\App\install.log  )", R"(C:\Program Files\App\install.log)", 0},
        {R"("C:\App\install.log" ignored)", R"(C:\App\install.log)", 0},
        {"", "", 0},
        {R"(/original=1234 "C:\A b\install.log")", R"(C:\A b\install.log)", 1234},
        {R"(/ORIGINAL=7 C:\install.log)", R"(C:\install.log)", 7},
        // Not a number: no original to wait for, and the rest is still the log.
        {R"(/original=12x "C:\install.log")", R"(C:\install.log)", 0},
        {"/original=", "/original=", 0},
    };
    for (const Case& c : cases) {
        const TUninstallArguments args = ParseUninstallArguments(c.line);
        EXPECT_EQ(args.logPath, c.log) << c.line;
        EXPECT_EQ(args.originalProcess, c.original) << c.line;
    }
    // What the uninstaller gives its copy, it reads back.
    const std::string line = CopyCommandLine(R"(C:\Temp\~BrikUn1\UnInst.exe)", 88, R"(C:\Program Files\App\install.log)");
    EXPECT_EQ(line, R"("C:\Temp\~BrikUn1\UnInst.exe" /original=88 "C:\Program Files\App\install.log")");
    const TUninstallArguments back = ParseUninstallArguments(line.substr(line.find(' ') + 1));
    EXPECT_EQ(back.logPath, R"(C:\Program Files\App\install.log)");
    EXPECT_EQ(back.originalProcess, 88u);
}

}  // namespace
}  // namespace brik
