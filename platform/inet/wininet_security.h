#pragma once
// FTP over TLS through the internet client API. WinInet itself has no FTPS;
// these calls are this layer's own, shaped like the rest of the API.
//
// - InternetSetSecurityOptionsA sets a session's TLS use for the connections
//   opened under it later. With FTP_ENCRYPTION_IMPLICIT and no port, a
//   connection goes to INTERNET_DEFAULT_FTPS_PORT. With FTP_ENCRYPTION_NONE
//   (the default) nothing differs from plain FTP.
// - A call that fails for a TLS reason sets one of the numbers of
//   IsSecurityError() (error_numbers.h); InternetGetLastSecurityReportA then
//   returns the reason, and for a refused certificate its fingerprint,
//   subject and dates. A certificate refused for not verifying or not
//   matching its pin has `untrusted_certificate` set: pinning `fingerprint`
//   lets the next attempt through.

#include <string>

#include "platform/inet/wininet.h"

namespace orvex::wininet {

inline constexpr DWORD FTP_ENCRYPTION_NONE = 0;
inline constexpr DWORD FTP_ENCRYPTION_EXPLICIT = 1;  // AUTH TLS, required
inline constexpr DWORD FTP_ENCRYPTION_IMPLICIT = 2;  // TLS from the first byte
inline constexpr INTERNET_PORT INTERNET_DEFAULT_FTPS_PORT = 990;

struct INTERNET_SECURITY_OPTIONS {
  DWORD encryption = FTP_ENCRYPTION_NONE;
  std::string ca_file;             // further trusted CAs (PEM); empty: the system's only
  std::string pinned_fingerprint;  // "SHA256:..."; empty: verify as usual
  bool verify = true;              // false: accept any certificate
};

struct INTERNET_SECURITY_REPORT {
  std::string text;
  std::string fingerprint;
  std::string subject;
  std::string issuer;
  std::string valid_until;
  std::string reason;
  std::string pinned_fingerprint;
  bool untrusted_certificate = false;
};

// FALSE with ERROR_INVALID_PARAMETER for an unknown mode,
// ERROR_INTERNET_INCORRECT_HANDLE_TYPE for a handle that is not a session.
BOOL InternetSetSecurityOptionsA(HINTERNET session, const INTERNET_SECURITY_OPTIONS& options);
// The calling thread's last TLS report: the certificate of the last control
// connection handshake (accepted or refused), or why TLS failed.
BOOL InternetGetLastSecurityReportA(INTERNET_SECURITY_REPORT* report);

// "SHA256:" and 32 upper-case hex pairs joined by ":" for any accepted form
// of a SHA-256 fingerprint (with or without the prefix or the colons, any
// letter case, or ssh's base64 form); empty for anything else.
std::string NormalizeCertificateFingerprint(const std::string& text);

}  // namespace orvex::wininet
