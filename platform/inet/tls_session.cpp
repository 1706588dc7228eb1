// The TLS steps of an FTP connection (RFC 4217): AUTH TLS, the handshakes of
// the control and data connections, PBSZ and PROT.

#include "platform/inet/ftp_connection.h"
#include "platform/inet/tls_stream.h"

namespace orvex::inet {
namespace {
using win32::ERROR_INTERNET_SECURITY_CHANNEL_ERROR;

std::string Printable(std::string text) {
  for (char& character : text) {
    const auto code = static_cast<unsigned char>(character);
    if (code < 0x20 || code == 0x7f) character = ' ';
  }
  return text;
}
}  // namespace

Status FtpConnection::StartTls() {
  std::shared_ptr<TlsContext> context;
  Status status = TlsContext::Create(parameters_.tls, context);
  if (!status.ok()) {
    // Not even a QUIT goes out in clear text where TLS was asked for.
    channel_.Break();
    return status;
  }
  std::unique_ptr<Stream> plain = channel_.TakeStream();
  if (!plain) {
    // The server went on talking in clear text after agreeing to TLS.
    channel_.Break();
    RecordSecurityReport("The server sent clear text where the TLS handshake should start.");
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  std::unique_ptr<Stream> secured;
  status = context->StartControl(std::move(plain), parameters_.host,
                                 parameters_.options.connect_timeout, secured);
  if (!status.ok()) return status;  // the channel has no stream left: nothing more is sent
  channel_.PutStream(std::move(secured));
  tls_ = std::move(context);
  return Status::Ok();
}

Status FtpConnection::AuthenticateTls() {
  const Status status = Execute("AUTH TLS");
  if (!status.ok()) return status;
  if (last_reply_.code != 234) {
    RecordSecurityReport("The server does not offer TLS: it answered AUTH TLS with \"" +
                          Printable(last_reply_.text) +
                          "\". Encryption is required for this server, so the login was not sent.");
    channel_.Break();
    return Status(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
  }
  return StartTls();
}

Status FtpConnection::ProtectData() {
  // Data connections are protected too; a server that will not is refused
  // rather than used in clear text.
  Status status = Completed(Execute("PBSZ 0"));
  if (status.ok()) status = Completed(Execute("PROT P"));
  return status;
}

Status FtpConnection::SecureData(std::unique_ptr<Stream>& data) {
  std::unique_ptr<Stream> secured;
  const Status status =
      tls_->StartData(std::move(data), parameters_.options.data_timeout, secured);
  if (status.ok()) {
    data = std::move(secured);
    return status;
  }
  // The server's verdict on the failed data connection ("522 session reuse
  // required") explains the most; without one the control connection is out
  // of step and is given up.
  if (ReadReply().ok() && last_reply_.failed()) {
    SecurityReport report = LastSecurityReport();
    report.text += "; the server said: " + Printable(last_reply_.text);
    RecordSecurityReport(std::move(report));
  } else {
    channel_.Break();
  }
  return status;
}

}  // namespace orvex::inet
