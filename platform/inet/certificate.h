#pragma once
// Certificate fingerprints as people read and type them.

#include <optional>
#include <string>
#include <string_view>

namespace orvex::inet {

// "SHA256:" followed by the 32 bytes as upper-case hex pairs joined by ":",
// the form `openssl x509 -fingerprint -sha256` prints after its "=".
std::string FormatFingerprint(const unsigned char* digest, std::size_t length);

// Accepts "SHA256:" (any letter case, optional) followed by 64 hex digits,
// with or without ":" between pairs, or followed by the unpadded base64 form
// ssh prints (43 characters). Returns the canonical form of FormatFingerprint,
// or nullopt for anything else.
std::optional<std::string> NormalizeFingerprint(std::string_view text);

}  // namespace orvex::inet
