// A setup package's cabinet is held to the layout our builder writes: the
// cabinet format has no checksum over its file list, so a damaged size,
// offset or count would otherwise extract files short, missing or holding
// their neighbour's bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FileImages.h"
#include "builder/CabWriter.h"
#include "builder/Extract.h"
#include "cab/Cabinet.h"
#include "crypto/Gost.h"
#include "crypto/Password.h"

namespace brik::cab {
namespace {

constexpr size_t kStubSize = 200;

struct Layout {
    std::vector<uint8_t> bytes;
    size_t base = kStubSize;        // the cabinet's first byte
    size_t folders = 0;             // count
    size_t fileEntry[8] = {};       // each file's entry, from the package's start
    size_t fileCount = 0;
};

// A stub, a cabinet from CabWriter (MSZIP Presetup folder, then stored Data
// folders of one block each, so the data spills over three folders, or one
// Data folder when `oneDataFolder`) and the trailer, as the builder lays
// them out.
Layout MakePackage(std::map<std::string, std::string>* files = nullptr, BlockCipher* cipher = nullptr,
                   bool oneDataFolder = false) {
    std::vector<CabFolderGroup> groups(2);
    groups[0].compression = CabCompression::Mszip;
    groups[1].compression = CabCompression::None;
    groups[1].encrypt = cipher != nullptr;
    auto add = [&](size_t group, const std::string& name, const std::string& data) {
        CabEntry e;
        e.name = name;
        e.inMemory = true;
        e.data = data;
        e.size = data.size();
        groups[group].files.push_back(e);
        if (files) (*files)[name] = data;
    };
    std::string text;
    for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i) + "\r\n";
    add(0, "Presetup\\Brik.ini", "[Config]\r\nLanguages=Enu\r\n\r\n");
    add(0, "presetup\\Enu.lng", text);
    add(0, "Presetup\\empty.txt", "");
    add(1, "Data\\a.txt", std::string(20000, 'a'));
    add(1, "Data\\b.bin", text.substr(0, 15000));
    add(1, "Data\\c.bin", std::string(30000, 'c'));

    CabWriteOptions options;
    options.threads = 0;
    options.cipher = cipher;
    if (!oneDataFolder) options.limits.maxBlocksPerFolder = 1;
    MemoryCabOutput cabinet;
    CabWriter writer;
    EXPECT_TRUE(writer.Write(groups, cabinet, options)) << writer.Error();

    Layout layout;
    layout.bytes.assign(kStubSize, 0);
    layout.bytes[0] = 'M';
    layout.bytes[1] = 'Z';
    layout.bytes.insert(layout.bytes.end(), cabinet.bytes.begin(), cabinet.bytes.end());
    uint32_t presetup = 0;
    for (const CabEntry& e : groups[0].files) presetup += static_cast<uint32_t>(e.size);
    const uint32_t trailerOffset = static_cast<uint32_t>(layout.bytes.size());
    for (uint32_t word : {presetup, trailerOffset})
        for (int i = 0; i < 4; ++i) layout.bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));

    const uint8_t* cab = layout.bytes.data() + layout.base;
    layout.folders = cab[26] | cab[27] << 8;
    layout.fileCount = cab[28] | cab[29] << 8;
    size_t at = layout.base + 36 + 8 * layout.folders;
    for (size_t i = 0; i < layout.fileCount && i < 8; ++i) {
        layout.fileEntry[i] = at;
        at += 16 + std::strlen(reinterpret_cast<const char*>(layout.bytes.data() + at + 16)) + 1;
    }
    return layout;
}

class Collect final : public WalkHandler {
public:
    FileAction BeginFile(const CabFile& file) override {
        files[file.name];
        return FileAction::Write;
    }
    bool WriteData(const CabFile& file, const uint8_t* data, uint32_t size) override {
        files[file.name].append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool EndFile(const CabFile&) override { return true; }
    std::map<std::string, std::string> files;
};

// What brikpack and the engine's walk see: the status of the first check or
// walk that fails, Ok with the files otherwise. `checkedBeforeWalk` tells
// whether the failure came before any file was handed out.
struct Outcome {
    CabStatus status = CabStatus::Ok;
    bool checkedBeforeWalk = false;
    bool package = false;
    std::string error;
    std::map<std::string, std::string> files;
};

Outcome Read(const std::vector<uint8_t>& image) {
    Outcome o;
    MemorySource source(image.data(), image.size());
    Cabinet cab;
    o.status = cab.Open(source);
    if (o.status == CabStatus::Ok && cab.IsPackage()) o.status = cab.CheckFolders();
    o.package = cab.IsPackage();
    o.checkedBeforeWalk = o.status != CabStatus::Ok;
    if (o.status == CabStatus::Ok) {
        Collect collect;
        o.status = cab.Walk(collect);
        o.files = std::move(collect.files);
    }
    o.error = cab.Error();
    return o;
}

void Add32(std::vector<uint8_t>& bytes, size_t at, int32_t delta) {
    uint32_t v = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
    v += static_cast<uint32_t>(delta);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Add16(std::vector<uint8_t>& bytes, size_t at, int delta) {
    const uint16_t v = static_cast<uint16_t>((bytes[at] | bytes[at + 1] << 8) + delta);
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}

TEST(CabinetPackage, TheBuildersLayoutPasses) {
    std::map<std::string, std::string> files;
    const Layout p = MakePackage(&files);
    ASSERT_EQ(p.folders, 4u);
    const Outcome o = Read(p.bytes);
    EXPECT_TRUE(o.package);
    ASSERT_EQ(o.status, CabStatus::Ok) << o.error;
    EXPECT_EQ(o.files, files);
}

// Each field of the tables damaged on its own: the package is refused before
// any file is handed out, though a plain cabinet reader would extract most
// of these "fine".
TEST(CabinetPackage, DamagedTablesAreRefusedBeforeAnythingIsWritten) {
    const Layout p = MakePackage();
    const size_t cab = p.base;
    const size_t folder0 = cab + 36;
    const size_t folder1 = folder0 + 8;
    const size_t end = p.bytes.size();
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const Case cases[] = {
        {"the cabinet's size, one more", [&](auto& b) { Add32(b, cab + 8, 1); }},
        {"the cabinet's size, one less", [&](auto& b) { Add32(b, cab + 8, -1); }},
        {"the file list's offset", [&](auto& b) { Add32(b, cab + 16, 16); }},
        {"one folder fewer", [&](auto& b) { Add16(b, cab + 26, -1); }},
        {"one file fewer", [&](auto& b) { Add16(b, cab + 28, -1); }},
        {"one file more", [&](auto& b) { Add16(b, cab + 28, 1); }},
        {"the first folder's data offset", [&](auto& b) { Add32(b, folder0, 8); }},
        {"a later folder's data offset", [&](auto& b) { Add32(b, folder1, -8); }},
        {"a folder's block count", [&](auto& b) { Add16(b, folder1 + 4, -1); }},
        {"a Presetup file's size, one more", [&](auto& b) { Add32(b, p.fileEntry[0], 1); }},
        {"a Presetup file's size, one less", [&](auto& b) { Add32(b, p.fileEntry[0], -1); }},
        {"the last Presetup file's size", [&](auto& b) { Add32(b, p.fileEntry[2], 1); }},
        {"a Data file's size", [&](auto& b) { Add32(b, p.fileEntry[4], -100); }},
        {"the last file's size, shorter", [&](auto& b) { Add32(b, p.fileEntry[5], -1); }},
        {"a file's offset", [&](auto& b) { Add32(b, p.fileEntry[1] + 4, 1); }},
        {"a file's folder", [&](auto& b) { Add16(b, p.fileEntry[4] + 8, 1); }},
        {"a file moved to the folder before", [&](auto& b) { Add16(b, p.fileEntry[4] + 8, -1); }},
        {"the trailer's Presetup size", [&](auto& b) { Add32(b, end - 8, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image = p.bytes;
        c.damage(image);
        const Outcome o = Read(image);
        EXPECT_NE(o.status, CabStatus::Ok);
        EXPECT_TRUE(o.checkedBeforeWalk) << o.error;
        EXPECT_FALSE(o.error.empty());
    }
}

// A package signed after it was built keeps its trailer just before the
// signature; one changed after signing is refused before anything is handed
// out. A signature inside the host (an engine signed before it was packed)
// covered the host only and is no reason to refuse.
TEST(CabinetPackage, SignedPackagesAreReadUpToTheirSignature) {
    std::map<std::string, std::string> files;
    const Layout p = MakePackage(&files);
    for (uint32_t padding : {0u, 5u}) {
        SCOPED_TRACE(padding);
        std::vector<uint8_t> image = p.bytes;
        test::SignImage(image, padding);
        Outcome o = Read(image);
        EXPECT_TRUE(o.package);
        ASSERT_EQ(o.status, CabStatus::Ok) << o.error;
        EXPECT_EQ(o.files, files);

        image.push_back(0);
        o = Read(image);
        EXPECT_EQ(o.status, CabStatus::BadFormat);
        EXPECT_TRUE(o.checkedBeforeWalk);
        EXPECT_NE(o.error.find("damaged package"), std::string::npos) << o.error;
    }
    std::vector<uint8_t> image = p.bytes;
    test::SignImage(image, 0);
    image.resize(p.bytes.size());
    const uint32_t insideHost = 0xB8;  // 16 bytes up to the cabinet's start
    for (int i = 0; i < 4; ++i) image[0x10 + 24 + 96 + 32 + i] = static_cast<uint8_t>(insideHost >> (8 * i));
    for (int i = 0; i < 4; ++i) image[0x10 + 24 + 96 + 36 + i] = static_cast<uint8_t>(0x10 >> (8 * i));
    const Outcome o = Read(image);
    EXPECT_TRUE(o.package);
    EXPECT_EQ(o.status, CabStatus::Ok) << o.error;
}

// Without the trailer the same cabinet is a plain one, read as other tools
// read it: a file whose size was damaged comes out short, without error.
TEST(CabinetPackage, PlainCabinetsStayLenient) {
    Layout p = MakePackage();
    Add32(p.bytes, p.fileEntry[5], -1);
    std::vector<uint8_t> plain(p.bytes.begin(), p.bytes.end() - 8);
    const Outcome o = Read(plain);
    EXPECT_FALSE(o.package);
    EXPECT_EQ(o.status, CabStatus::Ok) << o.error;
    EXPECT_EQ(o.files.at("Data\\c.bin").size(), 29999u);
}

// A stored checksum of 0 means "not computed" to cabinet readers, so a
// damaged byte in a block whose checksum was zeroed passes them; our builder
// computes every checksum, and a package's 0 is compared like any other.
TEST(CabinetPackage, AZeroedBlockChecksumIsStillChecked) {
    std::map<std::string, std::string> files;
    const Layout p = MakePackage(&files);
    // The last folder is c.bin alone, one stored block before the trailer.
    const size_t payload = p.bytes.size() - 8 - files.at("Data\\c.bin").size();
    std::vector<uint8_t> image = p.bytes;
    for (size_t i = 0; i < 4; ++i) image[payload - 8 + i] = 0;
    image[payload + 100] ^= 1;
    for (const bool flipped : {true, false}) {
        SCOPED_TRACE(flipped ? "a data byte flipped" : "the data intact");
        if (!flipped) image[payload + 100] ^= 1;
        const Outcome o = Read(image);
        EXPECT_TRUE(o.package);
        EXPECT_EQ(o.status, CabStatus::BadChecksum) << o.error;
        EXPECT_FALSE(o.checkedBeforeWalk);
    }
    // A plain cabinet keeps the format's meaning of 0.
    image[payload + 100] ^= 1;
    const Outcome lenient = Read(std::vector<uint8_t>(image.begin(), image.end() - 8));
    EXPECT_FALSE(lenient.package);
    EXPECT_EQ(lenient.status, CabStatus::Ok) << lenient.error;
}

// Every bit of every table field and of the trailer flipped in turn: the
// package fails cleanly or yields exactly its files. Names, dates and
// attributes are left out: no checksum covers them and they are not sizes.
TEST(CabinetPackage, EveryFlippedTableBitFailsOrChangesNothing) {
    std::map<std::string, std::string> files;
    const Layout p = MakePackage(&files);
    std::vector<size_t> positions;
    for (size_t i = 0; i < 36 + 8 * p.folders; ++i) positions.push_back(p.base + i);
    for (size_t f = 0; f < p.fileCount; ++f)
        for (size_t i = 0; i < 10; ++i) positions.push_back(p.fileEntry[f] + i);
    for (size_t i = 8; i > 0; --i) positions.push_back(p.bytes.size() - i);
    size_t refused = 0;
    for (size_t at : positions) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> image = p.bytes;
            image[at] ^= static_cast<uint8_t>(1 << bit);
            const Outcome o = Read(image);
            if (o.status != CabStatus::Ok) {
                ++refused;
                EXPECT_FALSE(o.error.empty());
                continue;
            }
            EXPECT_EQ(o.files, files) << "byte " << at - p.base << " of the cabinet, bit " << bit;
        }
    }
    EXPECT_GT(refused, positions.size() * 4);
}

// The last two Data files' entries swapped: names, sizes and offsets go
// together, so the table still describes the same bytes, but the walk must
// go back in the folder for the second. The trailer is left off: the
// package rules would refuse the order before any walk.
std::vector<uint8_t> SwapLastTwoFiles(const Layout& p) {
    std::vector<uint8_t> plain(p.bytes.begin(), p.bytes.end() - 8);
    const size_t first = p.fileEntry[p.fileCount - 2], second = p.fileEntry[p.fileCount - 1];
    const size_t secondSize = 16 + std::strlen(reinterpret_cast<const char*>(plain.data() + second + 16)) + 1;
    EXPECT_EQ(second - first, secondSize);
    std::vector<uint8_t> a(plain.begin() + static_cast<std::ptrdiff_t>(first),
                           plain.begin() + static_cast<std::ptrdiff_t>(second));
    std::copy(plain.begin() + static_cast<std::ptrdiff_t>(second),
              plain.begin() + static_cast<std::ptrdiff_t>(second + secondSize),
              plain.begin() + static_cast<std::ptrdiff_t>(first));
    std::copy(a.begin(), a.end(), plain.begin() + static_cast<std::ptrdiff_t>(first + secondSize));
    return plain;
}

// The decryption chain runs once over the Data folder: a walk that would
// have to decode that folder a second time fails instead of deciphering its
// blocks with a chain that has gone on. Without a cipher the same walk
// decodes the folder again and yields every file.
TEST(CabinetPackage, AReReadUnderDecryptionFails) {
    struct Cipher final : BlockCipher {
        explicit Cipher(const HavalDigest& key) { gost.Initialise(key.data(), key.size() * 8); }
        void Encrypt(uint8_t* data, size_t size) override { gost.Encrypt(data, data, size); }
        TGost gost;
    };
    const HavalDigest key = *PackageKey("secret");
    struct Case {
        const char* what;
        bool reordered;
        CabStatus expected;
    };
    for (const Case& c : {Case{"stored order", false, CabStatus::Ok}, Case{"reordered", true, CabStatus::BadFormat}}) {
        SCOPED_TRACE(c.what);
        Cipher cipher(key);
        std::map<std::string, std::string> files;
        const Layout p = MakePackage(&files, &cipher, true);
        ASSERT_EQ(p.folders, 2u);
        const std::vector<uint8_t> image = c.reordered ? SwapLastTwoFiles(p) : p.bytes;
        MemorySource source(image.data(), image.size());
        Cabinet cab;
        ASSERT_EQ(cab.Open(source), CabStatus::Ok) << cab.Error();
        Collect collect;
        DecryptingHandler decrypting(collect, cab, key);
        EXPECT_EQ(cab.Walk(decrypting), c.expected) << cab.Error();
        if (c.expected == CabStatus::Ok) {
            EXPECT_EQ(collect.files, files);
        } else {
            EXPECT_NE(cab.Error().find("read again"), std::string::npos) << cab.Error();
            // The file that lay behind got none of its bytes.
            EXPECT_TRUE(collect.files["Data\\b.bin"].empty());
        }
    }
    std::map<std::string, std::string> files;
    const std::vector<uint8_t> clear = SwapLastTwoFiles(MakePackage(&files, nullptr, true));
    const Outcome o = Read(clear);
    EXPECT_EQ(o.status, CabStatus::Ok) << o.error;
    EXPECT_EQ(o.files, files);
}

}  // namespace
}  // namespace brik::cab
