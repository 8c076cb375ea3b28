// brikpack sign: Authenticode-signs a finished setup package with
// osslsigncode, and holds the result to what the engine accepts: the
// signature goes behind the trailer, and the engine must still find the
// trailer just before it.
#pragma once

#include <filesystem>
#include <string>

namespace brik {

struct SignOptions {
    std::filesystem::path package;
    std::filesystem::path output;  // empty: the package is signed in place
    std::filesystem::path certificate;
    std::filesystem::path key;
    bool hasPassword = false;
    std::string password;          // of the key
    std::string description;       // shown by Windows as the program's name
    std::string url;
    std::string timestampUrl;      // an RFC 3161 time-stamping service
};

struct SignResult {
    bool ok = false;
    std::string error;             // for people, when not ok
    std::filesystem::path signedFile;
};

// Signs through a temporary file beside the result, which replaces the
// result only when osslsigncode succeeded and the package checks out; on
// failure nothing is left behind and the package is as it was.
SignResult SignPackage(const SignOptions& options);

// The signing tool's place on PATH; empty when it is not installed.
std::filesystem::path FindSigningTool();

}  // namespace brik
