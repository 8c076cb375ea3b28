// unpack.dll: walks the cabinet inside a setup package and writes the files
// its caller asks for. One load serves one walk: Open, Enumerate, Close.
//
// Why a walk failed is left in the thread's last-error value when Enumerate
// returns zero: ERROR_FILENAME_EXCED_RANGE for a destination that does not
// end within its buffer, ERROR_CRC for a damaged block, ERROR_INVALID_DATA
// for damaged compressed data, ERROR_BAD_FORMAT for a cabinet we do not
// read, ERROR_READ_FAULT for a truncated package, ERROR_CANCELLED when the
// caller refused a file or a chunk of one, and the system's own code when a
// file could not be created or written.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "cab/Cabinet.h"
#include "unpack/Unpack.h"

using namespace brik;
using namespace brik::unpack;

namespace {

// Files the caller lets finish after their done notice go to the disk on
// writer threads while the walk decodes the next ones: under Wine creating,
// writing and closing a file costs far more than decoding it, and two
// threads create files faster than one. Each such file is held whole in
// memory until written; larger files and the caller's other files are
// written by the walk itself.
constexpr uint32_t kQueuedFileLimit = 1024 * 1024;
constexpr uint32_t kQueuedBytesLimit = 8 * 1024 * 1024;
constexpr int kWriterCount = 2;
// Once the queue has drained to half, any queued file fits.
static_assert(kQueuedFileLimit <= kQueuedBytesLimit / 2);

struct QueuedFile {
    QueuedFile* next;
    uint8_t* data;
    uint32_t size;
    uint16_t date;
    uint16_t time;
    DWORD attributes;
    // For the done notice, once the file is on the disk.
    uint32_t cabinetAttributes;
    const char* name;  // stored behind the record, in the same allocation
    char destination[kDestinationSize];
};

class WriterPool {
public:
    // Hands the file over; false when a writer has already failed.
    //
    // Under Wine every signal and every wait is a trip to the server: a
    // writer is woken only when it sleeps on an empty queue, and the walk
    // only when the queue has drained to half (or to nothing, for Drain).
    bool Add(QueuedFile* file) {
        if (!Start()) return WriteNow(file);
        EnterCriticalSection(&lock_);
        // Bounded memory: the walk waits while too much is on its way.
        while (queuedBytes_ > 0 && queuedBytes_ + file->size > kQueuedBytesLimit && error_ == 0) {
            WaitForWriters(kQueuedBytesLimit / 2);
        }
        const bool ok = error_ == 0;
        bool wake = false;
        if (ok) {
            file->next = nullptr;
            if (tail_) tail_->next = file;
            else head_ = file;
            tail_ = file;
            queuedBytes_ += file->size;
            ++outstanding_;
            if (idleWriters_ > 0) {
                --idleWriters_;
                wake = true;
            }
        }
        LeaveCriticalSection(&lock_);
        if (!ok) {
            Free(file);
            return false;
        }
        if (wake) ReleaseSemaphore(jobs_, 1, nullptr);
        return true;
    }

    // Waits until every file handed over is written (or failed); the first
    // writer's error, or 0.
    DWORD Drain() {
        if (!started_) return error_;
        EnterCriticalSection(&lock_);
        while (outstanding_ > 0) WaitForWriters(-1);
        const DWORD error = error_;
        LeaveCriticalSection(&lock_);
        return error;
    }

    // The files written since the last call, in the order they were
    // finished; the caller frees them.
    QueuedFile* TakeWritten() {
        if (started_) EnterCriticalSection(&lock_);
        QueuedFile* written = writtenHead_;
        writtenHead_ = writtenTail_ = nullptr;
        if (started_) LeaveCriticalSection(&lock_);
        return written;
    }

    // Ends the threads once the queue is empty.
    void Stop() {
        if (started_) {
            Drain();
            EnterCriticalSection(&lock_);
            stopping_ = true;
            const int idle = idleWriters_;
            idleWriters_ = 0;
            LeaveCriticalSection(&lock_);
            if (idle > 0) ReleaseSemaphore(jobs_, idle, nullptr);
            WaitForMultipleObjects(threadCount_, threads_, TRUE, INFINITE);
            for (int i = 0; i < threadCount_; ++i) CloseHandle(threads_[i]);
            CloseHandle(jobs_);
            CloseHandle(progress_);
            DeleteCriticalSection(&lock_);
            started_ = false;
            stopping_ = false;
            threadCount_ = 0;
            walkWaiting_ = false;
        }
        // Finished files nobody was told of: the walk's caller left it
        // without coming back. With the threads gone, no lock is needed.
        for (QueuedFile* file = TakeWritten(); file;) {
            QueuedFile* next = file->next;
            Free(file);
            file = next;
        }
        error_ = 0;
    }

    DWORD Error() const { return error_; }
    // The file of the first failure.
    const char* FailedDestination() const { return failedDestination_; }

    static void Free(QueuedFile* file) {
        HeapFree(GetProcessHeap(), 0, file->data);
        HeapFree(GetProcessHeap(), 0, file);
    }

    // Creates, writes, stamps and closes the file; a file that fails is
    // deleted, never left half-written.
    static DWORD Write(const QueuedFile& file) {
        const HANDLE handle = CreateFileA(file.destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        DWORD error = 0;
        DWORD done = 0;
        if (file.size > 0 && (!WriteFile(handle, file.data, file.size, &done, nullptr) || done != file.size))
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        FILETIME local, utc;
        if (error == 0 && DosDateTimeToFileTime(file.date, file.time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(handle, &utc, nullptr, &utc);
        if (!CloseHandle(handle) && error == 0) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        if (error != 0) {
            DeleteFileA(file.destination);
            return error;
        }
        if (file.attributes != FILE_ATTRIBUTE_ARCHIVE)
            SetFileAttributesA(file.destination, file.attributes ? file.attributes : FILE_ATTRIBUTE_NORMAL);
        return 0;
    }

private:
    bool Start() {
        if (started_) return true;
        InitializeCriticalSection(&lock_);
        jobs_ = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
        progress_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (jobs_ && progress_) {
            for (int i = 0; i < kWriterCount; ++i) {
                DWORD id = 0;
                const HANDLE thread = CreateThread(nullptr, 64 * 1024, &WriterPool::Run, this, 0, &id);
                if (thread) threads_[threadCount_++] = thread;
            }
        }
        if (threadCount_ > 0) {
            started_ = true;
            return true;
        }
        if (jobs_) CloseHandle(jobs_);
        if (progress_) CloseHandle(progress_);
        jobs_ = progress_ = nullptr;
        DeleteCriticalSection(&lock_);
        return false;
    }

    // Without threads (none could be made) the walk writes it itself.
    bool WriteNow(QueuedFile* file) {
        const DWORD error = Write(*file);
        if (error != 0) {
            if (error_ == 0) Failed(*file, error);
            Free(file);
            return false;
        }
        AddWritten(file);
        return true;
    }

    // With the lock held, when there are threads.
    void AddWritten(QueuedFile* file) {
        file->next = nullptr;
        if (writtenTail_) writtenTail_->next = file;
        else writtenHead_ = file;
        writtenTail_ = file;
    }

    // The first failure, and the file it was: the caller's message names
    // that file, not the one the walk had come to meanwhile.
    void Failed(const QueuedFile& file, DWORD error) {
        error_ = error;
        std::memcpy(failedDestination_, file.destination, sizeof failedDestination_);
    }


    static DWORD WINAPI Run(LPVOID self) {
        static_cast<WriterPool*>(self)->Loop();
        return 0;
    }

    // Called and left with the lock held. wakeAt: the queued bytes at or
    // below which the walk goes on; -1 to wait until nothing is outstanding.
    void WaitForWriters(int32_t wakeAt) {
        walkWaiting_ = true;
        wakeAt_ = wakeAt;
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(progress_, INFINITE);
        EnterCriticalSection(&lock_);
    }

    void Loop() {
        EnterCriticalSection(&lock_);
        for (;;) {
            while (!head_ && !stopping_) {
                ++idleWriters_;
                LeaveCriticalSection(&lock_);
                WaitForSingleObject(jobs_, INFINITE);
                EnterCriticalSection(&lock_);
            }
            QueuedFile* file = head_;
            if (!file) break;
            head_ = file->next;
            if (!head_) tail_ = nullptr;
            LeaveCriticalSection(&lock_);
            // After a failure the rest is dropped: the walk fails anyway.
            const DWORD error = error_ == 0 ? Write(*file) : ERROR_CANCELLED;
            EnterCriticalSection(&lock_);
            if (error != 0 && error_ == 0) Failed(*file, error);
            queuedBytes_ -= file->size;
            --outstanding_;
            const bool wake = walkWaiting_ && (outstanding_ == 0 || error_ != 0 ||
                                               (wakeAt_ >= 0 && queuedBytes_ <= static_cast<uint32_t>(wakeAt_)));
            if (wake) walkWaiting_ = false;
            // Its done notice goes out from the walk's thread.
            if (error == 0) AddWritten(file);
            LeaveCriticalSection(&lock_);
            if (error != 0) Free(file);
            if (wake) SetEvent(progress_);
            EnterCriticalSection(&lock_);
        }
        LeaveCriticalSection(&lock_);
    }

    CRITICAL_SECTION lock_{};
    HANDLE jobs_ = nullptr;
    HANDLE progress_ = nullptr;
    HANDLE threads_[kWriterCount] = {};
    int threadCount_ = 0;
    bool started_ = false;
    volatile bool stopping_ = false;
    QueuedFile* head_ = nullptr;
    QueuedFile* tail_ = nullptr;
    // Written, and not yet told to the caller.
    QueuedFile* writtenHead_ = nullptr;
    QueuedFile* writtenTail_ = nullptr;
    uint32_t queuedBytes_ = 0;
    int outstanding_ = 0;
    // Writers asleep on the jobs semaphore, each owed one release.
    int idleWriters_ = 0;
    bool walkWaiting_ = false;
    int32_t wakeAt_ = 0;
    volatile DWORD error_ = 0;
    char failedDestination_[kDestinationSize] = {};
};

WriterPool g_writers;

cab::FileSource* g_source = nullptr;
// One walk at a time per load: its write buffer lives with the library
// rather than on the caller's stack.
uint8_t g_writeBuffer[256 * 1024];
cab::Cabinet* g_cabinet = nullptr;

// The done notices of the files the writers have finished since the last
// call: the caller hears of a queued file only once it is whole on the disk,
// and always on the walk's thread.
void ReportWritten(NotifyProc notify) {
    for (QueuedFile* file = g_writers.TakeWritten(); file;) {
        QueuedFile* next = file->next;
        NotifyRecord record{file->name, file->size, static_cast<uint32_t>(file->date) << 16 | file->time,
                            file->cabinetAttributes, file->destination};
        notify(kNotifyFileDone, &record);
        WriterPool::Free(file);
        file = next;
    }
}

class LibraryWalk;
// The walk under way, for Close when its caller never came back from a
// notice: its half-written file goes.
LibraryWalk* g_walk = nullptr;

class LibraryWalk final : public cab::WalkHandler {
public:
    LibraryWalk(NotifyProc notify, DecryptProc decrypt) : notify_(notify), decrypt_(decrypt) {}

    cab::FileAction BeginFile(const cab::CabFile& file) override {
        ReportWritten(notify_);
        record_.name = file.name.c_str();
        record_.size = file.size;
        record_.dateTime = static_cast<uint32_t>(file.date) << 16 | file.time;
        record_.attributes = file.attributes;
        record_.destination = destination_;
        int answer = Ask();
        if (answer == kAnswerAskAgain) {
            const DWORD error = g_writers.Drain();
            ReportWritten(notify_);
            if (error != 0) {
                Fail(error);
                return cab::FileAction::Stop;
            }
            answer = Ask();
            // Everything is on the disk: there is nothing more to wait for.
            if (answer == kAnswerAskAgain) answer = kAnswerRefuse;
        }
        if (answer == kAnswerEnd) return cab::FileAction::Stop;
        if (answer == kAnswerRefuse) {
            Fail(ERROR_CANCELLED);
            return cab::FileAction::Stop;
        }
        if (answer != kAnswerWrite && answer != kAnswerWriteQueued) return cab::FileAction::Skip;
        // The caller may have filled the buffer to its very end; a name that
        // does not end inside it is not a name we can trust to be complete.
        if (!std::memchr(destination_, 0, sizeof destination_)) {
            Fail(ERROR_FILENAME_EXCED_RANGE);
            return cab::FileAction::Stop;
        }
        if (destination_[0] == 0) return cab::FileAction::Skip;
        written_ = 0;
        pending_ = 0;
        if (answer == kAnswerWriteQueued && file.size <= kQueuedFileLimit) {
            queued_ = static_cast<QueuedFile*>(
                HeapAlloc(GetProcessHeap(), 0, sizeof(QueuedFile) + file.name.size() + 1));
            if (queued_) {
                char* name = reinterpret_cast<char*>(queued_ + 1);
                std::memcpy(name, file.name.c_str(), file.name.size() + 1);
                queued_->name = name;
                queued_->data = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, file.size ? file.size : 1));
                if (!queued_->data) {
                    HeapFree(GetProcessHeap(), 0, queued_);
                    queued_ = nullptr;
                }
            }
            if (queued_) {
                queued_->size = 0;
                return cab::FileAction::Write;
            }
            // Without the memory it is written as any other file.
        }
        file_ = CreateFileA(destination_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (file_ == INVALID_HANDLE_VALUE) {
            Fail(GetLastError());
            return cab::FileAction::Stop;
        }
        return cab::FileAction::Write;
    }

    // The decoder hands out a block's output at a time; under Wine each
    // WriteFile is a costly trip, so a file's data goes out in larger pieces.
    bool WriteData(const cab::CabFile& file, const uint8_t* data, uint32_t size) override {
        if (queued_) {
            if (size > file.size - queued_->size) return Fail(ERROR_INVALID_DATA);
            std::memcpy(queued_->data + queued_->size, data, size);
            queued_->size += size;
            written_ += size;
            ProgressRecord progress{file.name.c_str(), destination_, file.size, size, written_};
            if (notify_(kNotifyProgress, &progress) == -1) return Fail(ERROR_CANCELLED);
            return true;
        }
        while (size > 0) {
            if (pending_ == sizeof g_writeBuffer && !Flush(file)) return false;
            const uint32_t take = std::min<uint32_t>(size, static_cast<uint32_t>(sizeof g_writeBuffer) - pending_);
            std::memcpy(g_writeBuffer + pending_, data, take);
            pending_ += take;
            data += take;
            size -= take;
        }
        return true;
    }

    bool EndFile(const cab::CabFile& file) override {
        if (queued_) {
            QueuedFile* queued = queued_;
            queued_ = nullptr;
            std::memcpy(queued->destination, destination_, sizeof destination_);
            queued->date = file.date;
            queued->time = file.time;
            queued->attributes = file.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
            queued->cabinetAttributes = file.attributes;
            // Its done notice comes once a writer has finished it.
            if (!g_writers.Add(queued)) return Fail(g_writers.Error() ? g_writers.Error() : ERROR_WRITE_FAULT);
            return true;
        }
        if (file_ == INVALID_HANDLE_VALUE) {
            // A skipped or empty-destination file never gets here; an empty
            // file does, and is created now.
            return true;
        }
        if (!Flush(file)) return false;
        FILETIME local, utc;
        if (DosDateTimeToFileTime(file.date, file.time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(file_, &utc, nullptr, &utc);
        const bool closed = CloseHandle(file_) != 0;
        file_ = INVALID_HANDLE_VALUE;
        if (!closed) return Fail(GetLastError());
        const DWORD keep = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE;
        const DWORD attributes = file.attributes & keep;
        // A file just created and written has the archive attribute alone;
        // setting it again by name would cost a lookup per file.
        if (attributes != FILE_ATTRIBUTE_ARCHIVE)
            SetFileAttributesA(destination_, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        notify_(kNotifyFileDone, &record_);
        return true;
    }

    void AbortFile(const cab::CabFile&) override {
        // Never handed over: nothing of it is on the disk.
        if (queued_) {
            WriterPool::Free(queued_);
            queued_ = nullptr;
        }
        // A half-written file must not pass for a complete one.
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
            DeleteFileA(destination_);
        }
    }

    void Decrypt(uint8_t* data, uint32_t size) override {
        if (decrypt_) decrypt_(data, size);
    }
    // The caller's cipher is one chain over the blocks it is shown.
    bool CanReread(uint16_t) const override { return decrypt_ == nullptr; }

    cab::CabStatus StopReason() const override { return cab::CabStatus::WriteError; }

    DWORD Error() const { return error_; }

    ~LibraryWalk() override { AbortFile(cab::CabFile{}); }

private:
    int Ask() {
        std::memset(destination_, 0, sizeof destination_);
        return notify_(kNotifyFileNext, &record_);
    }

    // Writes what is buffered; its progress is reported once it is on disk.
    bool Flush(const cab::CabFile& file) {
        if (pending_ == 0) return true;
        const uint32_t size = pending_;
        pending_ = 0;
        DWORD done = 0;
        if (!WriteFile(file_, g_writeBuffer, size, &done, nullptr) || done != size) {
            DWORD error = GetLastError();
            return Fail(error ? error : ERROR_WRITE_FAULT);
        }
        written_ += size;
        ProgressRecord progress{file.name.c_str(), destination_, file.size, size, written_};
        if (notify_(kNotifyProgress, &progress) == -1) return Fail(ERROR_CANCELLED);
        return true;
    }

    bool Fail(DWORD error) {
        error_ = error;
        return false;
    }

    NotifyProc notify_;
    DecryptProc decrypt_;
    NotifyRecord record_{};
    char destination_[kDestinationSize] = {};
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint32_t written_ = 0;
    DWORD error_ = 0;
    uint32_t pending_ = 0;
    QueuedFile* queued_ = nullptr;
};

DWORD ErrorOf(cab::CabStatus status) {
    switch (status) {
        case cab::CabStatus::BadChecksum: return ERROR_CRC;
        case cab::CabStatus::BadData: return ERROR_INVALID_DATA;
        case cab::CabStatus::BadFormat: return ERROR_BAD_FORMAT;
        case cab::CabStatus::ReadError: return ERROR_READ_FAULT;
        case cab::CabStatus::NoMemory: return ERROR_NOT_ENOUGH_MEMORY;
        case cab::CabStatus::WriteError: return ERROR_WRITE_FAULT;
        default: return ERROR_GEN_FAILURE;
    }
}

void Release() {
    delete g_cabinet;
    g_cabinet = nullptr;
    delete g_source;
    g_source = nullptr;
}

}  // namespace

extern "C" {

int __stdcall Open(const char* path) {
    Release();
    if (!path) return 0;
    // Built without C++ exceptions: these two fail Open softly; a failed
    // allocation deeper down raises STATUS_NO_MEMORY for the caller's
    // process to handle.
    g_source = new (std::nothrow) cab::FileSource;
    g_cabinet = new (std::nothrow) cab::Cabinet;
    if (g_source && g_cabinet && g_source->Open(path) && g_cabinet->Open(*g_source) == cab::CabStatus::Ok) return 1;
    Release();
    return 0;
}

int __stdcall Enumerate(NotifyProc notify, DecryptProc decrypt) {
    if (!g_cabinet || !notify) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    LibraryWalk walk(notify, decrypt);
    g_walk = &walk;
    const cab::CabStatus status = g_cabinet->Walk(walk);
    g_walk = nullptr;
    // Every file handed to the writers is on the disk (or failed and gone)
    // before the walk's end is told.
    const DWORD writeError = g_writers.Drain();
    ReportWritten(notify);
    if (writeError != 0) {
        NotifyRecord failed{"", 0, 0, 0, const_cast<char*>(g_writers.FailedDestination())};
        notify(kNotifyWriteFailed, &failed);
    }
    g_writers.Stop();
    // kAnswerEnd ends the walk as the caller wished.
    if (writeError == 0 &&
        (status == cab::CabStatus::Ok || (status == cab::CabStatus::Aborted && walk.Error() == 0)))
        return 1;
    SetLastError(walk.Error() ? walk.Error() : writeError ? writeError : ErrorOf(status));
    return 0;
}

// Also after a walk whose caller never came back from a notice (its thread
// ended there): the file it was writing goes, the writers finish the queue
// and end, so that nothing of the library runs once it is unloaded.
void __stdcall Close() {
    if (LibraryWalk* walk = std::exchange(g_walk, nullptr)) walk->AbortFile(cab::CabFile{});
    g_writers.Stop();
    Release();
}

}  // extern "C"
