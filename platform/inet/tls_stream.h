#pragma once
// TLS over another Stream (OpenSSL), and the per-connection TLS context that
// ties a control connection to its data connections.
//
// What a caller may rely on:
// - TLS 1.2 or newer only.
// - ReadSome returns 0 bytes only after the peer's TLS shutdown (close_notify).
//   A stream that ends without it is a truncation: on a data connection
//   ERROR_INTERNET_SECURITY_CHANNEL_ERROR, on a control connection
//   ERROR_INTERNET_CONNECTION_ABORTED (a lost connection, reconnected as ever).
//   Errors and time limits of the inner stream come through unchanged.
// - ShutdownWrite sends close_notify, then ends the inner stream's sending
//   side: the end of an upload is a proper TLS shutdown.
// - A failed handshake or refused certificate leaves its reason in
//   LastSecurityReport().

#include <chrono>
#include <memory>
#include <string>

#include "platform/inet/status.h"
#include "platform/inet/stream.h"
#include "platform/inet/tls_settings.h"

struct ssl_ctx_st;
struct ssl_session_st;
struct ssl_st;

namespace orvex::inet {

class TlsContext;

class TlsStream : public Stream {
 public:
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  ReadResult ReadSome(void* buffer, std::size_t size,
                      std::chrono::milliseconds timeout) override;
  Status WriteAll(const void* data, std::size_t size,
                  std::chrono::milliseconds timeout) override;
  void ShutdownWrite() override;

  // Whether the handshake resumed an earlier session.
  bool resumed() const;

 private:
  friend class TlsContext;
 public:
  struct State;  // defined with the implementation
 private:
  explicit TlsStream(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

class TlsContext {
 public:
  // Builds the client context: the system's CA store plus settings.ca_file.
  // A CA file that cannot be read, or is not a regular file (a FIFO, a
  // device, a folder), fails at once with ERROR_INTERNET_SECURITY_CHANNEL_ERROR.
  static Status Create(const TlsSettings& settings, std::shared_ptr<TlsContext>& context);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Handshake of the control connection with `host` (a name, checked against
  // the certificate's names and sent as SNI, or a numeric address), then the
  // trust decision of TlsSettings. Certificate refusals give
  // ERROR_INTERNET_SEC_CERT_DATE_INVALID (expired or not yet valid),
  // ERROR_INTERNET_SEC_CERT_CN_INVALID (another host's),
  // ERROR_INTERNET_INVALID_CA (does not verify: self-signed, unknown issuer),
  // ERROR_INTERNET_SEC_CERT_ERRORS (not the pinned certificate); a failed
  // handshake ERROR_INTERNET_SECURITY_CHANNEL_ERROR.
  Status StartControl(std::unique_ptr<Stream> inner, const std::string& host,
                      std::chrono::milliseconds timeout, std::unique_ptr<Stream>& secured);
  // Handshake of a data connection, resuming the control connection's
  // session; the server must present the certificate accepted for the
  // control connection.
  Status StartData(std::unique_ptr<Stream> inner, std::chrono::milliseconds timeout,
                   std::unique_ptr<Stream>& secured);

  // The accepted certificate's fingerprint, after StartControl succeeded.
  const std::string& fingerprint() const { return fingerprint_; }

 private:
  TlsContext() = default;
  Status Handshake(std::unique_ptr<Stream> inner, const std::string& host, bool control,
                   std::chrono::milliseconds timeout, std::unique_ptr<Stream>& secured,
                   TlsStream** handle);
  static int OnNewSession(::ssl_st* ssl, ::ssl_session_st* session);

  ::ssl_ctx_st* context_ = nullptr;
  ::ssl_session_st* control_session_ = nullptr;
  TlsSettings settings_;
  std::string fingerprint_;
};

}  // namespace orvex::inet
