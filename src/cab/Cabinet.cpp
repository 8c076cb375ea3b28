#include "cab/Cabinet.h"

#include <algorithm>
#include <cstring>

#include "cab/PackageEnd.h"

namespace brik::cab {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The signature is kept inverted and restored at run time: the engine
// carries this reader inside itself, and a program holding the plain
// sequence would be found by the search instead of the package behind it.
constexpr uint8_t kSignatureInverted[8] = {0xB2, 0xAC, 0xBC, 0xB9, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr size_t kSignatureSize = sizeof kSignatureInverted;
constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;
constexpr size_t kFileSize = 16;
constexpr size_t kDataHeaderSize = 8;
constexpr size_t kMaxName = 256;  // with its terminating zero

enum : uint16_t { kFlagPrev = 0x0001, kFlagNext = 0x0002, kFlagReserve = 0x0004 };
enum : uint16_t { kContinuedFromPrev = 0xFFFD, kContinuedToNext = 0xFFFE, kContinuedBoth = 0xFFFF };

// Hands out one folder's data blocks from a large read-ahead buffer, so the
// host file is read in big sequential pieces. Blocks are checked and
// decrypted in place: each byte of the buffer is handed out once.
class FolderBlocks final : public BlockSource {
public:
    // A stored checksum of 0 means "not computed" to cabinet readers; our
    // builder always computes one, so with `alwaysCheck` (a setup package)
    // a 0 is compared like any other value and cannot switch the check off.
    FolderBlocks(CabSource& source, uint64_t firstBlock, uint16_t count, uint8_t reserve,
                 WalkHandler& handler, bool alwaysCheck)
        : source_(source), next_(firstBlock), left_(count), reserve_(reserve), handler_(handler),
          alwaysCheck_(alwaysCheck) {
        buffer_.resize(kBufferSize);
    }

    bool NextBlock(const uint8_t*& data, uint32_t& size, uint32_t& uncompressed) override {
        if (status_ != CabStatus::Ok || left_ == 0) return false;
        const size_t headerSize = kDataHeaderSize + reserve_;
        const uint8_t* header = Bytes(next_, headerSize);
        if (!header) return false;
        const uint32_t checksum = Get32(header);
        // Fetching the payload may refill the buffer under `header`.
        uint8_t sizes[4];
        std::memcpy(sizes, header + 4, sizeof sizes);
        size = Get16(header + 4);
        uncompressed = Get16(header + 6);
        if (size > kMaxBlockInput || uncompressed > kFrameSize) return Fail(CabStatus::BadData);
        // A block with no output continues in the next cabinet of a set.
        if (uncompressed == 0) return Fail(CabStatus::BadFormat);
        uint8_t* payload = Bytes(next_ + headerSize, size);
        if (!payload) return false;
        // The reserve area is not covered by the checksum; the two size
        // fields are, after the payload.
        if ((checksum != 0 || alwaysCheck_) && CabChecksum(sizes, 4, CabChecksum(payload, size, 0)) != checksum)
            return Fail(CabStatus::BadChecksum);
        next_ += headerSize + size;
        --left_;
        handler_.Decrypt(payload, size);
        data = payload;
        return true;
    }

    CabStatus Status() const override { return status_; }

private:
    static constexpr size_t kBufferSize = 1 << 20;

    bool Fail(CabStatus status) {
        status_ = status;
        return false;
    }

    // Makes [offset, offset + size) available and returns it, or null with
    // the status set.
    uint8_t* Bytes(uint64_t offset, size_t size) {
        if (offset < bufStart_ || offset + size > bufStart_ + bufLen_) {
            const uint64_t fileSize = source_.Size();
            if (offset > fileSize || fileSize - offset < size) {
                Fail(CabStatus::ReadError);
                return nullptr;
            }
            size_t want = static_cast<size_t>(std::min<uint64_t>(kBufferSize, fileSize - offset));
            if (!source_.ReadAt(offset, buffer_.data(), want)) {
                Fail(CabStatus::ReadError);
                return nullptr;
            }
            bufStart_ = offset;
            bufLen_ = want;
        }
        return buffer_.data() + (offset - bufStart_);
    }

    CabSource& source_;
    uint64_t next_;
    uint32_t left_;
    uint8_t reserve_;
    WalkHandler& handler_;
    bool alwaysCheck_;
    std::vector<uint8_t> buffer_;
    uint64_t bufStart_ = 0;
    size_t bufLen_ = 0;
    CabStatus status_ = CabStatus::Ok;
};

// The decoding state of the folder being walked.
struct FolderRun {
    int index = -1;
    uint64_t total = 0;     // the folder's whole output
    uint64_t position = 0;  // output handed out so far
    std::unique_ptr<FolderBlocks> blocks;
    std::unique_ptr<Decoder> decoder;
    const uint8_t* frame = nullptr;
    uint32_t frameSize = 0;
    uint32_t frameUsed = 0;
};

}  // namespace

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed) {
    uint32_t sum = seed;
    size_t words = size / 4;
    for (size_t i = 0; i < words; ++i, data += 4) sum ^= Get32(data);
    uint32_t rest = 0;
    switch (size & 3) {
        case 3: rest |= static_cast<uint32_t>(*data++) << 16; [[fallthrough]];
        case 2: rest |= static_cast<uint32_t>(*data++) << 8; [[fallthrough]];
        case 1: rest |= *data; break;
        default: break;
    }
    return sum ^ rest;
}

bool FileSource::Open(const std::string& path) {
    position_ = UINT64_MAX;
    if (!file_.Open(path, platform::OpenMode::ReadShared)) return false;
    int64_t size = file_.Size();
    if (size < 0) {
        file_.Close();
        return false;
    }
    size_ = static_cast<uint64_t>(size);
    return true;
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset > size_ || size_ - offset < size) return false;
    if (position_ != offset) {
        if (!file_.Seek(static_cast<int64_t>(offset))) {
            position_ = UINT64_MAX;
            return false;
        }
        position_ = offset;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        long got = file_.Read(out + done, size - done);
        if (got <= 0) {
            position_ = UINT64_MAX;
            return false;
        }
        done += static_cast<size_t>(got);
    }
    position_ += size;
    return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset > size_ || size_ - offset < size) return false;
    if (size) std::memcpy(buffer, data_ + offset, size);
    return true;
}

CabStatus Cabinet::Fail(CabStatus status, std::string why) {
    error_ = std::move(why);
    return status;
}

bool Cabinet::Locate() {
    volatile uint8_t mask = 0xFF;  // keeps the compiler from folding it back
    uint8_t signature[kSignatureSize];
    for (size_t i = 0; i < kSignatureSize; ++i) signature[i] = static_cast<uint8_t>(kSignatureInverted[i] ^ mask);
    const uint64_t limit = std::min<uint64_t>(source_->Size(), kSearchLimit + kSignatureSize - 1);
    std::vector<uint8_t> head(static_cast<size_t>(limit));
    if (!source_->ReadAt(0, head.data(), head.size())) return false;
    const uint8_t* found = std::search(head.data(), head.data() + head.size(), signature, signature + kSignatureSize);
    if (found == head.data() + head.size()) return false;
    base_ = static_cast<uint64_t>(found - head.data());
    return true;
}

bool Cabinet::ReadTrailer() {
    trailer_ = PackageTrailer{};
    if (base_ == 0) return true;
    const uint64_t fileSize = source_->Size();
    const PackageExtent extent = FindPackageEnd(
        fileSize,
        [](void* source, uint64_t offset, void* buffer, size_t size) {
            return static_cast<CabSource*>(source)->ReadAt(offset, buffer, size);
        },
        source_);
    // A signature made over the package (it starts behind the cabinet's
    // start) and then followed by more bytes: what was appended was not
    // signed. A signature inside the host only covered the host.
    if (extent.signatureAt > base_ && extent.signatureEnd != fileSize) return false;
    const uint64_t size = extent.end;
    // At least 8: the file holds the cabinet's signature, or a whole
    // trailer before its own.
    uint8_t t[8];
    if (!source_->ReadAt(size - sizeof t, t, sizeof t)) return true;
    const PackageTrailer trailer{Get32(t), Get32(t + 4)};
    if (uint64_t{trailer.offset} + sizeof t != size || trailer.offset <= base_) return true;
    package_ = true;
    trailer_ = trailer;
    return true;
}

CabStatus Cabinet::Open(CabSource& source) {
    source_ = &source;
    folders_.clear();
    files_.clear();
    folderBytes_.clear();
    error_.clear();
    blockReserve_ = 0;
    package_ = false;
    if (!Locate()) return Fail(CabStatus::BadFormat, "no cabinet found");
    if (!ReadTrailer())
        return Fail(CabStatus::BadFormat, "damaged package: bytes were appended after its signature");

    uint8_t h[kHeaderSize];
    if (!source.ReadAt(base_, h, sizeof h)) return Fail(CabStatus::ReadError, "the cabinet header is truncated");
    cabinetSize_ = Get32(h + 8);
    const uint32_t filesOffset = Get32(h + 16);
    const uint16_t folderCount = Get16(h + 26);
    const uint16_t fileCount = Get16(h + 28);
    const uint16_t flags = Get16(h + 30);
    if (flags & (kFlagPrev | kFlagNext))
        return Fail(CabStatus::BadFormat, "the cabinet is part of a multi-cabinet set");
    uint64_t pos = base_ + kHeaderSize;
    uint8_t folderReserve = 0;
    if (flags & kFlagReserve) {
        uint8_t r[4];
        if (!source.ReadAt(pos, r, sizeof r))
            return Fail(CabStatus::ReadError, "the cabinet header is truncated");
        folderReserve = r[2];
        blockReserve_ = r[3];
        pos += sizeof r + Get16(r);
    }
    if (folderCount == 0) return Fail(CabStatus::BadFormat, "the cabinet has no folders");
    if (fileCount == 0) return Fail(CabStatus::BadFormat, "the cabinet has no files");

    folders_.resize(folderCount);
    for (CabFolder& folder : folders_) {
        uint8_t f[kFolderSize];
        if (!source.ReadAt(pos, f, sizeof f))
            return Fail(CabStatus::ReadError, "the folder list is truncated");
        folder.dataOffset = Get32(f);
        folder.blockCount = Get16(f + 4);
        folder.typeCompress = Get16(f + 6);
        pos += kFolderSize + folderReserve;
    }

    // The file list is read right after the folder list, whatever the
    // header's file offset says: that is where every writer puts it, and an
    // offset pointing elsewhere would show a list other tools do not see.
    const uint64_t fileListStart = pos - base_;
    files_.resize(fileCount);
    for (CabFile& file : files_) {
        uint8_t f[kFileSize];
        if (!source.ReadAt(pos, f, sizeof f)) return Fail(CabStatus::ReadError, "the file list is truncated");
        file.size = Get32(f);
        file.offset = Get32(f + 4);
        file.folder = Get16(f + 8);
        file.date = Get16(f + 10);
        file.time = Get16(f + 12);
        file.attributes = Get16(f + 14);
        pos += kFileSize;
        char name[kMaxName];
        const uint64_t avail = source.Size() > pos ? source.Size() - pos : 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(avail, kMaxName));
        if (want == 0 || !source.ReadAt(pos, name, want))
            return Fail(CabStatus::ReadError, "the file list is truncated");
        const void* end = std::memchr(name, 0, want);
        if (!end) return Fail(CabStatus::BadFormat, "a file name is not terminated");
        file.name.assign(name, static_cast<size_t>(static_cast<const char*>(end) - name));
        pos += file.name.size() + 1;
        if (file.name.empty()) return Fail(CabStatus::BadFormat, "a file has an empty name");
        if (file.folder >= kContinuedFromPrev)
            return Fail(CabStatus::BadFormat,
                        "file \"" + file.name + "\" continues from or into another cabinet");
        if (file.folder >= folderCount)
            return Fail(CabStatus::BadFormat, "file \"" + file.name + "\" names a folder that does not exist");
    }
    folderBytes_.assign(folderCount, 0);
    for (const CabFile& file : files_) folderBytes_[file.folder] += file.size;
    if (package_) {
        if (filesOffset != fileListStart)
            return Fail(CabStatus::BadFormat, "the header's file list offset does not match the folder list");
        return CheckPackageTables(pos - base_);
    }
    return CabStatus::Ok;
}

CabStatus Cabinet::CheckPackageTables(uint64_t fileListEnd) {
    const auto broken = [this](const std::string& why) {
        return Fail(CabStatus::BadFormat, "damaged package: " + why);
    };
    if (uint64_t{cabinetSize_} != trailer_.offset - base_)
        return broken("the cabinet's size field does not match the package's trailer");
    if (folders_.front().dataOffset != fileListEnd)
        return broken("the file list does not end where the first folder's data begins");
    // Folders in order, each holding at least one file, and each folder's
    // files one after another from its first byte: the builder writes
    // nothing else, so anything else is damage.
    size_t folder = 0;
    uint64_t next = 0;
    uint64_t presetup = 0;
    for (size_t i = 0; i < files_.size(); ++i) {
        const CabFile& file = files_[i];
        if (i > 0 && file.folder == folder + 1) {
            ++folder;
            next = 0;
        }
        if (file.folder != folder)
            return broken("file \"" + file.name + "\" is out of its folder's order");
        if (file.offset != next)
            return broken("file \"" + file.name + "\" does not follow the file before it in its folder");
        next += file.size;
        // Setup files are named "Presetup\..." in any case.
        static const char kPrefix[] = "presetup\\";
        const size_t prefix = sizeof kPrefix - 1;
        bool isPresetup = file.name.size() > prefix;
        for (size_t c = 0; isPresetup && c < prefix; ++c) {
            char ch = file.name[c];
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
            isPresetup = ch == kPrefix[c];
        }
        if (isPresetup) presetup += file.size;
    }
    if (folder + 1 != folders_.size()) return broken("a folder holds no files");
    if (presetup != trailer_.presetupSize)
        return broken("the trailer's Presetup size does not match the Presetup files");
    return CabStatus::Ok;
}

CabStatus Cabinet::MeasureFolder(size_t index, uint64_t& total, uint64_t& end) {
    const CabFolder& folder = folders_[index];
    total = 0;
    uint64_t at = base_ + folder.dataOffset;
    for (uint32_t i = 0; i < folder.blockCount; ++i) {
        uint8_t h[kDataHeaderSize];
        if (!source_->ReadAt(at, h, sizeof h))
            return Fail(CabStatus::ReadError, "the data of folder " + std::to_string(index) + " is truncated");
        const uint16_t out = Get16(h + 6);
        if (out == 0)
            return Fail(CabStatus::BadFormat, "folder " + std::to_string(index) + " continues into another cabinet");
        total += out;
        at += kDataHeaderSize + blockReserve_ + Get16(h + 4);
    }
    end = at - base_;
    return CabStatus::Ok;
}

CabStatus Cabinet::CheckFolder(size_t index, uint64_t total, uint64_t end) {
    if (!package_) return CabStatus::Ok;
    const std::string name = "damaged package: folder " + std::to_string(index);
    if (total != folderBytes_[index])
        return Fail(CabStatus::BadFormat, name + " holds " + std::to_string(total) + " bytes, its files " +
                                              std::to_string(folderBytes_[index]));
    const uint64_t expectedEnd = index + 1 < folders_.size() ? folders_[index + 1].dataOffset : cabinetSize_;
    if (end != expectedEnd) return Fail(CabStatus::BadFormat, name + " does not end where the next data begins");
    return CabStatus::Ok;
}

CabStatus Cabinet::CheckFolders() {
    if (!source_ || folders_.empty()) return Fail(CabStatus::BadFormat, "no cabinet is open");
    for (size_t i = 0; i < folders_.size(); ++i) {
        uint64_t total = 0, end = 0;
        CabStatus status = MeasureFolder(i, total, end);
        if (status == CabStatus::Ok) status = CheckFolder(i, total, end);
        if (status != CabStatus::Ok) return status;
    }
    return CabStatus::Ok;
}

CabStatus Cabinet::Walk(WalkHandler& handler) {
    if (!source_ || files_.empty()) return Fail(CabStatus::BadFormat, "no cabinet is open");
    error_.clear();
    FolderRun run;
    std::vector<bool> started(folders_.size(), false);

    // Starts decoding a folder from its first block; its size comes from the
    // block headers, which are checked on the way.
    auto startFolder = [&](int index) -> CabStatus {
        const CabFolder& folder = folders_[static_cast<size_t>(index)];
        if (started[static_cast<size_t>(index)] && !handler.CanReread(static_cast<uint16_t>(index)))
            return Fail(CabStatus::BadFormat, "folder " + std::to_string(index) +
                                                  " would have to be read again, which its decryption cannot do");
        started[static_cast<size_t>(index)] = true;
        run = FolderRun{};
        run.index = index;
        uint64_t end = 0;
        CabStatus measured = MeasureFolder(static_cast<size_t>(index), run.total, end);
        if (measured == CabStatus::Ok) measured = CheckFolder(static_cast<size_t>(index), run.total, end);
        if (measured != CabStatus::Ok) return measured;
        run.blocks = std::make_unique<FolderBlocks>(*source_, base_ + folder.dataOffset, folder.blockCount,
                                                    blockReserve_, handler, package_);
        CabStatus status = CabStatus::Ok;
        // A Quantum frame codes only the bytes that were compressed, and a
        // writer may still count the folder's last block as a whole frame:
        // its decoder goes only as far as the folder's files, as other
        // readers do. (A package's blocks match its files exactly.)
        uint64_t decoded = run.total;
        if ((folder.typeCompress & kMethodMask) == static_cast<uint16_t>(Method::Quantum)) {
            uint64_t filesEnd = 0;
            for (const CabFile& file : files_)
                if (file.folder == index) filesEnd = std::max<uint64_t>(filesEnd, uint64_t{file.offset} + file.size);
            decoded = std::min(decoded, filesEnd);
        }
        run.decoder = MakeDecoder(folder.typeCompress, *run.blocks, decoded, status);
        if (!run.decoder)
            return Fail(status, "folder " + std::to_string(index) + " uses an unsupported compression type");
        return CabStatus::Ok;
    };

    // Hands `count` bytes of the folder's output to `sink`, frame by frame.
    auto consume = [&](uint64_t count, auto&& sink) -> CabStatus {
        while (count > 0) {
            if (run.frameUsed == run.frameSize) {
                CabStatus status = run.decoder->NextFrame(run.frame, run.frameSize);
                if (status == CabStatus::Ok && run.frameSize == 0) status = CabStatus::BadData;
                if (status != CabStatus::Ok) {
                    if (run.blocks->Status() != CabStatus::Ok) status = run.blocks->Status();
                    return Fail(status, std::string("folder ") + std::to_string(run.index) + ": " +
                                            StatusText(status));
                }
                run.frameUsed = 0;
            }
            const uint32_t take =
                static_cast<uint32_t>(std::min<uint64_t>(count, run.frameSize - run.frameUsed));
            if (!sink(run.frame + run.frameUsed, take)) return CabStatus::WriteError;
            run.frameUsed += take;
            run.position += take;
            count -= take;
        }
        return CabStatus::Ok;
    };

    for (const CabFile& file : files_) {
        const FileAction action = handler.BeginFile(file);
        if (action == FileAction::Stop) return Fail(CabStatus::Aborted, StatusText(CabStatus::Aborted));
        if (action == FileAction::Skip) continue;

        if (file.size > 0 && (run.index != file.folder || file.offset < run.position)) {
            CabStatus status = startFolder(file.folder);
            if (status != CabStatus::Ok) {
                handler.AbortFile(file);
                return status;
            }
        }
        if (file.size > 0 && static_cast<uint64_t>(file.offset) + file.size > run.total) {
            handler.AbortFile(file);
            return Fail(CabStatus::BadFormat, "file \"" + file.name + "\" lies beyond its folder's data");
        }
        CabStatus status = CabStatus::Ok;
        if (file.size > 0) {
            status = consume(file.offset - run.position, [](const uint8_t*, uint32_t) { return true; });
            if (status == CabStatus::Ok)
                status = consume(file.size, [&](const uint8_t* data, uint32_t size) {
                    return handler.WriteData(file, data, size);
                });
            if (status == CabStatus::WriteError) {
                status = handler.StopReason();
                Fail(status, "file \"" + file.name + "\": " + StatusText(status));
            }
        }
        if (status != CabStatus::Ok) {
            handler.AbortFile(file);
            return status;
        }
        if (!handler.EndFile(file)) {
            status = handler.StopReason();
            return Fail(status, "file \"" + file.name + "\": " + StatusText(status));
        }
    }
    return CabStatus::Ok;
}

}  // namespace brik::cab
