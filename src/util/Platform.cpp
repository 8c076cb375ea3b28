#include "util/Platform.h"

namespace brik::platform {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kInvalid;
    }
    return *this;
}

std::string ExtractFilePath(std::string_view path) {
    size_t i = path.size();
    while (i > 0 && !IsPathDelim(path[i - 1]) && path[i - 1] != ':') --i;
    return std::string(path.substr(0, i));
}

bool ForceDirectories(std::string path) {
    while (!path.empty() && IsPathDelim(path.back())) path.pop_back();
    if (path.empty()) return true;  // the root of a POSIX path
    // A bare drive ("C:") always exists; creating it would only fail.
    if (path.size() == 2 && path[1] == ':') return true;
    if (DirectoryExists(path)) return true;
    std::string parent = ExtractFilePath(path);
    if (!parent.empty() && parent.size() < path.size() && !ForceDirectories(parent)) return false;
    return MakeDirectory(path) || DirectoryExists(path);
}

}  // namespace brik::platform
