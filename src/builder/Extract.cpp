#include "builder/Extract.h"

#include "builder/PackageBuilder.h"
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

DirectoryWriter::DirectoryWriter(std::string root) : root_(std::move(root)), base_(root_) {
    if (!base_.empty() && !platform::IsPathDelim(base_.back())) base_ += platform::PathDelim;
    pending_.kind = Job::Write;
#if BRIK_HAVE_THREADS
    thread_ = std::thread([this] { Run(); });
#endif
}

DirectoryWriter::~DirectoryWriter() {
    Finish();
    // A walk that ended inside a file without saying so leaves no temporary file.
    if (created_) DiscardFile();
}

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

// The target folder is the user's choice and is taken as given, also when
// it or a folder above it is reached through a link (as /tmp or a home
// folder often is). Below it every folder comes from a stored name, so a link
// there would carry the package's files to a place nobody chose: such a
// path is refused. A link standing where a file goes is replaced by the
// file, its target left alone.
std::string DirectoryWriter::OpenFile(const std::string& path) {
    outPath_ = path;
    const std::string folder = platform::ExtractFilePath(outPath_);
    if (folder != readyFolder_) {
        for (size_t i = base_.size(); i < folder.size(); ++i) {
            if (!platform::IsPathDelim(folder[i])) continue;
            const std::string below = folder.substr(0, i);
            if (platform::IsLink(below))
                return "refusing to write \"" + outPath_ + "\": \"" + below +
                       "\" is a link (symbolic link or junction), and files are written only into real folders "
                       "below the target folder";
        }
        if (!platform::ForceDirectories(folder)) return "cannot create the folder \"" + folder + "\"";
        readyFolder_ = folder;
    }
    if (platform::DirectoryExists(outPath_) && !platform::IsLink(outPath_))
        return "cannot create \"" + outPath_ + "\": a folder of that name is in the way";
    // A fresh name, never an existing file: a leftover or a stored file that
    // happens to look like ours is skipped, not overwritten.
    for (int tries = 0; tries < 1000; ++tries) {
        tempPath_ = folder + "~brik" + std::to_string(tempNumber_++) + ".tmp";
        if (out_.Open(tempPath_, platform::OpenMode::CreateNew)) {
            created_ = true;
            return {};
        }
        if (!platform::FileExists(tempPath_) && !platform::DirectoryExists(tempPath_) && !platform::IsLink(tempPath_))
            break;
    }
    return "cannot create \"" + outPath_ + "\" (no temporary file could be made in its folder)";
}

std::string DirectoryWriter::CommitFile(uint16_t date, uint16_t time) {
    out_.Close();
    platform::SetFileDosTime(tempPath_, date, time);
    if (!platform::MoveFileOver(tempPath_, outPath_)) return "cannot create \"" + outPath_ + "\"";
    created_ = false;
    return {};
}

void DirectoryWriter::DiscardFile() {
    out_.Close();
    platform::RemoveFile(tempPath_);
    created_ = false;
}

void DirectoryWriter::Execute(Job& job) {
    // After a failure the rest is only drained; the walk stops soon.
    if (!failed_.load()) {
        std::string error;
        switch (job.kind) {
            case Job::Open:
                error = OpenFile(job.path);
                break;
            case Job::Write:
                if (!out_.Write(job.data.data(), job.data.size())) error = "cannot write \"" + outPath_ + "\"";
                break;
            case Job::Close:
                error = CommitFile(job.date, job.time);
                break;
            case Job::Abort:
                break;
        }
        if (!error.empty()) {
            threadError_ = error;
            failed_.store(true, std::memory_order_release);
        }
    }
    // A file whose data did not all come through never takes the place of
    // what was there.
    if (created_ && (job.kind == Job::Abort || failed_.load())) DiscardFile();
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
    current_ = base_ + relative;
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

std::string FileInfoDisagreement(const std::vector<cab::CabFile>& files, std::string_view settingsText) {
    const IniLineIndex settings(settingsText);
    constexpr std::string_view kDataPrefix = "Data\\";
    for (const cab::CabFile& file : files) {
        if (file.name.size() <= kDataPrefix.size() || !SameText(std::string_view(file.name).substr(0, kDataPrefix.size()), kDataPrefix))
            continue;
        std::string line;
        if (!settings.Value("FileInfo", file.name.substr(kDataPrefix.size()), line))
            return "file \"" + file.name + "\" has no line in [FileInfo] of the settings file";
        const std::string field(Trim(FieldAt(1, line, ",")));
        const bool agrees = !field.empty() && field.size() <= 10 &&
                            field.find_first_not_of("0123456789") == std::string::npos &&
                            std::stoull(field) == file.size;
        if (!agrees)
            return "file \"" + file.name + "\" holds " + std::to_string(file.size) +
                   " bytes, [FileInfo] of the settings file says \"" + field + "\"";
    }
    return {};
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
