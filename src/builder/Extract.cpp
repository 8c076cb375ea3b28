#include "builder/Extract.h"

#include "util/kpStrUtils.h"

namespace brik {

namespace {
// Batches of this size keep system calls rare; the queue's limit bounds the
// memory held while the disk is slower than the decoder.
constexpr size_t kBatch = 1 << 20;
#if BRIK_HAVE_THREADS
constexpr size_t kQueueLimit = 8 << 20;
#endif
}  // namespace

DirectoryWriter::DirectoryWriter(std::string root) : root_(std::move(root)) {
    pending_.kind = Job::Write;
#if BRIK_HAVE_THREADS
    thread_ = std::thread([this] { Run(); });
#endif
}

DirectoryWriter::~DirectoryWriter() { Finish(); }

bool DirectoryWriter::Refuse(cab::CabStatus reason, std::string why) {
    reason_ = reason;
    error_ = std::move(why);
    return false;
}

bool DirectoryWriter::Healthy() {
    if (!failed_.load(std::memory_order_acquire)) return true;
    if (error_.empty()) Refuse(cab::CabStatus::WriteError, threadError_);
    return false;
}

void DirectoryWriter::Push(Job job) {
#if BRIK_HAVE_THREADS
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queuedBytes_ < kQueueLimit || failed_.load(); });
    queuedBytes_ += job.data.size();
    queue_.push_back(std::move(job));
    changed_.notify_all();
#else
    Execute(job);
    Recycle(job);
#endif
}

void DirectoryWriter::FlushPending() {
    if (pending_.data.empty()) return;
    Job job;
    job.kind = Job::Write;
    job.data.swap(pending_.data);
    Push(std::move(job));
    // Buffers go round between the two sides: fresh ones would cost a page
    // fault for every 4 KB written.
#if BRIK_HAVE_THREADS
    std::lock_guard<std::mutex> lock(mutex_);
#endif
    if (!spare_.empty()) {
        pending_.data.swap(spare_.back());
        spare_.pop_back();
    }
}

void DirectoryWriter::Execute(Job& job) {
    // After a failure the rest is only drained; the walk stops soon.
    if (!failed_.load()) {
        std::string error;
        switch (job.kind) {
            case Job::Open:
                outPath_ = job.path;
                if (!platform::ForceDirectories(platform::ExtractFilePath(outPath_)) ||
                    !out_.Open(outPath_, platform::OpenMode::WriteLocked) || !out_.Truncate()) {
                    out_.Close();
                    error = "cannot create \"" + outPath_ + "\"";
                } else {
                    created_ = true;
                }
                break;
            case Job::Write:
                if (!out_.Write(job.data.data(), job.data.size())) error = "cannot write \"" + outPath_ + "\"";
                break;
            case Job::Close:
                out_.Close();
                created_ = false;
                platform::SetFileDosTime(outPath_, job.date, job.time);
                break;
            case Job::Abort:
                break;
        }
        if (!error.empty()) {
            threadError_ = error;
            failed_.store(true, std::memory_order_release);
        }
    }
    // A half-written file is worse than none: it looks complete.
    if (created_ && (job.kind == Job::Abort || failed_.load())) {
        out_.Close();
        platform::RemoveFile(outPath_);
        created_ = false;
    }
}

void DirectoryWriter::Recycle(Job& job) {
    if (job.kind != Job::Write) return;
    job.data.clear();
#if BRIK_HAVE_THREADS
    std::lock_guard<std::mutex> lock(mutex_);
#endif
    spare_.push_back(std::move(job.data));
}

#if BRIK_HAVE_THREADS
void DirectoryWriter::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            queuedBytes_ -= job.data.size();
            changed_.notify_all();
        }
        Execute(job);
        Recycle(job);
    }
}
#endif

bool DirectoryWriter::Finish() {
#if BRIK_HAVE_THREADS
    if (thread_.joinable()) {
        FlushPending();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
#else
    FlushPending();
#endif
    return Healthy();
}

cab::FileAction DirectoryWriter::BeginFile(const cab::CabFile& file) {
    if (!Healthy()) return cab::FileAction::Stop;
    if (!IsSafeRelativePath(file.name)) {
        Refuse(cab::CabStatus::BadFormat, "refusing unsafe file name \"" + file.name + "\"");
        return cab::FileAction::Stop;
    }
    std::string relative = file.name;
    for (char& c : relative)
        if (platform::IsPathDelim(c)) c = platform::PathDelim;
    current_ = root_;
    if (!current_.empty() && !platform::IsPathDelim(current_.back())) current_ += platform::PathDelim;
    current_ += relative;
    Job open;
    open.kind = Job::Open;
    open.path = current_;
    Push(std::move(open));
    return cab::FileAction::Write;
}

bool DirectoryWriter::WriteData(const cab::CabFile&, const uint8_t* data, uint32_t size) {
    if (!Healthy()) return false;
    if (pending_.data.capacity() < kBatch) pending_.data.reserve(kBatch);
    pending_.data.insert(pending_.data.end(), data, data + size);
    if (pending_.data.size() >= kBatch) FlushPending();
    bytes_ += size;
    return true;
}

bool DirectoryWriter::EndFile(const cab::CabFile& file) {
    FlushPending();
    Job close;
    close.kind = Job::Close;
    close.date = file.date;
    close.time = file.time;
    Push(std::move(close));
    ++files_;
    return Healthy();
}

void DirectoryWriter::AbortFile(const cab::CabFile&) {
    pending_.data.clear();
    Job abort;
    abort.kind = Job::Abort;
    Push(std::move(abort));
}

bool IsPresetupName(std::string_view name) {
    return name.size() >= 9 && SameText(name.substr(0, 9), "Presetup\\");
}

cab::FileAction SettingsReader::BeginFile(const cab::CabFile& file) {
    if (!IsPresetupName(file.name)) return cab::FileAction::Stop;
    return !found_ && SameText(file.name, "Presetup\\Brik.ini") ? cab::FileAction::Write : cab::FileAction::Skip;
}

bool SettingsReader::WriteData(const cab::CabFile&, const uint8_t* data, uint32_t size) {
    text_.append(reinterpret_cast<const char*>(data), size);
    return true;
}

bool SettingsReader::EndFile(const cab::CabFile&) {
    found_ = true;
    return true;
}

DecryptingHandler::DecryptingHandler(cab::WalkHandler& inner, const cab::Cabinet& cab, const HavalDigest& key)
    : inner_(inner), encrypted_(cab.Folders().size(), false) {
    gost_.Initialise(key.data(), key.size() * 8);
    for (const cab::CabFile& f : cab.Files())
        if (!IsPresetupName(f.name) && f.folder < encrypted_.size()) encrypted_[f.folder] = true;
}

cab::FileAction DecryptingHandler::BeginFile(const cab::CabFile& file) {
    const cab::FileAction action = inner_.BeginFile(file);
    // Blocks are read while a written file needs them: they belong to its folder.
    if (action == cab::FileAction::Write) folder_ = file.folder;
    return action;
}

void DecryptingHandler::Decrypt(uint8_t* data, uint32_t size) {
    if (folder_ >= 0 && encrypted_[static_cast<size_t>(folder_)]) gost_.Decrypt(data, data, size);
}

}  // namespace brik
