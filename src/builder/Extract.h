// Writing a cabinet's files into a folder, for the package tool. Stored
// names are checked before anything is created: a name that would leave the
// destination folder fails the walk. Each file is written under a temporary
// name in its folder and renamed over its own name only once all its data
// has come through verified, so a failure leaves what was there before.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>
#if BRIK_HAVE_THREADS
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "cab/Cabinet.h"
#include "crypto/Gost.h"
#include "crypto/Haval.h"

namespace brik {

// Files are written on a thread of their own, so decoding the next frame and
// writing the last one overlap; bytes are batched into large writes. A
// failure on that thread stops the walk at its next call, and Finish() says
// whether everything reached the disk. Without threads (the Windows build)
// each batch is written when it is handed over.
class DirectoryWriter final : public cab::WalkHandler {
public:
    explicit DirectoryWriter(std::string root);
    ~DirectoryWriter() override;
    DirectoryWriter(const DirectoryWriter&) = delete;
    DirectoryWriter& operator=(const DirectoryWriter&) = delete;

    cab::FileAction BeginFile(const cab::CabFile& file) override;
    bool WriteData(const cab::CabFile& file, const uint8_t* data, uint32_t size) override;
    bool EndFile(const cab::CabFile& file) override;
    void AbortFile(const cab::CabFile& file) override;
    cab::CabStatus StopReason() const override { return reason_; }

    // Waits until every queued write is done; false when one failed.
    bool Finish();
    // Why the walk was stopped by this handler, for people.
    const std::string& Error() const { return error_; }
    uint32_t FilesWritten() const { return files_; }
    uint64_t BytesWritten() const { return bytes_; }

private:
    struct Job {
        enum Kind { Open, Write, Close, Abort } kind;
        std::string path;
        std::vector<uint8_t> data;
        uint16_t date = 0, time = 0;
    };
    bool Refuse(cab::CabStatus reason, std::string why);
    bool Healthy();
    void Push(Job job);
    void FlushPending();
    void Execute(Job& job);  // on the writing side
    // On the writing side: the folder made ready for a file, the temporary
    // file opened; an error text or empty.
    std::string OpenFile(const std::string& path);
    std::string CommitFile(uint16_t date, uint16_t time);
    void DiscardFile();
    void Recycle(Job& job);
#if BRIK_HAVE_THREADS
    void Run();
#endif

    std::string root_;
    std::string base_;  // root_ with its trailing delimiter
    std::string current_;
    std::string error_;
    cab::CabStatus reason_ = cab::CabStatus::WriteError;
    uint32_t files_ = 0;
    uint64_t bytes_ = 0;

    Job pending_;  // the write being batched on the walk's side
    std::vector<std::vector<uint8_t>> spare_;
    std::atomic<bool> failed_{false};
    std::string threadError_;  // written by the writing side before failed_ is set
    // The writing side's file.
    platform::File out_;
    std::string outPath_;
    std::string tempPath_;
    bool created_ = false;       // the temporary file exists and is ours to remove
    std::string readyFolder_;    // the last folder checked and made
    uint32_t tempNumber_ = 0;    // of the next temporary name tried
#if BRIK_HAVE_THREADS
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    size_t queuedBytes_ = 0;
    bool stopping_ = false;
    std::thread thread_;
#endif
};

// Consumes every file's bytes without writing them: a full integrity test.
class NullWriter final : public cab::WalkHandler {
public:
    cab::FileAction BeginFile(const cab::CabFile&) override { return cab::FileAction::Write; }
    bool WriteData(const cab::CabFile&, const uint8_t*, uint32_t size) override {
        bytes_ += size;
        return true;
    }
    bool EndFile(const cab::CabFile&) override {
        ++files_;
        return true;
    }
    uint32_t Files() const { return files_; }
    uint64_t Bytes() const { return bytes_; }

private:
    uint32_t files_ = 0;
    uint64_t bytes_ = 0;
};

// True for the stored names of setup files ("Presetup\...", any case).
bool IsPresetupName(std::string_view name);

// The first "Data\" file of a setup package whose size is not the one its
// settings file's [FileInfo] gives (or that has no line there), described;
// empty when all agree. The engine refuses to install such a file: the
// catalogue and the cabinet were made together.
std::string FileInfoDisagreement(const std::vector<cab::CabFile>& files, std::string_view settingsText);

// Reads the packaged settings file "Presetup\Brik.ini" the way the engine's
// Presetup walk does: Presetup files only, ending at the first other name.
class SettingsReader final : public cab::WalkHandler {
public:
    cab::FileAction BeginFile(const cab::CabFile& file) override;
    bool WriteData(const cab::CabFile& file, const uint8_t* data, uint32_t size) override;
    bool EndFile(const cab::CabFile& file) override;

    bool Found() const { return found_; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    bool found_ = false;
};

// Hands a walk on to another handler and deciphers the data blocks of the
// folders that hold files other than Presetup files: the Presetup folder is
// never encrypted, and the one chain starts at the first Data block, as in
// the engine's install walk.
class DecryptingHandler final : public cab::WalkHandler {
public:
    DecryptingHandler(cab::WalkHandler& inner, const cab::Cabinet& cab, const HavalDigest& key);

    cab::FileAction BeginFile(const cab::CabFile& file) override;
    bool WriteData(const cab::CabFile& file, const uint8_t* data, uint32_t size) override {
        return inner_.WriteData(file, data, size);
    }
    bool EndFile(const cab::CabFile& file) override { return inner_.EndFile(file); }
    void AbortFile(const cab::CabFile& file) override { inner_.AbortFile(file); }
    cab::CabStatus StopReason() const override { return inner_.StopReason(); }
    void Decrypt(uint8_t* data, uint32_t size) override;
    bool CanReread(uint16_t folder) const override { return folder >= encrypted_.size() || !encrypted_[folder]; }

private:
    cab::WalkHandler& inner_;
    TGost gost_;
    std::vector<bool> encrypted_;  // by folder
    int folder_ = -1;              // of the file being read
};

}  // namespace brik
