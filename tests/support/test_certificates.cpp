#include "tests/support/test_certificates.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace orvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = R"(import datetime, ipaddress, sys
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa

folder = sys.argv[1]
now = datetime.datetime.utcnow()

def key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)

def save(name, certificate, private_key):
    with open(f"{folder}/{name}.pem", "wb") as out:
        out.write(certificate.public_bytes(serialization.Encoding.PEM))
    with open(f"{folder}/{name}.key", "wb") as out:
        out.write(private_key.private_bytes(serialization.Encoding.PEM,
                  serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
    with open(f"{folder}/{name}.sha256", "w") as out:
        out.write(certificate.fingerprint(hashes.SHA256()).hex())

def make(name, common_name, names, signer, signer_key, start, end, ca=False):
    private_key = key()
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name),
                         x509.NameAttribute(NameOID.ORGANIZATION_NAME, "OrvexFTP tests")])
    issuer = subject if signer is None else signer.subject
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(private_key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if names:
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
    certificate = builder.sign(signer_key or private_key, hashes.SHA256())
    save(name, certificate, private_key)
    return certificate, private_key

day = datetime.timedelta(days=1)
local = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]
ca, ca_key = make("ca", "OrvexFTP test CA", None, None, None, now - day, now + 30 * day, ca=True)
make("server", "127.0.0.1", local, ca, ca_key, now - day, now + 30 * day)
make("other_host", "other-host.invalid", [x509.DNSName("other-host.invalid")], ca, ca_key,
     now - day, now + 30 * day)
make("expired", "127.0.0.1", local, ca, ca_key, now - 30 * day, now - day)
make("self_signed", "127.0.0.1", local, None, None, now - day, now + 30 * day)
make("self_signed_other", "127.0.0.1", local, None, None, now - day, now + 30 * day)
)";

std::string Fingerprint(const fs::path& file) {
  std::ifstream in(file);
  std::string hex;
  in >> hex;
  std::string text = "SHA256:";
  for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
    if (index > 0) text += ':';
    text += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[index])));
    text += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[index + 1])));
  }
  return text;
}

CertificateFiles Files(const fs::path& folder, const std::string& name) {
  return {folder / (name + ".pem"), folder / (name + ".key"), Fingerprint(folder / (name + ".sha256"))};
}

}  // namespace

const TestCertificates& Certificates() {
  static std::unique_ptr<TempDir> folder;
  static std::unique_ptr<TestCertificates> made;
  if (made) return *made;
  folder = std::make_unique<TempDir>("orvex-certificates");
  // Servers read their key after dropping privileges.
  fs::permissions(folder->path(), fs::perms::owner_all | fs::perms::others_read |
                                      fs::perms::others_exec | fs::perms::group_read |
                                      fs::perms::group_exec);
  const fs::path program = folder->path() / "make.py";
  std::ofstream(program) << kProgram;
  const std::string command =
      "/usr/bin/python3 " + program.string() + " " + folder->path().string();
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("test certificates could not be made (python3-cryptography?)");
  }
  for (const auto& entry : fs::directory_iterator(folder->path())) {
    fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::group_read | fs::perms::others_read);
  }
  auto certificates = std::make_unique<TestCertificates>();
  certificates->ca = Files(folder->path(), "ca");
  certificates->server = Files(folder->path(), "server");
  certificates->other_host = Files(folder->path(), "other_host");
  certificates->expired = Files(folder->path(), "expired");
  certificates->self_signed = Files(folder->path(), "self_signed");
  certificates->self_signed_other = Files(folder->path(), "self_signed_other");
  made = std::move(certificates);
  return *made;
}

}  // namespace orvex::testing
