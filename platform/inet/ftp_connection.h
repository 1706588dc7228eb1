#pragma once
// One logged-in FTP control connection and the operations on it.
//
// What a caller may rely on:
// - Every operation returns a Status and never throws; a failure caused by a
//   server reply is ERROR_INTERNET_EXTENDED_ERROR with the reply kept in
//   last_reply(). A refused login is ERROR_INTERNET_INCORRECT_PASSWORD.
// - A control connection that was closed, reset or that the server ended
//   (reply 421) gives ERROR_INTERNET_CONNECTION_ABORTED,
//   ERROR_INTERNET_CONNECTION_RESET or ERROR_FTP_DROPPED; once that happened
//   (or a reply timed out) every later operation gives ERROR_FTP_DROPPED, the
//   signal to reconnect.
// - A path or name containing CR, LF or NUL is refused with
//   ERROR_INVALID_NAME before anything is sent.
// - While a file transfer is open, every other operation (including opening a
//   second transfer) gives ERROR_FTP_TRANSFER_IN_PROGRESS.
// - Data connections are passive unless `passive` is false (EPSV, then PASV)
//   and always go to the control connection's peer (or, through a proxy, to
//   the server name given at connect), never to an address the server names.
//   Through a proxy, data connections are always passive: a proxy tunnel
//   cannot carry a connection the server opens towards us. In active mode
//   only a connection from the server's own address is accepted.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inet/control_channel.h"
#include "platform/inet/options.h"
#include "platform/inet/proxy.h"
#include "platform/inet/remote_entry.h"
#include "platform/inet/status.h"
#include "platform/inet/tcp_stream.h"

namespace orvex::inet {

class FileTransfer;

struct ConnectParameters {
  std::string host;          // name or numeric address, without brackets
  std::uint16_t port = 21;
  std::string user;          // empty: anonymous login
  std::string password;
  bool passive = true;
  std::optional<ProxySettings> proxy;
  Options options;
};

enum class TransferDirection { Download, Upload };
enum class TransferType { Ascii, Binary };

class FtpConnection : public std::enable_shared_from_this<FtpConnection> {
 public:
  // Connects and logs in. On failure `connection` stays empty and
  // `last_reply` holds the server's last reply, if any.
  static Status Open(const ConnectParameters& parameters,
                     std::shared_ptr<FtpConnection>& connection,
                     Reply& last_reply);

  // Says goodbye (QUIT) when the server is idle, without waiting for it.
  ~FtpConnection();

  const Reply& last_reply() const { return last_reply_; }
  const Options& options() const { return parameters_.options; }
  void set_options(const Options& options);

  Status ChangeDirectory(std::string_view path);
  Status CurrentDirectory(std::string& path);
  Status CreateDirectory(std::string_view path);
  Status RemoveDirectory(std::string_view path);
  Status DeleteFile(std::string_view path);
  Status Rename(std::string_view from, std::string_view to);

  // Lists `path` (empty: the current folder) with MLSD where the server offers
  // it, otherwise LIST. Entries come in the server's order, converted as
  // ToRemoteEntry describes; a symbolic link carries its target's size as
  // SIZE gives it (servers list a link with the length of the target's
  // name), or the listed size when SIZE gives none. A listing the server
  // reports as failed or truncated, whose data connection fails, or that
  // lasts longer than the data time limit while bringing fewer than 1024
  // bytes in such a window (ERROR_INTERNET_TIMEOUT) is a failure, never a
  // shorter success.
  Status List(std::string_view path, std::vector<RemoteEntry>& entries);

  // Starts a download (RETR) or upload (STOR) on a new data connection.
  Status OpenFile(std::string_view path, TransferDirection direction,
                  TransferType type, std::unique_ptr<FileTransfer>& transfer);

  bool transfer_in_progress() const { return transfer_in_progress_; }
  bool uses_mlsd() const { return mlsd_; }

 private:
  friend class FileTransfer;

  struct PendingData;

  FtpConnection(ConnectParameters parameters, std::unique_ptr<TcpStream> control);

  Status Login();
  void ReadFeatures();
  // Common checks before a command: no transfer running, channel alive.
  Status Ready() const;
  Status Execute(std::string_view command);
  Status ExecuteWithPath(std::string_view verb, std::string_view path);
  Status ReadReply();
  Status Completed(Status status) const;
  Status SetType(TransferType type);
  Status PrepareData(PendingData& pending);
  Status StartDataCommand(std::string_view command, PendingData& pending,
                          std::unique_ptr<Stream>& data);
  Status ListWith(std::string_view verb, std::string_view path,
                  std::vector<RemoteEntry>& entries);
  // Replaces the listed size of each link entry below `path` by SIZE's.
  Status SizeLinks(std::string_view path, std::vector<RemoteEntry>& entries);

  // Used by FileTransfer when its data connection ended.
  Status FinishTransfer();
  void AbortTransfer();

  ConnectParameters parameters_;
  SocketAddress peer_address_;
  SocketAddress local_address_;
  ControlChannel channel_;
  Reply last_reply_;
  bool mlsd_ = false;
  bool extended_passive_refused_ = false;
  bool extended_port_refused_ = false;
  std::optional<TransferType> current_type_;
  bool transfer_in_progress_ = false;
};

// True when `text` can be sent as a command argument (no CR, LF or NUL).
bool IsSafeArgument(std::string_view text);

}  // namespace orvex::inet
