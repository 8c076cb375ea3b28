// Scratch folders and raw file access for the unit tests of both targets.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace brik::test {

class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("briktest-" + std::to_string(rd()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    std::string Root() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

#ifdef BRIK_TESTDATA_DIR
// A file of the collected cabinet test suite (shared/testdata/cabs).
inline std::string CabTestFile(const std::string& name) {
#ifdef _WIN32
    return std::string(BRIK_TESTDATA_DIR) + "\\cabs\\" + name;
#else
    return std::string(BRIK_TESTDATA_DIR) + "/cabs/" + name;
#endif
}
#endif

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace brik::test
