#ifndef ORVEX_TESTS_SUPPORT_TEST_CERTIFICATES_H_
#define ORVEX_TESTS_SUPPORT_TEST_CERTIFICATES_H_

#include <filesystem>
#include <string>

namespace orvex::testing {

// A certificate and its private key, PEM files.
struct CertificateFiles {
  std::filesystem::path certificate;
  std::filesystem::path key;
  std::string fingerprint;  // "SHA256:AB:CD:..." of the certificate
};

// Certificates for TLS tests, made once per process in a temporary folder
// (removed at exit) by a small Python program (python3-cryptography):
// - ca: a test CA (trusted only when a test names its file);
// - server: signed by the CA for IP 127.0.0.1 and the name "localhost";
// - other_host: signed by the CA for "other-host.invalid" only;
// - expired: signed by the CA for 127.0.0.1, expired a day ago;
// - self_signed, self_signed_other: two self-signed ones for 127.0.0.1.
// Throws std::runtime_error when they cannot be made.
struct TestCertificates {
  CertificateFiles ca;
  CertificateFiles server;
  CertificateFiles other_host;
  CertificateFiles expired;
  CertificateFiles self_signed;
  CertificateFiles self_signed_other;
};

const TestCertificates& Certificates();

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_TEST_CERTIFICATES_H_
