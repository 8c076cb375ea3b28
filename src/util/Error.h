// The base of this system's exceptions: a message for people.
//
// The tools and tests are built with C++ exceptions and raise these. The
// shipped Windows programs are built without them: the unwinder, its tables
// and the landing pads would take about a third of the engine, which every
// package carries. There an error is never recovered from anyway, it ends the
// run, so raising one hands its message to the fatal handler, which reports
// it, cleans up and ends the process.
#pragma once

#include <exception>
#include <string>

namespace brik {

// Like std::runtime_error, whose message copy would bring the C++ library's
// second string implementation into every shipped program. In the shipped
// programs (BRIK_SHIPPED, never linked with code built otherwise) an error is
// only ever a message on its way to the fatal handler: there it has no base
// and no virtual function, which keeps std::exception's code out.
#if defined(BRIK_SHIPPED)
class EError {
public:
    explicit EError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept { return message_.c_str(); }
#else
class EError : public std::exception {
public:
    explicit EError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
#endif

private:
    std::string message_;
};

// Must not return; one that does is followed by abort().
using FatalHandler = void (*)(const char* message);
// Installs the handler and returns the previous one (none at start).
FatalHandler SetFatalHandler(FatalHandler handler);
// Calls the handler; without one, writes the message to stderr and exits with 1.
[[noreturn]] void RaiseFatal(const char* message);

}  // namespace brik

// Only in .cpp files, so that every inline function has one meaning whichever
// way the file that uses it was built.
#if defined(__cpp_exceptions)
#define BRIK_RAISE(error) throw error
#else
#define BRIK_RAISE(error) ::brik::RaiseFatal((error).what())
#endif
