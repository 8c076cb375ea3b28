#include "cab/Cabinet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CabBuilder.h"
#include "Md5.h"
#include "TestUtil.h"
#include "builder/Extract.h"

namespace brik::cab {
namespace {

// Collects the MD5 of every file the walk writes, in walk order.
class DigestWriter final : public WalkHandler {
public:
    FileAction BeginFile(const CabFile&) override {
        md5_ = test::Md5();
        return FileAction::Write;
    }
    bool WriteData(const CabFile&, const uint8_t* data, uint32_t size) override {
        md5_.Update(data, size);
        return true;
    }
    bool EndFile(const CabFile& file) override {
        std::string name = file.name;
        for (char& c : name)
            if (c == '\\') c = '/';
        digests.push_back(md5_.HexDigest() + " " + name);
        return true;
    }
    std::vector<std::string> digests;

private:
    test::Md5 md5_;
};

struct Expected {
    std::string file;
    bool ok = false;
    std::vector<std::string> digests;  // "md5 name"
};

std::vector<Expected> ReadExpected() {
    std::vector<Expected> out;
    std::ifstream in(test::CabTestFile("expected.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Expected e;
        std::string verdict;
        words >> e.file >> verdict;
        e.ok = verdict == "ok";
        std::string md5, name;
        while (words >> md5 >> name) e.digests.push_back(md5 + " " + name);
        out.push_back(e);
    }
    return out;
}

// Every cabinet of the collected test suite: good ones byte-identical to an
// independent decoder, bad ones refused or failed without harm.
TEST(CabinetTestData, MatchesIndependentDecoder) {
    std::vector<Expected> cases = ReadExpected();
    ASSERT_GT(cases.size(), 40u) << "test data not found at " << test::CabTestFile("expected.txt");
    for (Expected& e : cases) {
        // The independent tool lists every cabinet it finds in a file; a
        // package holds one, the first signature followed by four zero bytes.
        if (e.file == "search_basic.cab") e.digests.resize(2);
        if (e.file == "search_tricky1.cab") e.ok = false;
    }
    for (const Expected& e : cases) {
        FileSource source;
        ASSERT_TRUE(source.Open(test::CabTestFile(e.file))) << e.file;
        Cabinet cab;
        CabStatus status = cab.Open(source);
        DigestWriter writer;
        if (status == CabStatus::Ok) status = cab.Walk(writer);
        if (e.ok) {
            EXPECT_EQ(status, CabStatus::Ok) << e.file << ": " << cab.Error();
            EXPECT_EQ(writer.digests, e.digests) << e.file;
        } else {
            EXPECT_NE(status, CabStatus::Ok) << e.file << " was accepted";
            EXPECT_FALSE(cab.Error().empty()) << e.file << " failed without a reason";
        }
    }
}

using test::Bytes;
using test::CabBuilder;

class Recorder final : public WalkHandler {
public:
    FileAction BeginFile(const CabFile& file) override {
        auto it = actions.find(file.name);
        FileAction a = it == actions.end() ? FileAction::Write : it->second;
        if (a == FileAction::Write) contents[file.name];
        return a;
    }
    bool WriteData(const CabFile& file, const uint8_t* data, uint32_t size) override {
        contents[file.name].append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool EndFile(const CabFile&) override { return true; }
    void Decrypt(uint8_t* data, uint32_t size) override {
        decryptCalls.push_back(size);
        for (uint32_t i = 0; i < size; ++i) data[i] ^= key;
    }
    std::map<std::string, FileAction> actions;
    std::map<std::string, std::string> contents;
    std::vector<uint32_t> decryptCalls;
    uint8_t key = 0;
};

TEST(CabinetWalk, SkippedFilesKeepLaterFilesInSyncAndFoldersAreReadOnlyAsFarAsNeeded) {
    CabBuilder b;
    b.blocks = {Bytes("aaaabbb"), Bytes("bbcc")};
    b.files = {{"a", 4, 0, 0}, {"b", 5, 4, 0}, {"c", 2, 9, 0}};
    std::vector<uint8_t> image = b.Build(1000);
    MemorySource source(image.data(), image.size());
    Cabinet cab;
    ASSERT_EQ(cab.Open(source), CabStatus::Ok) << cab.Error();
    EXPECT_EQ(cab.Offset(), 1000u);

    Recorder skipMiddle;
    skipMiddle.actions["b"] = FileAction::Skip;
    ASSERT_EQ(cab.Walk(skipMiddle), CabStatus::Ok) << cab.Error();
    EXPECT_EQ(skipMiddle.contents, (std::map<std::string, std::string>{{"a", "aaaa"}, {"c", "cc"}}));
    EXPECT_EQ(skipMiddle.decryptCalls, (std::vector<uint32_t>{7, 4}));

    // Only the first file is wanted: the second block is never read.
    Recorder firstOnly;
    firstOnly.actions = {{"b", FileAction::Skip}, {"c", FileAction::Skip}};
    ASSERT_EQ(cab.Walk(firstOnly), CabStatus::Ok);
    EXPECT_EQ(firstOnly.decryptCalls, std::vector<uint32_t>{7});

    Recorder stop;
    stop.actions["b"] = FileAction::Stop;
    EXPECT_EQ(cab.Walk(stop), CabStatus::Aborted);
    EXPECT_EQ(stop.contents, (std::map<std::string, std::string>{{"a", "aaaa"}}));
}

TEST(CabinetWalk, DecryptSeesStoredBytesAfterTheChecksum) {
    CabBuilder b;
    const std::string plain = "secret data";
    std::string stored = plain;
    for (char& c : stored) c = static_cast<char>(c ^ 0x5A);
    b.blocks = {Bytes(stored)};
    b.files = {{"f", uint32_t(plain.size()), 0, 0}};
    std::vector<uint8_t> image = b.Build();
    MemorySource source(image.data(), image.size());
    Cabinet cab;
    ASSERT_EQ(cab.Open(source), CabStatus::Ok);
    Recorder r;
    r.key = 0x5A;
    ASSERT_EQ(cab.Walk(r), CabStatus::Ok) << cab.Error();
    EXPECT_EQ(r.contents["f"], plain);
}

TEST(CabinetWalk, DamagedPackagesFail) {
    struct Case {
        const char* what;
        CabStatus expected;
        std::function<void(CabBuilder&, std::vector<uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"flipped data byte", CabStatus::BadChecksum, [](CabBuilder&, std::vector<uint8_t>& img) { img.back() ^= 1; }},
        {"file beyond the folder's data", CabStatus::BadFormat,
         [](CabBuilder& b, std::vector<uint8_t>& img) { b.files[0].size = 100; img = b.Build(); }},
        {"truncated data", CabStatus::ReadError, [](CabBuilder&, std::vector<uint8_t>& img) { img.resize(img.size() - 3); }},
        {"spanned set", CabStatus::BadFormat,
         [](CabBuilder& b, std::vector<uint8_t>& img) { b.flags = 2; img = b.Build(); }},
        {"continued file", CabStatus::BadFormat,
         [](CabBuilder& b, std::vector<uint8_t>& img) { b.files[0].folder = 0xFFFE; img = b.Build(); }},
        {"no signature", CabStatus::BadFormat, [](CabBuilder&, std::vector<uint8_t>& img) { img[4] = 1; }},
    };
    for (const Case& c : cases) {
        CabBuilder b;
        b.blocks = {Bytes("hello")};
        b.files = {{"f", 5, 0, 0}};
        std::vector<uint8_t> image = b.Build();
        c.damage(b, image);
        MemorySource source(image.data(), image.size());
        Cabinet cab;
        CabStatus status = cab.Open(source);
        Recorder r;
        if (status == CabStatus::Ok) status = cab.Walk(r);
        EXPECT_EQ(status, c.expected) << c.what << ": " << cab.Error();
        EXPECT_FALSE(cab.Error().empty()) << c.what;
    }
}

TEST(CabinetLocate, SignatureMustStartWithinTheSearchLimit) {
    CabBuilder b;
    b.blocks = {Bytes("x")};
    b.files = {{"f", 1, 0, 0}};
    for (size_t prefix : {size_t(0), size_t(kSearchLimit - 1), size_t(kSearchLimit)}) {
        std::vector<uint8_t> image = b.Build(prefix);
        MemorySource source(image.data(), image.size());
        Cabinet cab;
        EXPECT_EQ(cab.Open(source) == CabStatus::Ok, prefix < kSearchLimit) << prefix;
    }
}

TEST(Extract, UnsafeNamesAreRefusedAndNothingIsWritten) {
    for (const char* name : {"..\\evil.txt", "a\\..\\..\\evil.txt", "\\abs.txt", "/abs.txt", "C:evil.txt",
                             "\\\\server\\share\\x", "ok\\...\\x", "file.txt:stream"}) {
        CabBuilder b;
        b.blocks = {Bytes("data")};
        b.files = {{name, 4, 0, 0}};
        std::vector<uint8_t> image = b.Build();
        MemorySource source(image.data(), image.size());
        Cabinet cab;
        ASSERT_EQ(cab.Open(source), CabStatus::Ok) << name;
        test::ScratchDir dir;
        DirectoryWriter writer(dir.Path("out"));
        EXPECT_NE(cab.Walk(writer), CabStatus::Ok) << name;
        EXPECT_NE(writer.Error().find("unsafe"), std::string::npos) << name;
        EXPECT_EQ(writer.FilesWritten(), 0u) << name;
    }
}

TEST(Extract, WritesFoldersAndRemovesAHalfWrittenFile) {
    CabBuilder b;
    b.blocks = {Bytes("0123456789")};
    b.files = {{"dir\\sub\\one.txt", 4, 0, 0}, {"two.txt", 20, 4, 0}};
    std::vector<uint8_t> image = b.Build();
    MemorySource source(image.data(), image.size());
    Cabinet cab;
    ASSERT_EQ(cab.Open(source), CabStatus::Ok);
    test::ScratchDir dir;
    DirectoryWriter writer(dir.Root());
    EXPECT_EQ(cab.Walk(writer), CabStatus::BadFormat);
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(test::ReadBytes(dir.Path("dir/sub/one.txt")), "0123");
    EXPECT_FALSE(platform::FileExists(dir.Path("two.txt")));
}

TEST(Extract, AFileThatCannotBeCreatedStopsTheWalkAndFinishSaysSo) {
    CabBuilder b;
    for (int i = 0; i < 40; ++i) b.AddFile("f" + std::to_string(i), std::string(1000, char('a' + i % 26)));
    std::vector<uint8_t> image = b.Build();
    MemorySource source(image.data(), image.size());
    Cabinet cab;
    ASSERT_EQ(cab.Open(source), CabStatus::Ok);
    test::ScratchDir dir;
    // A folder where the third file should go: it cannot be created.
    ASSERT_TRUE(platform::MakeDirectory(dir.Path("f2")));
    DirectoryWriter writer(dir.Root());
    cab.Walk(writer);
    EXPECT_FALSE(writer.Finish());
    EXPECT_NE(writer.Error().find("cannot create"), std::string::npos) << writer.Error();
    EXPECT_EQ(test::ReadBytes(dir.Path("f1")), std::string(1000, 'b'));
    EXPECT_TRUE(platform::DirectoryExists(dir.Path("f2")));
}

}  // namespace
}  // namespace brik::cab
