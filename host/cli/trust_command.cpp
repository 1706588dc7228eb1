// orvex trust URL: connects over TLS, shows the server's certificate and,
// once the user confirms, stores its fingerprint as the one trusted for that
// server.

#include <unistd.h>

#include <iostream>
#include <string>

#include "host/cli/command_support.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

// The certificate's names come from the server: shown terminal-safe.
std::string Safe(const std::string& text) { return text::TerminalSafe(text); }

void ShowCertificate(RemoteSession& session) {
  _ConnectionSecurity& security = session.security();
  std::cout << "Server:       " << Safe(session.location()) << "\n"
            << "Subject:      " << Safe(security.ServerCertificateSubject()) << "\n"
            << "Issuer:       " << Safe(security.ServerCertificateIssuer()) << "\n"
            << "Valid until:  " << Safe(security.ServerCertificateValidUntil()) << "\n"
            << "Fingerprint:  " << Safe(security.ServerCertificateFingerprint()) << "\n";
  const std::string refusal = security.ServerCertificateRefusal();
  if (!refusal.empty()) std::cout << "Not trusted:  " << Safe(refusal) << "\n";
  const std::string pinned = security.CertificateFingerprint();
  if (!pinned.empty() && pinned != security.ServerCertificateFingerprint()) {
    std::cout << "WARNING: this server's trusted certificate was " << Safe(pinned)
              << ".\nSomeone may be intercepting the connection; trust the new one only if you know why "
                 "it changed.\n";
  }
}

bool Confirmed() {
  std::cout << "Trust this certificate for this server? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes";
}

}  // namespace

int TrustCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, "trust");
  if (!parsed) return kUsage;
  const auto url = ReadUrl(parsed->operands[0]);
  if (!url) return kUsage;
  if (parsed->Has("--insecure") || parsed->Has("--fingerprint")) {
    return UsageError("trust takes neither --insecure nor --fingerprint: it shows the certificate itself");
  }
  const bool assume_yes = parsed->Has("--yes");
  if (!assume_yes && ::isatty(STDIN_FILENO) != 1) {
    std::cerr << "orvex: trust asks for confirmation on a terminal; without one, pass --yes\n";
    return kUsage;
  }

  int status = kSuccess;
  auto options = ReadOptions(*url, *parsed, status);
  if (!options) return status;
  if (options->verbose) EnableDialogueTrace();
  RemoteSession session(*url);
  if (options->verbose) session.ShowDialogue();
  std::string error;
  if (!session.Apply(*options, std::cin, error)) return UsageError(error);
  if (session.security().Encryption() == _ConnectionSecurity::kEncryptionNone) {
    return UsageError("trust needs TLS: use ftps://, ftpes:// or --tls");
  }
  // Whatever is pinned now must not hide the certificate the server shows.
  const std::string pinned = session.security().CertificateFingerprint();
  const bool connected = session.Connect();
  if (session.security().ServerCertificateFingerprint().empty()) {
    return Problem(connected ? std::string("the server showed no certificate") : session.LastError());
  }
  ShowCertificate(session);
  if (!connected && session.security().ServerCertificateRefusal().empty()) {
    // The certificate was fine; something else failed (the login, say).
    std::cerr << "orvex: note: the connection failed after the certificate was accepted: "
              << Safe(session.LastError()) << "\n";
  }
  if (pinned == session.security().ServerCertificateFingerprint()) {
    std::cout << "This certificate is already the trusted one.\n";
    return kSuccess;
  }
  if (assume_yes && !pinned.empty()) {
    // --yes lets a script trust a server's first certificate; replacing a
    // trusted one unseen is exactly what someone intercepting would want.
    std::cerr << "orvex: the certificate trusted for this server is " << Safe(pinned)
              << " but the server now presents " << Safe(session.security().ServerCertificateFingerprint())
              << "; --yes never replaces a trusted certificate: run 'orvex trust' on a terminal to "
                 "confirm the new one. Nothing stored.\n";
    return kFailure;
  }
  if (!assume_yes && !Confirmed()) {
    std::cout << "Nothing stored.\n";
    return kFailure;
  }
  session.security().TrustCertificate(session.security().ServerCertificateFingerprint());
  std::cout << "Stored " << Safe(session.security().CertificateFingerprint()) << " as the trusted certificate.\n";
  return kSuccess;
}

}  // namespace orvex::cli
