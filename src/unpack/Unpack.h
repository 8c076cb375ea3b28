// The decompressor library's interface, shared by the library and by the
// programs that load it. Every record field is 4 bytes; pointers are 32-bit.
#pragma once

#include <cstdint>

namespace brik::unpack {

enum NotifyCode : int {
    // NotifyRecord; the caller answers with a FileAnswer.
    kNotifyFileNext = 1,
    // NotifyRecord with the destination filled: the file is whole on the
    // disk. For a file answered kAnswerWriteQueued it comes from the walk's
    // thread once a writer has finished it, which may be after later files'
    // notices; always before the walk ends.
    kNotifyFileDone = 2,
    kNotifyProgress = 3,   // ProgressRecord; -1 fails the write
    // NotifyRecord of a file answered kAnswerWriteQueued that could not be
    // written (it is deleted); once, before the failed walk ends. Only the
    // destination is filled.
    kNotifyWriteFailed = 4,
};

// The answers to kNotifyFileNext.
enum FileAnswer : int {
    // The caller refuses the file: the walk fails (ERROR_CANCELLED).
    kAnswerRefuse = -1,
    kAnswerSkip = 0,
    kAnswerWrite = 1,
    // Write; the walk may go on while the file is on its way to the disk.
    // The walk's end waits for every such file and fails when one could not
    // be written; that one is deleted.
    kAnswerWriteQueued = 2,
    // The caller has all it wants: the walk ends here, successfully.
    kAnswerEnd = 3,
    // Asked again once every file handed over so far is on the disk: the
    // caller cannot decide this one before (its target is one of them).
    kAnswerAskAgain = 4,
};

inline constexpr int kDestinationSize = 256;  // 255 characters and a zero

struct NotifyRecord {
    const char* name;
    uint32_t size;
    uint32_t dateTime;     // DOS date in the high word, DOS time in the low word
    uint32_t attributes;   // the cabinet's attribute word
    char* destination;     // kDestinationSize bytes, empty on entry
};

struct ProgressRecord {
    const char* name;
    const char* destination;
    uint32_t fileSize;
    uint32_t chunkSize;
    uint32_t written;      // bytes of this file so far, this chunk included
};

#ifdef _WIN32
using NotifyProc = int(__stdcall*)(int code, void* record);
using DecryptProc = void(__stdcall*)(uint8_t* buffer, uint32_t count);
using OpenProc = int(__stdcall*)(const char* path);
using EnumerateProc = int(__stdcall*)(NotifyProc notify, DecryptProc decrypt);
using CloseProc = void(__stdcall*)();
#endif

}  // namespace brik::unpack
