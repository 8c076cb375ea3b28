#include "builder/FileInfo.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "FileImages.h"

namespace brik {
namespace {

using test::Image;
using test::MakeFont;
using test::MakeNe;
using test::MakePe;
using test::NameRecord;
using test::PutFont;

std::string Version(const std::vector<uint8_t>& bytes) {
    cab::MemorySource source(bytes.data(), bytes.size());
    return FileVersionText(source);
}

bool Font(const std::vector<uint8_t>& bytes, const std::string& fileName, std::string& name, int codePage = 1252) {
    cab::MemorySource source(bytes.data(), bytes.size());
    std::string problem;
    return FontRegistryName(source, fileName, codePage, name, problem);
}

TEST(FileInfo, VersionFromPeResources) {
    EXPECT_EQ(Version(MakePe((1u << 16) | 2, (3u << 16) | 4)), "1.2.3.4");
    EXPECT_EQ(Version(MakePe((65535u << 16) | 0, 7, true)), "65535.0.0.7");
    // A resource of another type, a damaged signature, no image at all.
    EXPECT_EQ(Version(MakePe(1, 1, false, 3)), "");
    std::vector<uint8_t> bad = MakePe(1, 1);
    bad[0x200 + 0x58 + 40] ^= 1;
    EXPECT_EQ(Version(bad), "");
    EXPECT_EQ(Version({'M', 'Z'}), "");
    EXPECT_EQ(Version(std::vector<uint8_t>(100, 0)), "");
}

TEST(FileInfo, VersionFromNeResources) {
    EXPECT_EQ(Version(MakeNe("KERNEL", false, true)), "3.10.0.1");
    EXPECT_EQ(Version(MakeNe("KERNEL", true, false)), "");
}

TEST(FileInfo, DamagedImagesGiveNothingAndNeverCrash) {
    // Every prefix, and many random corruptions, of both kinds of image.
    const std::vector<std::vector<uint8_t>> images = {MakePe(0x10002, 0x30004), MakePe(1, 2, true),
                                                      MakeNe("FONTRES 100,96,96 : Courier 10,12", true, true)};
    std::mt19937 random(12345);
    for (const auto& image : images) {
        for (size_t n = 0; n < image.size(); n += 3) {
            std::vector<uint8_t> prefix(image.begin(), image.begin() + static_cast<long>(n));
            Version(prefix);
            std::string name;
            Font(prefix, "x.fon", name);
        }
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> damaged = image;
            for (int k = 0; k < 4; ++k) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
            Version(damaged);
            std::string name;
            Font(damaged, "x.fon", name);
        }
    }
}

TEST(FileInfo, FontRegistryNames) {
    const std::vector<NameRecord> names = {
        {1, 0, 0, 4, u"Mac Name"},
        {3, 1, 0x0407, 4, u"Testschrift Fett"},
        {3, 1, 0x0409, 4, u"Test Sans Bold"},
        {3, 1, 0x0409, 1, u"Test Sans"},
    };
    struct Case {
        uint32_t version;
        const char* file;
        const char* expected;
    } cases[] = {
        // The engine adds " (TrueType)" to the name of a .ttf file itself.
        {0x00010000, "fonts\\TestSans.TTF", "Test Sans Bold"},
        {0x4F54544F, "fonts\\TestSans.otf", "Test Sans Bold (OpenType)"},
        {0x00010000, "TestSans.otf", "Test Sans Bold (TrueType)"},
    };
    for (const Case& c : cases) {
        std::string name;
        ASSERT_TRUE(Font(MakeFont(c.version, names), c.file, name)) << c.file;
        EXPECT_EQ(name, c.expected) << c.file;
    }

    // Another language, then the Macintosh record, when no better one exists.
    std::string name;
    ASSERT_TRUE(Font(MakeFont(0x00010000, {names[0], names[1]}), "a.ttf", name));
    EXPECT_EQ(name, "Testschrift Fett");
    ASSERT_TRUE(Font(MakeFont(0x00010000, {names[0]}), "a.ttf", name));
    EXPECT_EQ(name, "Mac Name");
    EXPECT_FALSE(Font(MakeFont(0x00010000, {names[3]}), "a.ttf", name));
    EXPECT_FALSE(Font({'j', 'u', 'n', 'k', 0, 0}, "a.ttf", name));
}

TEST(FileInfo, FontNamesInTheCodePage) {
    const std::vector<uint8_t> german = MakeFont(0x00010000, {{3, 1, 0x409, 4, u"M\u00fcller Grotesk"}});
    std::string name;
    ASSERT_TRUE(Font(german, "m.ttf", name, 1252));
    EXPECT_EQ(name, "M\xfcller Grotesk");
    const std::vector<uint8_t> russian = MakeFont(0x00010000, {{3, 1, 0x419, 4, u"\u0428\u0440\u0438\u0444\u0442"}});
    EXPECT_FALSE(Font(russian, "r.ttf", name, 1252));
    ASSERT_TRUE(Font(russian, "r.ttf", name, 1251));
    EXPECT_EQ(name, "\xd8\xf0\xe8\xf4\xf2");
}

TEST(FileInfo, FontCollectionNamesEveryFont) {
    Image im;
    im.Text(0, "ttcf");
    im.Be32(4, 0x00010000);
    im.Be32(8, 2);
    im.Be32(12, 64);
    im.Be32(16, 512);
    PutFont(im, 64, 0x00010000, {{3, 1, 0x409, 4, u"Alpha"}}, 128);
    PutFont(im, 512, 0x00010000, {{3, 1, 0x409, 4, u"Beta"}}, 576);
    std::string name;
    ASSERT_TRUE(Font(im.b, "ab.ttc", name));
    EXPECT_EQ(name, "Alpha & Beta (TrueType)");
}

TEST(FileInfo, FonNamesFromDescriptionOrFontDirectory) {
    std::string name;
    ASSERT_TRUE(Font(MakeNe("FONTRES 100,96,96 : Courier 10,12,15", true), "COURE.FON", name));
    EXPECT_EQ(name, "Courier 10,12,15");
    // Without a font description: the first face and its sizes.
    ASSERT_TRUE(Font(MakeNe("some module", true), "coure.fon", name));
    EXPECT_EQ(name, "Courier 10,12");
    EXPECT_FALSE(Font(MakeNe("some module", false), "coure.fon", name));
    EXPECT_TRUE(IsFontFile("a\\b.TTC"));
    EXPECT_FALSE(IsFontFile("fon\\readme"));
}

}  // namespace
}  // namespace brik
