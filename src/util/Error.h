// The base of this system's exceptions: a message for people.
#pragma once

#include <exception>
#include <string>

namespace brik {

// Like std::runtime_error, whose message copy would bring the C++ library's
// second string implementation into every shipped program.
class EError : public std::exception {
public:
    explicit EError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace brik
