#pragma once
// What a connection asks of TLS, and the report a refused or failed TLS
// connection leaves behind.
//
// Modes: None is plain FTP, exactly as without TLS. Explicit sends AUTH TLS
// right after the greeting and refuses to go on in clear text; Implicit
// speaks TLS from the first byte (port 990 by default). With either mode the
// login, every command and every data connection are encrypted (PBSZ 0,
// PROT P), and every data connection resumes the control connection's TLS
// session.
//
// Trust: a certificate is accepted when it matches `pinned_fingerprint`
// (whatever else is wrong with it), or, with no pin, when OpenSSL's verifier
// accepts its chain against the system's CA store plus `ca_file` and its
// names match the host; `verify` false accepts any certificate (the caller
// warns the user). A pin that does not match refuses even a certificate that
// would verify: the user trusted that exact certificate and nothing else.

#include <string>

namespace orvex::inet {

enum class TlsMode { None = 0, Explicit = 1, Implicit = 2 };

struct TlsSettings {
  TlsMode mode = TlsMode::None;
  std::string ca_file;             // PEM file with further trusted CAs; empty: none
  std::string pinned_fingerprint;  // "SHA256:AB:CD:..." (any accepted form); empty: none
  bool verify = true;
};

// Why a TLS connection was refused or broke, for the people who must decide.
struct SecurityReport {
  std::string text;  // one line, no control characters
  // The server's certificate, when the refusal is about it; empty otherwise.
  std::string fingerprint;         // "SHA256:" + 32 colon-separated hex pairs
  std::string subject;             // RFC 2253 form
  std::string issuer;
  std::string valid_until;         // "2027-01-09 12:00:00 UTC"
  std::string reason;              // the verifier's reason, or why the pin failed
  std::string pinned_fingerprint;  // the pin it was compared with, if any
  // True when trusting this certificate (pinning it) would let the next
  // attempt through: it was refused for not verifying or not matching a pin.
  bool untrusted_certificate = false;
};

// The report of the calling thread's most recent TLS refusal or failure; an
// engine call that fails for a TLS reason replaces it.
const SecurityReport& LastSecurityReport();
void RecordSecurityReport(SecurityReport report);
// A report that is only a text (no certificate involved).
void RecordSecurityReport(std::string text);

}  // namespace orvex::inet
