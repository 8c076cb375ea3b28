// A minimal stored cabinet written in memory, so a test can aim at one rule
// at a time (names, attributes, checksums, flags, a host prefix).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab/Cabinet.h"

namespace brik::test {

struct CabBuilder {
    struct File {
        std::string name;
        uint32_t size = 0;
        uint32_t offset = 0;
        uint16_t folder = 0;
        uint16_t attributes = 0x20;
        uint16_t date = 0x5021;  // 2020-01-01
        uint16_t time = 0x6000;  // 12:00:00
    };
    std::vector<File> files;
    std::vector<std::vector<uint8_t>> blocks;  // stored payloads of the one folder
    uint16_t flags = 0;

    // Appends a file whose bytes follow the previous file's, as one block.
    void AddFile(const std::string& name, const std::string& data, uint16_t attributes = 0x20) {
        uint32_t offset = files.empty() ? 0 : files.back().offset + files.back().size;
        File f;
        f.name = name;
        f.size = static_cast<uint32_t>(data.size());
        f.offset = offset;
        f.attributes = attributes;
        files.push_back(f);
        if (!data.empty()) blocks.emplace_back(data.begin(), data.end());
    }

    std::vector<uint8_t> Build(size_t prefix = 0) const {
        std::vector<uint8_t> out(prefix, 'x');
        auto put16 = [&](uint32_t v) {
            out.push_back(static_cast<uint8_t>(v));
            out.push_back(static_cast<uint8_t>(v >> 8));
        };
        auto put32 = [&](uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        uint32_t filesOffset = 36 + 8;
        uint32_t dataOffset = filesOffset;
        for (const File& f : files) dataOffset += 16 + static_cast<uint32_t>(f.name.size()) + 1;
        out.insert(out.end(), {'M', 'S', 'C', 'F', 0, 0, 0, 0});
        put32(0);
        put32(0);
        put32(filesOffset);
        put32(0);
        out.push_back(3);
        out.push_back(1);
        put16(1);
        put16(static_cast<uint32_t>(files.size()));
        put16(flags);
        put16(0);
        put16(0);
        put32(dataOffset);
        put16(static_cast<uint32_t>(blocks.size()));
        put16(0);
        for (const File& f : files) {
            put32(f.size);
            put32(f.offset);
            put16(f.folder);
            put16(f.date);
            put16(f.time);
            put16(f.attributes);
            out.insert(out.end(), f.name.begin(), f.name.end());
            out.push_back(0);
        }
        for (const auto& b : blocks) {
            const uint32_t n = static_cast<uint32_t>(b.size());
            const uint8_t sizes[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n),
                                      static_cast<uint8_t>(n >> 8)};
            put32(cab::CabChecksum(sizes, 4, cab::CabChecksum(b.data(), b.size(), 0)));
            put16(n);
            put16(n);
            out.insert(out.end(), b.begin(), b.end());
        }
        return out;
    }
};

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace brik::test
