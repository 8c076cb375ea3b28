// Reads one Microsoft Cabinet found inside a host file (a setup package or a
// plain .cab) and walks its files in stored order, decoding each folder from
// its first data block on. Every header field is checked against the file
// before it is used; nothing read from the cabinet sizes an allocation
// beyond the format's fixed limits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cab/Decoder.h"
#include "util/Platform.h"

namespace brik::cab {

// All input goes through this: exact reads at an offset of the host file.
class CabSource {
public:
    virtual ~CabSource() = default;
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
    virtual uint64_t Size() const = 0;
};

class FileSource final : public CabSource {
public:
    bool Open(const std::string& path);
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }

private:
    platform::File file_;
    uint64_t size_ = 0;
    uint64_t position_ = UINT64_MAX;
};

class MemorySource final : public CabSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
};

// Where a cabinet may start inside its host: the signature must begin
// within this many bytes.
inline constexpr uint64_t kSearchLimit = 262128;

struct CabFolder {
    uint32_t dataOffset = 0;   // first data block, from the cabinet's start
    uint16_t blockCount = 0;
    uint16_t typeCompress = 0;
};

struct CabFile {
    std::string name;          // as stored, backslashes and all
    uint32_t size = 0;
    uint32_t offset = 0;       // in the folder's uncompressed stream
    uint16_t folder = 0;
    uint16_t date = 0;         // DOS date
    uint16_t time = 0;         // DOS time
    uint16_t attributes = 0;
};

// Attribute bits of a cabinet file entry.
enum : uint16_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrArchive = 0x20,
    kAttrExecute = 0x40,
    kAttrNameIsUtf = 0x80,
};

enum class FileAction { Write, Skip, Stop };

// The walk's caller: decides per file, receives its bytes, and sees every
// data block before it is decompressed.
class WalkHandler {
public:
    virtual ~WalkHandler() = default;
    virtual FileAction BeginFile(const CabFile& file) = 0;
    // False fails the walk with WriteError (or Aborted when the caller says so
    // through StopReason).
    virtual bool WriteData(const CabFile& file, const uint8_t* data, uint32_t size) = 0;
    virtual bool EndFile(const CabFile& file) = 0;
    // The walk failed while this file was being written: clean up after it.
    virtual void AbortFile(const CabFile& file) { (void)file; }
    // Called once per data block read, with its whole payload, after the
    // checksum check and before decompression.
    virtual void Decrypt(uint8_t* data, uint32_t size) { (void)data; (void)size; }
    // Whether Decrypt may see this folder's blocks again from its first: a
    // cipher that runs one chain over the blocks cannot go back, and the
    // walk then fails where it would have to decode the folder a second time
    // (a file stored after one that lies ahead of it in the folder).
    virtual bool CanReread(uint16_t folder) const {
        (void)folder;
        return true;
    }
    // Lets a handler that refused a write say it was its own choice.
    virtual CabStatus StopReason() const { return CabStatus::WriteError; }
};

// The last 8 bytes of a setup package: the Presetup files' total size, then
// the trailer's own offset in the package.
struct PackageTrailer {
    uint32_t presetupSize = 0;
    uint32_t offset = 0;
};

class Cabinet {
public:
    // Finds the cabinet in the source and reads its folder and file lists.
    // A setup package's cabinet (see IsPackage) must also be laid out as the
    // builder lays it out, as far as the tables show: the header's size and
    // file list offset right, the file list ending where the data begins,
    // the files of each folder one after another from its first byte, and
    // the trailer's Presetup size their sum for the "Presetup\" files.
    CabStatus Open(CabSource& source);
    // Walks every file in stored order. Stop from BeginFile ends the walk with
    // Aborted; a folder is only decoded as far as a written file needs it,
    // and decoded again from its first block when a later file lies behind
    // what was decoded (unless the handler says it cannot: BadFormat).
    CabStatus Walk(WalkHandler& handler);

    // Reads every folder's data block headers. For a setup package, checks
    // that each folder's blocks end where the next folder's begin (the last
    // where the cabinet ends) and hold exactly its files' bytes; other
    // cabinets pass. The walk checks each folder so when it starts it; this
    // checks them all before anything is written.
    CabStatus CheckFolders();

    // A setup package: the cabinet sits behind a host image and the file ends
    // in a trailer (or a signed one has it just before its signature, see
    // PackageEnd.h) that lies behind the cabinet's start and names its own
    // offset. The cabinet is then ours, written by our builder, and is held
    // to its layout: the file list has no per-file checksum, so a damaged
    // size or offset would otherwise extract files short or holding their
    // neighbour's bytes. Its data blocks' checksums are always verified, a
    // stored 0 ("not computed") included, since our builder computes every
    // one. Plain cabinets are read as leniently as other tools read them.
    bool IsPackage() const { return package_; }
    const PackageTrailer& Trailer() const { return trailer_; }

    uint64_t Offset() const { return base_; }
    const std::vector<CabFolder>& Folders() const { return folders_; }
    const std::vector<CabFile>& Files() const { return files_; }
    // Why the last Open or Walk failed, for people.
    const std::string& Error() const { return error_; }

private:
    CabStatus Fail(CabStatus status, std::string why);
    bool Locate();
    // False for a signed file that goes on after its signature.
    bool ReadTrailer();
    CabStatus CheckPackageTables(uint64_t fileListEnd);
    // Adds up folder `index`'s block outputs and finds where its blocks end.
    CabStatus MeasureFolder(size_t index, uint64_t& total, uint64_t& end);
    CabStatus CheckFolder(size_t index, uint64_t total, uint64_t end);

    CabSource* source_ = nullptr;
    uint64_t base_ = 0;
    uint8_t blockReserve_ = 0;
    bool package_ = false;
    PackageTrailer trailer_;
    uint32_t cabinetSize_ = 0;        // the header's size field
    std::vector<uint64_t> folderBytes_;  // the sum of each folder's file sizes
    std::vector<CabFolder> folders_;
    std::vector<CabFile> files_;
    std::string error_;
};

// Cabinet data block checksum, seeded with `seed`.
uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed);

}  // namespace brik::cab
