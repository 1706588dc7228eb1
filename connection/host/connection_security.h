#pragma once
// _ConnectionSecurity: FTP over TLS for one OrvexFTP.Connection, a second
// interface beside _Connection (asked for with QueryInterface), so that
// _Connection and every host built against it stay as they are.
//
// Encryption and CertificateFingerprint are per-server settings, stored with
// the others ("Encryption", "CertificateFingerprint"); a server with nothing
// stored uses no encryption, exactly as before. CertificateAuthorityFile and
// VerifyCertificates hold for this object only and are never stored.

#include <cstdint>
#include <string>

#include "platform/com/unknown.h"

namespace orvex {

struct _ConnectionSecurity : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{6C1B7E3A-2F4D-4B8E-9A51-0D3C7E21F9B4}");

  static constexpr std::int32_t kEncryptionNone = 0;
  static constexpr std::int32_t kEncryptionExplicit = 1;  // AUTH TLS, required
  static constexpr std::int32_t kEncryptionImplicit = 2;  // TLS from the first byte, port 990

  virtual std::int32_t Encryption() = 0;
  virtual void Encryption(std::int32_t value) = 0;
  // The server certificate trusted for this server ("SHA256:AB:..."); empty:
  // certificates must verify against the CA store. Setting takes any form
  // TrustCertificate takes, keeps the canonical one, and raises 5 for text
  // that is not a SHA-256 fingerprint.
  virtual std::string CertificateFingerprint() = 0;
  virtual void CertificateFingerprint(const std::string& value) = 0;
  virtual std::string CertificateAuthorityFile() = 0;
  virtual void CertificateAuthorityFile(const std::string& value) = 0;
  virtual bool VerifyCertificates() = 0;
  virtual void VerifyCertificates(bool value) = 0;
  // Trusts the certificate with this fingerprint for the location's server:
  // sets CertificateFingerprint and stores it (that value only) at once.
  // Raises 5 for text that is not a SHA-256 fingerprint.
  virtual void TrustCertificate(const std::string& fingerprint) = 0;

  // The certificate the server presented at the last connect that used TLS
  // (empty when there was none), and why it was refused (empty when it was
  // accepted or the failure had another cause).
  virtual std::string ServerCertificateFingerprint() = 0;
  virtual std::string ServerCertificateSubject() = 0;
  virtual std::string ServerCertificateIssuer() = 0;
  virtual std::string ServerCertificateValidUntil() = 0;
  virtual std::string ServerCertificateRefusal() = 0;
};

}  // namespace orvex
