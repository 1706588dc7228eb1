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
// - With TLS (tls_session.cpp): explicit TLS that the server refuses, or a
//   handshake that fails, ends the connect before USER or PASS is sent; every
//   data connection resumes the control connection's session. TLS failures
//   leave their reason in LastSecurityReport().
// - Every wait honours the engine's cancellation (cancellation.h): a
//   cancelled operation fails with ERROR_INTERNET_OPERATION_CANCELLED and
//   leaves the control connection given up, as after a timeout.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inet/control_channel.h"
#include "platform/inet/network_environment.h"
#include "platform/inet/options.h"
#include "platform/inet/proxy.h"
#include "platform/inet/remote_entry.h"
#include "platform/inet/status.h"
#include "platform/inet/tls_settings.h"

namespace orvex::inet {

class FileTransfer;
class TlsContext;

struct ConnectParameters {
  std::string host;          // name or numeric address, without brackets
  std::uint16_t port = 21;
  std::string user;          // empty: anonymous login
  std::string password;
  bool passive = true;
  std::optional<ProxySettings> proxy;
  Options options;
  ControlTrace trace;  // the control dialogue, from the greeting on; empty: none
  TlsSettings tls;  // mode None: plain FTP
  // Where the session dials, listens and reads the time; empty: the real
  // network and clocks (SystemNetwork()).
  std::shared_ptr<NetworkEnvironment> environment;
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
  // Rename, first setting the modification time of `from` as
  // SetModificationTime would. The time command, RNFR and RNTO go out
  // together and their replies are read in order, so the three take one
  // round trip: RNTO is only ever carried out after its RNFR was accepted
  // (a server that refused RNFR answers RNTO "503 bad sequence"), and a
  // refused time changes nothing else. The result is the rename's;
  // `time_status` says whether the time was set. When the rename worked and
  // the time did not, last_reply() is the time command's reply.
  Status RenameSettingTime(std::string_view from, std::string_view to, const CivilTime& utc,
                           Status& time_status);
  // After a Rename or RenameSettingTime that failed: whether the server
  // accepted `from` (RNFR) and refused `to` for good (a 5xx answer to
  // RNTO), as a server that will not rename onto an existing file does.
  // False for any other failure: RNFR refused, a lost connection, a 4xx.
  bool rename_target_refused() const { return rename_target_refused_; }

  // Lists `path` (empty: the current folder) with MLSD where the server offers
  // it, otherwise LIST. Entries come in the server's order, converted as
  // ToRemoteEntry describes; a symbolic link carries its target's size as
  // SIZE gives it (servers list a link with the length of the target's
  // name), or the listed size when SIZE gives none. A listing the server
  // reports as failed or truncated, whose data connection fails, or that
  // lasts longer than the data time limit while bringing fewer than 1024
  // bytes in such a window (ERROR_INTERNET_TIMEOUT) is a failure, never a
  // shorter success. A listing whose data is not read to its end gives the
  // control connection up (the next command fails with ERROR_FTP_DROPPED):
  // some servers would send its rest inside the next listing.
  //
  // Hidden (dot) files: the first LIST of a connection is made as
  // "LIST -a". "-a" counts as understood only when that listing shows the
  // folder's own "." entry (only an `ls -a` style listing does that; a
  // server that took "-a" for a name lists a folder of that name, or
  // nothing) and either the current folder holds nothing called "-a" (for a
  // listing of the current folder: "CWD -a" is refused) or a plain LIST
  // then made does not show "."; then every later LIST asks for "-a" and
  // the "." and ".." entries it adds are left out. Otherwise plain LIST is
  // used for good, its entries as the server gives them.
  //
  // Entries ToRemoteEntry leaves out (names holding "/" or "\", devices)
  // are kept in omissions(), as listed, until the next listing.
  Status List(std::string_view path, RemoteEntries& entries);
  // The same listing, each entry handed to `sink` instead of being kept, so
  // that a caller can build its own items while the listing arrives. Where
  // the listing's form is settled entries go on as they are read; links
  // (sized after the listing) and a first LIST that finds out about "-a"
  // go on at the end. The result is that of List: a failure may come after
  // entries were handed on, and those then belong to no listing. `sink`
  // returning false stops the listing with ERROR_INTERNET_OPERATION_CANCELLED;
  // while the data still arrives, the connection is given up with it, as
  // for any listing whose data is not read to its end (see above).
  using EntrySink = std::function<bool(RemoteEntry& entry)>;
  Status List(std::string_view path, const EntrySink& sink);
  const std::vector<OmittedEntry>& omissions() const { return omissions_; }

  // The file's modification time in UTC, whole seconds (MDTM). Refused with
  // ERROR_INTERNET_INVALID_OPERATION, nothing sent, when the server did not
  // offer MDTM in its features.
  Status ModificationTime(std::string_view path, CivilTime& utc);
  // Sets the file's modification time (UTC, whole seconds) with MFMT where
  // the server offers it, else with the "MDTM time path" form where it
  // offers MDTM. FEAT cannot tell whether a server knows that form; one that
  // does not takes the time for part of a name and refuses, which harms
  // nothing: after such a refusal (or a 5xx to the form) the form is not
  // sent again on this connection, and the refusal is reported as
  // ERROR_INTERNET_INVALID_OPERATION. Refused that way, nothing sent, when
  // the server offered neither command.
  Status SetModificationTime(std::string_view path, const CivilTime& utc);

  // Starts a download (RETR) or upload (STOR) on a new data connection.
  // Passive RETR, listings and, with `new_file` (the upload goes to a name
  // of the caller's own that nobody else relies on), STOR are sent while the
  // data connection is still being made, saving a round trip; should that
  // connection fail, the control connection is given up (ERROR_FTP_DROPPED
  // afterwards) and the server may have made an empty file of that name.
  Status OpenFile(std::string_view path, TransferDirection direction,
                  TransferType type, std::unique_ptr<FileTransfer>& transfer,
                  bool new_file = false);

  bool transfer_in_progress() const { return transfer_in_progress_; }
  bool uses_mlsd() const { return mlsd_; }
  // From the server's features: MDTM (times in UTC) and MFMT.
  bool offers_file_times() const { return mdtm_; }
  // MFMT offered, or the "MDTM time path" form not refused yet.
  bool may_set_file_times() const { return mfmt_ || (mdtm_ && mdtm_set_ != Probe::Refused); }
  // MFMT offered, or the "MDTM time path" form has worked on this connection.
  bool sets_file_times() const { return mfmt_ || mdtm_set_ == Probe::Understood; }
  // True when listings include dot files: MLSD, or LIST once "LIST -a" has
  // proved to be understood.
  bool lists_hidden_files() const { return mlsd_ || list_all_ == Probe::Understood; }

 private:
  friend class FileTransfer;

  struct PendingData;

  FtpConnection(ConnectParameters parameters, std::shared_ptr<NetworkEnvironment> environment,
                ConnectedStream control);

  Status Login();
  // TLS steps (tls_session.cpp): the handshake of the control connection,
  // AUTH TLS before the login, PBSZ and PROT after it, and securing a data
  // connection once the server accepted the data command.
  Status StartTls();
  Status AuthenticateTls();
  Status ProtectData();
  Status SecureData(std::unique_ptr<Stream>& data);
  void ReadFeatures();
  // Common checks before a command: no transfer running, channel alive.
  Status Ready() const;
  Status Execute(std::string_view command);
  // The command that sets a file's time on this server (MFMT, or the "MDTM
  // time" form), without the path; empty when there is none to try.
  std::string TimeCommand(const CivilTime& utc) const;
  // The outcome of a time command, learning whether the "MDTM time" form is
  // understood: see SetModificationTime.
  Status TimeCommandOutcome(Status status, bool mdtm_form);
  Status RenameWith(std::string_view time_command, std::string_view from, std::string_view to,
                    Status& time_status);
  Status ExecuteWithPath(std::string_view verb, std::string_view path);
  Status ReadReply();
  // Reads past preliminary (1xx) replies, a bounded number of them.
  Status ReadFinalReply();
  Status Completed(Status status) const;
  Status SetType(TransferType type);
  // Asks for a data connection (EPSV/PASV, or EPRT/PORT with a listener);
  // a passive one is made by StartDataCommand.
  Status PrepareData(PendingData& pending);
  Status ConnectData(PendingData& pending);
  // PrepareData and StartDataCommand; tried once more, connecting first,
  // when the server turned down a command sent ahead of its connection.
  Status OpenData(std::string_view command, bool command_first, std::unique_ptr<Stream>& data);
  // A passive connection made after its command failed: the server's answer
  // when it gave one at once, else `failure` with the control connection
  // given up.
  Status DataConnectionFailed(Status failure);
  Status StartDataCommand(std::string_view command, PendingData& pending,
                          std::unique_ptr<Stream>& data);
  // List's work: entries go to `entries`, or with a `sink` straight on
  // where they can (see the public List).
  Status ListInto(std::string_view path, RemoteEntries& entries, const EntrySink* sink);
  // One listing command. With `sink`, entries other than links go to it as
  // they are read, "." and ".." left out when `without_navigation`.
  Status ListWith(std::string_view verb, std::string_view path,
                  RemoteEntries& entries, std::vector<OmittedEntry>& omitted,
                  const EntrySink* sink = nullptr, bool without_navigation = false);
  // After "LIST -a" of the current folder showed its "." entry: `proven`
  // when the folder holds nothing called "-a" (CWD -a refused), so the
  // option was understood. Fails only when the connection did, or when the
  // current folder could not be restored after entering "-a".
  Status ProveListAllOption(bool& proven);
  // Replaces the listed size of each link entry below `path` by SIZE's.
  Status SizeLinks(std::string_view path, RemoteEntries& entries);
  // A listing's end: sizes its links when `status` is a success; a failure
  // leaves no entries.
  Status SizedLinks(std::string_view path, RemoteEntries& entries, Status status);

  // Used by FileTransfer when its data connection ended.
  Status FinishTransfer();
  // Ends a transfer cut short. While a cancellation is requested the server
  // is not waited for: the control connection is given up instead (later
  // operations give ERROR_FTP_DROPPED, the signal to reconnect).
  void AbortTransfer();

  ConnectParameters parameters_;
  std::shared_ptr<NetworkEnvironment> environment_;  // before channel_, which reads its clock
  SocketAddress peer_address_;
  SocketAddress local_address_;
  ControlChannel channel_;
  std::shared_ptr<TlsContext> tls_;
  Reply last_reply_;
  std::vector<OmittedEntry> omissions_;
  bool mlsd_ = false;
  bool mdtm_ = false;
  bool mfmt_ = false;
  enum class Probe { Untried, Understood, Refused };
  Probe list_all_ = Probe::Untried;
  Probe mdtm_set_ = Probe::Untried;
  bool extended_passive_refused_ = false;
  bool extended_port_refused_ = false;
  // The server answered 425 to a data command sent before its connection.
  bool command_first_refused_ = false;
  bool rename_target_refused_ = false;
  std::optional<TransferType> current_type_;
  bool transfer_in_progress_ = false;
};

// True when `text` can be sent as a command argument (no CR, LF or NUL).
bool IsSafeArgument(std::string_view text);

}  // namespace orvex::inet
