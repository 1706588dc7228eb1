#pragma once
// frmCertificate: shown by the connect retry loop when a server presents a
// certificate that is not trusted. It shows the certificate's SHA-256
// fingerprint, subject, issuer, end of validity and why it was refused (for a
// certificate that replaced a trusted one, both fingerprints) and lets the
// user trust that exact certificate or cancel. Its texts go through the
// host's translation (TranslateText), as the other editing dialogs' do.

#include <QDialog>
#include <string>

#include "dialogs/forms.h"

namespace orvex::dialogs {

struct CertificateDetails {
  std::string server;  // the location's server, as the user knows it
  std::string fingerprint;
  std::string subject;
  std::string issuer;
  std::string valid_until;
  std::string reason;
  std::string trusted_fingerprint;  // the pinned one it does not match; may be empty
};

class frmCertificate final : public Form {
  Q_OBJECT

 public:
  explicit frmCertificate(const CertificateDetails& details);
  ~frmCertificate() override;

  // True once the user chose to trust the certificate.
  bool Trusted() const { return trusted_; }

 private:
  bool trusted_ = false;
};

// Shows frmCertificate modally (creating the Qt application when needed);
// true when the user trusts the certificate.
bool AskToTrustCertificate(const CertificateDetails& details);

}  // namespace orvex::dialogs
