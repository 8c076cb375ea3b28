// Small program and font images built in memory, for the tests of the
// version and font name readers and of the package builder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace brik::test {

// A byte image built at fixed offsets, growing as needed.
struct Image {
    std::vector<uint8_t> b;
    void Put(size_t at, const void* data, size_t n) {
        if (b.size() < at + n) b.resize(at + n);
        std::memcpy(b.data() + at, data, n);
    }
    void Le16(size_t at, uint32_t v) {
        const uint8_t x[2] = {uint8_t(v), uint8_t(v >> 8)};
        Put(at, x, 2);
    }
    void Le32(size_t at, uint32_t v) {
        Le16(at, v & 0xFFFF);
        Le16(at + 2, v >> 16);
    }
    void Be16(size_t at, uint32_t v) {
        const uint8_t x[2] = {uint8_t(v >> 8), uint8_t(v)};
        Put(at, x, 2);
    }
    void Be32(size_t at, uint32_t v) {
        Be16(at, v >> 16);
        Be16(at + 2, v & 0xFFFF);
    }
    void Text(size_t at, const std::string& s) { Put(at, s.data(), s.size()); }
};

// A PE image whose only resource is a version resource, in the three-level
// resource tree the system's version lookup walks.
inline std::vector<uint8_t> MakePe(uint32_t ms, uint32_t ls, bool pe32plus = false, uint16_t type = 16) {
    Image im;
    im.Text(0, "MZ");
    im.Le32(0x3C, 0x40);
    im.Text(0x40, std::string("PE\0\0", 4));
    im.Le16(0x44, pe32plus ? 0x8664 : 0x14C);
    im.Le16(0x46, 1);                       // one section
    const uint16_t optionalSize = pe32plus ? 240 : 224;
    im.Le16(0x54, optionalSize);
    const size_t opt = 0x58;
    im.Le16(opt, pe32plus ? 0x20B : 0x10B);
    const size_t dirs = opt + (pe32plus ? 112 : 96);
    im.Le32(opt + (pe32plus ? 108 : 92), 16);
    im.Le32(dirs + 16, 0x1000);             // resource table RVA
    im.Le32(dirs + 20, 0x100);
    const size_t section = opt + optionalSize;
    im.Text(section, ".rsrc");
    im.Le32(section + 8, 0x100);            // virtual size
    im.Le32(section + 12, 0x1000);          // address
    im.Le32(section + 16, 0x200);           // raw size
    im.Le32(section + 20, 0x200);           // raw offset
    const size_t r = 0x200;
    im.Le16(r + 14, 1);
    im.Le32(r + 16, type);
    im.Le32(r + 20, 0x80000000u | 0x18);
    im.Le16(r + 0x18 + 14, 1);
    im.Le32(r + 0x18 + 16, 1);
    im.Le32(r + 0x18 + 20, 0x80000000u | 0x30);
    im.Le16(r + 0x30 + 14, 1);
    im.Le32(r + 0x30 + 16, 0x409);
    im.Le32(r + 0x30 + 20, 0x48);
    im.Le32(r + 0x48, 0x1000 + 0x58);       // data RVA
    im.Le32(r + 0x48 + 4, 92);
    const size_t v = r + 0x58;
    im.Le16(v, 92);
    im.Le16(v + 2, 52);
    const std::string key = "VS_VERSION_INFO";
    for (size_t i = 0; i < key.size(); ++i) im.Le16(v + 6 + 2 * i, static_cast<uint8_t>(key[i]));
    im.Le32(v + 40, 0xFEEF04BD);
    im.Le32(v + 44, 0x10000);
    im.Le32(v + 48, ms);
    im.Le32(v + 52, ls);
    im.b.resize(0x400);
    return im.b;
}

// A 16-bit NE image with resources of the given types (FONTDIR and
// VERSION) and a module description.
inline std::vector<uint8_t> MakeNe(const std::string& description, bool withFontDir, bool withVersion = false) {
    Image im;
    im.Text(0, "MZ");
    im.Le32(0x3C, 0x40);
    const size_t ne = 0x40;
    im.Text(ne, "NE");
    im.Le16(ne + 0x24, 0x40);  // resource table
    size_t at = ne + 0x40;
    im.Le16(at, 4);            // alignment shift
    at += 2;
    if (withFontDir) {
        im.Le16(at, 0x8007);
        im.Le16(at + 2, 1);
        im.Le16(at + 8, 0x300 >> 4);
        im.Le16(at + 10, 0x200 >> 4);
        at += 8 + 12;
    }
    if (withVersion) {
        im.Le16(at, 0x8010);
        im.Le16(at + 2, 1);
        im.Le16(at + 8, 0x500 >> 4);
        im.Le16(at + 10, 0x60 >> 4);
        at += 8 + 12;
    }
    im.Le16(at, 0);
    at += 2;
    im.Le16(ne + 0x26, static_cast<uint32_t>(at - ne));  // resident names follow
    im.Le16(at, 0);
    im.Le32(ne + 0x2C, 0x280);                            // non-resident names
    im.b.resize(0x280);
    im.b.push_back(static_cast<uint8_t>(description.size()));
    im.Text(0x281, description);
    // Font directory: two raster sizes and a third entry of another face.
    const size_t fd = 0x300;
    im.Le16(fd, 3);
    size_t e = fd + 2;
    for (auto [points, face] : {std::pair<int, std::string>{12, "Courier"}, {10, "Courier"}, {8, "Other"}}) {
        im.Le16(e, 1);
        im.Le16(e + 2 + 66, 0);
        im.Le16(e + 2 + 68, static_cast<uint32_t>(points));
        im.b.resize(e + 2 + 113);
        im.b.push_back(0);  // device name
        im.Text(im.b.size(), face);
        im.b.push_back(0);
        e = im.b.size();
    }
    if (withVersion) {
        const size_t v = 0x500;
        im.Le16(v, 0x60);
        im.Le16(v + 2, 52);
        im.Text(v + 4, std::string("VS_VERSION_INFO\0", 16));
        im.Le32(v + 20, 0xFEEF04BD);
        im.Le32(v + 28, (3u << 16) | 10);
        im.Le32(v + 32, (0u << 16) | 1);
    }
    im.b.resize(0x600);
    return im.b;
}

// One sfnt font directory at `base` whose name table holds `records`.
struct NameRecord {
    uint16_t platform, encoding, language, id;
    std::u16string text;  // platform 1 records use the low bytes
};

inline void PutFont(Image& im, size_t base, uint32_t version, const std::vector<NameRecord>& records, size_t nameAt) {
    im.Be32(base, version);
    im.Be16(base + 4, 1);
    im.Text(base + 12, "name");
    im.Be32(base + 20, static_cast<uint32_t>(nameAt));
    const size_t stringOffset = 6 + 12 * records.size();
    im.Be16(nameAt + 2, static_cast<uint32_t>(records.size()));
    im.Be16(nameAt + 4, static_cast<uint32_t>(stringOffset));
    size_t text = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const NameRecord& r = records[i];
        const size_t at = nameAt + 6 + 12 * i;
        im.Be16(at, r.platform);
        im.Be16(at + 2, r.encoding);
        im.Be16(at + 4, r.language);
        im.Be16(at + 6, r.id);
        const bool mac = r.platform == 1;
        const size_t bytes = r.text.size() * (mac ? 1 : 2);
        im.Be16(at + 8, static_cast<uint32_t>(bytes));
        im.Be16(at + 10, static_cast<uint32_t>(text));
        for (size_t k = 0; k < r.text.size(); ++k) {
            const size_t where = nameAt + stringOffset + text;
            if (mac) {
                const uint8_t c = static_cast<uint8_t>(r.text[k]);
                im.Put(where + k, &c, 1);
            } else {
                im.Be16(where + 2 * k, r.text[k]);
            }
        }
        text += bytes;
    }
    im.Be32(base + 24, static_cast<uint32_t>(stringOffset + text));
}

inline std::vector<uint8_t> MakeFont(uint32_t version, const std::vector<NameRecord>& records) {
    Image im;
    PutFont(im, 0, version, records, 64);
    return im.b;
}

// Signs `image` (which starts with "MZ") the way Authenticode tools do:
// PE32 headers at `peAt` whose certificate directory names a table of
// `tableSize` bytes appended after `padding` zero bytes. The headers overlap
// the DOS header's tail when `peAt` is small, which fits them into a short
// host; only the fields a signature check reads are set.
inline void SignImage(std::vector<uint8_t>& image, uint32_t padding, uint32_t tableSize = 0x300,
                      uint32_t peAt = 0x10) {
    Image im;
    im.b = std::move(image);
    im.Le32(0x3C, peAt);
    im.Text(peAt, std::string("PE\0\0", 4));
    const size_t opt = peAt + 24;
    const uint32_t dirs = 96;
    im.Le16(peAt + 20, dirs + 16 * 8);  // the optional header's size
    im.Le16(opt, 0x10B);
    im.Le32(opt + dirs - 4, 16);        // directories
    im.b.resize(im.b.size() + padding, 0);
    const uint32_t tableAt = static_cast<uint32_t>(im.b.size());
    im.Le32(opt + dirs + 4 * 8, tableAt);
    im.Le32(opt + dirs + 4 * 8 + 4, tableSize);
    for (uint32_t i = 0; i < tableSize; ++i) im.b.push_back(static_cast<uint8_t>(0x30 + i % 7));
    image = std::move(im.b);
}

}  // namespace brik::test
