// brikpack: the package tool. Builds setup packages from project folders,
// and reads cabinets and setup packages (a cabinet found inside a host file
// the way the engine finds it), protected ones with their password.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "builder/CodePage.h"
#include "builder/Extract.h"
#include "builder/PackageBuilder.h"
#include "cab/Cabinet.h"
#include "crypto/Password.h"
#include "util/kpStrUtils.h"

namespace {

using namespace brik;
namespace fs = std::filesystem;

int Usage() {
    std::fprintf(stderr,
                 "usage: brikpack build PROJECT -o OUT.exe [--stub FILE] [--compression none|mszip]\n"
                 "                      [--password TEXT] [--codepage N] [--threads N]\n"
                 "       brikpack list FILE [--password TEXT] [--codepage N]\n"
                 "       brikpack test FILE [--password TEXT] [--codepage N]\n"
                 "       brikpack extract FILE -d DIR [--password TEXT] [--codepage N]\n"
                 "FILE is a cabinet or a setup package. PROJECT holds Presetup/ and Data/.\n");
    return 2;
}

int Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "brikpack: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(2) != 0;
#endif
}

// Arguments as UTF-8: on Windows the command line comes in the ANSI code
// page, which the C runtime converts once the locale is the user's.
std::string ArgumentUtf8(const char* arg) {
#ifdef _WIN32
    std::vector<wchar_t> wide(std::strlen(arg) + 1);
    const size_t n = std::mbstowcs(wide.data(), arg, wide.size());
    if (n == static_cast<size_t>(-1)) return arg;
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char32_t c = static_cast<char32_t>(wide[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
        }
        AppendUtf8(c, out);
    }
    return out;
#else
    return arg;
#endif
}

fs::path PathFromUtf8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

const char* MethodName(uint16_t type) {
    switch (type & 0x0F) {
        case 0: return "stored";
        case 1: return "mszip";
        case 2: return "quantum";
        case 3: return "lzx";
        default: return "unknown";
    }
}

int List(cab::Cabinet& cab) {
    if (cab.Offset() != 0) std::printf("cabinet at offset %llu\n", static_cast<unsigned long long>(cab.Offset()));
    for (size_t i = 0; i < cab.Folders().size(); ++i) {
        const cab::CabFolder& f = cab.Folders()[i];
        std::printf("folder %zu: %s", i, MethodName(f.typeCompress));
        if ((f.typeCompress & 0x0F) >= 2) std::printf(" window 2^%u", (f.typeCompress >> 8) & 0x1F);
        std::printf(", %u data blocks\n", f.blockCount);
    }
    std::printf("%10s  %-19s  %-4s  %6s  %s\n", "size", "date", "attr", "folder", "name");
    for (const cab::CabFile& f : cab.Files()) {
        char attr[5] = {(f.attributes & cab::kAttrReadOnly) ? 'r' : '-', (f.attributes & cab::kAttrHidden) ? 'h' : '-',
                        (f.attributes & cab::kAttrSystem) ? 's' : '-', (f.attributes & cab::kAttrArchive) ? 'a' : '-', 0};
        std::printf("%10u  %04u-%02u-%02u %02u:%02u:%02u  %s  %6u  %s\n", f.size, 1980u + (f.date >> 9),
                    (f.date >> 5) & 15u, f.date & 31u, f.time >> 11, (f.time >> 5) & 63u, (f.time & 31u) * 2,
                    attr, f.folder, f.name.c_str());
    }
    return 0;
}

struct Options {
    std::vector<std::string> positional;  // as the system gave them
    std::string output;      // -o
    std::string directory;   // -d, as the system gave it
    std::string stub;
    std::string compression = "mszip";
    bool hasPassword = false;
    std::string password;    // UTF-8
    int codePage = kDefaultCodePage;
    int threads = 2;
};

bool ParseNumberArg(const std::string& text, int& value) {
    int32_t v;
    if (!TryStrToInt(text, v) || v < 0) return false;
    value = v;
    return true;
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = ArgumentUtf8(argv[++i]);
            return true;
        };
        std::string number;
        if (arg == "-o") {
            if (!value(o.output)) return false;
        } else if (arg == "-d") {
            // Opened through the system's own narrow path functions.
            if (i + 1 >= argc) return false;
            o.directory = argv[++i];
        } else if (arg == "--stub") {
            if (!value(o.stub)) return false;
        } else if (arg == "--compression") {
            if (!value(o.compression)) return false;
        } else if (arg == "--password") {
            if (!value(o.password)) return false;
            o.hasPassword = true;
        } else if (arg == "--codepage") {
            if (!value(number) || !ParseNumberArg(number, o.codePage)) return false;
        } else if (arg == "--threads") {
            if (!value(number) || !ParseNumberArg(number, o.threads)) return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return false;
        } else {
            o.positional.push_back(arg);
        }
    }
    return true;
}

// Shows how far a long build is, on a terminal only; a line is redrawn when
// the percentage changes.
class Progress {
public:
    void operator()(uint64_t done, uint64_t total) {
        if (total < kWorthShowing) return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == shown_) return;
        shown_ = percent;
        std::fprintf(stderr, "\rbrikpack: packing %3d%% (%llu of %llu MB)", percent,
                     static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(total >> 20));
        std::fflush(stderr);
    }
    void Clear() {
        if (shown_ >= 0) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    static constexpr uint64_t kWorthShowing = 16u << 20;
    int shown_ = -1;
};

fs::path OwnExecutable() {
#ifdef _WIN32
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    return fs::path(std::wstring(buffer.data(), n));
#else
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self;
#endif
}

// A program this project builds for packages (the engine, the uninstaller):
// beside the tool where both are installed, else where the build tree keeps
// it (the native tool's folder has a copy after a full build; the Windows
// build has it in a sibling folder).
fs::path BuiltProgram(const char* name, const char* module) {
    const fs::path self = OwnExecutable();
    if (self.empty()) return {};
    const fs::path folder = self.parent_path();
    const std::string inTree = std::string("../../win32/src/") + module + "/" + name;
    const std::string sibling = std::string("../") + module + "/" + name;
    for (const std::string& candidate : {std::string(name), inTree, sibling}) {
        std::error_code error;
        const fs::path path = (folder / candidate).lexically_normal();
        if (fs::is_regular_file(path, error)) return path;
    }
    return {};
}

int Build(const Options& o) {
    if (o.positional.size() != 1 || o.output.empty()) return Usage();
    BuildOptions options;
    options.project = PathFromUtf8(ArgumentUtf8(o.positional[0].c_str()));
    options.output = PathFromUtf8(o.output);
    if (!o.stub.empty()) {
        options.stub = PathFromUtf8(o.stub);
    } else {
        options.stub = BuiltProgram("setup.exe", "launcher");
        if (options.stub.empty())
            return Fail(o.output, "no engine (setup.exe) beside brikpack: name it with --stub FILE");
    }
    if (o.compression == "none") options.compression = CabCompression::None;
    else if (o.compression == "mszip") options.compression = CabCompression::Mszip;
    else return Fail(o.compression, "unknown compression (none or mszip)");
    options.uninstaller = BuiltProgram("UnInst.exe", "uninstall");
    options.protect = o.hasPassword;
    options.password = o.password;
    options.codePage = o.codePage;
    options.threads = static_cast<unsigned>(o.threads);
    Progress progress;
    if (StderrIsTerminal()) options.progress = [&progress](uint64_t done, uint64_t total) { progress(done, total); };

    const BuildResult result = BuildPackage(options);
    progress.Clear();
    for (const Diagnostic& d : result.diagnostics) std::fprintf(stderr, "%s\n", d.Format().c_str());
    if (!result.ok) return 1;
    if (result.uninstallerAdded)
        std::printf("%s: added the uninstaller %s as Presetup/UnInst.exe ([Config] Uninstall is on and the "
                    "project has none)\n",
                    o.output.c_str(), options.uninstaller.string().c_str());
    std::printf("%s: %u Presetup and %u Data files, %llu bytes packed into %llu%s\n", o.output.c_str(),
                result.presetupFiles, result.dataFiles, static_cast<unsigned long long>(result.inputBytes),
                static_cast<unsigned long long>(result.packageBytes), options.protect ? ", protected" : "");
    return 0;
}

int Read(const std::string& command, const std::string& file, const Options& o) {
    if (command == "extract" && o.directory.empty()) return Usage();
    if (!o.output.empty() || !o.stub.empty()) return Usage();
    cab::FileSource source;
    if (!source.Open(file)) return Fail(file, "cannot open the file");
    cab::Cabinet cab;
    if (cab.Open(source) != cab::CabStatus::Ok) return Fail(file, cab.Error());
    // A setup package is checked whole before anything is shown or written.
    if (cab.IsPackage() && cab.CheckFolders() != cab::CabStatus::Ok) return Fail(file, cab.Error());
    if (command == "list" && !o.hasPassword) return List(cab);

    // A protected package keeps the check hash of its password in the
    // packaged settings file, which is never encrypted.
    SettingsReader settings;
    cab.Walk(settings);
    std::string checkHash;
    if (settings.Found()) IniLineIndex(settings.Text()).Value(kPasswordSection, kPswCheckHashKey, checkHash);
    const bool isProtected = IsPasswordProtected(checkHash);
    std::optional<HavalDigest> key;
    if (o.hasPassword) {
        if (!IsSupportedCodePage(o.codePage))
            return Fail(file, "code page " + std::to_string(o.codePage) + " is not supported (supported: " +
                                  SupportedCodePages() + ")");
        std::string password, why;
        if (!PasswordBytes(o.password, o.codePage, password, why)) return Fail(file, why);
        if (isProtected && !CheckPassword(password, checkHash))
            return Fail(file, "wrong password (it does not match the package's PswCheckHash)");
        // A cabinet without our settings file may still be enciphered our way.
        if (settings.Found() && !isProtected)
            std::fprintf(stderr, "brikpack: %s: warning: the package is not password-protected; --password ignored\n",
                         file.c_str());
        else
            key = PackageKey(password);
    } else if (isProtected && command != "list") {
        return Fail(file, "the package is password-protected: give its password with --password");
    }
    if (command == "list") return List(cab);

    auto walk = [&](cab::WalkHandler& handler) {
        if (!key) return cab.Walk(handler);
        DecryptingHandler decrypting(handler, cab, *key);
        return cab.Walk(decrypting);
    };
    auto failure = [&](const std::string& why, cab::CabStatus status) {
        const bool dataFault = status == cab::CabStatus::BadData || status == cab::CabStatus::BadFormat;
        return Fail(file, why + (key && dataFault ? " (wrong password?)" : ""));
    };

    if (command == "test") {
        NullWriter sink;
        const cab::CabStatus status = walk(sink);
        if (status != cab::CabStatus::Ok) return failure(cab.Error(), status);
        std::printf("%s: OK, %u files, %llu bytes\n", file.c_str(), sink.Files(),
                    static_cast<unsigned long long>(sink.Bytes()));
        return 0;
    }

    // Every name is checked before the first file is written.
    for (const cab::CabFile& f : cab.Files())
        if (!IsSafeRelativePath(f.name)) return Fail(file, "refusing unsafe file name \"" + f.name + "\"");
    const std::string& dir = o.directory;
    if (!platform::ForceDirectories(dir)) return Fail(dir, "cannot create the folder");
    DirectoryWriter writer(dir);
    cab::CabStatus status = walk(writer);
    // Files are written behind the walk: success needs both.
    if (!writer.Finish() && status == cab::CabStatus::Ok) status = cab::CabStatus::WriteError;
    if (status != cab::CabStatus::Ok)
        return failure(writer.Error().empty() ? cab.Error() : writer.Error(), status);
    std::printf("%s: extracted %u files, %llu bytes\n", file.c_str(), writer.FilesWritten(),
                static_cast<unsigned long long>(writer.BytesWritten()));
    return 0;
}

}  // namespace

static int Run(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    Options o;
    if (!Parse(argc, argv, o)) return Usage();
    if (command == "build") return Build(o);
    if (command != "list" && command != "test" && command != "extract") return Usage();
    if (o.positional.size() != 1) return Usage();
    return Read(command, o.positional[0], o);
}

int main(int argc, char** argv) {
#ifdef _WIN32
    std::setlocale(LC_CTYPE, "");
#endif
    // A settings or script file that exists but cannot be read raises its
    // error from the INI engine.
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brikpack: %s\n", error.what());
        return 1;
    }
}
