// brikpack extract over a folder that already holds files: what was there
// survives a failed extract, links are never followed below the target
// folder, and no temporary file stays behind.
#include "builder/Extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "CabBuilder.h"
#include "TestUtil.h"

namespace brik {
namespace {

namespace fs = std::filesystem;
using test::CabBuilder;

// Names of everything below `dir`, relative, with forward slashes.
std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir))
        names.insert(e.path().lexically_relative(dir).generic_string());
    return names;
}

// A cabinet of `files` (stored name, bytes). With `damaged`, the last data
// block's checksum is wrong, so the last file's earlier blocks come through
// before the walk fails.
struct TestCabinet {
    TestCabinet(const std::vector<std::pair<std::string, std::string>>& files, bool damaged) {
        CabBuilder b;
        for (const auto& [name, bytes] : files) {
            // Two blocks per file: a file's first half arrives before its damage shows.
            const uint32_t offset = b.files.empty() ? 0 : b.files.back().offset + b.files.back().size;
            b.files.push_back({name, static_cast<uint32_t>(bytes.size()), offset, 0});
            const size_t half = bytes.size() / 2;
            b.blocks.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(half));
            b.blocks.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(half), bytes.end());
        }
        image = b.Build();
        if (damaged) image.back() ^= 0x55;
        source = std::make_unique<cab::MemorySource>(image.data(), image.size());
        EXPECT_EQ(cab.Open(*source), cab::CabStatus::Ok) << cab.Error();
    }
    // Walks into `root`; true when the walk and the writes succeeded.
    bool ExtractTo(const std::string& root, std::string* error = nullptr) {
        DirectoryWriter writer(root);
        const cab::CabStatus status = cab.Walk(writer);
        const bool written = writer.Finish();
        if (error) *error = writer.Error().empty() ? cab.Error() : writer.Error();
        return status == cab::CabStatus::Ok && written;
    }
    std::vector<uint8_t> image;
    std::unique_ptr<cab::MemorySource> source;
    cab::Cabinet cab;
};

const std::string kNew(4000, 'n');

TEST(Extract, DamagedDataLeavesTheFileThatWasThereAndNoTemporaryFile) {
    test::ScratchDir dir;
    const fs::path out = fs::path(dir.Root()) / "out";
    fs::create_directories(out / "sub");
    test::WriteBytes((out / "sub" / "app.dll").string(), "the installed file");
    test::WriteBytes((out / "first.txt").string(), "old first");

    TestCabinet damaged({{"first.txt", kNew}, {"sub\\app.dll", kNew}}, true);
    std::string error;
    EXPECT_FALSE(damaged.ExtractTo(out.string(), &error));
    EXPECT_FALSE(error.empty());
    // The complete file replaced its old copy; the damaged one did not.
    EXPECT_EQ(test::ReadBytes((out / "first.txt").string()), kNew);
    EXPECT_EQ(test::ReadBytes((out / "sub" / "app.dll").string()), "the installed file");
    EXPECT_EQ(Tree(out), (std::set<std::string>{"first.txt", "sub", "sub/app.dll"}));

    // The same files, undamaged, replace what is there.
    TestCabinet good({{"first.txt", kNew}, {"sub\\app.dll", kNew}}, false);
    ASSERT_TRUE(good.ExtractTo(out.string(), &error)) << error;
    EXPECT_EQ(test::ReadBytes((out / "sub" / "app.dll").string()), kNew);
    EXPECT_EQ(Tree(out), (std::set<std::string>{"first.txt", "sub", "sub/app.dll"}));
}

TEST(Extract, AFolderInTheWayOfAFileFailsWithoutTemporaryFiles) {
    test::ScratchDir dir;
    const fs::path out = fs::path(dir.Root()) / "out";
    fs::create_directories(out / "app.dll");
    TestCabinet cab({{"app.dll", kNew}}, false);
    std::string error;
    EXPECT_FALSE(cab.ExtractTo(out.string(), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(Tree(out), std::set<std::string>{"app.dll"});
}

#ifndef _WIN32
// Links are made by the tests with POSIX symbolic links; the Windows build
// checks reparse points the same way through the platform layer.

TEST(Extract, ALinkNamedLikeAStoredFileIsReplacedNeverFollowed) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "intact");
        test::ScratchDir dir;
        const fs::path outside = fs::path(dir.Root()) / "outside.txt";
        const fs::path out = fs::path(dir.Root()) / "out";
        test::WriteBytes(outside.string(), "not the package's");
        fs::create_directories(out);
        fs::create_symlink(outside, out / "readme.txt");

        TestCabinet cab({{"readme.txt", kNew}}, damaged);
        EXPECT_EQ(cab.ExtractTo(out.string()), !damaged);
        EXPECT_EQ(test::ReadBytes(outside.string()), "not the package's");
        // Success puts the file in the link's place; failure leaves the link.
        EXPECT_EQ(fs::is_symlink(out / "readme.txt"), damaged);
        if (!damaged) {
            EXPECT_EQ(test::ReadBytes((out / "readme.txt").string()), kNew);
        }
        EXPECT_EQ(Tree(out), std::set<std::string>{"readme.txt"});
    }
}

TEST(Extract, ALinkedFolderBelowTheTargetIsRefused) {
    struct Case {
        const char* link;    // below the target folder, to a folder outside
        const char* stored;  // a file that would go through the link
    } cases[] = {
        {"Data", "Data\\app.exe"},
        {"Data/bin", "Data\\bin\\app.exe"},
        {"Data/bin", "Data\\bin\\deeper\\app.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        test::ScratchDir dir;
        const fs::path elsewhere = fs::path(dir.Root()) / "elsewhere";
        const fs::path out = fs::path(dir.Root()) / "out";
        fs::create_directories(elsewhere);
        fs::create_directories((out / c.link).parent_path());
        fs::create_directory_symlink(elsewhere, out / c.link);

        TestCabinet cab({{"Presetup\\Brik.ini", kNew}, {c.stored, kNew}, {"z.txt", kNew}}, false);
        std::string error;
        EXPECT_FALSE(cab.ExtractTo(out.string(), &error));
        EXPECT_NE(error.find("is a link"), std::string::npos) << error;
        EXPECT_TRUE(fs::is_empty(elsewhere));
        // Files before it were written; nothing after it.
        EXPECT_EQ(test::ReadBytes((out / "Presetup" / "Brik.ini").string()), kNew);
        EXPECT_FALSE(fs::exists(out / "z.txt"));
    }
}

TEST(Extract, TheTargetFolderMayBeGivenThroughALink) {
    test::ScratchDir dir;
    const fs::path real = fs::path(dir.Root()) / "real";
    fs::create_directories(real);
    fs::create_directory_symlink(real, fs::path(dir.Root()) / "link");
    TestCabinet cab({{"Data\\app.exe", kNew}}, false);
    std::string error;
    ASSERT_TRUE(cab.ExtractTo((fs::path(dir.Root()) / "link").string(), &error)) << error;
    EXPECT_EQ(test::ReadBytes((real / "Data" / "app.exe").string()), kNew);
}
#endif

// The engine refuses a Data file whose size is not its [FileInfo] size, so
// brikpack test holds a package to the same.
TEST(Extract, FileInfoSizesMustAgreeWithTheCabinet) {
    const std::string good = "[Config]\r\n[FileInfo]\r\napp.exe=4,1.0.0.0\r\nsub\\a.txt=12\r\n";
    const std::vector<cab::CabFile> files = {
        {"Presetup\\Brik.ini", 99}, {"Data\\app.exe", 4}, {"data\\SUB\\A.TXT", 12}};
    EXPECT_EQ(FileInfoDisagreement(files, good), "");
    struct Case {
        const char* what;
        std::string settings;
        const char* found;  // a piece of the description
    } const cases[] = {
        {"a size off by one", "[FileInfo]\r\napp.exe=5,1.0.0.0\r\nsub\\a.txt=12\r\n", "Data\\app.exe\" holds 4"},
        {"no line", "[FileInfo]\r\napp.exe=4\r\n", "no line in [FileInfo]"},
        {"no section", "[Config]\r\n", "no line in [FileInfo]"},
        {"no number", "[FileInfo]\r\napp.exe=four\r\nsub\\a.txt=12\r\n", "says \"four\""},
        {"an empty size", "[FileInfo]\r\napp.exe=,1.0\r\nsub\\a.txt=12\r\n", "says \"\""},
    };
    for (const Case& c : cases)
        EXPECT_NE(FileInfoDisagreement(files, c.settings).find(c.found), std::string::npos)
            << c.what << ": " << FileInfoDisagreement(files, c.settings);
}

}  // namespace
}  // namespace brik
