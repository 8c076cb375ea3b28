#include "install/Unpacker.h"

#include <cstring>
#include <utility>

#include "crypto/Gost.h"
#include "crypto/Password.h"

namespace brik {

namespace {

// One set per process: the library calls plain functions without context.
struct WalkState {
    TFileCallback fileCallback;
    TFileDoneCallback fileDoneCallback;
    TProgressCallback progressCallback;
    bool decrypt = false;
    bool failed = false;  // a callback refused; the walk ends as soon as it can
    std::string writeFailed;  // the file the library could not write
    TGost cipher;
};

WalkState& Walk() {
    static WalkState state;
    return state;
}

FILETIME LocalTimeOf(uint32_t dosDateTime) {
    FILETIME time{};
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime & 0xFFFF),
                               &time))
        time = FILETIME{};
    return time;
}

template <typename Proc>
Proc Export(HMODULE library, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

int NotifyFileNext(unpack::NotifyRecord& record) {
    WalkState& walk = Walk();
    if (!walk.fileCallback) return 0;
    std::string destination;
    const int result = walk.fileCallback(record.name ? record.name : "", static_cast<int>(record.size),
                                         static_cast<int>(record.attributes), destination,
                                         LocalTimeOf(record.dateTime));
    if (result == unpack::kAnswerRefuse) walk.failed = true;
    if ((result == unpack::kAnswerWrite || result == unpack::kAnswerWriteQueued) && !destination.empty() &&
        record.destination != nullptr) {
        // The library's buffer holds 255 characters; a callback that wants a
        // longer path must refuse the file itself, a cut one is never written.
        if (destination.size() >= unpack::kDestinationSize) {
            walk.failed = true;
            return unpack::kAnswerRefuse;
        }
        std::memcpy(record.destination, destination.c_str(), destination.size() + 1);
    }
    return result;
}

int NotifyFileDone(const unpack::NotifyRecord& record) {
    WalkState& walk = Walk();
    if (!walk.fileDoneCallback) return 1;
    return walk.fileDoneCallback(record.name ? record.name : "", static_cast<int>(record.size),
                                 static_cast<int>(record.attributes),
                                 record.destination ? record.destination : "", LocalTimeOf(record.dateTime));
}

int NotifyProgress(const unpack::ProgressRecord& record) {
    WalkState& walk = Walk();
    if (!walk.progressCallback) return 1;
    return walk.progressCallback(record.name ? record.name : "", record.destination ? record.destination : "",
                                 static_cast<int>(record.fileSize), static_cast<int>(record.chunkSize),
                                 static_cast<int>(record.written));
}

}  // namespace

namespace unpacker_detail {

int __stdcall NotifyAdapter(int code, void* record) {
    WalkState& walk = Walk();
    if (code == unpack::kNotifyWriteFailed) {
        const char* destination = static_cast<unpack::NotifyRecord*>(record)->destination;
        walk.writeFailed = destination ? destination : "";
        return 0;
    }
    // Once a callback has refused, the walk ends at the next chance the
    // library gives; a file that is whole on the disk all the same is still
    // told of, so that its caller can account for it.
    if (walk.failed && code != unpack::kNotifyFileDone) return -1;
    switch (code) {
        case unpack::kNotifyFileNext:
            return NotifyFileNext(*static_cast<unpack::NotifyRecord*>(record));
        case unpack::kNotifyFileDone:
            return NotifyFileDone(*static_cast<unpack::NotifyRecord*>(record));
        case unpack::kNotifyProgress:
            return NotifyProgress(*static_cast<unpack::ProgressRecord*>(record));
        default:
            return 0;
    }
}

void __stdcall DecryptAdapter(uint8_t* buffer, uint32_t count) {
    WalkState& walk = Walk();
    if (walk.decrypt && count > 0) walk.cipher.Decrypt(buffer, buffer, count);
}

void BeginWalk(TFileCallback fileCallback, TFileDoneCallback fileDoneCallback,
               TProgressCallback progressCallback, const uint8_t* key) {
    WalkState& walk = Walk();
    walk.fileCallback = std::move(fileCallback);
    walk.fileDoneCallback = std::move(fileDoneCallback);
    walk.progressCallback = std::move(progressCallback);
    walk.failed = false;
    walk.writeFailed.clear();
    walk.decrypt = key != nullptr && walk.cipher.Initialise(key, 256);
}

bool EndWalk() {
    WalkState& walk = Walk();
    walk.cipher.Wipe();
    walk.decrypt = false;
    walk.fileCallback = nullptr;
    walk.fileDoneCallback = nullptr;
    walk.progressCallback = nullptr;
    return walk.failed;
}

}  // namespace unpacker_detail

namespace {
// The unpacker whose library is loaded, for the abort of a raised error.
TUnpacker* ActiveUnpacker = nullptr;
}  // namespace

TUnpacker::TUnpacker(const std::string& libraryPath, const std::string& package) {
    if (const char* error = Load(libraryPath, package)) BRIK_RAISE(EUnpackError(error));
}


const char* TUnpacker::Load(const std::string& libraryPath, const std::string& package) {
    Unload();
    library_ = LoadLibraryA(libraryPath.c_str());
    if (library_ == nullptr) return "Can't load unpack library";
    open_ = Export<unpack::OpenProc>(library_, "Open");
    enumerate_ = Export<unpack::EnumerateProc>(library_, "Enumerate");
    close_ = Export<unpack::CloseProc>(library_, "Close");
    if (open_ == nullptr || enumerate_ == nullptr || close_ == nullptr) {
        FreeLibrary(library_);
        library_ = nullptr;
        return "Important functions was not found in the unpack library";
    }
    ActiveUnpacker = this;
    // A package that cannot be opened shows up as a failed walk.
    open_(package.c_str());
    return nullptr;
}

void TUnpacker::Unload() {
    SetPassword({});
    if (library_ != nullptr) {
        // Taken before the call: when the library faults in Close, the
        // abort calls this again, which then only frees it.
        if (const unpack::CloseProc close = std::exchange(close_, nullptr)) close();
        FreeLibrary(library_);
        library_ = nullptr;
    }
    if (ActiveUnpacker == this) ActiveUnpacker = nullptr;
}

TUnpacker::~TUnpacker() { Unload(); }

void ReleaseActiveUnpacker() {
    if (ActiveUnpacker != nullptr) ActiveUnpacker->Unload();
}

void TUnpacker::SetPassword(const std::string& password) {
    if (key_) {
        key_->fill(0);
        key_.reset();
    }
    if (password.empty()) return;
    if (std::optional<HavalDigest> digest = PackageKey(password)) {
        key_ = std::make_unique<std::array<uint8_t, 32>>();
        static_assert(sizeof(*digest) == 32);
        std::memcpy(key_->data(), digest->data(), 32);
        digest->fill(0);
    }
}

bool TUnpacker::Enumerate(TFileCallback fileCallback, TFileDoneCallback fileDoneCallback,
                          TProgressCallback progressCallback) {
    if (library_ == nullptr) return false;
    unpacker_detail::BeginWalk(std::move(fileCallback), std::move(fileDoneCallback), std::move(progressCallback),
                               key_ ? key_->data() : nullptr);
    // Only a protected walk hands the library a cipher: the library then
    // refuses to decode a folder twice, as one chain cannot restart.
    const bool ok = enumerate_(unpacker_detail::NotifyAdapter, key_ ? unpacker_detail::DecryptAdapter : nullptr) != 0;
    const bool callbackFailed = unpacker_detail::EndWalk();
    return ok && !callbackFailed;
}

const std::string& TUnpacker::FailedDestination() const { return Walk().writeFailed; }

}  // namespace brik
