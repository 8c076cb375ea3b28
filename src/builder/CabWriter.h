// Writes one Microsoft Cabinet: a single cabinet (header flags 0, nothing
// reserved), its files in the order given, their data in blocks of 32 KB
// with a checksum on every block, stored or MSZIP. MSZIP blocks are
// compressed independently of each other, on worker threads, and written in
// order, so the output is the same bytes whatever the timing of the threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cab/Cabinet.h"

namespace brik {

enum class CabCompression { None, Mszip };

// Deflate level of MSZIP blocks. With libdeflate, 5 is as small as 6 on
// varied data (and smaller than gcab's zlib output) at a good deal less time.
inline constexpr int kDefaultDeflateLevel = 5;

// One file of the cabinet. Its bytes come from a file on disk, or from
// `data` when `inMemory` is set.
struct CabEntry {
    std::string name;  // the stored name, in the target's code page
    uint64_t size = 0;
    uint16_t date = 0x0021;  // DOS date (1980-01-01) and time
    uint16_t time = 0;
    uint16_t attributes = cab::kAttrArchive;
    std::filesystem::path source;
    bool inMemory = false;
    std::string data;
};

// Files that share a compression and, when `encrypt` is set, the block
// cipher. A group becomes one cabinet folder, or several when its data needs
// more blocks than a folder may have; folders are cut between files.
struct CabFolderGroup {
    CabCompression compression = CabCompression::Mszip;
    bool encrypt = false;
    std::vector<CabEntry> files;
};

// Where the cabinet goes. Offsets count from the cabinet's first byte.
class CabOutput {
public:
    virtual ~CabOutput() = default;
    virtual bool Write(const void* data, size_t size) = 0;
    // Rewrites bytes written before; later Writes still append.
    virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

// Appends to a byte vector.
class MemoryCabOutput final : public CabOutput {
public:
    bool Write(const void* data, size_t size) override;
    bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    std::vector<uint8_t> bytes;
};

// The chain cipher of protected packages, called once per data block with
// the block's payload as stored, in the order the blocks are written.
class BlockCipher {
public:
    virtual ~BlockCipher() = default;
    virtual void Encrypt(uint8_t* data, size_t size) = 0;
};

// What the format can hold; tests lower them to reach them with little data.
struct CabLimits {
    uint32_t maxBlocksPerFolder = 65535;  // the folder's block count is 16 bits
    uint32_t maxFiles = 65535;            // and so are the file and folder counts
    uint32_t maxFolders = 65535;
    uint64_t maxSize = 0xFFFFFFFF;        // the cabinet's size and every offset in it are 32 bits
};

struct CabWriteOptions {
    unsigned threads = 2;  // compression threads; 0 or 1: compress on the caller's thread
    int level = kDefaultDeflateLevel;
    BlockCipher* cipher = nullptr;
    CabLimits limits;
    // Uncompressed bytes done and in all, after each data block.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

class CabWriter {
public:
    // False with Error() set when a limit is exceeded, an input cannot be
    // read or changed its size, or the output cannot be written.
    bool Write(const std::vector<CabFolderGroup>& groups, CabOutput& out, const CabWriteOptions& options);

    const std::string& Error() const { return error_; }
    uint64_t Size() const { return size_; }
    uint32_t FolderCount() const { return folderCount_; }
    uint64_t InputBytes() const { return inputBytes_; }

private:
    bool Fail(std::string why);

    std::string error_;
    uint64_t size_ = 0;
    uint32_t folderCount_ = 0;
    uint64_t inputBytes_ = 0;
};

// The MSZIP payload of one block: "CK" and a deflate stream that ends in
// the block, without history from earlier blocks. At most size + 7 bytes
// (a stored deflate block when compression does not pay), but `out` must
// have room for kOutCapacity.
class MszipCompressor {
public:
    static constexpr size_t kOutCapacity = cab::kFrameSize + 1024;

    explicit MszipCompressor(int level = kDefaultDeflateLevel);
    ~MszipCompressor();
    MszipCompressor(const MszipCompressor&) = delete;
    MszipCompressor& operator=(const MszipCompressor&) = delete;

    uint32_t Compress(const uint8_t* in, uint32_t size, uint8_t* out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Which deflate library the MSZIP compressor uses, for messages.
const char* DeflateLibraryName();

}  // namespace brik
