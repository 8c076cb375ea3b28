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
