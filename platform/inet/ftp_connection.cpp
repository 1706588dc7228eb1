#include "platform/inet/ftp_connection.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/inet/cancellation.h"
#include "platform/inet/file_transfer.h"
#include "platform/inet/listing/listing_parser.h"

namespace orvex::inet {
namespace {

using win32::ERROR_FTP_DROPPED;
using win32::ERROR_FTP_NO_PASSIVE_MODE;
using win32::ERROR_FTP_TRANSFER_IN_PROGRESS;
using win32::ERROR_INTERNET_CANNOT_CONNECT;
using win32::ERROR_INTERNET_EXTENDED_ERROR;
using win32::ERROR_INTERNET_INCORRECT_PASSWORD;
using win32::ERROR_INTERNET_LOGIN_FAILURE;
using win32::ERROR_INVALID_NAME;

constexpr std::size_t kMaximumListingLine = 16 * 1024;
// Preliminary (1xx) replies a command may get before its final one.
constexpr int kMaximumPreliminaryReplies = 8;
// Bytes a listing must bring per data time limit once it lasts longer than
// one (about 17 bytes a second at the default minute).
constexpr std::size_t kMinimumListingProgress = 1024;

bool ContainsCaseInsensitive(std::string_view text, std::string_view word) {
  const auto found = std::search(
      text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
      });
  return found != text.end();
}

}  // namespace

bool IsSafeArgument(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

namespace {
// How long a failed passive connection waits for the server's own answer to
// the command sent ahead of it.
constexpr std::chrono::milliseconds kAnswerGrace{250};
}  // namespace

// A data connection being set up: the passive port to connect to (and then
// the connection), or the listener the server connects to (active).
struct FtpConnection::PendingData {
  // Passive: the port the server listens on, connected to by ConnectData.
  std::optional<std::uint16_t> passive_port;
  std::unique_ptr<Stream> stream;
  std::unique_ptr<DataListener> listener;
  // The data command may go out before the passive connection is made.
  bool command_first = false;
};

FtpConnection::FtpConnection(ConnectParameters parameters,
                             std::shared_ptr<NetworkEnvironment> environment,
                             ConnectedStream control)
    : parameters_(std::move(parameters)),
      environment_(std::move(environment)),
      peer_address_(control.peer),
      local_address_(control.local),
      channel_(std::move(control.stream), parameters_.options.reply_timeout, *environment_) {
  channel_.set_trace(parameters_.trace);
}

FtpConnection::~FtpConnection() {
  if (channel_.usable() && !transfer_in_progress_) channel_.Send("QUIT");
}

Status FtpConnection::Open(const ConnectParameters& parameters,
                           std::shared_ptr<FtpConnection>& connection,
                           Reply& last_reply) {
  connection.reset();
  std::shared_ptr<NetworkEnvironment> environment =
      parameters.environment ? parameters.environment : SystemNetwork();
  ConnectedStream connected = environment->Connect(
      parameters.host, parameters.port, parameters.proxy, parameters.options.connect_timeout);
  if (!connected.status.ok()) return connected.status;
  std::shared_ptr<FtpConnection> opened(
      new FtpConnection(parameters, std::move(environment), std::move(connected)));
  Status status = parameters.tls.mode == TlsMode::Implicit ? opened->StartTls() : Status::Ok();
  if (status.ok()) status = opened->Login();
  last_reply = opened->last_reply_;
  if (status.error() == ERROR_FTP_DROPPED && last_reply.code == 421) {
    // "421 Too many connections" while logging in is the server's refusal,
    // not a lost session: report it with its reply.
    status = Status(ERROR_INTERNET_EXTENDED_ERROR);
  }
  if (!status.ok()) return status;
  connection = std::move(opened);
  return Status::Ok();
}

void FtpConnection::set_options(const Options& options) {
  parameters_.options = options;
  channel_.set_reply_timeout(options.reply_timeout);
}

Status FtpConnection::ReadReply() {
  const Status status = channel_.ReadReply(last_reply_);
  if (!status.ok()) return status;
  if (last_reply_.code == 421) {
    // The server is closing the control connection (idle timeout, shutdown).
    channel_.Break();
    return Status(ERROR_FTP_DROPPED);
  }
  return Status::Ok();
}

Status FtpConnection::ReadFinalReply() {
  for (int preliminary = 0;; ++preliminary) {
    const Status status = ReadReply();
    if (!status.ok() || !last_reply_.preliminary()) return status;
    if (preliminary == kMaximumPreliminaryReplies) {
      // Each reply came in time, yet the command would never end.
      channel_.Break();
      return Status(win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE);
    }
  }
}

Status FtpConnection::Execute(std::string_view command) {
  const Status status = channel_.Send(command);
  if (!status.ok()) return status;
  return ReadFinalReply();
}

Status FtpConnection::Completed(Status status) const {
  if (!status.ok()) return status;
  return last_reply_.completed() ? Status::Ok()
                                 : Status(ERROR_INTERNET_EXTENDED_ERROR);
}

Status FtpConnection::Login() {
  // The greeting; "120 ready in n minutes" precedes the real one.
  Status status = Completed(ReadFinalReply());
  if (!status.ok()) return status;
  if (parameters_.tls.mode == TlsMode::Explicit) {
    status = AuthenticateTls();
    if (!status.ok()) return status;
  }

  const bool anonymous = parameters_.user.empty();
  const std::string user = anonymous ? "anonymous" : parameters_.user;
  const std::string password =
      anonymous && parameters_.password.empty() ? "anonymous@" : parameters_.password;
  if (!IsSafeArgument(user) || !IsSafeArgument(password)) {
    return Status(ERROR_INVALID_NAME);
  }
  status = Execute("USER " + user);
  if (status.ok() && last_reply_.intermediate()) {
    status = Execute("PASS " + password);
  }
  if (!status.ok()) return status;
  if (last_reply_.code == 530) return Status(ERROR_INTERNET_INCORRECT_PASSWORD);
  if (last_reply_.intermediate()) return Status(ERROR_INTERNET_LOGIN_FAILURE);
  status = Completed(status);
  if (!status.ok()) return status;
  if (tls_) {
    status = ProtectData();
    if (!status.ok()) return status;
  }
  ReadFeatures();
  return channel_.usable() ? Status::Ok() : Status(ERROR_FTP_DROPPED);
}

void FtpConnection::ReadFeatures() {
  if (!Execute("FEAT").ok() || !last_reply_.completed()) return;
  bool utf8 = false;
  std::string_view text = last_reply_.text;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
    // Feature lines start with a space; the first and last carry the code.
    if (line.empty() || line.front() != ' ') continue;
    line.remove_prefix(1);
    const std::string_view name = line.substr(0, line.find(' '));
    if (ContainsCaseInsensitive(name, "MLST") && name.size() == 4) mlsd_ = true;
    if (ContainsCaseInsensitive(name, "UTF8") && name.size() == 4) utf8 = true;
    if (ContainsCaseInsensitive(name, "MDTM") && name.size() == 4) mdtm_ = true;
    if (ContainsCaseInsensitive(name, "MFMT") && name.size() == 4) mfmt_ = true;
  }
  if (utf8) Execute("OPTS UTF8 ON");  // some servers answer 5xx and use UTF-8 anyway
}

Status FtpConnection::Ready() const {
  if (transfer_in_progress_) return Status(ERROR_FTP_TRANSFER_IN_PROGRESS);
  if (!channel_.usable()) return Status(ERROR_FTP_DROPPED);
  return Status::Ok();
}

Status FtpConnection::ExecuteWithPath(std::string_view verb, std::string_view path) {
  if (!IsSafeArgument(path)) return Status(ERROR_INVALID_NAME);
  Status status = Ready();
  if (!status.ok()) return status;
  std::string command(verb);
  command.append(" ").append(path);
  return Completed(Execute(command));
}

Status FtpConnection::ChangeDirectory(std::string_view path) {
  return ExecuteWithPath("CWD", path);
}

Status FtpConnection::CreateDirectory(std::string_view path) {
  return ExecuteWithPath("MKD", path);
}

Status FtpConnection::RemoveDirectory(std::string_view path) {
  return ExecuteWithPath("RMD", path);
}

Status FtpConnection::DeleteFile(std::string_view path) {
  return ExecuteWithPath("DELE", path);
}

Status FtpConnection::Rename(std::string_view from, std::string_view to) {
  Status time_status;
  return RenameWith({}, from, to, time_status);
}

Status FtpConnection::RenameSettingTime(std::string_view from, std::string_view to,
                                        const CivilTime& utc, Status& time_status) {
  return RenameWith(TimeCommand(utc), from, to, time_status);
}

Status FtpConnection::RenameWith(std::string_view time_command, std::string_view from,
                                 std::string_view to, Status& time_status) {
  time_status = Status(win32::ERROR_INTERNET_INVALID_OPERATION);
  rename_target_refused_ = false;
  // Both names are checked before anything is sent so that nothing is half
  // done.
  if (!IsSafeArgument(from) || !IsSafeArgument(to)) return Status(ERROR_INVALID_NAME);
  Status status = Ready();
  if (!status.ok()) return status;
  // Sent together: a round trip per command is most of what a small upload
  // costs over a slow link. Should the connection fail part way, the caller
  // hears the failure (the rename may or may not have happened, as when a
  // reply is lost after a single command).
  if (!time_command.empty()) {
    status = channel_.Send(std::string(time_command) + " " + std::string(from));
    if (!status.ok()) return status;
  }
  status = channel_.Send("RNFR " + std::string(from));
  if (status.ok()) status = channel_.Send("RNTO " + std::string(to));
  if (!status.ok()) return status;
  Reply time_reply;
  if (!time_command.empty()) {
    status = ReadFinalReply();
    if (!status.ok()) return status;
    time_status = TimeCommandOutcome(Completed(status), time_command.starts_with("MDTM"));
    time_reply = last_reply_;
  }
  status = ReadFinalReply();
  if (!status.ok()) return status;
  const Reply from_reply = last_reply_;
  status = ReadFinalReply();  // RNTO's, answered even when RNFR was refused
  if (!status.ok()) return status;
  if (!from_reply.intermediate()) {
    last_reply_ = from_reply;  // the refusal that matters
    return Status(ERROR_INTERNET_EXTENDED_ERROR);
  }
  status = Completed(status);
  rename_target_refused_ = !status.ok() && last_reply_.code >= 500 && last_reply_.code < 600;
  if (status.ok() && !time_status.ok() && !time_command.empty()) last_reply_ = time_reply;
  return status;
}

Status FtpConnection::CurrentDirectory(std::string& path) {
  Status status = Ready();
  if (!status.ok()) return status;
  status = Completed(Execute("PWD"));
  if (!status.ok()) return status;
  std::optional<std::string> parsed = ParseQuotedPath(last_reply_.text);
  if (!parsed) return Status(win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE);
  path = std::move(*parsed);
  return Status::Ok();
}

Status FtpConnection::SetType(TransferType type) {
  if (current_type_ == type) return Status::Ok();
  const Status status =
      Completed(Execute(type == TransferType::Ascii ? "TYPE A" : "TYPE I"));
  if (status.ok()) current_type_ = type;
  return status;
}

Status FtpConnection::ConnectData(PendingData& pending) {
  const std::chrono::milliseconds timeout = parameters_.options.connect_timeout;
  ConnectedStream connected;
  if (parameters_.proxy) {
    connected = environment_->Connect(parameters_.host, *pending.passive_port, parameters_.proxy, timeout);
  } else {
    SocketAddress target = peer_address_;
    target.set_port(*pending.passive_port);
    connected = environment_->Connect(target, timeout);
  }
  if (!connected.status.ok()) return connected.status;
  pending.stream = std::move(connected.stream);
  return Status::Ok();
}

Status FtpConnection::PrepareData(PendingData& pending) {
  if (parameters_.passive || parameters_.proxy) {
    std::optional<std::uint16_t> port;
    if (!extended_passive_refused_) {
      Status status = Execute("EPSV");
      if (!status.ok()) return status;
      if (last_reply_.code == 229) {
        port = ParseExtendedPassivePort(last_reply_.text);
      } else if (last_reply_.code >= 500) {
        extended_passive_refused_ = true;
      } else {
        return Status(ERROR_INTERNET_EXTENDED_ERROR);
      }
    }
    if (!port && extended_passive_refused_) {
      Status status = Execute("PASV");
      if (!status.ok()) return status;
      if (last_reply_.code != 227) return Status(ERROR_FTP_NO_PASSIVE_MODE);
      port = ParsePassivePort(last_reply_.text);
    }
    if (!port) return Status(win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE);
    pending.passive_port = port;
    return Status::Ok();
  }

  Status status = environment_->Listen(local_address_, pending.listener);
  if (!status.ok()) return status;
  const SocketAddress& address = pending.listener->address();
  if (!extended_port_refused_) {
    const std::string command = "EPRT |" + std::string(address.is_ipv6() ? "2" : "1") +
                                "|" + address.Numeric() + "|" +
                                std::to_string(address.port()) + "|";
    status = Execute(command);
    if (!status.ok()) return status;
    if (last_reply_.completed()) return Status::Ok();
    if (last_reply_.code < 500 || address.is_ipv6()) {
      return Status(ERROR_INTERNET_EXTENDED_ERROR);
    }
    extended_port_refused_ = true;
  }
  std::string numbers = address.Numeric();
  std::replace(numbers.begin(), numbers.end(), '.', ',');
  return Completed(Execute("PORT " + numbers + "," +
                           std::to_string(address.port() >> 8) + "," +
                           std::to_string(address.port() & 0xff)));
}

Status FtpConnection::DataConnectionFailed(Status failure) {
  // The server may have answered the command already (a 421 as it went
  // away, a 425): that says more than the failed connection, and an answer
  // that is not preliminary keeps the dialogue in step. A server that has
  // not answered waits for a connection that will not come; what it says
  // next, and when, is unknown, so the control connection is given up.
  if (failure.error() != win32::ERROR_INTERNET_OPERATION_CANCELLED) {
    channel_.set_reply_timeout(std::min(kAnswerGrace, parameters_.options.reply_timeout));
    const Status answered = ReadReply();
    channel_.set_reply_timeout(parameters_.options.reply_timeout);
    if (answered.ok() && !last_reply_.preliminary()) {
      // "425 no data connection": a server that did not wait, and closed
      // its port before the connection came. Asked again connecting first.
      if (last_reply_.code == 425) command_first_refused_ = true;
      return Status(ERROR_INTERNET_EXTENDED_ERROR);
    }
    if (answered.error() == ERROR_FTP_DROPPED && last_reply_.code == 421) return answered;
  }
  channel_.Break();
  return failure;
}

Status FtpConnection::OpenData(std::string_view command, bool command_first,
                               std::unique_ptr<Stream>& data) {
  bool refused_before = command_first_refused_;
  for (;;) {
    PendingData pending;
    pending.command_first = command_first;
    Status status = PrepareData(pending);
    if (!status.ok()) return status;
    status = StartDataCommand(command, pending, data);
    if (status.ok() || refused_before || !command_first_refused_) return status;
    refused_before = true;  // once more, connecting first
  }
}

Status FtpConnection::StartDataCommand(std::string_view command,
                                       PendingData& pending,
                                       std::unique_ptr<Stream>& data) {
  // Servers wait for the passive connection once they have the command, so
  // the two may be under way together: that saves a round trip per
  // transfer. It is done only where the caller allows it and while the
  // server has not shown that it will not wait.
  const bool command_first = pending.passive_port && pending.command_first && !command_first_refused_;
  Status status;
  if (pending.passive_port && !command_first) {
    status = ConnectData(pending);
    if (!status.ok()) return status;
  }
  status = channel_.Send(command);
  if (!status.ok()) return status;
  if (command_first) {
    status = ConnectData(pending);
    if (!status.ok()) return DataConnectionFailed(status);
  }
  status = ReadReply();
  if (!status.ok()) return status;
  if (!last_reply_.preliminary()) {
    // "425 no data connection" to a command that came before its
    // connection: this server does not wait. The caller may try again in
    // the usual order.
    if (command_first && last_reply_.code == 425) command_first_refused_ = true;
    return Status(ERROR_INTERNET_EXTENDED_ERROR);
  }
  if (pending.listener) {
    // Only the server may connect: a connection from any other address is
    // someone else's attempt to feed or steal the data, and is dropped.
    const std::string server_address = peer_address_.Numeric();
    const auto deadline = environment_->Now() + parameters_.options.data_timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - environment_->Now());
      ConnectedStream accepted = pending.listener->Accept(
          std::max(left, std::chrono::milliseconds(0)));
      if (!accepted.status.ok()) {
        // The server could not reach us; its control connection is now in an
        // unknown state.
        channel_.Break();
        return accepted.status;
      }
      if (accepted.peer.Numeric() == server_address) {
        data = std::move(accepted.stream);
        break;
      }
    }
  } else {
    data = std::move(pending.stream);
  }
  return tls_ ? SecureData(data) : Status::Ok();
}

Status FtpConnection::List(std::string_view path, RemoteEntries& entries) {
  return ListInto(path, entries, nullptr);
}

Status FtpConnection::List(std::string_view path, const EntrySink& sink) {
  RemoteEntries held;
  Status status = ListInto(path, held, &sink);
  if (!status.ok()) return status;
  // Each entry leaves as it goes on, so the caller's items take the place
  // of the listing instead of adding to it.
  for (; !held.empty(); held.pop_front()) {
    if (!sink(held.front())) return Status(win32::ERROR_INTERNET_OPERATION_CANCELLED);
  }
  return status;
}

Status FtpConnection::ListInto(std::string_view path, RemoteEntries& entries, const EntrySink* sink) {
  entries.clear();
  omissions_.clear();
  if (!IsSafeArgument(path)) return Status(ERROR_INVALID_NAME);
  Status status = Ready();
  if (!status.ok()) return status;
  if (mlsd_) {
    // Counted, so that a refusal after entries went on is never answered
    // by listing again: the sink would get the folder twice.
    std::size_t handed_on = 0;
    const EntrySink counted = [&](RemoteEntry& entry) {
      ++handed_on;
      return (*sink)(entry);
    };
    status = ListWith("MLSD", path, entries, omissions_, sink != nullptr ? &counted : nullptr);
    // A server that announced MLST but refuses MLSD: fall back for good.
    if (status.error() != ERROR_INTERNET_EXTENDED_ERROR || handed_on > 0 ||
        (last_reply_.code != 500 && last_reply_.code != 502)) {
      if (status.ok()) status = SizeLinks(path, entries);
      if (!status.ok()) {
        entries.clear();
        omissions_.clear();
      }
      return status;
    }
    mlsd_ = false;
    entries.clear();
    omissions_.clear();
  }
  if (list_all_ == Probe::Refused) {
    return SizedLinks(path, entries, ListWith("LIST", path, entries, omissions_, sink));
  }
  const auto navigation = [](const RemoteEntry& entry) {
    return (entry.name == "." || entry.name == "..") && (entry.attributes & kAttributeDirectory) != 0;
  };
  if (list_all_ == Probe::Understood && sink != nullptr) {
    return SizedLinks(path, entries, ListWith("LIST -a", path, entries, omissions_, sink, true));
  }
  // Until "-a" is settled a listing is kept whole: the probe needs all of it.
  status = ListWith("LIST -a", path, entries, omissions_);
  if (list_all_ == Probe::Understood) {
    if (status.ok()) std::erase_if(entries, navigation);
    return SizedLinks(path, entries, status);
  }
  // The probe: only an `ls -a` style listing shows the folder's own "."; a
  // server that took "-a" for a name lists something else, or nothing. That
  // something else can only be a folder called "-a" (ProveListAllOption);
  // where there may be one, a plain listing decides, and a server that
  // shows "." in plain listings too proves nothing either way.
  const bool dot_shown =
      status.ok() && std::any_of(entries.begin(), entries.end(), [](const RemoteEntry& entry) {
        return entry.name == "." && (entry.attributes & kAttributeDirectory) != 0;
      });
  if (!status.ok() && !channel_.usable()) {
    entries.clear();
    omissions_.clear();
    return status;
  }
  if (dot_shown && path.empty()) {
    bool proven = false;
    status = ProveListAllOption(proven);
    if (!status.ok()) {
      entries.clear();
      omissions_.clear();
      return status;
    }
    if (proven) {
      list_all_ = Probe::Understood;
      std::erase_if(entries, navigation);
      return SizedLinks(path, entries, Status::Ok());
    }
  }
  RemoteEntries plain;
  std::vector<OmittedEntry> plain_omissions;
  status = Ready();
  if (status.ok()) status = ListWith("LIST", path, plain, plain_omissions);
  if (!status.ok()) {
    entries.clear();
    omissions_.clear();
    return status;
  }
  const bool plain_dot_shown = std::any_of(plain.begin(), plain.end(), [](const RemoteEntry& entry) {
    return entry.name == "." && (entry.attributes & kAttributeDirectory) != 0;
  });
  if (dot_shown && !plain_dot_shown) {
    list_all_ = Probe::Understood;
    std::erase_if(entries, navigation);
    return SizedLinks(path, entries, status);
  }
  list_all_ = Probe::Refused;
  entries = std::move(plain);
  omissions_ = std::move(plain_omissions);
  return SizedLinks(path, entries, status);
}

Status FtpConnection::ProveListAllOption(bool& proven) {
  // "LIST -a" of the current folder showed "."; a server that took "-a" for
  // a name would have listed a folder called "-a" there. Without such a
  // folder the option was understood: a round trip or two, where a second,
  // plain listing of a large folder would cost as much as the first.
  proven = false;
  std::string here;
  Status status = CurrentDirectory(here);
  if (!status.ok()) return channel_.usable() ? Status::Ok() : status;
  status = ExecuteWithPath("CWD", "-a");
  if (status.error() == ERROR_INTERNET_EXTENDED_ERROR && last_reply_.code >= 500 && last_reply_.code < 600) {
    proven = true;
    return Status::Ok();
  }
  if (!channel_.usable()) return status;
  // There is such a folder, or the answer says nothing: back to where the
  // listing was made (by the name the server gave it), and the plain
  // listing decides. Not being back there fails the listing.
  if (status.ok()) return ExecuteWithPath("CWD", here);
  return Status::Ok();
}

Status FtpConnection::SizedLinks(std::string_view path, RemoteEntries& entries, Status status) {
  if (status.ok()) status = SizeLinks(path, entries);
  if (!status.ok()) {
    entries.clear();
    omissions_.clear();
  }
  return status;
}

Status FtpConnection::SizeLinks(std::string_view path, RemoteEntries& entries) {
  for (RemoteEntry& entry : entries) {
    if ((entry.attributes & kAttributeReparsePoint) == 0) continue;
    std::string target(path);
    if (!target.empty() && target.back() != '/') target.push_back('/');
    target.append(entry.name);
    if (!IsSafeArgument(target)) continue;
    // Several servers count bytes for SIZE only in binary mode.
    Status status = SetType(TransferType::Binary);
    if (!status.ok()) return status.error() == ERROR_INTERNET_EXTENDED_ERROR ? Status::Ok() : status;
    status = Execute("SIZE " + target);
    if (!status.ok()) return status;  // the connection failed: so does the listing
    // 213 and the size; anything else (a link to a folder, a dangling link)
    // leaves the listed size, and a download that finds more data fails.
    if (last_reply_.code != 213 || last_reply_.text.size() < 5) continue;
    std::uint64_t size = 0;
    const char* first = last_reply_.text.data() + 4;
    const char* last = last_reply_.text.data() + last_reply_.text.size();
    const auto [end, error] = std::from_chars(first, last, size);
    if (error == std::errc() && (end == last || *end == '\r' || *end == ' ')) entry.size = size;
  }
  return Status::Ok();
}

Status FtpConnection::ModificationTime(std::string_view path, CivilTime& utc) {
  if (!mdtm_) return Status(win32::ERROR_INTERNET_INVALID_OPERATION);
  const Status status = ExecuteWithPath("MDTM", path);
  if (!status.ok()) return status;
  std::optional<CivilTime> parsed = ParseModificationTime(last_reply_.text);
  if (!parsed || last_reply_.code != 213) {
    return Status(win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE);
  }
  utc = *parsed;
  return Status::Ok();
}

Status FtpConnection::SetModificationTime(std::string_view path, const CivilTime& utc) {
  if (!mfmt_ && (!mdtm_ || mdtm_set_ == Probe::Refused)) {
    return Status(win32::ERROR_INTERNET_INVALID_OPERATION);
  }
  const std::string command = TimeCommand(utc);
  if (command.empty()) return Status(ERROR_INVALID_NAME);
  return TimeCommandOutcome(ExecuteWithPath(command, path), command.starts_with("MDTM"));
}

std::string FtpConnection::TimeCommand(const CivilTime& utc) const {
  if (!mfmt_ && (!mdtm_ || mdtm_set_ == Probe::Refused)) return {};
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", utc.year, utc.month, utc.day,
                utc.hour, utc.minute, utc.second);
  if (std::string_view(stamp).size() != 14) return {};
  return std::string(mfmt_ ? "MFMT " : "MDTM ") + stamp;
}

Status FtpConnection::TimeCommandOutcome(Status status, bool mdtm_form) {
  if (!mdtm_form) return status;
  if (status.ok()) {
    mdtm_set_ = Probe::Understood;
  } else if (status.error() == ERROR_INTERNET_EXTENDED_ERROR && mdtm_set_ == Probe::Untried &&
             last_reply_.code >= 500) {
    mdtm_set_ = Probe::Refused;
    return Status(win32::ERROR_INTERNET_INVALID_OPERATION);
  }
  return status;
}

Status FtpConnection::ListWith(std::string_view verb, std::string_view path,
                               RemoteEntries& entries, std::vector<OmittedEntry>& omitted,
                               const EntrySink* sink, bool without_navigation) {
  omitted.clear();
  std::string command(verb);
  if (!path.empty()) command.append(" ").append(path);
  std::unique_ptr<Stream> data;
  Status status = OpenData(command, true, data);
  if (status.error() == ERROR_INTERNET_EXTENDED_ERROR && last_reply_.completed() &&
      !ContainsCaseInsensitive(last_reply_.text, "truncated")) {
    return Status::Ok();  // "226 no files" without a data connection: empty
  }
  if (!status.ok()) return status;

  const bool machine_listing = verb == "MLSD";
  const CivilTime now = environment_->LocalNow();
  std::string line;
  bool overlong = false;
  char buffer[16 * 1024];
  Status data_status;
  // Each read is bounded, and so is the whole listing: one that takes longer
  // than a data time limit must bring at least kMinimumListingProgress bytes
  // in every such window, or a server trickling a byte at a time would keep
  // it going for ever.
  const std::chrono::milliseconds window = parameters_.options.data_timeout;
  auto window_start = environment_->Now();
  std::size_t window_bytes = 0;
  bool stopped = false;  // the sink wants no more
  const auto take_line = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::optional<ListingEntry> parsed =
        machine_listing ? ParseMlsdLineAsListed(line) : ParseListLineAsListed(line, now);
    if (!parsed) return;
    if (std::optional<RemoteEntry> entry = ToRemoteEntry(*parsed)) {
      if (sink == nullptr || (entry->attributes & kAttributeReparsePoint) != 0) {
        entries.push_back(std::move(*entry));
      } else if (without_navigation && (entry->name == "." || entry->name == "..") &&
                 (entry->attributes & kAttributeDirectory) != 0) {
        return;
      } else if (!(*sink)(*entry)) {
        stopped = true;
      }
    } else if (std::optional<OmittedEntry> left_out = OmissionOf(*parsed)) {
      omitted.push_back(std::move(*left_out));
    }
  };
  for (;;) {
    const ReadResult result =
        data->ReadSome(buffer, sizeof buffer, parameters_.options.data_timeout);
    if (!result.status.ok()) {
      data_status = result.status;
      break;
    }
    if (result.bytes == 0) break;
    window_bytes += result.bytes;
    if (environment_->Now() - window_start >= window) {
      if (window_bytes < kMinimumListingProgress) {
        data_status = Status(win32::ERROR_INTERNET_TIMEOUT);
        break;
      }
      window_start = environment_->Now();
      window_bytes = 0;
    }
    std::string_view piece(buffer, result.bytes);
    while (!piece.empty() && !stopped) {
      const std::size_t end = piece.find('\n');
      const std::string_view part = piece.substr(0, end);
      if (!overlong) line.append(part);
      if (line.size() > kMaximumListingLine) {
        overlong = true;  // skip the rest of this line
        line.clear();
      }
      if (end == std::string_view::npos) break;
      piece.remove_prefix(end + 1);
      if (!overlong) take_line();
      overlong = false;
      line.clear();
    }
    if (stopped) break;
  }
  // A server may leave out the line end of its last line; the final reply
  // below still decides whether the listing is whole.
  if (data_status.ok() && !stopped && !overlong && !line.empty()) take_line();
  if (stopped) data_status = Status(win32::ERROR_INTERNET_OPERATION_CANCELLED);
  data.reset();
  if (!data_status.ok()) {
    // A listing whose data was not read to its end (cut, stalled, or given
    // up by its caller): the connection goes with it. Some servers
    // (pure-ftpd) send the unsent rest of such a listing inside the next
    // listing on the same connection, which would then name entries twice
    // and still be confirmed; a new connection starts clean.
    transfer_in_progress_ = false;
    channel_.Break();
    entries.clear();
    omitted.clear();
    return data_status;
  }
  status = ReadReply();
  if (status.ok() && (!last_reply_.completed() ||
                      ContainsCaseInsensitive(last_reply_.text, "truncated"))) {
    // A listing the server cut short must not look like the whole folder.
    status = Status(ERROR_INTERNET_EXTENDED_ERROR);
  }
  if (!status.ok()) {
    entries.clear();
    omitted.clear();
  }
  return status;
}

Status FtpConnection::OpenFile(std::string_view path, TransferDirection direction,
                               TransferType type,
                               std::unique_ptr<FileTransfer>& transfer, bool new_file) {
  transfer.reset();
  if (!IsSafeArgument(path)) return Status(ERROR_INVALID_NAME);
  Status status = Ready();
  if (!status.ok()) return status;
  status = SetType(type);
  if (!status.ok()) return status;
  std::string command(direction == TransferDirection::Download ? "RETR " : "STOR ");
  command.append(path);
  std::unique_ptr<Stream> data;
  // STOR goes out before its connection only onto a new file of the
  // caller's own: should the connection then fail, the server may have
  // made (or emptied) the file already.
  status = OpenData(command, direction == TransferDirection::Download || new_file, data);
  if (!status.ok()) return status;
  transfer_in_progress_ = true;
  transfer = std::make_unique<FileTransfer>(shared_from_this(), std::move(data),
                                            direction, type);
  return Status::Ok();
}

Status FtpConnection::FinishTransfer() {
  transfer_in_progress_ = false;
  const Status status = ReadReply();
  return Completed(status);
}

void FtpConnection::AbortTransfer() {
  transfer_in_progress_ = false;
  if (!channel_.usable()) return;
  if (CancellationRequested()) {
    channel_.Break();
    return;
  }
  // The data connection is closed already. The server answers ABOR with one
  // or two replies (426 for the transfer, then 225/226), or the transfer had
  // just completed and its 226 comes first. ABOR goes alone: some servers
  // read it inside their transfer loop and drop whatever arrived with it.
  // Once the server has answered, a NOOP follows; its 200 marks the end of
  // whatever the server had to say, so the next command reads its own reply.
  if (!channel_.Send("ABOR").ok() || !ReadReply().ok()) return;
  if (!channel_.Send("NOOP").ok()) return;
  for (int replies = 0; replies < 4; ++replies) {
    if (!ReadReply().ok()) return;
    if (last_reply_.code == 200) return;
  }
  channel_.Break();  // never in step again
}

}  // namespace orvex::inet
