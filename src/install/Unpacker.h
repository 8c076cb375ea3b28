// Every walk over the package's cabinet goes through TUnpacker: it loads the
// decompressor library that the launcher wrote into the setup folder, opens
// the running package with it and turns the library's notifications into the
// three callbacks below. The library keeps its state per load, so one
// unpacker serves one walk; and because the callbacks and the cipher context
// are process-wide, only one walk may run at a time.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "unpack/Unpack.h"
#include "util/Error.h"

namespace brik {

// The library cannot be loaded or lacks an export. Ends the run with the
// message.
class EUnpackError : public EError {
public:
    using EError::EError;
};

// A file of the cabinet is next. destination starts empty; the answer is
// one of unpack::FileAnswer: kAnswerWrite (or kAnswerWriteQueued) extracts
// the file there (when not empty), kAnswerSkip skips it, kAnswerRefuse fails
// the walk, kAnswerEnd ends it successfully, kAnswerAskAgain asks again once
// every file handed over is on the disk. time is local time, from the
// cabinet's DOS date and time.
using TFileCallback = std::function<int(const std::string& name, int size, int attributes,
                                        std::string& destination, const FILETIME& time)>;
// The file is whole on the disk (for one answered kAnswerWriteQueued, this
// may come after later files' callbacks, and even after the walk failed);
// the result does not stop the walk.
using TFileDoneCallback = std::function<int(const std::string& name, int size, int attributes,
                                            const std::string& destination, const FILETIME& time)>;
// A chunk of the current file was written; -1 fails the write and so the walk.
using TProgressCallback = std::function<int(const std::string& name, const std::string& destination,
                                            int fileSize, int chunkSize, int written)>;

class TUnpacker {
public:
    // Loads libraryPath (by its full path) and opens package with it.
    // Raises EUnpackError "Can't load unpack library" or "Important functions
    // was not found in the unpack library".
    TUnpacker(const std::string& libraryPath, const std::string& package);
    // Nothing loaded yet: Load does the constructor's work.
    explicit TUnpacker(std::nullptr_t) {}
    ~TUnpacker();
    TUnpacker(const TUnpacker&) = delete;
    TUnpacker& operator=(const TUnpacker&) = delete;

    // The key of a protected package's data blocks; an empty text removes it.
    void SetPassword(const std::string& password);
    bool HasKey() const { return key_ != nullptr; }

    // As the constructor, but the message of a failure is returned (nullptr
    // on success) instead of raised.
    const char* Load(const std::string& libraryPath, const std::string& package);

    // One walk in stored order. True when the library reports success; false
    // when it fails, nothing is loaded or a callback refuses a destination
    // longer than the library's buffer.
    bool Enumerate(TFileCallback fileCallback, TFileDoneCallback fileDoneCallback = nullptr,
                   TProgressCallback progressCallback = nullptr);
    // After a failed walk: the file the library could not write after its
    // done notice (a file answered with 2), or empty.
    const std::string& FailedDestination() const;

private:
    void Unload();
    friend void ReleaseActiveUnpacker();

    HMODULE library_ = nullptr;
    unpack::OpenProc open_ = nullptr;
    unpack::EnumerateProc enumerate_ = nullptr;
    unpack::CloseProc close_ = nullptr;
    std::unique_ptr<std::array<uint8_t, 32>> key_;
};

// Frees the library of the unpacker that has one loaded, so that its file
// can be deleted when a raised error ends the run.
void ReleaseActiveUnpacker();

namespace unpacker_detail {
// The adapters the library calls, exposed for the tests.
int __stdcall NotifyAdapter(int code, void* record);
void __stdcall DecryptAdapter(uint8_t* buffer, uint32_t count);
// Sets the module-level callbacks and key as Enumerate does, without a walk.
void BeginWalk(TFileCallback fileCallback, TFileDoneCallback fileDoneCallback,
               TProgressCallback progressCallback, const uint8_t* key);
// Wipes the cipher context; true when a callback refused during the walk.
bool EndWalk();
}  // namespace unpacker_detail

}  // namespace brik
