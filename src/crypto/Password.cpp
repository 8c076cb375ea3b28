#include "crypto/Password.h"

namespace brik {

std::string HashHex(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const HavalDigest digest = HavalHash(text);
    std::string hex;
    hex.reserve(2 * digest.size());
    for (uint8_t b : digest) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string PasswordCheckHash(std::string_view password) {
    // The wrapping keeps the stored check value apart from the cipher key,
    // which is the digest of the bare password.
    std::string wrapped = "chk";
    wrapped += password;
    wrapped += "chk";
    return HashHex(wrapped);
}

bool IsPasswordProtected(std::string_view pswCheckHash) { return !pswCheckHash.empty(); }

bool CheckPassword(std::string_view password, std::string_view pswCheckHash) {
    if (pswCheckHash.empty()) return true;
    return PasswordCheckHash(password) == pswCheckHash;
}

std::optional<HavalDigest> PackageKey(std::string_view password) {
    if (password.empty()) return std::nullopt;
    return HavalHash(password);
}

}  // namespace brik
