#include "builder/Sign.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "cab/Cabinet.h"
#include "cab/PackageEnd.h"

namespace brik {

namespace fs = std::filesystem;

namespace {

std::string Shown(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// One argument of the tool: a path, or a text in UTF-8.
struct Argument {
    fs::path path;
    std::string text;
    bool isPath = false;
};

Argument Text(std::string text) { return Argument{{}, std::move(text), false}; }
Argument Path(fs::path path) { return Argument{std::move(path), {}, true}; }

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// Quoted so that the C runtime's command-line parsing gives the program back
// exactly this argument: backslashes double only before a quote.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    line += L" \"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// The key's password goes to the tool in a file of the user's temporary
// folder, which only the user can read, and goes as soon as the tool ends.
class InputFile {
public:
    explicit InputFile(const std::string& text) {
        wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
        if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"brk", 0, name)) return;
        path_ = name;
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY,
                                  nullptr);
        DWORD written = 0;
        const bool ok = file != INVALID_HANDLE_VALUE &&
                        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                        written == text.size();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!ok) {
            DeleteFileW(name);
            path_.clear();
        }
    }
    ~InputFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

constexpr const char* kInputName = "\x01";  // stands for the input file among the arguments

// Runs the program with the arguments, the text `input` readable through
// the argument kInputName, and returns its exit code; -1 when it could not
// be started.
int RunTool(const fs::path& program, const std::vector<Argument>& args, const std::string& input) {
    const InputFile inputFile(input);
    std::wstring line;
    AppendQuoted(line, program.wstring());
    for (const Argument& a : args)
        AppendQuoted(line, a.isPath ? a.path.wstring() : a.text == kInputName ? inputFile.Path() : Wide(a.text));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.wstring().c_str(), line.data() + 1, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

#else

// The tool reads the key's password from this descriptor, a pipe: on its
// command line every user of the machine could read it, and it never
// touches the disk.
constexpr int kInputFd = 3;

constexpr const char* kInputName = "/dev/fd/3";

int RunTool(const fs::path& program, const std::vector<Argument>& args, const std::string& input) {
    std::vector<std::string> strings{program.string()};
    for (const Argument& a : args) strings.push_back(a.isPath ? a.path.string() : a.text);
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], kInputFd);
    // A wrong password ends the tool instead of leaving it to ask.
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (spawned == 0 && !input.empty()) {
        // A tool that ends without reading must not end us.
        void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
        for (size_t done = 0; done < input.size();) {
            const ssize_t n = write(pipeEnds[1], input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        std::signal(SIGPIPE, previous);
    }
    close(pipeEnds[1]);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

// What the engine holds a package to, and with `mustBeSigned` that the
// trailer lies just before a signature at the file's end.
bool CheckPackage(const fs::path& file, bool mustBeSigned, std::string& why) {
    cab::FileSource source;
    if (!source.Open(file.string())) {
        why = "cannot open " + Shown(file);
        return false;
    }
    cab::Cabinet cabinet;
    if (cabinet.Open(source) != cab::CabStatus::Ok ||
        (cabinet.IsPackage() && cabinet.CheckFolders() != cab::CabStatus::Ok)) {
        why = cabinet.Error();
        return false;
    }
    if (!cabinet.IsPackage()) {
        why = "not a setup package (no trailer where the engine looks for it)";
        return false;
    }
    if (mustBeSigned) {
        const cab::PackageExtent extent = cab::FindPackageEnd(
            source.Size(),
            [](void* s, uint64_t offset, void* buffer, size_t size) {
                return static_cast<cab::FileSource*>(s)->ReadAt(offset, buffer, size);
            },
            &source);
        if (extent.signatureEnd != source.Size() || extent.end == source.Size()) {
            why = "no signature behind the package's trailer";
            return false;
        }
    }
    return true;
}

}  // namespace

fs::path FindSigningTool() {
#ifdef _WIN32
    const wchar_t* path = _wgetenv(L"PATH");
    const wchar_t separator = L';';
    const fs::path name = L"osslsigncode.exe";
#else
    const char* path = std::getenv("PATH");
    const char separator = ':';
    const fs::path name = "osslsigncode";
#endif
    if (!path) return {};
    for (auto rest = std::basic_string_view(path); !rest.empty();) {
        const size_t end = rest.find(separator);
        const auto folder = rest.substr(0, end);
        rest = end == rest.npos ? decltype(rest)() : rest.substr(end + 1);
        // An empty entry would mean the current folder: never a place to
        // take a program from.
        if (folder.empty()) continue;
        std::error_code error;
        const fs::path candidate = fs::path(folder) / name;
        if (!fs::is_regular_file(candidate, error)) continue;
#ifndef _WIN32
        if (access(candidate.c_str(), X_OK) != 0) continue;
#endif
        return candidate;
    }
    return {};
}

SignResult SignPackage(const SignOptions& options) {
    SignResult result;
    const fs::path& target = options.output.empty() ? options.package : options.output;
    result.signedFile = target;
    std::string why;
    if (!CheckPackage(options.package, false, why)) {
        result.error = why;
        return result;
    }
    std::error_code error;
    for (const fs::path* input : {&options.certificate, &options.key}) {
        if (!fs::is_regular_file(*input, error)) {
            result.error = Shown(*input) + ": no such file";
            return result;
        }
    }
    const fs::path tool = FindSigningTool();
    if (tool.empty()) {
        result.error =
            "osslsigncode is not installed (not found on PATH): install it with \"apt-get install osslsigncode\" "
            "(the Debian package osslsigncode), or sign on Windows with signtool";
        return result;
    }

    fs::path partial = target;
    partial += ".part";
    fs::remove(partial, error);
    std::vector<Argument> args{Text("sign"), Text("-certs"), Path(options.certificate), Text("-key"),
                               Path(options.key)};
    // Never on the command line, where every user of the machine could
    // read it (see RunTool).
    if (options.hasPassword) args.insert(args.end(), {Text("-readpass"), Text(kInputName)});
    if (!options.description.empty()) args.insert(args.end(), {Text("-n"), Text(options.description)});
    if (!options.url.empty()) args.insert(args.end(), {Text("-i"), Text(options.url)});
    if (!options.timestampUrl.empty()) args.insert(args.end(), {Text("-ts"), Text(options.timestampUrl)});
    args.insert(args.end(), {Text("-in"), Path(options.package), Text("-out"), Path(partial)});

    const int code = RunTool(tool, args, options.password);
    if (code != 0) {
        fs::remove(partial, error);
        result.error = code < 0 ? "cannot start " + Shown(tool)
                                : "osslsigncode failed (exit code " + std::to_string(code) + "); nothing was written";
        return result;
    }
    if (!CheckPackage(partial, true, why)) {
        fs::remove(partial, error);
        result.error = "the signed package would be refused by the engine: " + why + "; nothing was written";
        return result;
    }
    fs::rename(partial, target, error);
    if (error) {
        result.error = "cannot replace " + Shown(target) + ": " + error.message();
        fs::remove(partial, error);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace brik
