#include "platform/inet/control_channel.h"

#include <algorithm>
#include <vector>

namespace orvex::inet {
namespace {

using Clock = std::chrono::steady_clock;
using win32::ERROR_FTP_DROPPED;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE;
using win32::ERROR_INTERNET_TIMEOUT;
using win32::ERROR_INVALID_NAME;

bool IsDigit(char character) { return character >= '0' && character <= '9'; }

bool StartsWithCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) &&
         IsDigit(line[2]);
}

// What a trace shows of a command: secrets masked. `argument` receives the
// secret itself (empty for any other command).
std::string_view Shown(std::string_view command, std::string& masked, std::string& argument) {
  for (std::string_view verb : {"PASS", "ACCT"}) {
    if (command.size() < verb.size()) continue;
    bool same = true;
    for (std::size_t index = 0; index < verb.size(); ++index) {
      char character = command[index];
      if (character >= 'a' && character <= 'z') character = static_cast<char>(character - 'a' + 'A');
      same = same && character == verb[index];
    }
    if (same && (command.size() == verb.size() || command[verb.size()] == ' ')) {
      masked = std::string(command.substr(0, verb.size())) + " ****";
      argument = command.size() > verb.size() ? std::string(command.substr(verb.size() + 1)) : std::string();
      return masked;
    }
  }
  return command;
}

// A reply line as a trace shows it: a server that repeats the password or
// account back ("530 Wrong password secret") has it masked too. The reply
// code stays readable.
std::string_view ShownReply(std::string_view line, const std::vector<std::string>& secrets, std::string& masked) {
  const std::size_t text_start = StartsWithCode(line) ? std::min<std::size_t>(line.size(), 4) : 0;
  bool changed = false;
  masked.assign(line);
  for (const auto& secret : secrets) {
    for (std::size_t at = masked.find(secret, text_start); at != std::string::npos;
         at = masked.find(secret, at + 4)) {
      masked.replace(at, secret.size(), "****");
      changed = true;
    }
  }
  return changed ? std::string_view(masked) : line;
}

}  // namespace

ControlChannel::ControlChannel(std::unique_ptr<Stream> stream,
                               std::chrono::milliseconds reply_timeout,
                               const EngineClock& clock)
    : stream_(std::move(stream)), reply_timeout_(reply_timeout), clock_(&clock) {}

void ControlChannel::Break() { stream_.reset(); }

std::unique_ptr<Stream> ControlChannel::TakeStream() {
  if (buffer_start_ != buffer_end_) return nullptr;
  return std::move(stream_);
}

void ControlChannel::PutStream(std::unique_ptr<Stream> stream) {
  buffer_start_ = buffer_end_ = 0;
  stream_ = std::move(stream);
}

Status ControlChannel::Fail(Status status) {
  Break();
  return status;
}

Status ControlChannel::Send(std::string_view command) {
  if (command.find_first_of(std::string_view("\r\n\0", 3)) !=
      std::string_view::npos) {
    return Status(ERROR_INVALID_NAME);
  }
  if (!stream_) return Status(ERROR_FTP_DROPPED);
  std::string line;
  if (trace_) {
    std::string secret;
    trace_(TraceDirection::Sent, Shown(command, line, secret));
    if (!secret.empty() && std::find(secrets_.begin(), secrets_.end(), secret) == secrets_.end()) {
      secrets_.push_back(std::move(secret));
    }
  }
  line.clear();
  line.reserve(command.size() + 2);
  line.append(command).append("\r\n");
  const Status status = stream_->WriteAll(line.data(), line.size(), reply_timeout_);
  return status.ok() ? status : Fail(status);
}

Status ControlChannel::ReadLine(std::string& line, Clock::time_point deadline) {
  line.clear();
  for (;;) {
    for (std::size_t index = buffer_start_; index < buffer_end_; ++index) {
      if (buffer_[index] == '\n') {
        line.append(buffer_ + buffer_start_, index - buffer_start_);
        buffer_start_ = index + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // The same limit however the line arrived: whole, or in pieces.
        if (line.size() > kMaximumLineLength) {
          return Fail(Status(ERROR_INTERNET_INVALID_SERVER_RESPONSE));
        }
        return Status::Ok();
      }
    }
    line.append(buffer_ + buffer_start_, buffer_end_ - buffer_start_);
    buffer_start_ = buffer_end_ = 0;
    if (line.size() > kMaximumLineLength + 1) {  // room for the CR of the line end
      return Fail(Status(ERROR_INTERNET_INVALID_SERVER_RESPONSE));
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - clock_->Now());
    if (left.count() <= 0) return Fail(Status(ERROR_INTERNET_TIMEOUT));
    const ReadResult result = stream_->ReadSome(buffer_, sizeof buffer_, left);
    if (!result.status.ok()) return Fail(result.status);
    if (result.bytes == 0) return Fail(Status(ERROR_INTERNET_CONNECTION_ABORTED));
    buffer_end_ = result.bytes;
  }
}

Status ControlChannel::ReadReply(Reply& reply) {
  if (!stream_) return Status(ERROR_FTP_DROPPED);
  const Clock::time_point deadline = clock_->Now() + reply_timeout_;
  std::string line;
  Status status = ReadLine(line, deadline);
  if (!status.ok()) return status;
  std::string shown;
  if (trace_) trace_(TraceDirection::Received, ShownReply(line, secrets_, shown));
  if (!StartsWithCode(line) || (line.size() > 3 && line[3] != ' ' && line[3] != '-') ||
      line[0] < '1' || line[0] > '5') {
    return Fail(Status(ERROR_INTERNET_INVALID_SERVER_RESPONSE));
  }
  reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  reply.text = line;
  if (line.size() > 3 && line[3] == '-') {
    const std::string end_marker = line.substr(0, 3) + " ";
    for (std::size_t count = 1;; ++count) {
      if (count >= kMaximumReplyLines) {
        return Fail(Status(ERROR_INTERNET_INVALID_SERVER_RESPONSE));
      }
      status = ReadLine(line, deadline);
      if (!status.ok()) return status;
      if (trace_) trace_(TraceDirection::Received, ShownReply(line, secrets_, shown));
      reply.text.append("\r\n").append(line);
      if (line.compare(0, 4, end_marker) == 0 || line == end_marker.substr(0, 3)) {
        break;
      }
    }
  }
  return Status::Ok();
}

}  // namespace orvex::inet
