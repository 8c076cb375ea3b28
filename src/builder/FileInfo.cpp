#include "builder/FileInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "builder/CodePage.h"
#include "util/kpStrUtils.h"

namespace brik {

namespace {

// Bounds-checked reads of little- and big-endian numbers at file offsets.
class Reader {
public:
    explicit Reader(cab::CabSource& source) : source_(source) {}

    uint64_t Size() const { return source_.Size(); }

    bool Bytes(uint64_t offset, void* out, size_t size) {
        return offset <= Size() && Size() - offset >= size && source_.ReadAt(offset, out, size);
    }
    bool Le16(uint64_t offset, uint16_t& v) {
        uint8_t b[2];
        if (!Bytes(offset, b, 2)) return false;
        v = static_cast<uint16_t>(b[0] | b[1] << 8);
        return true;
    }
    bool Le32(uint64_t offset, uint32_t& v) {
        uint8_t b[4];
        if (!Bytes(offset, b, 4)) return false;
        v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
            static_cast<uint32_t>(b[3]) << 24;
        return true;
    }
    bool Be16(uint64_t offset, uint16_t& v) {
        uint8_t b[2];
        if (!Bytes(offset, b, 2)) return false;
        v = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool Be32(uint64_t offset, uint32_t& v) {
        uint8_t b[4];
        if (!Bytes(offset, b, 4)) return false;
        v = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
            static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]);
        return true;
    }
    // A zero-terminated string of at most `max` bytes before its terminator.
    bool CString(uint64_t offset, size_t max, std::string& out) {
        out.clear();
        for (size_t i = 0; i <= max; ++i) {
            uint8_t c;
            if (!Bytes(offset + i, &c, 1)) return false;
            if (c == 0) return true;
            out += static_cast<char>(c);
        }
        return false;
    }

private:
    cab::CabSource& source_;
};

constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint16_t kRtFontDir = 7;
constexpr uint16_t kRtVersion = 16;

// Where a resource's bytes lie in the file.
struct Resource {
    uint64_t offset = 0;
    uint32_t size = 0;
};

enum class ImageKind { None, Pe, Ne };

struct Image {
    ImageKind kind = ImageKind::None;
    uint32_t header = 0;  // offset of the "PE" or "NE" signature
};

Image FindImage(Reader& r) {
    Image image;
    uint8_t mz[2];
    uint32_t lfanew;
    if (!r.Bytes(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z' || !r.Le32(0x3C, lfanew)) return image;
    uint8_t sig[4];
    if (!r.Bytes(lfanew, sig, 4)) return image;
    if (sig[0] == 'P' && sig[1] == 'E' && sig[2] == 0 && sig[3] == 0) image.kind = ImageKind::Pe;
    else if (sig[0] == 'N' && sig[1] == 'E') image.kind = ImageKind::Ne;
    image.header = lfanew;
    return image;
}

// --- PE ----------------------------------------------------------------------

struct Section {
    uint32_t address = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

struct PeResources {
    std::vector<Section> sections;
    uint64_t root = 0;  // file offset of the root resource directory
    uint64_t end = 0;   // end of the section data that holds it
};

// The file range of [rva, rva + size) when it lies in one section's data.
bool RvaToOffset(const std::vector<Section>& sections, uint32_t rva, uint32_t size, uint64_t& offset,
                 uint64_t* sectionEnd = nullptr) {
    for (const Section& s : sections) {
        const uint64_t span = std::max(s.virtualSize, s.rawSize);
        if (rva < s.address || rva - s.address >= span) continue;
        const uint64_t into = rva - s.address;
        if (into + size > s.rawSize) return false;
        offset = static_cast<uint64_t>(s.rawOffset) + into;
        if (sectionEnd) *sectionEnd = static_cast<uint64_t>(s.rawOffset) + s.rawSize;
        return true;
    }
    return false;
}

bool LoadPeResources(Reader& r, uint32_t pe, PeResources& out) {
    uint16_t sectionCount, optionalSize, magic;
    if (!r.Le16(pe + 6, sectionCount) || !r.Le16(pe + 20, optionalSize)) return false;
    const uint64_t optional = static_cast<uint64_t>(pe) + 24;
    if (!r.Le16(optional, magic)) return false;
    uint64_t directories;
    uint32_t directoryCount;
    if (magic == 0x10B) {
        directories = optional + 96;
        if (!r.Le32(optional + 92, directoryCount)) return false;
    } else if (magic == 0x20B) {
        directories = optional + 112;
        if (!r.Le32(optional + 108, directoryCount)) return false;
    } else {
        return false;
    }
    // The resource table is the third directory, and must lie inside the
    // optional header that declares it.
    if (directoryCount < 3 || directories + 3 * 8 > optional + optionalSize) return false;
    uint32_t resourceRva, resourceSize;
    if (!r.Le32(directories + 16, resourceRva) || !r.Le32(directories + 20, resourceSize) || resourceRva == 0)
        return false;
    const uint64_t table = optional + optionalSize;
    // The loader takes no more than 96 sections.
    if (sectionCount > 96) return false;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        Section s;
        const uint64_t at = table + 40ull * i;
        if (!r.Le32(at + 8, s.virtualSize) || !r.Le32(at + 12, s.address) || !r.Le32(at + 16, s.rawSize) ||
            !r.Le32(at + 20, s.rawOffset))
            return false;
        out.sections.push_back(s);
    }
    return RvaToOffset(out.sections, resourceRva, 16, out.root, &out.end);
}

// The first resource of a type: the type's directory, its first name, its
// first language. Offsets inside the tree count from the root directory.
bool FindPeResource(Reader& r, const PeResources& res, uint16_t type, Resource& found) {
    auto entries = [&](uint64_t dir, uint32_t& count) {
        uint16_t named, ids;
        if (!r.Le16(dir + 12, named) || !r.Le16(dir + 14, ids)) return false;
        count = static_cast<uint32_t>(named) + ids;
        return dir + 16 + 8ull * count <= res.end;
    };
    uint32_t count;
    if (!entries(res.root, count)) return false;
    uint64_t dir = 0;
    for (uint32_t i = 0; i < count && dir == 0; ++i) {
        uint32_t name, target;
        const uint64_t at = res.root + 16 + 8ull * i;
        if (!r.Le32(at, name) || !r.Le32(at + 4, target)) return false;
        if (!(name & 0x80000000u) && name == type && (target & 0x80000000u))
            dir = res.root + (target & 0x7FFFFFFFu);
    }
    // Two more levels, names then languages; each must be a directory
    // except the last, which is the data entry.
    for (int level = 0; level < 2; ++level) {
        if (dir == 0 || !entries(dir, count) || count == 0) return false;
        uint32_t target;
        if (!r.Le32(dir + 16 + 4, target)) return false;
        const bool isDirectory = (target & 0x80000000u) != 0;
        if (isDirectory != (level == 0)) return false;
        dir = res.root + (target & 0x7FFFFFFFu);
    }
    uint32_t rva, size;
    if (!r.Le32(dir, rva) || !r.Le32(dir + 4, size)) return false;
    found.size = size;
    return RvaToOffset(res.sections, rva, size, found.offset);
}

// --- NE (16-bit) ---------------------------------------------------------------

// Every resource of a type from the NE resource table (type ids carry the
// high bit for numbered types).
std::vector<Resource> FindNeResources(Reader& r, uint32_t ne, uint16_t type, size_t max) {
    std::vector<Resource> out;
    uint16_t tableOffset, residentNames, shift;
    if (!r.Le16(ne + 0x24, tableOffset) || !r.Le16(ne + 0x26, residentNames) || tableOffset == residentNames)
        return out;
    uint64_t at = static_cast<uint64_t>(ne) + tableOffset;
    if (!r.Le16(at, shift) || shift > 16) return out;
    at += 2;
    for (int types = 0; types < 256; ++types) {
        uint16_t typeId, count;
        if (!r.Le16(at, typeId) || typeId == 0 || !r.Le16(at + 2, count)) break;
        at += 8;
        if (typeId == (0x8000 | type)) {
            for (uint16_t i = 0; i < count && out.size() < max; ++i) {
                uint16_t offset, length;
                if (!r.Le16(at + 12ull * i, offset) || !r.Le16(at + 12ull * i + 2, length)) return out;
                const uint64_t start = static_cast<uint64_t>(offset) << shift;
                const uint64_t size = static_cast<uint64_t>(length) << shift;
                if (start > r.Size()) continue;
                out.push_back({start, static_cast<uint32_t>(std::min<uint64_t>(size, r.Size() - start))});
            }
            return out;
        }
        at += 12ull * count;
    }
    return out;
}

std::string VersionText(uint32_t ms, uint32_t ls) {
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return text;
}

// VS_VERSIONINFO: the 32-bit form has a UTF-16 key, the 16-bit form an 8-bit
// one; the fixed file information follows the key, aligned to 4 bytes.
std::string VersionFromResource(Reader& r, const Resource& res, bool wide) {
    static constexpr char kKey[] = "VS_VERSION_INFO";
    const uint32_t keyStart = wide ? 6 : 4;
    const uint32_t keyBytes = wide ? 32 : 16;
    const uint32_t fixed = (keyStart + keyBytes + 3) & ~3u;
    if (res.size < fixed + 52) return "";
    uint16_t valueLength;
    if (!r.Le16(res.offset + 2, valueLength) || valueLength < 52) return "";
    for (uint32_t i = 0; i < 16; ++i) {
        uint16_t c;
        if (wide) {
            if (!r.Le16(res.offset + keyStart + 2 * i, c)) return "";
        } else {
            uint8_t b;
            if (!r.Bytes(res.offset + keyStart + i, &b, 1)) return "";
            c = b;
        }
        if (c != static_cast<uint8_t>(kKey[i])) return "";
    }
    uint32_t signature, ms, ls;
    if (!r.Le32(res.offset + fixed, signature) || signature != kFixedFileInfoSignature ||
        !r.Le32(res.offset + fixed + 8, ms) || !r.Le32(res.offset + fixed + 12, ls))
        return "";
    return VersionText(ms, ls);
}

// --- Fonts ---------------------------------------------------------------------

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string Extension(std::string_view fileName) {
    const size_t slash = fileName.find_last_of("\\/");
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "";
    return Lower(fileName.substr(dot));
}

// The face name, and the point sizes of a raster font, from a font
// directory resource: a count, then per font its ordinal, the 113-byte
// header and the device and face names.
bool NameFromFontDir(Reader& r, const Resource& dir, std::string& name) {
    uint16_t count;
    if (!r.Le16(dir.offset, count) || count == 0) return false;
    const uint64_t end = dir.offset + dir.size;
    uint64_t at = dir.offset + 2;
    std::string face;
    bool vector = false;
    std::set<uint16_t> points;
    for (uint16_t i = 0; i < count && i < 256; ++i) {
        uint16_t type, size;
        const uint64_t entry = at + 2;
        if (entry + 113 > end || !r.Le16(entry + 66, type) || !r.Le16(entry + 68, size)) break;
        std::string device, thisFace;
        if (!r.CString(entry + 113, 255, device) || !r.CString(entry + 113 + device.size() + 1, 255, thisFace))
            break;
        at = entry + 113 + device.size() + 1 + thisFace.size() + 1;
        if (face.empty()) face = thisFace;
        if (thisFace != face) continue;
        if (type & 1) vector = true;
        else points.insert(size);
    }
    face = std::string(Trim(face));
    if (face.empty()) return false;
    name = face;
    if (!vector && !points.empty()) {
        std::string list;
        for (uint16_t p : points) list += (list.empty() ? "" : ",") + std::to_string(p);
        name += " " + list;
    }
    return true;
}

bool FonName(Reader& r, std::string& name) {
    const Image image = FindImage(r);
    if (image.kind == ImageKind::Ne) {
        // The module description of a font file reads
        // "FONTRES aspect,dpi,dpi : name"; the system registers the name.
        uint32_t table;
        uint8_t length;
        if (r.Le32(image.header + 0x2C, table) && r.Bytes(table, &length, 1) && length > 0) {
            std::string description(length, '\0');
            if (r.Bytes(table + 1ull, description.data(), length)) {
                const size_t colon = description.find(':');
                if (Lower(description.substr(0, 7)) == "fontres" && colon != std::string::npos) {
                    name = Trim(description.substr(colon + 1));
                    if (!name.empty()) return true;
                }
            }
        }
        for (const Resource& dir : FindNeResources(r, image.header, kRtFontDir, 1))
            if (NameFromFontDir(r, dir, name)) return true;
        return false;
    }
    if (image.kind == ImageKind::Pe) {
        PeResources res;
        Resource dir;
        return LoadPeResources(r, image.header, res) && FindPeResource(r, res, kRtFontDir, dir) &&
               NameFromFontDir(r, dir, name);
    }
    return false;
}

// The full name (name id 4) of the font whose table directory starts at
// `font`: Windows records in US English first, then other English, then any
// Windows or Unicode record, then the Macintosh Roman one.
bool SfntFullName(Reader& r, uint64_t font, std::u32string& name) {
    uint16_t tables;
    if (!r.Be16(font + 4, tables)) return false;
    uint32_t nameOffset = 0, nameLength = 0;
    for (uint16_t i = 0; i < tables && i < 1024; ++i) {
        uint32_t tag;
        const uint64_t at = font + 12 + 16ull * i;
        if (!r.Be32(at, tag)) return false;
        if (tag == 0x6E616D65 /* name */) {
            if (!r.Be32(at + 8, nameOffset) || !r.Be32(at + 12, nameLength)) return false;
            break;
        }
    }
    uint16_t count, stringOffset;
    if (nameLength < 6 || !r.Be16(nameOffset + 2ull, count) || !r.Be16(nameOffset + 4ull, stringOffset)) return false;
    const uint64_t end = static_cast<uint64_t>(nameOffset) + nameLength;
    int best = 0;
    uint16_t bestPlatform = 0, bestLength = 0, bestOffset = 0;
    for (uint16_t i = 0; i < count && i < 4096; ++i) {
        const uint64_t at = nameOffset + 6ull + 12ull * i;
        uint16_t platform, encoding, language, id, length, offset;
        if (at + 12 > end || !r.Be16(at, platform) || !r.Be16(at + 2, encoding) || !r.Be16(at + 4, language) ||
            !r.Be16(at + 6, id) || !r.Be16(at + 8, length) || !r.Be16(at + 10, offset))
            break;
        if (id != 4 || length == 0) continue;
        int score = 0;
        if (platform == 3 && (encoding == 0 || encoding == 1 || encoding == 10))
            score = language == 0x0409 ? 5 : (language & 0x3FF) == 0x09 ? 4 : 3;
        else if (platform == 0)
            score = 2;
        else if (platform == 1 && encoding == 0)
            score = 1;
        if (score > best && nameOffset + static_cast<uint64_t>(stringOffset) + offset + length <= end) {
            best = score;
            bestPlatform = platform;
            bestLength = length;
            bestOffset = offset;
        }
    }
    if (best == 0) return false;
    std::string raw(bestLength, '\0');
    if (!r.Bytes(nameOffset + static_cast<uint64_t>(stringOffset) + bestOffset, raw.data(), bestLength)) return false;
    name.clear();
    if (bestPlatform == 1) {
        name = DecodeMacRoman(raw);
    } else {
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            char32_t c = static_cast<char32_t>(static_cast<unsigned char>(raw[i]) << 8 |
                                               static_cast<unsigned char>(raw[i + 1]));
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < raw.size()) {
                const char32_t low = static_cast<char32_t>(static_cast<unsigned char>(raw[i + 2]) << 8 |
                                                           static_cast<unsigned char>(raw[i + 3]));
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            name += c;
        }
    }
    while (!name.empty() && (name.back() == 0 || name.back() == ' ')) name.pop_back();
    return !name.empty();
}

}  // namespace

std::string FileVersionText(cab::CabSource& file) {
    Reader r(file);
    const Image image = FindImage(r);
    Resource version;
    if (image.kind == ImageKind::Pe) {
        PeResources res;
        if (LoadPeResources(r, image.header, res) && FindPeResource(r, res, kRtVersion, version))
            return VersionFromResource(r, version, true);
    } else if (image.kind == ImageKind::Ne) {
        for (const Resource& res : FindNeResources(r, image.header, kRtVersion, 1))
            return VersionFromResource(r, res, false);
    }
    return "";
}

bool IsFontFile(std::string_view fileName) {
    const std::string ext = Extension(fileName);
    return ext == ".ttf" || ext == ".otf" || ext == ".ttc" || ext == ".fon";
}

bool FontRegistryName(cab::CabSource& file, std::string_view fileName, int codePage, std::string& name,
                      std::string& problem) {
    Reader r(file);
    const std::string ext = Extension(fileName);
    name.clear();
    if (ext == ".fon") {
        if (FonName(r, name)) return true;
        problem = "no font name found in its module description or font directory";
        return false;
    }
    uint32_t tag;
    if (!r.Be32(0, tag)) {
        problem = "not a font file";
        return false;
    }
    std::u32string full;
    std::string suffix;
    if (tag == 0x74746366 /* ttcf */) {
        uint32_t fonts;
        if (!r.Be32(8, fonts) || fonts == 0) {
            problem = "a font collection without fonts";
            return false;
        }
        for (uint32_t i = 0; i < fonts && i < 64; ++i) {
            uint32_t offset;
            std::u32string one;
            if (!r.Be32(12 + 4ull * i, offset) || !SfntFullName(r, offset, one)) {
                problem = "font " + std::to_string(i + 1) + " of the collection has no full name";
                return false;
            }
            if (!full.empty()) full += U" & ";
            full += one;
        }
        suffix = " (TrueType)";
    } else if (tag == 0x00010000 || tag == 0x74727565 /* true */ || tag == 0x4F54544F /* OTTO */) {
        if (!SfntFullName(r, 0, full)) {
            problem = "the font has no full name in its name table";
            return false;
        }
        if (ext == ".otf") suffix = tag == 0x4F54544F ? " (OpenType)" : " (TrueType)";
        else if (ext == ".ttc") suffix = " (TrueType)";
    } else {
        problem = "not a TrueType or OpenType font";
        return false;
    }
    std::string bad;
    if (!EncodeCodePage(full, codePage, name, &bad)) {
        std::string utf8;
        for (char32_t c : full) AppendUtf8(c, utf8);
        problem = "the font name \"" + utf8 + "\" has a character that code page " + std::to_string(codePage) +
                  " lacks (" + bad + ")";
        name.clear();
        return false;
    }
    name += suffix;
    return true;
}

}  // namespace brik
