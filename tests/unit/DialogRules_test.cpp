#include <gtest/gtest.h>

#include <string>

#include "ui/DialogRules.h"

namespace brik {
namespace {

TEST(DialogRules, TextValueQuoteRules) {
    struct Case {
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"Next >", "Next >"},
        {"", ""},
        {"\" Installation directory \"", " Installation directory "},
        {"\"say \"\"yes\"\" here\"", "say \"yes\" here"},
        {"\"kept\" dropped after the quote", "kept"},
        {"\"unclosed runs to the end", "unclosed runs to the end"},
        {"\"\"", ""},
        {"\"\"\"\"", "\""},
        {"not \"quoted\" at the start", "not \"quoted\" at the start"},
        {"\"a||b\"", "a||b"},
    };
    for (const Case& c : cases) EXPECT_EQ(DialogTextValue(c.value), c.expected) << c.value;
}

TEST(DialogRules, ControlIdFromKey) {
    struct Case {
        const char* key;
        int expected;
    };
    const Case cases[] = {
        {"101", 101}, {"0", 0},        {"Caption", 0}, {"Title", 0}, {"", 0},        {"12a", 0},
        {"-5", 0},    {"65535", 65535}, {"65536", 0},   {"999999", 0}, {"$66", 0},    {" 102", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(DialogControlId(c.key), c.expected) << c.key;
}

TEST(DialogRules, PlacementCodes) {
    struct Case {
        int code, area, size, expected;
    };
    const Case cases[] = {
        {0, 1024, 400, 64},          // a sixteenth in
        {0, 1023, 400, 63},          // truncated
        {1, 1024, 400, 312},         // centred
        {1, 1023, 400, 311},         // halves truncated
        {1, 300, 400, -50},          // larger than the area: truncated toward zero
        {1, 301, 400, -49},
        {2, 1024, 400, 560},         // a sixteenth from the far edge
        {2, 768, 500, 220},
        {9, 1024, 400, 0},           // any other code: at the edge
        {-1, 1024, 400, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogOffset(c.code, c.area, c.size), c.expected) << c.code << " " << c.area << " " << c.size;
}

TEST(DialogRules, LinkTextRestoredFromScrambledBytes) {
    const std::string_view stored = ScrambledLinkText();
    EXPECT_EQ(stored.find("Brisk"), std::string_view::npos);
    const std::string text = RestoreLinkText(stored);
    EXPECT_EQ(text, "Brisk Installer|https://brisk-installer.example/");
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        EXPECT_EQ(RestoreLinkByte(ScrambleLinkByte(c)), c);
    }
}

}  // namespace
}  // namespace brik
