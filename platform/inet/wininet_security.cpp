#include "platform/inet/wininet_security.h"

#include "platform/inet/certificate.h"
#include "platform/inet/internet_objects.h"
#include "platform/inet/tls_settings.h"

namespace orvex::wininet {

BOOL InternetSetSecurityOptionsA(HINTERNET handle, const INTERNET_SECURITY_OPTIONS& options) {
  const auto object = inet::HandleTable::Instance().Find(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return kFalse;
  }
  const auto session = std::dynamic_pointer_cast<inet::SessionObject>(object);
  if (!session) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return kFalse;
  }
  if (options.encryption > FTP_ENCRYPTION_IMPLICIT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  session->tls.mode = static_cast<inet::TlsMode>(options.encryption);
  session->tls.ca_file = options.ca_file;
  session->tls.pinned_fingerprint = options.pinned_fingerprint;
  session->tls.verify = options.verify;
  return kTrue;
}

BOOL InternetGetLastSecurityReportA(INTERNET_SECURITY_REPORT* report) {
  if (report == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  const inet::SecurityReport& last = inet::LastSecurityReport();
  report->text = last.text;
  report->fingerprint = last.fingerprint;
  report->subject = last.subject;
  report->issuer = last.issuer;
  report->valid_until = last.valid_until;
  report->reason = last.reason;
  report->pinned_fingerprint = last.pinned_fingerprint;
  report->untrusted_certificate = last.untrusted_certificate;
  return kTrue;
}

std::string NormalizeCertificateFingerprint(const std::string& text) {
  return inet::NormalizeFingerprint(text).value_or(std::string());
}

}  // namespace orvex::wininet
