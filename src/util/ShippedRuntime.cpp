// The C and C++ run-time support of the shipped Windows programs (setup.exe,
// unpack.dll), never linked into the tools or tests. Windows 95 as first
// shipped has no msvcrt.dll, so these programs link no C library at all
// (-nostdlib): the few functions the compiler, the C++ library's headers and
// our code ask for are here, over kernel32. Start-up is in
// ShippedStartExe.cpp and ShippedStartDll.cpp.
//
// The programs are built without C++ exceptions, so the C++ library's ways of
// reporting its rare errors, which would bring the whole exception machinery
// with them, are replaced here by Windows exceptions: a failed allocation
// raises STATUS_NO_MEMORY, a broken library precondition (a string longer
// than memory, a position past a string's end) raises kLibraryErrorCode. The
// engine's process-wide filter reports either and cleans up; nothing returns
// to the failed call.
//
// This file is compiled without link-time optimisation and without the
// compiler turning loops into calls of memset and memcpy (see
// cmake/Shipped.cmake): those calls would land right back here.
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "util/ShippedRuntime.h"

namespace {

constexpr DWORD kLibraryErrorCode = 0xE0427201;

[[noreturn]] void Raise(DWORD code) {
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // A filter that tries to continue a non-continuable exception gets
    // another one; nothing comes back here.
    ExitProcess(3);
}

// A zero-byte request still gets a block of its own, as new requires.
void* TryAllocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }

void* Allocate(std::size_t size) {
    void* block = TryAllocate(size);
    if (block == nullptr) Raise(static_cast<DWORD>(STATUS_NO_MEMORY));
    return block;
}

// Functions registered with atexit, and by the compiler for the destructors
// of static objects, last first. Each program (and the library) has its own.
struct ExitEntry {
    void (*function)();
    ExitEntry* next;
};
ExitEntry* g_exitList = nullptr;

unsigned int g_randomState = 1;

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 36;
}

}  // namespace

namespace brik::shipped {

void RunConstructors() {
    // The linker lays out -1, the constructors, 0; they run last to first,
    // as GCC's own start-up code does.
    std::size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (; count > 0; --count) __CTOR_LIST__[count]();
}

void RunExitFunctions() {
    while (ExitEntry* entry = g_exitList) {
        g_exitList = entry->next;
        entry->function();
        std::free(entry);
    }
    for (std::size_t i = 1; __DTOR_LIST__[i] != nullptr; ++i) __DTOR_LIST__[i]();
}

[[noreturn]] void ReportFatal(const char* message) {
    const HANDLE output = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE) {
        WriteFile(output, message, static_cast<DWORD>(std::strlen(message)), &written, nullptr);
        WriteFile(output, "\r\n", 2, &written, nullptr);
    }
    std::exit(1);
}

}  // namespace brik::shipped

extern "C" {

// --- Heap: the process heap, which every Windows version has.

void* malloc(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void* calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > static_cast<std::size_t>(-1) / size) return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * size);
}

void* realloc(void* block, std::size_t size) {
    if (block == nullptr) return std::malloc(size);
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void free(void* block) {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

// --- Memory and strings. Plain loops: small, and fast enough for the
// engine's short strings; the bulk data goes through ReadFile and WriteFile.

// The string instructions: a few bytes of code, and on every processor from
// the 486 on far faster than a byte loop for the decoders' window copies and
// the extraction buffers of unpack.dll. Whole words first, then the rest.
void* memcpy(void* destination, const void* source, std::size_t size) {
    void* to = destination;
    const void* from = source;
    std::size_t words = size / 4;
    asm volatile("rep movsl" : "+D"(to), "+S"(from), "+c"(words) : : "memory");
    std::size_t rest = size % 4;
    asm volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(rest) : : "memory");
    return destination;
}

void* memmove(void* destination, const void* source, std::size_t size) {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const unsigned char*>(source);
    if (to <= from || to >= from + size) return std::memcpy(destination, source, size);
    // Overlapping with the destination above: backwards, byte by byte.
    while (size-- != 0) to[size] = from[size];
    return destination;
}

void* memset(void* destination, int value, std::size_t size) {
    void* to = destination;
    const unsigned pattern = static_cast<unsigned char>(value) * 0x01010101u;
    std::size_t words = size / 4;
    asm volatile("rep stosl" : "+D"(to), "+c"(words) : "a"(pattern) : "memory");
    std::size_t rest = size % 4;
    asm volatile("rep stosb" : "+D"(to), "+c"(rest) : "a"(pattern) : "memory");
    return destination;
}

int memcmp(const void* first, const void* second, std::size_t size) {
    const auto* a = static_cast<const unsigned char*>(first);
    const auto* b = static_cast<const unsigned char*>(second);
    for (; size != 0; --size, ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* block, int value, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(block);
    for (; size != 0; --size, ++at) {
        if (*at == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(at);
    }
    return nullptr;
}

std::size_t strlen(const char* text) {
    const char* end = text;
    while (*end != 0) ++end;
    return static_cast<std::size_t>(end - text);
}

int strncmp(const char* first, const char* second, std::size_t size) {
    for (; size != 0; --size, ++first, ++second) {
        const auto a = static_cast<unsigned char>(*first);
        const auto b = static_cast<unsigned char>(*second);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) break;
    }
    return 0;
}

int strcmp(const char* first, const char* second) { return std::strncmp(first, second, static_cast<std::size_t>(-1)); }

char* strcpy(char* destination, const char* source) {
    return static_cast<char*>(std::memcpy(destination, source, std::strlen(source) + 1));
}

unsigned long strtoul(const char* text, char** end, int base) {
    const char* at = text;
    while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') ++at;
    if ((base == 0 || base == 16) && at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && DigitValue(at[2]) < 16) {
        at += 2;
        base = 16;
    } else if (base == 0) {
        base = at[0] == '0' ? 8 : 10;
    }
    unsigned long value = 0;
    bool overflow = false;
    const char* digits = at;
    for (int digit; base >= 2 && base <= 36 && (digit = DigitValue(*at)) < base; ++at) {
        const auto b = static_cast<unsigned long>(base);
        if (value > (ULONG_MAX - static_cast<unsigned long>(digit)) / b) overflow = true;
        value = value * b + static_cast<unsigned long>(digit);
    }
    if (end != nullptr) *end = const_cast<char*>(at == digits ? text : at);
    if (overflow) return ULONG_MAX;
    return negative ? 0 - value : value;
}

// Microsoft's generator, so that a seed gives the numbers it gave before.
int rand() {
    g_randomState = g_randomState * 214013u + 2531011u;
    return static_cast<int>(g_randomState >> 16 & 0x7FFF);
}

void srand(unsigned int seed) { g_randomState = seed; }

// --- Ending the process.

int atexit(void (*function)()) {
    auto* entry = static_cast<ExitEntry*>(std::malloc(sizeof(ExitEntry)));
    if (entry == nullptr) return -1;
    entry->function = function;
    entry->next = g_exitList;
    g_exitList = entry;
    return 0;
}

void exit(int status) {
    brik::shipped::RunExitFunctions();
    ExitProcess(static_cast<UINT>(status));
}

void abort() { ExitProcess(3); }

// --- Arithmetic.

// In the current rounding mode (to nearest, halves to even, unless changed),
// as the FPU's own instruction rounds; a 486 has it.
double nearbyint(double value) {
    double result;
    __asm__("frndint" : "=t"(result) : "0"(value));
    return result;
}

}  // extern "C"

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return TryAllocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return TryAllocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace std {

// Otherwise in the compiled C++ library.
const nothrow_t nothrow{};

void __throw_bad_alloc() { Raise(static_cast<DWORD>(STATUS_NO_MEMORY)); }
void __throw_bad_array_new_length() { Raise(static_cast<DWORD>(STATUS_NO_MEMORY)); }
void __throw_length_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_logic_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_out_of_range(const char*) { Raise(kLibraryErrorCode); }
void __throw_out_of_range_fmt(const char*, ...) { Raise(kLibraryErrorCode); }
void __throw_invalid_argument(const char*) { Raise(kLibraryErrorCode); }
void __throw_domain_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_runtime_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_range_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_overflow_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_underflow_error(const char*) { Raise(kLibraryErrorCode); }
void __throw_bad_cast() { Raise(kLibraryErrorCode); }
void __throw_bad_typeid() { Raise(kLibraryErrorCode); }
void __throw_bad_exception() { Raise(kLibraryErrorCode); }
void __throw_bad_function_call() { Raise(kLibraryErrorCode); }

}  // namespace std
