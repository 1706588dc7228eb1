#include "platform/inet/control_channel.h"

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

// What a trace shows of a command: secrets masked.
std::string_view Shown(std::string_view command, std::string& masked) {
  for (std::string_view secret : {"PASS", "ACCT"}) {
    if (command.size() < secret.size()) continue;
    bool same = true;
    for (std::size_t index = 0; index < secret.size(); ++index) {
      char character = command[index];
      if (character >= 'a' && character <= 'z') character = static_cast<char>(character - 'a' + 'A');
      same = same && character == secret[index];
    }
    if (same && (command.size() == secret.size() || command[secret.size()] == ' ')) {
      masked = std::string(command.substr(0, secret.size())) + " ****";
      return masked;
    }
  }
  return command;
}

}  // namespace

ControlChannel::ControlChannel(std::unique_ptr<Stream> stream,
                               std::chrono::milliseconds reply_timeout)
    : stream_(std::move(stream)), reply_timeout_(reply_timeout) {}

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
  if (trace_) trace_(TraceDirection::Sent, Shown(command, line));
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
        return Status::Ok();
      }
    }
    line.append(buffer_ + buffer_start_, buffer_end_ - buffer_start_);
    buffer_start_ = buffer_end_ = 0;
    if (line.size() > kMaximumLineLength) {
      return Fail(Status(ERROR_INTERNET_INVALID_SERVER_RESPONSE));
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return Fail(Status(ERROR_INTERNET_TIMEOUT));
    const ReadResult result = stream_->ReadSome(buffer_, sizeof buffer_, left);
    if (!result.status.ok()) return Fail(result.status);
    if (result.bytes == 0) return Fail(Status(ERROR_INTERNET_CONNECTION_ABORTED));
    buffer_end_ = result.bytes;
  }
}

Status ControlChannel::ReadReply(Reply& reply) {
  if (!stream_) return Status(ERROR_FTP_DROPPED);
  const Clock::time_point deadline = Clock::now() + reply_timeout_;
  std::string line;
  Status status = ReadLine(line, deadline);
  if (!status.ok()) return status;
  if (trace_) trace_(TraceDirection::Received, line);
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
      if (trace_) trace_(TraceDirection::Received, line);
      reply.text.append("\r\n").append(line);
      if (line.compare(0, 4, end_marker) == 0 || line == end_marker.substr(0, 3)) {
        break;
      }
    }
  }
  return Status::Ok();
}

}  // namespace orvex::inet
