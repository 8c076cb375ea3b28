// The password rules of protected packages: the check hash kept in the
// settings file, the check of a typed password against it and the key that
// deciphers the package's data blocks. Texts are the password's bytes in the
// Windows ANSI code page, without a terminator.
//
// This module reads no file: the caller passes the value of PswCheckHash from
// section Config of the settings file (through the INI cache, no default).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "crypto/Haval.h"

namespace brik {

inline constexpr std::string_view kPasswordSection = "Config";
inline constexpr std::string_view kPswCheckHashKey = "PswCheckHash";

// The 32 digest bytes of HAVAL over text, each as two upper-case hex digits.
std::string HashHex(std::string_view text);

// The value a protected package keeps in PswCheckHash for this password.
std::string PasswordCheckHash(std::string_view password);

bool IsPasswordProtected(std::string_view pswCheckHash);

// An empty check hash lets every password pass. Otherwise the comparison is
// exact, so a check hash written in lower-case hex never matches.
bool CheckPassword(std::string_view password, std::string_view pswCheckHash);

// The cipher key of the package's data blocks: the HAVAL digest of the
// password itself; none for the empty password.
std::optional<HavalDigest> PackageKey(std::string_view password);

}  // namespace brik
