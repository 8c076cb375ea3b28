// brikpack: the package tool. Builds setup packages from project folders,
// and reads cabinets and setup packages (a cabinet found inside a host file
// the way the engine finds it), protected ones with their password.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <random>
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
#include "builder/Plan.h"
#include "builder/Sign.h"
#include "builder/Starter.h"
#include "cab/Cabinet.h"
#include "crypto/Password.h"
#include "util/kpStrUtils.h"

namespace {

using namespace brik;
namespace fs = std::filesystem;

// Each command's synopsis and options; `brikpack --help` prints them all,
// `brikpack COMMAND --help` its own.
struct CommandHelp {
    const char* name;
    const char* synopsis;
    const char* options;  // the options it takes, blank-separated
    const char* text;
};

const CommandHelp kCommands[] = {
    {"new", "brikpack new DIR [--name TEXT] [--codepage N]", "--name --codepage",
     "Writes a starter project into DIR (new or empty) that builds and installs as it stands:\n"
     "Brik.ini, Enu.lng, an install script with an example of every item kind, a placeholder\n"
     "program in Data/ and README.txt, which says what to change.\n"
     "  --name TEXT          the program's name (default: My Application)\n"},
    {"build", "brikpack build PROJECT -o OUT.exe [--stub FILE] [--compression none|mszip]\n"
              "                      [--password TEXT] [--codepage N] [--threads N]",
     "-o --stub --compression --password --codepage --threads",
     "Packs the project folder PROJECT (Presetup/ and Data/) into the setup package OUT.exe.\n"
     "  -o OUT.exe           the package to write\n"
     "  --stub FILE          the engine (default: setup.exe beside brikpack)\n"
     "  --compression M      none or mszip (default) for the Data files\n"
     "  --password TEXT      encrypt the Data files; the engine asks for TEXT\n"
     "  --codepage N         the code page of names and texts on the target (default 1252)\n"
     "  --threads N          compression threads (default 2)\n"},
    {"check", "brikpack check PROJECT [--codepage N]", "--codepage",
     "Checks the project folder PROJECT as build does, writing nothing: every finding as\n"
     "\"file:line: error|warning: text\" on standard error; exit 1 when one is an error.\n"},
    {"list", "brikpack list FILE [--password TEXT] [--codepage N]", "--password --codepage",
     "Lists the folders and files of a cabinet or setup package, and says whether it is password-protected.\n"},
    {"test", "brikpack test FILE [--password TEXT] [--codepage N]", "--password --codepage",
     "Decodes every file of a cabinet or setup package and checks it, writing nothing.\n"},
    {"extract", "brikpack extract FILE -d DIR [--password TEXT] [--codepage N]", "-d --password --codepage",
     "Writes the files of a cabinet or setup package into the folder DIR.\n"
     "  -d DIR               the folder to write into (made when missing)\n"},
    {"sign", "brikpack sign PACKAGE --cert CERT --key KEY [--pass PASSWORD] [--name TEXT] [--url URL]\n"
             "                      [--timestamp URL] [-o OUT]",
     "--cert --key --pass --name --url --timestamp -o",
     "Signs the setup package PACKAGE with Authenticode, through osslsigncode (found on PATH), in place\n"
     "or into OUT, and checks that the engine still finds its package.\n"
     "  --cert CERT          the certificate (chain), PEM or DER\n"
     "  --key KEY            its private key, PEM or DER\n"
     "  --pass PASSWORD      the key's password\n"
     "  --name TEXT          the program's name, shown when Windows asks whether to run it\n"
     "  --url URL            a web address with more about the program\n"
     "  --timestamp URL      an RFC 3161 time-stamping service, so the signature outlives the certificate\n"
     "  -o OUT               write the signed package here and leave PACKAGE as it is\n"},
    {"plan", "brikpack plan PACKAGE|PROJECT [--windows 95|98|me|nt4|2000|xp] [--language CODE]\n"
             "                     [--set VAR=VALUE]... [--json] [--codepage N]",
     "--windows --language --set --json --codepage",
     "Shows what an install of the package or project would do on that Windows, without running it:\n"
     "the scripts read, every file with its target and flags, registry and INI changes, shortcuts,\n"
     "COM servers, fonts, programs and the uninstall registration, with the standard folders of a\n"
     "default English installation of that Windows.\n"
     "  --windows KIND       95, 98, me, nt4, 2000 or xp (default)\n"
     "  --language CODE      one of the package's languages (default: the one the engine starts with)\n"
     "  --set VAR=VALUE      a variable as the wizard would set it (InstallPath, ProgramGroup...)\n"
     "  --json               one JSON object instead of text\n"},
};

const CommandHelp* FindCommand(const std::string& name) {
    for (const CommandHelp& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void PrintHelp(std::FILE* out, const CommandHelp* only) {
    if (only) {
        std::fprintf(out, "usage: %s\n\n%s", only->synopsis, only->text);
        return;
    }
    bool first = true;
    for (const CommandHelp& c : kCommands) {
        std::fprintf(out, "%s%s\n", first ? "usage: " : "       ", c.synopsis);
        first = false;
    }
    std::fprintf(out, "FILE is a cabinet or a setup package. PROJECT holds Presetup/ and Data/.\n"
                      "brikpack COMMAND --help tells more about a command.\n");
}

// A mistake on the command line: named, with the command's synopsis; exit 2.
int UsageError(const std::string& what, const CommandHelp* command = nullptr) {
    std::fprintf(stderr, "brikpack%s%s: %s\n", command ? " " : "", command ? command->name : "", what.c_str());
    if (command) std::fprintf(stderr, "usage: %s\n", command->synopsis);
    else std::fprintf(stderr, "brikpack --help lists the commands\n");
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

int List(cab::Cabinet& cab, bool isProtected) {
    if (isProtected) std::printf("password-protected package: its Data files are encrypted\n");
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
    std::string name;        // --name, UTF-8
    std::string compression = "mszip";
    bool hasPassword = false;
    std::string password;    // UTF-8
    int codePage = kDefaultCodePage;
    int threads = 2;
    SignOptions sign;
    std::string windows = "xp";
    std::string language;
    std::vector<std::string> sets;  // VAR=VALUE, UTF-8
    bool json = false;
};

bool ParseNumberArg(const std::string& text, int& value) {
    int32_t v;
    if (!TryStrToInt(text, v) || v < 0) return false;
    value = v;
    return true;
}

// The command's options; false with `error` naming what is wrong.
bool Parse(int argc, char** argv, const CommandHelp& command, Options& o, std::string& error) {
    const std::string allowed = std::string(" ") + command.options + " ";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') {
            if (allowed.find(" " + arg + " ") == std::string::npos) {
                bool known = false;
                for (const CommandHelp& c : kCommands)
                    known = known || (std::string(" ") + c.options + " ").find(" " + arg + " ") != std::string::npos;
                if (known) {
                    error = arg + " is not an option of " + command.name;
                } else {
                    error = "unknown option " + arg;
                    std::vector<std::string_view> names;
                    for (const CommandHelp& c : kCommands)
                        for (std::string_view rest = c.options; !rest.empty();) {
                            const size_t end = rest.find(' ');
                            names.push_back(rest.substr(0, end));
                            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
                        }
                    const std::string meant = ClosestName(arg, names);
                    if (!meant.empty()) error += " (did you mean " + meant + "?)";
                }
                return false;
            }
            if (i + 1 >= argc && arg != "--json") {
                error = arg + " needs a value";
                return false;
            }
        }
        auto value = [&](std::string& out) { out = ArgumentUtf8(argv[++i]); };
        std::string number;
        if (arg == "-o") {
            value(o.output);
        } else if (arg == "-d") {
            // Opened through the system's own narrow path functions.
            o.directory = argv[++i];
        } else if (arg == "--name" && std::strcmp(command.name, "new") == 0) {
            value(o.name);
        } else if (arg == "--stub") {
            value(o.stub);
        } else if (arg == "--compression") {
            value(o.compression);
        } else if (arg == "--password") {
            value(o.password);
            o.hasPassword = true;
        } else if (arg == "--cert" || arg == "--key") {
            value(number);
            (arg == "--cert" ? o.sign.certificate : o.sign.key) = PathFromUtf8(number);
        } else if (arg == "--pass") {
            value(o.sign.password);
            o.sign.hasPassword = true;
        } else if (arg == "--name" || arg == "--url" || arg == "--timestamp") {
            value(arg == "--name" ? o.sign.description : arg == "--url" ? o.sign.url : o.sign.timestampUrl);
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--windows") {
            value(o.windows);
        } else if (arg == "--language") {
            value(o.language);
        } else if (arg == "--set") {
            o.sets.push_back(ArgumentUtf8(argv[++i]));
        } else if (arg == "--codepage" || arg == "--threads") {
            value(number);
            if (!ParseNumberArg(number, arg == "--codepage" ? o.codePage : o.threads)) {
                error = arg + " needs a number, not \"" + number + "\"";
                return false;
            }
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
    const CommandHelp* help = FindCommand("build");
    if (o.positional.empty()) return UsageError("missing PROJECT", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    if (o.output.empty()) return UsageError("missing -o OUT.exe", help);
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

// The name becomes a folder, a shortcut and a script key: what none of
// them can hold is refused here rather than found by the author later.
int New(const Options& o) {
    const CommandHelp* help = FindCommand("new");
    if (o.positional.empty()) return UsageError("missing DIR", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    std::string name = "My Application";
    if (!o.name.empty()) {
        std::string bad;
        if (!Utf8ToCodePage(o.name, o.codePage, name, &bad))
            return Fail(o.name, "the name cannot be written in code page " + std::to_string(o.codePage) +
                                    (bad.empty() ? "" : " (" + bad + ")"));
        for (const char c : name)
            if (static_cast<unsigned char>(c) < 32 || std::strchr("\\/:*?\"<>|%=[];,", c) != nullptr)
                return Fail(o.name, std::string("the name cannot hold \"") + c +
                                        "\": it becomes a folder, a shortcut and a script key");
        if (name != std::string(Trim(name))) return Fail(o.name, "the name cannot begin or end with a blank");
    }
    const std::string shown = ArgumentUtf8(o.positional[0].c_str());
    std::string error;
    if (!WriteStarterProject(PathFromUtf8(shown), name, error)) return Fail(shown, error);
    std::printf("%s: a new project for \"%s\"; its README.txt says what to change, and\n"
                "  brikpack build %s -o setup.exe\nbuilds it\n",
                shown.c_str(), o.name.empty() ? name.c_str() : o.name.c_str(), shown.c_str());
    return 0;
}

int Check(const Options& o) {
    const CommandHelp* help = FindCommand("check");
    if (o.positional.empty()) return UsageError("missing PROJECT", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    BuildOptions options;
    options.project = PathFromUtf8(ArgumentUtf8(o.positional[0].c_str()));
    options.uninstaller = BuiltProgram("UnInst.exe", "uninstall");
    options.codePage = o.codePage;
    const BuildResult result = CheckOnly(options);
    size_t errors = 0, warnings = 0;
    for (const Diagnostic& d : result.diagnostics) {
        std::fprintf(stderr, "%s\n", d.Format().c_str());
        ++(d.level == Diagnostic::Level::Error ? errors : warnings);
    }
    std::printf("%s: %u Presetup and %u Data files, %zu error%s, %zu warning%s\n", o.positional[0].c_str(),
                result.presetupFiles, result.dataFiles, errors, errors == 1 ? "" : "s", warnings,
                warnings == 1 ? "" : "s");
    return result.ok ? 0 : 1;
}

int Sign(Options& o) {
    const CommandHelp* help = FindCommand("sign");
    if (o.positional.empty()) return UsageError("missing PACKAGE", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    if (o.sign.certificate.empty()) return UsageError("missing --cert CERT", help);
    if (o.sign.key.empty()) return UsageError("missing --key KEY", help);
    o.sign.package = fs::path(o.positional[0]);
    if (!o.output.empty()) o.sign.output = PathFromUtf8(o.output);
    const SignResult result = SignPackage(o.sign);
    if (!result.ok) return Fail(o.positional[0], result.error);
    std::printf("%s: signed\n", result.signedFile.string().c_str());
    return 0;
}

// The text of an argument in the package's code page.
bool InCodePage(const std::string& utf8, int codePage, std::string& out, std::string& error) {
    std::string bad;
    if (Utf8ToCodePage(utf8, codePage, out, &bad)) return true;
    error = "\"" + utf8 + "\" has a character code page " + std::to_string(codePage) + " lacks" +
            (bad.empty() ? std::string() : " (" + bad + ")");
    return false;
}

int Plan(const Options& o) {
    const CommandHelp* help = FindCommand("plan");
    if (o.positional.empty()) return UsageError("missing PACKAGE or PROJECT", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    TPlanRequest request;
    if (!ParsePlanWindows(o.windows, request.windows))
        return UsageError("unknown --windows value \"" + o.windows + "\" (95, 98, me, nt4, 2000 or xp)", help);
    if (!IsSupportedCodePage(o.codePage))
        return UsageError("code page " + std::to_string(o.codePage) + " is not supported (supported: " +
                              SupportedCodePages() + ")", help);
    request.codePage = o.codePage;
    std::string error;
    if (!InCodePage(o.language, o.codePage, request.language, error)) return Fail(o.positional[0], error);
    for (const std::string& set : o.sets) {
        const size_t equals = set.find('=');
        if (equals == 0 || equals == std::string::npos)
            return UsageError("--set needs VAR=VALUE, not \"" + set + "\"", help);
        std::string name, value;
        if (!InCodePage(set.substr(0, equals), o.codePage, name, error) ||
            !InCodePage(set.substr(equals + 1), o.codePage, value, error))
            return Fail(o.positional[0], error);
        request.variables.emplace_back(std::move(name), std::move(value));
    }

    // The setup files go into a folder of our own, gone when the plan is made.
    struct Scratch {
        fs::path path;
        ~Scratch() {
            std::error_code ignored;
            if (!path.empty()) fs::remove_all(path, ignored);
        }
    } scratch;
    const fs::path base = fs::temp_directory_path();
    for (unsigned n = 0; scratch.path.empty() && n < 1000; ++n) {
        const fs::path candidate = base / ("brikplan-" + std::to_string(std::random_device{}()));
        std::error_code failed;
        if (fs::create_directory(candidate, failed)) scratch.path = candidate;
    }
    if (scratch.path.empty()) return Fail(base.string(), "cannot create a temporary folder");
    const std::string folder = scratch.path.string() + static_cast<char>(fs::path::preferred_separator);

    const std::string input = o.positional[0];
    std::error_code ignored;
    bool isProtected = false;
    const bool staged = fs::is_directory(PathFromUtf8(ArgumentUtf8(input.c_str())), ignored)
                            ? StageProject(ArgumentUtf8(input.c_str()), o.codePage, folder, error)
                            : StagePackage(input, folder, isProtected, error);
    if (!staged) return Fail(input, error);
    brik::TPlan plan;
    if (!MakePlan(folder, request, plan, error)) return Fail(input, error);
    const std::string out = o.json ? PlanJson(plan, o.codePage) : PlanText(plan, o.codePage);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int Read(const std::string& command, const std::string& file, const Options& o) {
    cab::FileSource source;
    if (!source.Open(file)) return Fail(file, "cannot open the file");
    cab::Cabinet cab;
    if (cab.Open(source) != cab::CabStatus::Ok) return Fail(file, cab.Error());
    // A setup package is checked whole before anything is shown or written.
    if (cab.IsPackage() && cab.CheckFolders() != cab::CabStatus::Ok) return Fail(file, cab.Error());

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
    if (command == "list") return List(cab, isProtected);

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
        // What the engine would refuse to install is no sound package.
        if (cab.IsPackage() && settings.Found()) {
            const std::string disagreement = FileInfoDisagreement(cab.Files(), settings.Text());
            if (!disagreement.empty()) return Fail(file, disagreement);
        }
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
    if (argc < 2) {
        PrintHelp(stderr, nullptr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp(stdout, argc > 2 ? FindCommand(argv[2]) : nullptr);
        return 0;
    }
    const CommandHelp* help = FindCommand(command);
    if (!help) return UsageError("unknown command \"" + command + "\" (new, check, build, plan, sign, list, test or extract)");
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp(stdout, help);
            return 0;
        }
    }
    Options o;
    std::string error;
    if (!Parse(argc, argv, *help, o, error)) return UsageError(error, help);
    if (command == "build") return Build(o);
    if (command == "check") return Check(o);
    if (command == "new") return New(o);
    if (command == "sign") return Sign(o);
    if (command == "plan") return Plan(o);
    if (o.positional.empty()) return UsageError("missing FILE", help);
    if (o.positional.size() > 1) return UsageError("unexpected argument " + o.positional[1], help);
    if (command == "extract" && o.directory.empty()) return UsageError("missing -d DIR", help);
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
