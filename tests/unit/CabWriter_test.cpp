#include "builder/CabWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "builder/DeflateCheck.h"
#include "builder/Extract.h"
#include "cab/Cabinet.h"
#include "crypto/Gost.h"

namespace brik {
namespace {

enum class Kind { Text, Random, Zeros };

std::string Data(size_t n, Kind kind, uint32_t seed = 1) {
    std::string out;
    out.reserve(n);
    if (kind == Kind::Text) {
        for (uint32_t i = seed; out.size() < n; ++i) out += std::to_string(i) + "\n";
        out.resize(n);
    } else if (kind == Kind::Random) {
        std::mt19937 random(seed);
        while (out.size() < n) out += static_cast<char>(random());
    } else {
        out.assign(n, '\0');
    }
    return out;
}

CabEntry Entry(const std::string& name, std::string data, uint16_t date = 0x5021, uint16_t time = 0x6000) {
    CabEntry e;
    e.name = name;
    e.size = data.size();
    e.inMemory = true;
    e.data = std::move(data);
    e.date = date;
    e.time = time;
    return e;
}

// Every file's bytes by stored name, in walk order.
class Collector final : public cab::WalkHandler {
public:
    cab::FileAction BeginFile(const cab::CabFile& file) override {
        names.push_back(file.name);
        files[file.name].clear();
        return cab::FileAction::Write;
    }
    bool WriteData(const cab::CabFile& file, const uint8_t* data, uint32_t size) override {
        files[file.name].append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool EndFile(const cab::CabFile&) override { return true; }
    std::vector<std::string> names;
    std::map<std::string, std::string> files;
};

class GostBlocks final : public BlockCipher {
public:
    explicit GostBlocks(const HavalDigest& key) { gost_.Initialise(key.data(), 256); }
    void Encrypt(uint8_t* data, size_t size) override { gost_.Encrypt(data, data, size); }

private:
    TGost gost_;
};

std::vector<uint8_t> Write(const std::vector<CabFolderGroup>& groups, CabWriteOptions options = {}) {
    MemoryCabOutput out;
    CabWriter writer;
    EXPECT_TRUE(writer.Write(groups, out, options)) << writer.Error();
    EXPECT_EQ(writer.Size(), out.bytes.size());
    return out.bytes;
}

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

TEST(CabWriter, RoundTripThroughTheReader) {
    struct File {
        const char* name;
        size_t size;
        Kind kind;
    };
    struct Case {
        const char* what;
        CabCompression compression;
        unsigned threads;
        uint32_t maxBlocks;
        std::vector<File> files;
        size_t folders;
    } cases[] = {
        {"block boundaries, stored", CabCompression::None, 1, 65535,
         {{"a", 0, Kind::Text}, {"b", 1, Kind::Text}, {"c", 32767, Kind::Random}, {"d", 32768, Kind::Text},
          {"e", 32769, Kind::Zeros}, {"f", 65537, Kind::Random}},
         1},
        {"block boundaries, mszip", CabCompression::Mszip, 2, 65535,
         {{"a", 0, Kind::Text}, {"b", 1, Kind::Text}, {"c", 32767, Kind::Random}, {"d", 32768, Kind::Text},
          {"e", 32769, Kind::Zeros}, {"f", 100000, Kind::Text}},
         1},
        {"only empty files", CabCompression::Mszip, 2, 65535, {{"x", 0, Kind::Text}, {"y", 0, Kind::Text}}, 1},
        // Two blocks per folder: the data spills into new folders between files.
        {"spill into folders", CabCompression::Mszip, 2, 2,
         {{"p", 40000, Kind::Text}, {"q", 30000, Kind::Random}, {"r", 1, Kind::Text}, {"s", 65536, Kind::Zeros},
          {"t", 0, Kind::Text}},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CabFolderGroup group;
        group.compression = c.compression;
        std::map<std::string, std::string> expected;
        for (const File& f : c.files) {
            const std::string data = Data(f.size, f.kind, static_cast<uint32_t>(f.size));
            expected[std::string("Data\\") + f.name] = data;
            group.files.push_back(Entry(std::string("Data\\") + f.name, data));
        }
        group.files.front().attributes = cab::kAttrArchive | cab::kAttrReadOnly;
        CabWriteOptions options;
        options.threads = c.threads;
        options.limits.maxBlocksPerFolder = c.maxBlocks;
        const std::vector<uint8_t> bytes = Write({group}, options);

        cab::MemorySource source(bytes.data(), bytes.size());
        cab::Cabinet cab;
        ASSERT_EQ(cab.Open(source), cab::CabStatus::Ok) << cab.Error();
        ASSERT_EQ(cab.Folders().size(), c.folders);
        for (const cab::CabFolder& folder : cab.Folders()) {
            EXPECT_EQ(folder.typeCompress, c.compression == CabCompression::Mszip ? 1 : 0);
            EXPECT_LE(folder.blockCount, c.maxBlocks);
            // Every data block carries its checksum.
            size_t at = folder.dataOffset;
            for (uint32_t b = 0; b < folder.blockCount; ++b) {
                EXPECT_NE(Get32(&bytes[at]), 0u);
                at += 8 + (bytes[at + 4] | bytes[at + 5] << 8);
            }
        }
        ASSERT_EQ(cab.Files().size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i) {
            const cab::CabFile& f = cab.Files()[i];
            EXPECT_EQ(f.name, std::string("Data\\") + c.files[i].name);
            EXPECT_EQ(f.date, 0x5021);
            EXPECT_EQ(f.time, 0x6000);
            EXPECT_EQ(f.attributes, i == 0 ? 0x21 : 0x20);
            if (i > 0) {
                EXPECT_GE(f.folder, cab.Files()[i - 1].folder);
            }
        }
        Collector out;
        ASSERT_EQ(cab.Walk(out), cab::CabStatus::Ok) << cab.Error();
        EXPECT_EQ(out.files, expected);
    }
}

TEST(CabWriter, SameBytesWhateverTheThreads) {
    CabFolderGroup group;
    for (int i = 0; i < 6; ++i)
        group.files.push_back(Entry("Data\\f" + std::to_string(i), Data(70000 + 9999 * i, Kind(i % 3), i)));
    CabWriteOptions options;
    options.threads = 1;
    const std::vector<uint8_t> one = Write({group}, options);
    for (unsigned threads : {2u, 3u, 8u}) {
        options.threads = threads;
        EXPECT_EQ(Write({group}, options), one) << threads << " threads";
    }
}

TEST(CabWriter, RefusesWhatTheFormatCannotHold) {
    struct Case {
        const char* what;
        std::vector<size_t> sizes;
        bool encrypt;
        CabLimits limits;
        const char* message;
    } cases[] = {
        {"too many files", {1, 1, 1, 1}, false, {65535, 3, 65535, 0xFFFFFFFF}, "too many files"},
        {"a file larger than a folder", {40000}, false, {1, 65535, 65535, 0xFFFFFFFF}, "too large for a cabinet"},
        {"too many folders", {30000, 30000, 30000}, false, {1, 65535, 2, 0xFFFFFFFF}, "too many cabinet folders"},
        {"offsets beyond the limit", {100000}, false, {65535, 65535, 65535, 50000}, "would exceed 50000 bytes"},
        {"protected data over one folder", {30000, 30000}, true, {1, 65535, 65535, 0xFFFFFFFF},
         "one chain over a single folder"},
    };
    GostBlocks cipher(HavalDigest{});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CabFolderGroup group;
        group.compression = CabCompression::None;
        group.encrypt = c.encrypt;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            group.files.push_back(Entry("f" + std::to_string(i), Data(c.sizes[i], Kind::Text)));
        CabWriteOptions options;
        options.limits = c.limits;
        options.cipher = &cipher;
        MemoryCabOutput out;
        CabWriter writer;
        EXPECT_FALSE(writer.Write({group}, out, options));
        EXPECT_NE(writer.Error().find(c.message), std::string::npos) << writer.Error();
    }

    // The real file count limit: the count field is 16 bits.
    CabFolderGroup many;
    for (int i = 0; i < 65536; ++i) many.files.push_back(Entry("f" + std::to_string(i), ""));
    MemoryCabOutput out;
    CabWriter writer;
    EXPECT_FALSE(writer.Write({many}, out, {}));
    EXPECT_NE(writer.Error().find("65536"), std::string::npos) << writer.Error();
    many.files.pop_back();
    EXPECT_TRUE(writer.Write({many}, out, {})) << writer.Error();

    // Names the list cannot hold.
    for (const std::string& name : {std::string(), std::string(256, 'n')}) {
        CabFolderGroup bad;
        bad.files.push_back(Entry(name, "x"));
        EXPECT_FALSE(writer.Write({bad}, out, {}));
        EXPECT_NE(writer.Error().find("1 to 255 bytes"), std::string::npos);
    }
}

TEST(CabWriter, InputThatChangesSizeIsAnError) {
    test::ScratchDir dir;
    test::WriteBytes(dir.Path("file"), "0123456789");
    for (uint64_t declared : {20u, 5u}) {
        CabFolderGroup group;
        CabEntry e;
        e.name = "file";
        e.size = declared;
        e.source = dir.Path("file");
        group.files.push_back(e);
        MemoryCabOutput out;
        CabWriter writer;
        EXPECT_FALSE(writer.Write({group}, out, {}));
        EXPECT_NE(writer.Error().find(declared == 20 ? "became shorter" : "grew"), std::string::npos)
            << writer.Error();
    }
}

TEST(CabWriter, EncryptsTheDataFolderAsOneChain) {
    const HavalDigest key = [] {
        HavalDigest k{};
        for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(i * 7 + 1);
        return k;
    }();
    HavalDigest wrong = key;
    wrong[0] ^= 1;
    for (CabCompression compression : {CabCompression::None, CabCompression::Mszip}) {
        SCOPED_TRACE(compression == CabCompression::None ? "stored" : "mszip");
        CabFolderGroup presetup;
        presetup.files.push_back(Entry("Presetup\\Brik.ini", "[Config]\r\n"));
        CabFolderGroup data;
        data.compression = compression;
        data.encrypt = true;
        // Payloads whose sizes are not multiples of 8: remainders.
        data.files.push_back(Entry("Data\\a", Data(32768 * 2 + 13, Kind::Text)));
        data.files.push_back(Entry("Data\\b", Data(40003, Kind::Random)));
        GostBlocks cipher(key);
        CabWriteOptions options;
        options.cipher = &cipher;
        const std::vector<uint8_t> bytes = Write({presetup, data}, options);

        cab::MemorySource source(bytes.data(), bytes.size());
        cab::Cabinet cab;
        ASSERT_EQ(cab.Open(source), cab::CabStatus::Ok);
        // The Presetup folder reads without a key.
        SettingsReader settings;
        cab.Walk(settings);
        ASSERT_TRUE(settings.Found());
        EXPECT_EQ(settings.Text(), "[Config]\r\n");

        Collector right;
        DecryptingHandler decrypting(right, cab, key);
        ASSERT_EQ(cab.Walk(decrypting), cab::CabStatus::Ok) << cab.Error();
        EXPECT_EQ(right.files["Presetup\\Brik.ini"], "[Config]\r\n");
        EXPECT_EQ(right.files["Data\\a"], data.files[0].data);
        EXPECT_EQ(right.files["Data\\b"], data.files[1].data);

        // A wrong key: stored data comes out as garbage, compressed data fails.
        Collector garbage;
        DecryptingHandler wrongKey(garbage, cab, wrong);
        const cab::CabStatus status = cab.Walk(wrongKey);
        if (compression == CabCompression::Mszip) {
            EXPECT_NE(status, cab::CabStatus::Ok);
        } else {
            EXPECT_NE(garbage.files["Data\\a"], data.files[0].data);
        }
    }
}

// Deflate bits, least significant first; Huffman codes most significant bit first.
class BitWriter {
public:
    void Bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) Bit((value >> i) & 1);
    }
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i) Bit((code >> i) & 1);
    }
    std::vector<uint8_t> bytes;

private:
    void Bit(uint32_t b) {
        if (used_ % 8 == 0) bytes.push_back(0);
        bytes.back() = static_cast<uint8_t>(bytes.back() | b << (used_ % 8));
        ++used_;
    }
    size_t used_ = 0;
};

// One dynamic block that holds the literal 'a': literal code {'a', end} of
// one bit each, and the given distance code lengths.
std::vector<uint8_t> DynamicBlock(const std::vector<int>& distanceLengths) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(0, 5);                                              // 257 literal codes
    w.Bits(static_cast<uint32_t>(distanceLengths.size() - 1), 5);
    w.Bits(14, 4);                                             // 18 code length codes
    // Code lengths: 18 -> 1 bit (0), 0 -> 2 bits (10), 1 -> 2 bits (11).
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int precode[19] = {};
    precode[18] = 1;
    precode[0] = 2;
    precode[1] = 2;
    for (int i = 0; i < 18; ++i) w.Bits(static_cast<uint32_t>(precode[order[i]]), 3);
    auto zeros = [&](int n) {
        while (n >= 11) {
            const int run = std::min(n, 138);
            w.Code(0, 1);
            w.Bits(static_cast<uint32_t>(run - 11), 7);
            n -= run;
        }
        for (; n > 0; --n) w.Code(2, 2);
    };
    zeros('a');
    w.Code(3, 2);
    zeros(256 - 'a' - 1);
    w.Code(3, 2);
    for (int len : distanceLengths) w.Code(len == 0 ? 2 : 3, 2);
    w.Code(0, 1);  // 'a'
    w.Code(1, 1);  // end of block
    return w.bytes;
}

TEST(DeflateCheck, CompleteCodesOnly) {
    EXPECT_TRUE(HasCompleteCodes(DynamicBlock({1, 1}).data(), DynamicBlock({1, 1}).size()));
    // A block of literals only with an empty distance code, and one with a
    // single one-bit distance code: inflate takes both, older decoders not.
    EXPECT_FALSE(HasCompleteCodes(DynamicBlock({0}).data(), DynamicBlock({0}).size()));
    EXPECT_FALSE(HasCompleteCodes(DynamicBlock({1}).data(), DynamicBlock({1}).size()));
    const uint8_t stored[] = {0x01, 3, 0, 0xFC, 0xFF, 'a', 'b', 'c'};
    EXPECT_TRUE(HasCompleteCodes(stored, sizeof stored));
    const uint8_t fixedEmpty[] = {0x03, 0x00};
    EXPECT_TRUE(HasCompleteCodes(fixedEmpty, sizeof fixedEmpty));
    const uint8_t badType[] = {0x07, 0x00};
    EXPECT_FALSE(HasCompleteCodes(badType, sizeof badType));
    // Cut short anywhere: refused, never read past the end.
    const std::vector<uint8_t> block = DynamicBlock({1, 1});
    for (size_t n = 0; n + 1 < block.size(); ++n) EXPECT_FALSE(HasCompleteCodes(block.data(), n)) << n;
}

TEST(DeflateCheck, MszipBlocksAlwaysHaveCompleteCodes) {
    // The tail of counting text is a block some compressors write with
    // literals only; incompressible data is stored.
    const std::string text = Data(40000, Kind::Text);
    const std::string random = Data(32768, Kind::Random);
    MszipCompressor compressor;
    std::vector<uint8_t> out(MszipCompressor::kOutCapacity);
    for (const std::string* input : {&text, &random}) {
        for (size_t at = 0; at < input->size(); at += 32768) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(32768, input->size() - at));
            const uint32_t size = compressor.Compress(reinterpret_cast<const uint8_t*>(input->data()) + at, n, out.data());
            ASSERT_LE(size, n + 7);
            EXPECT_EQ(out[0], 'C');
            EXPECT_EQ(out[1], 'K');
            EXPECT_TRUE(HasCompleteCodes(out.data() + 2, size - 2));
            if (input == &random) {
                EXPECT_EQ(size, n + 7);
            }
        }
    }
}

}  // namespace
}  // namespace brik
