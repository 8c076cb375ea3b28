#include "builder/Extract.h"

#include "util/kpStrUtils.h"

namespace brik {

bool DirectoryWriter::Refuse(cab::CabStatus reason, std::string why) {
    reason_ = reason;
    error_ = std::move(why);
    return false;
}

cab::FileAction DirectoryWriter::BeginFile(const cab::CabFile& file) {
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
    if (!platform::ForceDirectories(platform::ExtractFilePath(current_)) ||
        !out_.Open(current_, platform::OpenMode::WriteLocked) || !out_.Truncate()) {
        out_.Close();
        Refuse(cab::CabStatus::WriteError, "cannot create \"" + current_ + "\"");
        return cab::FileAction::Stop;
    }
    return cab::FileAction::Write;
}

bool DirectoryWriter::WriteData(const cab::CabFile&, const uint8_t* data, uint32_t size) {
    if (!out_.Write(data, size)) return Refuse(cab::CabStatus::WriteError, "cannot write \"" + current_ + "\"");
    bytes_ += size;
    return true;
}

bool DirectoryWriter::EndFile(const cab::CabFile& file) {
    out_.Close();
    platform::SetFileDosTime(current_, file.date, file.time);
    ++files_;
    return true;
}

void DirectoryWriter::AbortFile(const cab::CabFile&) {
    // A half-written file is worse than none: it looks complete.
    if (out_.IsOpen()) {
        out_.Close();
        platform::RemoveFile(current_);
    }
}

}  // namespace brik
