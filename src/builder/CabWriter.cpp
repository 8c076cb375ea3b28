#include "builder/CabWriter.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#if BRIK_HAVE_THREADS
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include <zlib.h>
#ifdef BRIK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "builder/DeflateCheck.h"

namespace brik {

namespace {

constexpr uint32_t kBlock = cab::kFrameSize;
constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kFolderEntrySize = 8;
constexpr uint32_t kFileEntrySize = 16;
constexpr uint32_t kDataHeaderSize = 8;
constexpr size_t kMaxNameBytes = 255;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string Shown(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

uint32_t StoredDeflate(const uint8_t* in, uint32_t size, uint8_t* out) {
    out[0] = 'C';
    out[1] = 'K';
    out[2] = 0x01;  // the final block, stored
    out[3] = static_cast<uint8_t>(size);
    out[4] = static_cast<uint8_t>(size >> 8);
    out[5] = static_cast<uint8_t>(~size);
    out[6] = static_cast<uint8_t>(~size >> 8);
    if (size) std::memcpy(out + 7, in, size);
    return size + 7;
}

// A cabinet folder as planned: a slice of one group's files.
struct FolderPlan {
    const CabFolderGroup* group = nullptr;
    size_t first = 0;
    size_t count = 0;
    uint64_t bytes = 0;
    uint32_t blocks = 0;
    uint32_t dataOffset = 0;
};

// The concatenated bytes of a folder's files, handed out in block-sized
// pieces. Each file must still have the size it was listed with.
class FolderReader {
public:
    explicit FolderReader(const FolderPlan& plan) : plan_(plan) {}

    bool Read(uint8_t* out, uint32_t size, std::string& error) {
        while (size > 0) {
            if (left_ == 0 && !NextFile(error)) return false;
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(size, left_));
            if (!file_->inMemory) {
                in_.read(reinterpret_cast<char*>(out), take);
                if (static_cast<uint64_t>(in_.gcount()) != take) {
                    error = "\"" + Shown(file_->source) + "\" became shorter while the package was built";
                    return false;
                }
            } else {
                std::memcpy(out, file_->data.data() + (file_->size - left_), take);
            }
            out += take;
            size -= take;
            left_ -= take;
            if (left_ == 0 && !file_->inMemory) {
                if (in_.peek() != std::char_traits<char>::eof()) {
                    error = "\"" + Shown(file_->source) + "\" grew while the package was built";
                    return false;
                }
                in_.close();
            }
        }
        return true;
    }

private:
    bool NextFile(std::string& error) {
        // Empty files take no bytes; the next file with data is wanted.
        for (;;) {
            if (next_ >= plan_.count) {
                error = "internal error: a folder's files ended before its data";
                return false;
            }
            file_ = &plan_.group->files[plan_.first + next_++];
            if (file_->size == 0) continue;
            left_ = file_->size;
            if (file_->inMemory) {
                if (file_->data.size() != file_->size) {
                    error = "internal error: the size of \"" + file_->name + "\" does not match its data";
                    return false;
                }
                return true;
            }
            in_.clear();
            in_.open(file_->source, std::ios::binary);
            if (!in_) {
                error = "cannot open \"" + Shown(file_->source) + "\"";
                return false;
            }
            return true;
        }
    }

    const FolderPlan& plan_;
    size_t next_ = 0;
    const CabEntry* file_ = nullptr;
    uint64_t left_ = 0;
    std::ifstream in_;
};

struct Job {
    uint8_t in[kBlock];
    uint8_t out[MszipCompressor::kOutCapacity];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    bool done = false;
};

#if BRIK_HAVE_THREADS
constexpr bool kHaveThreads = true;

// Compresses jobs on worker threads. The caller hands out slots in order and
// collects them in the same order; a slot belongs to one side at a time.
class CompressPool {
public:
    CompressPool(unsigned threads, int level) {
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this, level] { Run(level); });
    }
    ~CompressPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    void Submit(Job& job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job.done = false;
            queue_.push_back(&job);
        }
        work_.notify_one();
    }

    void Wait(Job& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return job.done; });
    }

private:
    void Run(int level) {
        MszipCompressor compressor(level);
        for (;;) {
            Job* job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                job = queue_.front();
                queue_.pop_front();
            }
            job->outSize = compressor.Compress(job->in, job->inSize, job->out);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                job->done = true;
            }
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<Job*> queue_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};
#else
// Without threads every block is compressed inline, whatever the count
// asked for; the output is the same either way.
constexpr bool kHaveThreads = false;

class CompressPool {
public:
    CompressPool(unsigned, int) {}
    void Submit(Job&) {}
    void Wait(Job&) {}
};
#endif

}  // namespace

bool MemoryCabOutput::Write(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
    return true;
}

bool MemoryCabOutput::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (offset > bytes.size() || bytes.size() - offset < size) return false;
    if (size) std::memcpy(bytes.data() + offset, data, size);
    return true;
}

// zlib always writes complete Huffman codes (it gives even an unused
// distance code two entries), which every MSZIP decoder accepts.
struct MszipCompressor::State {
    z_stream zlib{};
    bool zlibReady = false;
#ifdef BRIK_HAVE_LIBDEFLATE
    libdeflate_compressor* fast = nullptr;
#endif
};

MszipCompressor::MszipCompressor(int level) : state_(std::make_unique<State>()) {
    state_->zlibReady = deflateInit2(&state_->zlib, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
#ifdef BRIK_HAVE_LIBDEFLATE
    state_->fast = libdeflate_alloc_compressor(level);
#endif
}

MszipCompressor::~MszipCompressor() {
    if (state_->zlibReady) deflateEnd(&state_->zlib);
#ifdef BRIK_HAVE_LIBDEFLATE
    if (state_->fast) libdeflate_free_compressor(state_->fast);
#endif
}

uint32_t MszipCompressor::Compress(const uint8_t* in, uint32_t size, uint8_t* out) {
#ifdef BRIK_HAVE_LIBDEFLATE
    if (state_->fast) {
        const size_t n = libdeflate_deflate_compress(state_->fast, in, size, out + 2, kOutCapacity - 2);
        // Data that does not shrink is stored: zlib would not do better.
        if (n == 0 || n > size + 5) return StoredDeflate(in, size, out);
        // Its codes are not always complete; such a block goes to zlib.
        if (HasCompleteCodes(out + 2, n)) {
            out[0] = 'C';
            out[1] = 'K';
            return static_cast<uint32_t>(n + 2);
        }
    }
#endif
    // Room for no more than the stored form: a larger result is not kept.
    if (z_stream* z = &state_->zlib; state_->zlibReady && deflateReset(z) == Z_OK) {
        z->next_in = const_cast<Bytef*>(in);
        z->avail_in = size;
        z->next_out = out + 2;
        z->avail_out = size + 5;
        if (deflate(z, Z_FINISH) == Z_STREAM_END) {
            out[0] = 'C';
            out[1] = 'K';
            return static_cast<uint32_t>(z->total_out + 2);
        }
    }
    return StoredDeflate(in, size, out);
}

const char* DeflateLibraryName() {
#ifdef BRIK_HAVE_LIBDEFLATE
    return "libdeflate, zlib";
#else
    return "zlib";
#endif
}

bool CabWriter::Fail(std::string why) {
    error_ = std::move(why);
    return false;
}

bool CabWriter::Write(const std::vector<CabFolderGroup>& groups, CabOutput& out, const CabWriteOptions& options) {
    error_.clear();
    size_ = 0;
    folderCount_ = 0;
    inputBytes_ = 0;
    const CabLimits& limits = options.limits;
    const uint64_t folderCapacity = static_cast<uint64_t>(limits.maxBlocksPerFolder) * kBlock;

    // Plan the folders and the size of everything before the data, which
    // depends only on names and uncompressed sizes.
    std::vector<FolderPlan> plans;
    uint64_t fileCount = 0;
    uint64_t headerSize = kHeaderSize;
    for (const CabFolderGroup& group : groups) {
        if (group.files.empty()) continue;
        const size_t firstPlan = plans.size();
        plans.push_back(FolderPlan{&group, 0, 0, 0, 0, 0});
        for (size_t i = 0; i < group.files.size(); ++i) {
            const CabEntry& file = group.files[i];
            if (file.name.empty() || file.name.size() > kMaxNameBytes ||
                file.name.find('\0') != std::string::npos)
                return Fail("\"" + file.name + "\": a stored name must have 1 to 255 bytes");
            if (file.size > 0xFFFFFFFFu || file.size > folderCapacity)
                return Fail("\"" + file.name + "\" is too large for a cabinet (" + std::to_string(file.size) +
                            " bytes; a file may have at most " +
                            std::to_string(std::min<uint64_t>(0xFFFFFFFFu, folderCapacity)) + ")");
            FolderPlan* plan = &plans.back();
            if (plan->bytes + file.size > folderCapacity) {
                plans.push_back(FolderPlan{&group, i, 0, 0, 0, 0});
                plan = &plans.back();
            }
            ++plan->count;
            plan->bytes += file.size;
            headerSize += kFileEntrySize + file.name.size() + 1;
            inputBytes_ += file.size;
        }
        fileCount += group.files.size();
        if (group.encrypt && plans.size() - firstPlan > 1)
            return Fail("the protected data needs " + std::to_string(plans.size() - firstPlan) +
                        " cabinet folders, but its encryption is one chain over a single folder of at most " +
                        std::to_string(limits.maxBlocksPerFolder) + " data blocks (" +
                        std::to_string(folderCapacity) + " bytes)");
    }
    if (fileCount == 0) return Fail("a cabinet needs at least one file");
    if (fileCount > limits.maxFiles)
        return Fail("too many files for one cabinet: " + std::to_string(fileCount) + " (at most " +
                    std::to_string(limits.maxFiles) + ")");
    if (plans.size() > limits.maxFolders)
        return Fail("too many cabinet folders: " + std::to_string(plans.size()) + " (at most " +
                    std::to_string(limits.maxFolders) + ")");
    headerSize += kFolderEntrySize * plans.size();
    for (FolderPlan& plan : plans) plan.blocks = static_cast<uint32_t>((plan.bytes + kBlock - 1) / kBlock);
    auto tooLarge = [&](uint64_t size) {
        return Fail("the cabinet would exceed " + std::to_string(limits.maxSize) + " bytes (" +
                    std::to_string(size) + " so far): its offsets are 32 bits");
    };
    if (headerSize > limits.maxSize) return tooLarge(headerSize);

    std::vector<uint8_t> reserve(static_cast<size_t>(headerSize), 0);
    if (!out.Write(reserve.data(), reserve.size())) return Fail("cannot write the package");
    uint64_t position = headerSize;
    uint64_t done = 0;

    const bool parallel = kHaveThreads && options.threads > 1;
    constexpr size_t kSlotsPerThread = 8;
    const size_t slots = parallel ? kSlotsPerThread * options.threads : 1;
    std::vector<std::unique_ptr<Job>> jobs;
    for (size_t i = 0; i < slots; ++i) jobs.push_back(std::make_unique<Job>());
    std::unique_ptr<CompressPool> pool;
    std::unique_ptr<MszipCompressor> inline_;

    uint8_t header[kDataHeaderSize];
    for (FolderPlan& plan : plans) {
        plan.dataOffset = static_cast<uint32_t>(position);
        const bool mszip = plan.group->compression == CabCompression::Mszip;
        if (mszip && parallel && !pool) pool = std::make_unique<CompressPool>(options.threads, options.level);
        if (mszip && !parallel && !inline_) inline_ = std::make_unique<MszipCompressor>(options.level);
        FolderReader reader(plan);
        uint64_t left = plan.bytes;
        uint32_t read = 0;
        for (uint32_t written = 0; written < plan.blocks;) {
            if (read < plan.blocks && read - written < slots) {
                Job& job = *jobs[read % slots];
                job.inSize = static_cast<uint32_t>(std::min<uint64_t>(kBlock, left));
                left -= job.inSize;
                if (!reader.Read(job.in, job.inSize, error_)) return false;
                if (!mszip) {
                    job.outSize = job.inSize;
                    std::memcpy(job.out, job.in, job.inSize);
                } else if (pool) {
                    pool->Submit(job);
                } else {
                    job.outSize = inline_->Compress(job.in, job.inSize, job.out);
                }
                ++read;
                continue;
            }
            Job& job = *jobs[written % slots];
            if (mszip && pool) pool->Wait(job);
            if (plan.group->encrypt && options.cipher) options.cipher->Encrypt(job.out, job.outSize);
            header[4] = static_cast<uint8_t>(job.outSize);
            header[5] = static_cast<uint8_t>(job.outSize >> 8);
            header[6] = static_cast<uint8_t>(job.inSize);
            header[7] = static_cast<uint8_t>(job.inSize >> 8);
            // Over the payload as stored, then the two size fields.
            const uint32_t sum = cab::CabChecksum(header + 4, 4, cab::CabChecksum(job.out, job.outSize, 0));
            header[0] = static_cast<uint8_t>(sum);
            header[1] = static_cast<uint8_t>(sum >> 8);
            header[2] = static_cast<uint8_t>(sum >> 16);
            header[3] = static_cast<uint8_t>(sum >> 24);
            position += kDataHeaderSize + job.outSize;
            if (position > limits.maxSize) return tooLarge(position);
            if (!out.Write(header, sizeof header) || !out.Write(job.out, job.outSize))
                return Fail("cannot write the package");
            ++written;
            done += job.inSize;
            if (options.progress) options.progress(done, inputBytes_);
        }
    }

    std::vector<uint8_t> head;
    head.reserve(static_cast<size_t>(headerSize));
    head.insert(head.end(), {'M', 'S', 'C', 'F', 0, 0, 0, 0});
    Put32(head, static_cast<uint32_t>(position));  // the cabinet's size
    Put32(head, 0);
    Put32(head, kHeaderSize + kFolderEntrySize * static_cast<uint32_t>(plans.size()));  // the file list
    Put32(head, 0);
    head.push_back(3);  // format version 1.3
    head.push_back(1);
    Put16(head, static_cast<uint32_t>(plans.size()));
    Put16(head, static_cast<uint32_t>(fileCount));
    Put16(head, 0);  // flags: no set, nothing reserved
    Put16(head, 0);  // set id
    Put16(head, 0);  // number in the set
    for (const FolderPlan& plan : plans) {
        Put32(head, plan.dataOffset);
        Put16(head, plan.blocks);
        Put16(head, plan.group->compression == CabCompression::Mszip ? 1 : 0);
    }
    for (size_t p = 0; p < plans.size(); ++p) {
        const FolderPlan& plan = plans[p];
        uint32_t offset = 0;
        for (size_t i = 0; i < plan.count; ++i) {
            const CabEntry& file = plan.group->files[plan.first + i];
            Put32(head, static_cast<uint32_t>(file.size));
            Put32(head, offset);
            Put16(head, static_cast<uint32_t>(p));
            Put16(head, file.date);
            Put16(head, file.time);
            Put16(head, file.attributes);
            head.insert(head.end(), file.name.begin(), file.name.end());
            head.push_back(0);
            offset += static_cast<uint32_t>(file.size);
        }
    }
    if (!out.WriteAt(0, head.data(), head.size())) return Fail("cannot write the package");
    size_ = position;
    folderCount_ = static_cast<uint32_t>(plans.size());
    return true;
}

}  // namespace brik
