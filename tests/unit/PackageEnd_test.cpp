// Where a package's trailer lies in a signed file: the engine and the
// builder find it through FindPackageEnd, so a table of files, each damaged
// in one way, shows what both accept.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "FileImages.h"
#include "cab/PackageEnd.h"

namespace brik::cab {
namespace {

using test::SignImage;

constexpr uint32_t kHostSize = 200;

// A host with "MZ", a body and the trailer naming its own offset: an
// unsigned package of `bodySize` bytes behind the host.
std::vector<uint8_t> MakePackage(uint32_t bodySize = 1000) {
    std::vector<uint8_t> bytes(kHostSize + bodySize, 0x5A);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    for (uint32_t word : {123u, offset})
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
    return bytes;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Each read must lie within the file; one that does not is a fault of the
// header checks, whatever the result.
struct Reader {
    const std::vector<uint8_t>* bytes;
    bool strayed = false;
    static bool Read(void* context, uint64_t offset, void* buffer, size_t size) {
        auto* self = static_cast<Reader*>(context);
        if (offset > self->bytes->size() || self->bytes->size() - offset < size) {
            self->strayed = true;
            return false;
        }
        std::memcpy(buffer, self->bytes->data() + offset, size);
        return true;
    }
};

PackageExtent Find(const std::vector<uint8_t>& bytes) {
    Reader reader{&bytes};
    const PackageExtent extent = FindPackageEnd(bytes.size(), Reader::Read, &reader);
    EXPECT_FALSE(reader.strayed) << "a read outside the file";
    return extent;
}

// The certificate directory entry that SignImage writes (PE32 at 0x10).
constexpr size_t kTableEntry = 0x10 + 24 + 96 + 4 * 8;

TEST(PackageEnd, TheTrailerIsFoundBeforeTheSignatureOnly) {
    const size_t unsignedSize = MakePackage().size();
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> make;
        // Where the trailer is expected to end, from the unsigned package's
        // end; -1: at the file's end.
        int64_t end;
    };
    const auto signedWith = [](uint32_t padding) {
        return [=](std::vector<uint8_t>& b) { SignImage(b, padding); };
    };
    const Case cases[] = {
        {"unsigned", [](auto&) {}, -1},
        {"not a program", [](auto& b) { b[0] = 'Z'; }, -1},
        {"signed", signedWith(0), 0},
        {"signed, 1 byte of padding", signedWith(1), 0},
        {"signed, 4 bytes of padding", signedWith(4), 0},
        {"signed, 7 bytes of padding", signedWith(7), 0},
        {"8 zero bytes are more than a signing tool pads", signedWith(8), -1},
        {"padding that is not zero",
         [&](auto& b) {
             SignImage(b, 3);
             b[unsignedSize + 1] = 1;
         },
         -1},
        {"a damaged trailer before the table",
         [](auto& b) {
             Put32(b, b.size() - 4, 7);
             SignImage(b, 0);
         },
         -1},
        {"bytes after the table",
         [](auto& b) {
             SignImage(b, 0);
             b.push_back(0);
         },
         -1},
        {"a table that ends before the file's end",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry + 4, 0x2FF);
         },
         -1},
        {"a table that starts beyond the file",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry, static_cast<uint32_t>(b.size() + 1));
         },
         -1},
        {"a table that reaches beyond the file",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry + 4, 0x301);
         },
         -1},
        {"a table whose offset and size overflow 32 bits",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry, 0xFFFFFFF0u);
             Put32(b, kTableEntry + 4, 0x20);
         },
         -1},
        {"a table of no bytes", [](auto& b) { SignImage(b, 0, 0); }, -1},
        {"a table at offset 0 over the whole file",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry, 0);
             Put32(b, kTableEntry + 4, static_cast<uint32_t>(b.size()));
         },
         -1},
        {"a table that starts within the trailer's reach of the file's start",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, kTableEntry, 5);
             Put32(b, kTableEntry + 4, static_cast<uint32_t>(b.size() - 5));
         },
         -1},
        {"four directories only",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, 0x10 + 24 + 92, 4);
         },
         -1},
        {"an optional header too short for the directory",
         [](auto& b) {
             SignImage(b, 0);
             b[0x10 + 20] = 96 + 4 * 8 + 7;
             b[0x10 + 21] = 0;
         },
         -1},
        {"not a 32-bit program (PE32+)",
         [](auto& b) {
             SignImage(b, 0);
             b[0x10 + 25] = 0x02;
         },
         -1},
        {"no PE signature",
         [](auto& b) {
             SignImage(b, 0);
             b[0x10 + 1] = 'X';
         },
         -1},
        {"the PE headers' offset beyond the file",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, 0x3C, 0xFFFFFFFFu);
         },
         -1},
        {"the PE headers' offset near the file's end",
         [](auto& b) {
             SignImage(b, 0);
             Put32(b, 0x3C, static_cast<uint32_t>(b.size() - 30));
         },
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = MakePackage();
        c.make(bytes);
        const PackageExtent extent = Find(bytes);
        EXPECT_EQ(extent.end, c.end < 0 ? bytes.size() : unsignedSize + static_cast<uint64_t>(c.end));
    }
}

// Where the table lies tells a file signed and then changed from one signed
// as it is.
TEST(PackageEnd, TheTableIsReportedWhereItLies) {
    std::vector<uint8_t> bytes = MakePackage();
    SignImage(bytes, 2, 0x300);
    const uint64_t tableAt = MakePackage().size() + 2;
    PackageExtent extent = Find(bytes);
    EXPECT_EQ(extent.signatureAt, tableAt);
    EXPECT_EQ(extent.signatureEnd, bytes.size());
    bytes.insert(bytes.end(), 16, 0);
    extent = Find(bytes);
    EXPECT_EQ(extent.signatureAt, tableAt);
    EXPECT_EQ(extent.signatureEnd, bytes.size() - 16);
    EXPECT_EQ(extent.end, bytes.size());
}

// A file cut anywhere in its headers, or before its table, is never read
// beyond its end and counts as unsigned.
TEST(PackageEnd, TruncatedFilesStayInside) {
    std::vector<uint8_t> whole = MakePackage();
    SignImage(whole, 3);
    for (size_t size = 0; size < whole.size(); ++size) {
        if (size > 300 && size < whole.size() - 40) continue;
        SCOPED_TRACE(size);
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(Find(cut).end, size);
    }
}

}  // namespace
}  // namespace brik::cab
