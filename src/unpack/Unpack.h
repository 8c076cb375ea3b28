// The decompressor library's interface, shared by the library and by the
// programs that load it. Every record field is 4 bytes; pointers are 32-bit.
#pragma once

#include <cstdint>

namespace brik::unpack {

enum NotifyCode : int {
    // NotifyRecord; 1 write, 0 skip, -1 end the walk; 2 write, and the file
    // may still be on its way to the disk when its kNotifyFileDone comes
    // (the walk's end waits for every such file, and fails when one could
    // not be written; that one is deleted).
    kNotifyFileNext = 1,
    kNotifyFileDone = 2,   // NotifyRecord with the destination filled
    kNotifyProgress = 3,   // ProgressRecord; -1 fails the write
    // NotifyRecord of a file answered with 2 that could not be written (it
    // is deleted); once, before the failed walk ends. Only the destination
    // is filled.
    kNotifyWriteFailed = 4,
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
