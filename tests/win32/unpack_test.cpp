// unpack.dll as the engine uses it: loaded by path, its three exports looked
// up by name, real stdcall callbacks, files written to disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CabBuilder.h"
#include "TestUtil.h"
#include "unpack/Unpack.h"

namespace {

using brik::test::CabBuilder;
using brik::test::ScratchDir;
using namespace brik::unpack;

struct Library {
    HMODULE module = nullptr;
    OpenProc open = nullptr;
    EnumerateProc enumerate = nullptr;
    CloseProc close = nullptr;

    Library() {
        const char* path = std::getenv("BRIK_UNPACK_DLL");
        if (!path) return;
        module = LoadLibraryA(path);
        if (!module) return;
        open = reinterpret_cast<OpenProc>(reinterpret_cast<void*>(GetProcAddress(module, "Open")));
        enumerate = reinterpret_cast<EnumerateProc>(reinterpret_cast<void*>(GetProcAddress(module, "Enumerate")));
        close = reinterpret_cast<CloseProc>(reinterpret_cast<void*>(GetProcAddress(module, "Close")));
    }
    ~Library() {
        if (module) FreeLibrary(module);
    }
    bool Ready() const { return open && enumerate && close; }
};

// What the callbacks do and saw; one walk at a time, as in the engine.
struct Walk {
    std::string dir;
    std::vector<std::string> skip;
    std::string stopAt;
    std::string refuseAt;
    std::string askAgainAt;           // answered kAnswerAskAgain once
    std::string destinationOverride;  // used for every file when set
    bool fillBuffer = false;          // write 256 characters without a zero
    bool refuseProgress = false;
    int answer = 1;                   // 2: the files may go to the disk after their done notice
    std::vector<std::string> events;
    std::vector<uint32_t> decrypted;
    uint8_t key = 0;
    std::string closedCheck;          // result of opening each finished file exclusively
    DWORD attributesSeen = 0;
};
Walk* g_walk = nullptr;

int __stdcall Notify(int code, void* record) {
    Walk& w = *g_walk;
    if (code == kNotifyFileNext) {
        auto* r = static_cast<NotifyRecord*>(record);
        w.events.push_back(std::string("next ") + r->name);
        if (r->destination[0] != 0) w.events.push_back("destination not empty on entry");
        if (r->name == w.stopAt) return kAnswerEnd;
        if (r->name == w.refuseAt) return kAnswerRefuse;
        if (r->name == w.askAgainAt) {
            w.askAgainAt.clear();
            w.events.push_back("ask again");
            return kAnswerAskAgain;
        }
        for (const std::string& s : w.skip)
            if (s == r->name) return 0;
        if (w.fillBuffer) {
            std::memset(r->destination, 'a', kDestinationSize);
            return 1;
        }
        std::string dest = w.destinationOverride.empty() ? w.dir + "\\" + r->name : w.destinationOverride;
        std::strcpy(r->destination, dest.c_str());
        return w.answer;
    }
    if (code == kNotifyProgress) {
        auto* p = static_cast<ProgressRecord*>(record);
        w.events.push_back("progress " + std::to_string(p->chunkSize) + "/" + std::to_string(p->written) + "/" +
                           std::to_string(p->fileSize));
        return w.refuseProgress ? -1 : 1;
    }
    if (code == kNotifyWriteFailed) {
        w.events.push_back(std::string("write failed ") + static_cast<NotifyRecord*>(record)->destination);
        return 0;
    }
    if (code == kNotifyFileDone) {
        auto* r = static_cast<NotifyRecord*>(record);
        w.events.push_back(std::string("done ") + r->name);
        HANDLE h = CreateFileA(r->destination, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        w.closedCheck += h != INVALID_HANDLE_VALUE ? "closed;" : "open;";
        if (h != INVALID_HANDLE_VALUE) {
            FILETIME created, written;
            GetFileTime(h, &created, nullptr, &written);
            FILETIME local;
            WORD date = 0, time = 0;
            FileTimeToLocalFileTime(&written, &local);
            FileTimeToDosDateTime(&local, &date, &time);
            if ((static_cast<uint32_t>(date) << 16 | time) != r->dateTime) w.events.push_back("wrong time");
            if (CompareFileTime(&created, &written) != 0) w.events.push_back("creation time differs");
            CloseHandle(h);
        }
        w.attributesSeen = GetFileAttributesA(r->destination);
        return 0;  // does not stop the walk
    }
    return 0;
}

void __stdcall Decrypt(uint8_t* data, uint32_t count) {
    g_walk->decrypted.push_back(count);
    for (uint32_t i = 0; i < count; ++i) data[i] ^= g_walk->key;
}

class UnpackLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Ready()) << "unpack.dll or one of Open, Enumerate, Close not found (BRIK_UNPACK_DLL="
                                 << (std::getenv("BRIK_UNPACK_DLL") ? std::getenv("BRIK_UNPACK_DLL") : "unset")
                                 << ")";
        walk.dir = dir.Root();
        g_walk = &walk;
    }

    // Runs Open, Enumerate, Close on a package image; returns Enumerate's result.
    int Run(const std::vector<uint8_t>& image, DecryptProc decrypt = nullptr) {
        std::string path = dir.Path("package.exe");
        brik::test::WriteBytes(path, std::string(image.begin(), image.end()));
        if (!lib.open(path.c_str())) return -100;
        int result = lib.enumerate(Notify, decrypt);
        lastError = GetLastError();
        lib.close();
        return result;
    }

    std::string Read(const std::string& name) { return brik::test::ReadBytes(dir.Path(name)); }

    Library lib;
    ScratchDir dir;
    Walk walk;
    DWORD lastError = 0;
};

TEST_F(UnpackLibrary, WritesFilesWithTimesAttributesAndNotifications) {
    CabBuilder b;
    b.AddFile("one.txt", "first file");
    b.AddFile("two.txt", "second", 0x01 | 0x02 | 0x04 | 0x20 | 0x40);
    ASSERT_NE(Run(b.Build(4096)), 0);
    EXPECT_EQ(Read("one.txt"), "first file");
    EXPECT_EQ(Read("two.txt"), "second");
    EXPECT_EQ(walk.events, (std::vector<std::string>{"next one.txt", "progress 10/10/10", "done one.txt",
                                                     "next two.txt", "progress 6/6/6", "done two.txt"}));
    EXPECT_EQ(walk.closedCheck, "closed;closed;");
    // The execute bit of the cabinet has no file attribute counterpart.
    EXPECT_EQ(walk.attributesSeen, DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_ARCHIVE));
    SetFileAttributesA(dir.Path("two.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Files the caller lets finish before they are on the disk are all there,
// whole, with their times and attributes, once the walk has returned; a
// file too large to hold in memory is written as before, and a file that
// cannot be written fails the walk and leaves nothing behind.
TEST_F(UnpackLibrary, QueuedFilesAreOnTheDiskWhenTheWalkEnds) {
    walk.answer = 2;
    std::string big(1200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i * 5 % 19);
    CabBuilder b;
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) {
        names.push_back("f" + std::to_string(i) + ".txt");
        b.AddFile(names.back(), std::string(static_cast<size_t>(i) * 37, static_cast<char>('A' + i % 26)));
    }
    // Stored blocks of 20000 bytes, as a real cabinet splits its data.
    b.AddFile("big.bin", big.substr(0, 20000));
    for (size_t at = 20000; at < big.size(); at += 20000) {
        b.blocks.emplace_back(big.begin() + static_cast<std::ptrdiff_t>(at),
                              big.begin() + static_cast<std::ptrdiff_t>(at + 20000));
        b.files.back().size += 20000;
    }
    b.AddFile("ro.txt", "read only", 0x01 | 0x20);
    ASSERT_NE(Run(b.Build(4096)), 0) << lastError;
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(Read(names[static_cast<size_t>(i)]), std::string(static_cast<size_t>(i) * 37, static_cast<char>('A' + i % 26))) << i;
    EXPECT_EQ(Read("big.bin"), big);
    EXPECT_EQ(Read("ro.txt"), "read only");
    EXPECT_EQ(GetFileAttributesA(dir.Path("ro.txt").c_str()), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    SetFileAttributesA(dir.Path("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileA(dir.Path("f5.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME created, written;
    GetFileTime(h, &created, nullptr, &written);
    CloseHandle(h);
    EXPECT_EQ(CompareFileTime(&created, &written), 0);

    // A destination that cannot be made: the walk fails with the system's reason.
    walk.events.clear();
    walk.destinationOverride = dir.Path("no such folder") + "\\x.txt";
    CabBuilder one;
    one.AddFile("x.txt", "x");
    EXPECT_EQ(Run(one.Build(4096)), 0);
    EXPECT_EQ(lastError, DWORD(ERROR_PATH_NOT_FOUND));
    // The caller learns which file it was, whatever the walk came to since.
    EXPECT_EQ(walk.events.back(), "write failed " + walk.destinationOverride);
}

// A queued file's done notice comes from the walk's thread once the file is
// whole on the disk, never before; a caller that must see a queued file on
// the disk before it can decide the next one has it asked again once it is.
TEST_F(UnpackLibrary, QueuedFilesAreToldOfOnceOnTheDiskAndAskAgainWaitsForThem) {
    walk.answer = 2;
    CabBuilder b;
    for (int i = 0; i < 60; ++i) b.AddFile("f" + std::to_string(i), std::string(5000 + i, static_cast<char>('a' + i % 26)));
    ASSERT_NE(Run(b.Build(4096)), 0) << lastError;
    std::string allClosed;
    for (int i = 0; i < 60; ++i) allClosed += "closed;";
    EXPECT_EQ(walk.closedCheck, allClosed);
    EXPECT_EQ(std::count(walk.events.begin(), walk.events.end(), "wrong time"), 0);
    EXPECT_EQ(std::count_if(walk.events.begin(), walk.events.end(),
                            [](const std::string& e) { return e.rfind("done ", 0) == 0; }),
              60);

    // Two files to one destination: the second is decided with the first on the disk.
    walk.events.clear();
    walk.closedCheck.clear();
    walk.destinationOverride = dir.Path("same.txt");
    walk.askAgainAt = "second";
    CabBuilder same;
    same.AddFile("first", std::string(3000, '1'));
    same.AddFile("second", std::string(2000, '2'));
    ASSERT_NE(Run(same.Build(4096)), 0) << lastError;
    EXPECT_EQ(Read("same.txt"), std::string(2000, '2'));
    const std::vector<std::string> expected = {"next first", "progress 3000/3000/3000", "next second", "ask again",
                                               "done first", "next second", "progress 2000/2000/2000",
                                               "done second"};
    EXPECT_EQ(walk.events, expected);
    EXPECT_EQ(walk.closedCheck, "closed;closed;");
}

TEST_F(UnpackLibrary, AFileOfManyBlocksIsWrittenInLargePiecesNotBlockByBlock) {
    std::string big(600000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i * 7 % 23);
    // Stored blocks of 20000 bytes, as a real cabinet splits its data.
    CabBuilder b;
    b.AddFile("big.bin", big.substr(0, 20000));
    for (size_t at = 20000; at < big.size(); at += 20000) {
        b.blocks.emplace_back(big.begin() + static_cast<std::ptrdiff_t>(at), big.begin() + static_cast<std::ptrdiff_t>(at + 20000));
        b.files.back().size += 20000;
    }
    ASSERT_NE(Run(b.Build(4096)), 0);
    EXPECT_EQ(Read("big.bin"), big);
    EXPECT_EQ(walk.events, (std::vector<std::string>{"next big.bin", "progress 262144/262144/600000",
                                                     "progress 262144/524288/600000", "progress 75712/600000/600000",
                                                     "done big.bin"}));
}

TEST_F(UnpackLibrary, AFileStoredWithTheArchiveAttributeAloneHasItAndNothingElse) {
    CabBuilder b;
    b.AddFile("plain.txt", "archive only", 0x20);
    ASSERT_NE(Run(b.Build(4096)), 0);
    EXPECT_EQ(GetFileAttributesA(dir.Path("plain.txt").c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(UnpackLibrary, SkipKeepsSyncAndTheCallersEndEndsTheWalkSuccessfully) {
    CabBuilder b;
    b.AddFile("a", "AAAA");
    b.AddFile("b", "BBBBB");
    b.AddFile("c", "CC");
    b.AddFile("d", "DDD");
    walk.skip = {"b"};
    walk.stopAt = "d";
    ASSERT_NE(Run(b.Build()), 0);
    EXPECT_EQ(Read("a"), "AAAA");
    EXPECT_FALSE(brik::platform::FileExists(dir.Path("b")));
    EXPECT_EQ(Read("c"), "CC");
    EXPECT_FALSE(brik::platform::FileExists(dir.Path("d")));
}

TEST_F(UnpackLibrary, DecryptHookSeesEachBlockPayloadOnce) {
    CabBuilder b;
    std::string secret = "enciphered payload";
    std::string stored = secret;
    for (char& c : stored) c = static_cast<char>(c ^ 0x33);
    b.AddFile("s.bin", stored);
    b.AddFile("t.bin", std::string(3000, static_cast<char>(0x33)));
    walk.key = 0x33;
    ASSERT_NE(Run(b.Build(), Decrypt), 0);
    EXPECT_EQ(Read("s.bin"), secret);
    EXPECT_EQ(Read("t.bin"), std::string(3000, '\0'));
    EXPECT_EQ(walk.decrypted, (std::vector<uint32_t>{static_cast<uint32_t>(stored.size()), 3000}));
}

// A damaged block fails the walk only where a file needs it: a walk the
// caller ends before it never reads that far.
TEST_F(UnpackLibrary, ADamagedBlockAheadOfWhereTheWalkEndsIsNoFailure) {
    CabBuilder b;
    for (int i = 0; i < 30; ++i)
        b.AddFile("f" + std::to_string(i), std::string(20000, static_cast<char>('A' + i % 26)));
    std::vector<uint8_t> image = b.Build();
    image.back() ^= 0x10;
    walk.stopAt = "f3";
    ASSERT_NE(Run(image), 0);
    EXPECT_EQ(Read("f2"), std::string(20000, 'C'));
    EXPECT_FALSE(brik::platform::FileExists(dir.Path("f3")));

    walk.stopAt.clear();
    EXPECT_EQ(Run(image), 0);
    EXPECT_EQ(lastError, DWORD(ERROR_CRC));
    EXPECT_EQ(Read("f28"), std::string(20000, 'C'));
    EXPECT_FALSE(brik::platform::FileExists(dir.Path("f29")));
}

// A file stored after one that lies ahead of it in the folder makes the walk
// decode the folder again; the caller's cipher is one chain and cannot go
// back, so with a cipher the walk fails instead, and the file it had begun
// is removed.
TEST_F(UnpackLibrary, AFolderIsDecodedAgainOnlyWithoutACipher) {
    CabBuilder b;
    b.blocks = {brik::test::Bytes("aaaabbb")};
    b.files = {{"b", 3, 4, 0}, {"a", 4, 0, 0}};
    ASSERT_NE(Run(b.Build()), 0);
    EXPECT_EQ(Read("a"), "aaaa");
    EXPECT_EQ(Read("b"), "bbb");
    DeleteFileA(dir.Path("a").c_str());
    EXPECT_EQ(Run(b.Build(), Decrypt), 0);
    EXPECT_EQ(lastError, DWORD(ERROR_BAD_FORMAT));
    EXPECT_FALSE(brik::platform::FileExists(dir.Path("a")));
    EXPECT_EQ(walk.decrypted, std::vector<uint32_t>{7});
}

// Behind a program image and with a trailer, the cabinet is a setup package.
std::vector<uint8_t> AsPackage(const CabBuilder& b) {
    const size_t prefix = 4096;
    std::vector<uint8_t> image = b.Build(prefix);
    const uint32_t cabinetSize = static_cast<uint32_t>(image.size() - prefix);
    const uint32_t presetup = b.files[0].size;
    const uint32_t trailer = static_cast<uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) image[prefix + 8 + i] = static_cast<uint8_t>(cabinetSize >> (8 * i));
    for (uint32_t word : {presetup, trailer})
        for (int i = 0; i < 4; ++i) image.push_back(static_cast<uint8_t>(word >> (8 * i)));
    return image;
}

// A package's file list must be the builder's: a size that leaves a gap
// before the next file is refused when the package is opened.
TEST_F(UnpackLibrary, APackageWithADamagedFileListIsNotOpened) {
    CabBuilder b;
    b.AddFile("Presetup\\Brik.ini", "[Config]");
    b.AddFile("Data\\x.txt", "xyz");
    walk.skip = {"Presetup\\Brik.ini", "Data\\x.txt"};
    EXPECT_NE(Run(AsPackage(b)), 0);
    b.files[0].size = 7;
    EXPECT_EQ(Run(AsPackage(b)), -100);
}

// Our builder computes every block's checksum, so in a package a stored 0
// does not mean "not computed": the block with a flipped byte is refused,
// while a plain cabinet keeps the format's meaning of 0.
TEST_F(UnpackLibrary, APackagesZeroedBlockChecksumIsStillChecked) {
    CabBuilder b;
    b.AddFile("Presetup\\Brik.ini", "[Config]");
    b.AddFile("Data\\x.txt", "xyz");
    for (const bool package : {true, false}) {
        SCOPED_TRACE(package ? "package" : "plain cabinet");
        std::vector<uint8_t> image = package ? AsPackage(b) : b.Build();
        const size_t payload = image.size() - (package ? 8 : 0) - 3;
        for (size_t i = 0; i < 4; ++i) image[payload - 8 + i] = 0;
        image[payload + 1] ^= 0x01;
        walk.skip = {"Presetup\\Brik.ini"};
        DeleteFileA(dir.Path("x.txt").c_str());
        walk.destinationOverride = dir.Path("x.txt");
        if (package) {
            EXPECT_EQ(Run(image), 0);
            EXPECT_EQ(lastError, DWORD(ERROR_CRC));
            EXPECT_FALSE(brik::platform::FileExists(dir.Path("x.txt")));
        } else {
            EXPECT_NE(Run(image), 0);
            EXPECT_EQ(Read("x.txt"), "xxz");
        }
    }
}

TEST_F(UnpackLibrary, FailuresEndTheWalkWithAReason) {
    struct Case {
        const char* what;
        void (*prepare)(Walk&, std::vector<uint8_t>&, const std::string& dir);
        DWORD error;
        const char* leftover;  // a file that must not exist afterwards
    };
    const std::vector<Case> cases = {
        {"destination fills the whole buffer",
         [](Walk& w, std::vector<uint8_t>&, const std::string&) { w.fillBuffer = true; },
         ERROR_FILENAME_EXCED_RANGE, nullptr},
        {"destination folder missing",
         [](Walk& w, std::vector<uint8_t>&, const std::string& d) { w.destinationOverride = d + "\\no\\such\\x"; },
         ERROR_PATH_NOT_FOUND, nullptr},
        {"progress refuses a chunk", [](Walk& w, std::vector<uint8_t>&, const std::string&) { w.refuseProgress = true; },
         ERROR_CANCELLED, "f.txt"},
        // A refusal is the caller's verdict on the file, not a wished-for end.
        {"the file is refused", [](Walk& w, std::vector<uint8_t>&, const std::string&) { w.refuseAt = "f.txt"; },
         ERROR_CANCELLED, "f.txt"},
        {"damaged block", [](Walk&, std::vector<uint8_t>& img, const std::string&) { img.back() ^= 0x10; }, ERROR_CRC,
         "f.txt"},
    };
    for (const Case& c : cases) {
        Walk fresh;
        fresh.dir = dir.Root();
        walk = fresh;
        CabBuilder b;
        b.AddFile("f.txt", "contents");
        std::vector<uint8_t> image = b.Build();
        c.prepare(walk, image, dir.Root());
        EXPECT_EQ(Run(image), 0) << c.what;
        EXPECT_EQ(lastError, c.error) << c.what;
        if (c.leftover) {
            EXPECT_FALSE(brik::platform::FileExists(dir.Path(c.leftover))) << c.what;
        }
    }
}

TEST_F(UnpackLibrary, OpenFailsWithoutACabinetAndEnumerateThenFails) {
    std::string path = dir.Path("plain.exe");
    brik::test::WriteBytes(path, std::string(1000, 'z'));
    EXPECT_EQ(lib.open(path.c_str()), 0);
    EXPECT_EQ(lib.enumerate(Notify, nullptr), 0);
    lib.close();
    EXPECT_EQ(lib.open(dir.Path("missing.exe").c_str()), 0);
    lib.close();
}

}  // namespace
