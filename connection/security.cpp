// FTP over TLS for a connection: its stored values, handing them to the
// sessions, and trusting a server's certificate from the connect retry loop.

#include <algorithm>
#include <cctype>

#include "connection/connection.h"
#include "dialogs/certificate_prompt.h"
#include "platform/error.h"

namespace orvex {
namespace {

constexpr char kEncryptionValue[] = "Encryption";
constexpr char kFingerprintValue[] = "CertificateFingerprint";

// Server roots as the settings store tells keys apart: without letter case.
bool SameServer(const std::string& first, const std::string& second) {
  return first.size() == second.size() &&
         std::equal(first.begin(), first.end(), second.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

std::string StoredFingerprint(SettingsStore& store) {
  return store.ValueExists(kFingerprintValue) ? store.ReadString(kFingerprintValue).ToString() : std::string();
}

}  // namespace

void Connection::Encryption(std::int32_t value) {
  if (value < kEncryptionNone || value > kEncryptionImplicit) {
    Raise(error_number::kInvalidProcedureCall, "Encryption must be 0 (none), 1 (explicit TLS) or 2 (implicit TLS)");
  }
  Encryption_ = value;
}

void Connection::CertificateFingerprint(const std::string& value) {
  if (value.empty()) {
    CertificateFingerprint_.clear();
    return;
  }
  const auto normalized = wininet::NormalizeCertificateFingerprint(value);
  if (normalized.empty()) {
    Raise(error_number::kInvalidProcedureCall,
          "\"" + value + "\" is not a SHA-256 fingerprint (SHA256: and 64 hex digits)");
  }
  CertificateFingerprint_ = normalized;
}

void Connection::LoadSecuritySettings(SettingsStore& store, const std::string& server) {
  Encryption_ = kEncryptionNone;
  if (store.ValueExists(kEncryptionValue)) {
    const std::int32_t stored = store.ReadString(kEncryptionValue).ToLong();
    // An unknown stored mode is not taken as "no encryption": the strictest
    // known mode is safer than sending the password in clear text.
    Encryption_ = stored >= kEncryptionNone && stored <= kEncryptionImplicit ? stored : kEncryptionExplicit;
  }
  CertificateFingerprint_ = StoredFingerprint(store);
  FingerprintServer_ = server;
}

void Connection::SaveSecuritySettings(SettingsStore& store, const std::string& server) {
  if (Encryption_ != kEncryptionNone || store.ValueExists(kEncryptionValue)) {
    store.WriteValue(kEncryptionValue, Variant(static_cast<std::int16_t>(Encryption_)));
  }
  if (!SameServer(server, FingerprintServer_)) {
    // Another server's certificate would be refused there as "changed", and
    // an empty pin would erase the one its user trusted.
    CertificateFingerprint_ = StoredFingerprint(store);
    FingerprintServer_ = server;
    return;
  }
  if (!CertificateFingerprint_.empty() || store.ValueExists(kFingerprintValue)) {
    store.WriteValue(kFingerprintValue, Variant(CertificateFingerprint_));
  }
}

void Connection::ApplySecurity(cxFTP& session) {
  wininet::INTERNET_SECURITY_OPTIONS security;
  security.encryption = static_cast<wininet::DWORD>(Encryption_);
  security.pinned_fingerprint = CertificateFingerprint_;
  security.ca_file = CertificateAuthorityFile_;
  security.verify = VerifyCertificates_;
  session.Security(security);
}

std::string Connection::ServerCertificateFingerprint() { return FTP_->SecurityReport().fingerprint; }
std::string Connection::ServerCertificateSubject() { return FTP_->SecurityReport().subject; }
std::string Connection::ServerCertificateIssuer() { return FTP_->SecurityReport().issuer; }
std::string Connection::ServerCertificateValidUntil() { return FTP_->SecurityReport().valid_until; }
std::string Connection::ServerCertificateRefusal() {
  const auto& report = FTP_->SecurityReport();
  return report.untrusted_certificate ? report.reason : std::string();
}

bool Connection::OfferToTrustCertificate() {
  const wininet::INTERNET_SECURITY_REPORT report = FTP_->SecurityReport();
  if (!report.untrusted_certificate || report.fingerprint.empty()) return false;
  dialogs::CertificateDetails details;
  details.server = FTP_->Server();
  details.fingerprint = report.fingerprint;
  details.subject = report.subject;
  details.issuer = report.issuer;
  details.valid_until = report.valid_until;
  details.reason = report.reason;
  details.trusted_fingerprint = report.pinned_fingerprint;
  if (!dialogs::AskToTrustCertificate(details)) return false;
  TrustCertificate(report.fingerprint);
  return true;
}

void Connection::TrustCertificate(const std::string& fingerprint) {
  const auto normalized = wininet::NormalizeCertificateFingerprint(fingerprint);
  if (normalized.empty()) {
    Raise(error_number::kInvalidProcedureCall,
          "\"" + fingerprint + "\" is not a SHA-256 fingerprint (SHA256: and 64 hex digits)");
  }
  CertificateFingerprint_ = normalized;
  FingerprintServer_ = ServerRoot(location_);
  auto store = ObtainStore();
  store->OpenKey(info_->SettingsKey() + "\\" + ServerRoot(location_));
  store->WriteValue(kFingerprintValue, Variant(CertificateFingerprint_));
  store->OpenKey("");
}

}  // namespace orvex
