#include "platform/inet/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/inet/certificate.h"

namespace orvex::inet {
namespace {


using Clock = std::chrono::steady_clock;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_INVALID_CA;
using win32::ERROR_INTERNET_SEC_CERT_CN_INVALID;
using win32::ERROR_INTERNET_SEC_CERT_DATE_INVALID;
using win32::ERROR_INTERNET_SEC_CERT_ERRORS;
using win32::ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
using win32::ERROR_INTERNET_TIMEOUT;

std::chrono::milliseconds Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// The text of OpenSSL's oldest queued error, and the queue emptied.
std::string TakeOpenSslError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return {};
  char text[256] = {};
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

std::string NameText(const X509_NAME* name) {
  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return {};
  X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long length = BIO_get_mem_data(memory, &data);
  std::string text(data, length > 0 ? static_cast<std::size_t>(length) : 0);
  BIO_free(memory);
  return text;
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return {};
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

std::string Fingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
  return FormatFingerprint(digest, length);
}

// The inner stream as an OpenSSL BIO. Reads and writes block up to the
// stream's current deadline; the inner stream's own failure is kept so that
// a timeout or reset reaches the caller as itself.
struct BioTarget {
  Stream* stream = nullptr;
  Clock::time_point deadline;
  std::chrono::milliseconds write_timeout{0};
  Status failure;
  bool end_of_stream = false;
};

int BioWrite(BIO* bio, const char* data, int length) {
  auto* target = static_cast<BioTarget*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const Status status = target->stream->WriteAll(data, static_cast<std::size_t>(length),
                                                 target->write_timeout);
  if (!status.ok()) {
    target->failure = status;
    return -1;
  }
  return length;
}

int BioRead(BIO* bio, char* buffer, int size) {
  auto* target = static_cast<BioTarget*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const ReadResult result =
      target->stream->ReadSome(buffer, static_cast<std::size_t>(size), Left(target->deadline));
  if (!result.status.ok()) {
    target->failure = result.status;
    return -1;
  }
  if (result.bytes == 0) target->end_of_stream = true;
  return static_cast<int>(result.bytes);
}

long BioControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

// Marks the SSL object of a control connection.
int ControlMarkIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

BIO_METHOD* StreamMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orvex stream");
    BIO_meth_set_write(created, BioWrite);
    BIO_meth_set_read(created, BioRead);
    BIO_meth_set_ctrl(created, BioControl);
    return created;
  }();
  return method;
}


}  // namespace

struct TlsStream::State {
  std::shared_ptr<TlsContext> owner;  // the SSL_CTX must outlive the SSL
  std::unique_ptr<Stream> inner;
  BioTarget target;
  SSL* ssl = nullptr;
  bool data = false;
  bool shut_down = false;

  ~State() {
    if (ssl != nullptr) SSL_free(ssl);  // frees the BIO too
  }

  // The outcome of a failed SSL call, in the engine's numbers.
  Status Failure(int result, bool reading) {
    const int error = SSL_get_error(ssl, result);
    if (!target.failure.ok()) {
      const Status failure = target.failure;
      ERR_clear_error();
      return failure;
    }
    if (reading && error == SSL_ERROR_ZERO_RETURN) return Status::Ok();
    const std::string detail = TakeOpenSslError();
    if (reading && !data && target.end_of_stream) {
      return Status(ERROR_INTERNET_CONNECTION_ABORTED);
    }
    SecurityReport report;
    if (target.end_of_stream) {
      report.text = data ? "The server ended the encrypted data connection without a TLS shutdown: "
                           "the transfer is incomplete."
                         : "The server closed the encrypted connection.";
    } else {
      report.text = "TLS failed" + (detail.empty() ? std::string(".") : ": " + detail);
    }
    RecordSecurityReport(std::move(report));
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
};

TlsStream::TlsStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

TlsStream::~TlsStream() = default;

bool TlsStream::resumed() const { return SSL_session_reused(state_->ssl) == 1; }

ReadResult TlsStream::ReadSome(void* buffer, std::size_t size,
                               std::chrono::milliseconds timeout) {
  State& state = *state_;
  state.target.deadline = Clock::now() + timeout;
  state.target.failure = Status::Ok();
  const int wanted = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  for (;;) {
    const int count = SSL_read(state.ssl, buffer, wanted);
    if (count > 0) return {Status::Ok(), static_cast<std::size_t>(count)};
    // A TLS 1.3 ticket or other record without data: read on.
    if (SSL_get_error(state.ssl, count) == SSL_ERROR_WANT_READ && state.target.failure.ok() &&
        !state.target.end_of_stream) {
      if (Left(state.target.deadline).count() == 0) return {Status(ERROR_INTERNET_TIMEOUT), 0};
      continue;
    }
    return {state.Failure(count, true), 0};
  }
}

Status TlsStream::WriteAll(const void* data, std::size_t size,
                           std::chrono::milliseconds timeout) {
  State& state = *state_;
  state.target.write_timeout = timeout;
  state.target.deadline = Clock::now() + timeout;
  state.target.failure = Status::Ok();
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const int chunk = size > (1 << 30) ? (1 << 30) : static_cast<int>(size);
    const int count = SSL_write(state.ssl, next, chunk);
    if (count <= 0) return state.Failure(count, false);
    next += count;
    size -= static_cast<std::size_t>(count);
  }
  return Status::Ok();
}

void TlsStream::ShutdownWrite() {
  State& state = *state_;
  if (state.shut_down) return;
  state.shut_down = true;
  state.target.failure = Status::Ok();
  SSL_shutdown(state.ssl);  // sends close_notify
  ERR_clear_error();
  // close_notify ends the upload for the server, which then closes the
  // connection. Until it does, whatever it sent and the upload never read
  // (TLS 1.3 session tickets, its own close_notify) is read here: a socket
  // closed with unread input is reset, and a reset can cost the server the
  // end of the file it has not read yet. Sending side of TCP is ended only
  // afterwards: some proxies drop the whole tunnel when one side half-closes.
  state.target.deadline = Clock::now() + state.target.write_timeout;
  char discard[4096];
  while (state.target.failure.ok() && !state.target.end_of_stream &&
         Left(state.target.deadline).count() > 0) {
    const int count = SSL_read(state.ssl, discard, sizeof discard);
    if (count <= 0 && SSL_get_error(state.ssl, count) != SSL_ERROR_WANT_READ) break;
  }
  ERR_clear_error();
  state.inner->ShutdownWrite();
}

Status TlsContext::Create(const TlsSettings& settings, std::shared_ptr<TlsContext>& context) {
  context.reset();
  std::shared_ptr<TlsContext> created(new TlsContext());
  created->settings_ = settings;
  if (!settings.pinned_fingerprint.empty()) {
    const std::optional<std::string> pin = NormalizeFingerprint(settings.pinned_fingerprint);
    if (!pin) {
      RecordSecurityReport("The trusted fingerprint \"" + settings.pinned_fingerprint +
                            "\" is not a SHA-256 fingerprint (SHA256: and 64 hex digits).");
      return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    }
    created->settings_.pinned_fingerprint = *pin;
  }
  SSL_CTX* ssl_context = SSL_CTX_new(TLS_client_method());
  if (ssl_context == nullptr) {
    RecordSecurityReport("TLS could not be set up: " + TakeOpenSslError());
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  created->context_ = ssl_context;
  SSL_CTX_set_min_proto_version(ssl_context, TLS1_2_VERSION);
  // The verdict is taken after the handshake (in StartControl), so that a
  // refused certificate can be shown with its fingerprint.
  SSL_CTX_set_verify(ssl_context, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_default_verify_paths(ssl_context);
  // Only a regular file is read: opening a FIFO would wait for a writer for
  // ever, and a device could be read without end.
  struct stat ca_status {};
  if (!settings.ca_file.empty() &&
      (::stat(settings.ca_file.c_str(), &ca_status) != 0 || !S_ISREG(ca_status.st_mode))) {
    RecordSecurityReport("The CA file " + settings.ca_file + " is not a readable regular file.");
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  if (!settings.ca_file.empty() &&
      SSL_CTX_load_verify_locations(ssl_context, settings.ca_file.c_str(), nullptr) != 1) {
    RecordSecurityReport("The CA file " + settings.ca_file +
                          " could not be read: " + TakeOpenSslError());
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  SSL_CTX_set_read_ahead(ssl_context, 1);
  SSL_CTX_set_session_cache_mode(ssl_context,
                                 SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ssl_context, &TlsContext::OnNewSession);
  SSL_CTX_set_app_data(ssl_context, created.get());
  context = std::move(created);
  return Status::Ok();
}

TlsContext::~TlsContext() {
  if (control_session_ != nullptr) SSL_SESSION_free(control_session_);
  if (context_ != nullptr) SSL_CTX_free(context_);
}

int TlsContext::OnNewSession(SSL* ssl, SSL_SESSION* session) {
  // Servers that require session reuse accept only the control connection's
  // session on data connections; the newest one (a TLS 1.3 ticket may come
  // after the handshake) is the one resumed.
  if (SSL_get_ex_data(ssl, ControlMarkIndex()) == nullptr) return 0;
  auto* self = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
  if (SSL_SESSION_is_resumable(session) != 1) return 0;
  if (self->control_session_ != nullptr) SSL_SESSION_free(self->control_session_);
  self->control_session_ = session;  // kept: returning 1 takes the reference
  return 1;
}

Status TlsContext::Handshake(std::unique_ptr<Stream> inner, const std::string& host, bool control,
                             std::chrono::milliseconds timeout, std::unique_ptr<Stream>& secured,
                             TlsStream** handle) {
  auto state = std::make_unique<TlsStream::State>();
  state->inner = std::move(inner);
  state->data = !control;
  state->target.stream = state->inner.get();
  state->target.write_timeout = timeout;
  state->target.deadline = Clock::now() + timeout;
  SSL* ssl = SSL_new(context_);
  BIO* bio = ssl != nullptr ? BIO_new(StreamMethod()) : nullptr;
  if (ssl == nullptr || bio == nullptr) {
    if (ssl != nullptr) SSL_free(ssl);
    RecordSecurityReport("TLS could not be set up: " + TakeOpenSslError());
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  state->ssl = ssl;
  BIO_set_data(bio, &state->target);
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl, bio, bio);
  if (control) {
    SSL_set_ex_data(ssl, ControlMarkIndex(), this);
    X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl);
    unsigned char address[16];
    if (inet_pton(AF_INET, host.c_str(), address) == 1 ||
        inet_pton(AF_INET6, host.c_str(), address) == 1) {
      X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
    } else {
      X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size());
      SSL_set_tlsext_host_name(ssl, host.c_str());
    }
  } else {
    if (control_session_ != nullptr) {
      SSL_SESSION* copy = SSL_SESSION_dup(control_session_);
      SSL_set_session(ssl, copy != nullptr ? copy : control_session_);
      if (copy != nullptr) SSL_SESSION_free(copy);
    }
  }
  ERR_clear_error();
  const int result = SSL_connect(ssl);
  if (result != 1) {
    const Status failure = state->Failure(result, false);
    if (failure.error() != ERROR_INTERNET_SECURITY_CHANNEL_ERROR) {
      // A timeout or reset of the inner stream; say what happened all the same.
      RecordSecurityReport("The TLS handshake with the server did not complete.");
    } else if (!control) {
      SecurityReport report = LastSecurityReport();
      report.text = "The TLS handshake of a data connection failed (" + report.text + ")";
      RecordSecurityReport(std::move(report));
    } else {
      SecurityReport report = LastSecurityReport();
      report.text = "The TLS handshake failed; the server may not speak TLS here (" + report.text + ")";
      RecordSecurityReport(std::move(report));
    }
    return failure;
  }
  auto* stream = new TlsStream(std::move(state));
  secured.reset(stream);
  if (handle != nullptr) *handle = stream;
  return Status::Ok();
}

Status TlsContext::StartControl(std::unique_ptr<Stream> inner, const std::string& host,
                                std::chrono::milliseconds timeout, std::unique_ptr<Stream>& secured) {
  secured.reset();
  TlsStream* stream = nullptr;
  std::unique_ptr<Stream> candidate;
  Status status = Handshake(std::move(inner), host, true, timeout, candidate, &stream);
  if (!status.ok()) return status;
  SSL* ssl = stream->state_->ssl;
  X509* certificate = SSL_get0_peer_certificate(ssl);
  if (certificate == nullptr) {
    RecordSecurityReport("The server presented no certificate.");
    return Status(ERROR_INTERNET_INVALID_CA);
  }
  SecurityReport report;
  report.fingerprint = Fingerprint(certificate);
  report.subject = NameText(X509_get_subject_name(certificate));
  report.issuer = NameText(X509_get_issuer_name(certificate));
  report.valid_until = TimeText(X509_get0_notAfter(certificate));
  const long verdict = SSL_get_verify_result(ssl);
  const std::string& pinned = settings_.pinned_fingerprint;
  std::uint32_t refusal = 0;
  if (!pinned.empty()) {
    if (report.fingerprint != pinned) {
      report.pinned_fingerprint = pinned;
      report.reason = "it is not the certificate trusted for this server";
      refusal = ERROR_INTERNET_SEC_CERT_ERRORS;
    }
  } else if (verdict != X509_V_OK && settings_.verify) {
    report.reason = X509_verify_cert_error_string(verdict);
    switch (verdict) {
      case X509_V_ERR_CERT_HAS_EXPIRED:
      case X509_V_ERR_CERT_NOT_YET_VALID:
        refusal = ERROR_INTERNET_SEC_CERT_DATE_INVALID;
        break;
      case X509_V_ERR_HOSTNAME_MISMATCH:
      case X509_V_ERR_IP_ADDRESS_MISMATCH:
        refusal = ERROR_INTERNET_SEC_CERT_CN_INVALID;
        break;
      default:
        refusal = ERROR_INTERNET_INVALID_CA;
    }
  }
  if (refusal != 0) {
    report.untrusted_certificate = true;
    if (refusal == ERROR_INTERNET_SEC_CERT_ERRORS) {
      report.text = "The server's certificate changed: it presents " + report.fingerprint +
                    " but " + pinned + " is trusted for it (subject " + report.subject +
                    "). Someone may be intercepting the connection; trust the new certificate "
                    "only if you know why it changed.";
    } else {
      report.text = "The server's certificate is refused: " + report.reason + "; fingerprint " +
                    report.fingerprint + ", subject " + report.subject + ", issuer " +
                    report.issuer + ", valid until " + report.valid_until;
    }
    RecordSecurityReport(std::move(report));
    return Status(refusal);
  }
  // The accepted certificate is reported too, for a user who wants to see or
  // pin it.
  fingerprint_ = report.fingerprint;
  RecordSecurityReport(std::move(report));
  secured = std::move(candidate);
  return Status::Ok();
}

Status TlsContext::StartData(std::unique_ptr<Stream> inner, std::chrono::milliseconds timeout,
                             std::unique_ptr<Stream>& secured) {
  secured.reset();
  TlsStream* stream = nullptr;
  std::unique_ptr<Stream> candidate;
  const Status status = Handshake(std::move(inner), std::string(), false, timeout, candidate, &stream);
  if (!status.ok()) return status;
  X509* certificate = SSL_get0_peer_certificate(stream->state_->ssl);
  const std::string presented = certificate != nullptr ? Fingerprint(certificate) : std::string();
  if (presented != fingerprint_) {
    SecurityReport report;
    report.text = "A data connection presented another certificate (" +
                  (presented.empty() ? std::string("none") : presented) +
                  ") than the control connection (" + fingerprint_ + ")";
    RecordSecurityReport(std::move(report));
    return Status(ERROR_INTERNET_SEC_CERT_ERRORS);
  }
  secured = std::move(candidate);
  return Status::Ok();
}

}  // namespace orvex::inet
