// Linked into the shipped Windows programs only (setup.exe, unpack.dll),
// never into the tools or tests. The C++ library raises its rare internal
// errors (a string longer than memory, a position past a string's end)
// through these functions; its own versions bring the library's whole
// exception and string machinery with them, some 60 KB, which every package
// would carry. Out-of-memory cases still raise std::bad_alloc; the others
// raise a plain exception with the library's message, which the programs'
// outer handlers treat like any other.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError final : public std::exception {
public:
    explicit LibraryError(const char* what) noexcept : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range(const char* what) { throw LibraryError(what); }
void __throw_out_of_range_fmt(const char* what, ...) { throw LibraryError(what); }
void __throw_invalid_argument(const char* what) { throw LibraryError(what); }
void __throw_domain_error(const char* what) { throw LibraryError(what); }
void __throw_runtime_error(const char* what) { throw LibraryError(what); }
void __throw_range_error(const char* what) { throw LibraryError(what); }
void __throw_overflow_error(const char* what) { throw LibraryError(what); }
void __throw_underflow_error(const char* what) { throw LibraryError(what); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_bad_exception() { throw std::bad_exception(); }

}  // namespace std
