// Linked into the shipped Windows programs only (setup.exe, unpack.dll),
// never into the tools or tests. These programs are built without C++
// exceptions, so the C++ library's ways of reporting its rare errors, which
// would bring the whole exception machinery with them, are replaced here by
// Windows exceptions: a failed allocation raises STATUS_NO_MEMORY, a broken
// library precondition (a string longer than memory, a position past a
// string's end) raises kLibraryErrorCode. The engine's process-wide filter
// reports either and cleans up; nothing returns to the failed call.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

constexpr DWORD kLibraryErrorCode = 0xE0427201;

[[noreturn]] void Raise(DWORD code) {
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // A filter that tries to continue a non-continuable exception gets
    // another one; nothing comes back here.
    std::abort();
}

// A zero-byte request still gets a block of its own, as new requires.
void* TryAllocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }

void* Allocate(std::size_t size) {
    void* block = TryAllocate(size);
    if (block == nullptr) Raise(static_cast<DWORD>(STATUS_NO_MEMORY));
    return block;
}

}  // namespace

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
