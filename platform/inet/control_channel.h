#pragma once
// The FTP control connection: sends one command line and reads replies.
//
// Replies follow RFC 959, including multi-line replies ("123-" ... "123 ").
// Sizes are bounded: a line longer than kMaximumLineLength (its line end not
// counted, however the line arrives), a reply of more than
// kMaximumReplyLines lines or a reply that is not FTP makes the channel
// broken (ERROR_INTERNET_INVALID_SERVER_RESPONSE) instead of growing memory.
// A channel that failed once (closed, reset, timed out, broken) stays failed:
// every later call returns ERROR_FTP_DROPPED at once, so the caller can
// reconnect instead of reading a reply that belongs to an earlier command.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inet/engine_clock.h"
#include "platform/inet/reply.h"
#include "platform/inet/status.h"
#include "platform/inet/stream.h"

namespace orvex::inet {

// One line of the dialogue as it passes: a command as sent (without CR LF;
// the argument of PASS and ACCT replaced by "****") or a reply line as
// received (with any PASS or ACCT argument sent on this channel replaced by
// "****" as well, should the server repeat it).
enum class TraceDirection { Sent, Received };
using ControlTrace = std::function<void(TraceDirection direction, std::string_view line)>;

class ControlChannel {
 public:
  static constexpr std::size_t kMaximumLineLength = 8 * 1024;
  static constexpr std::size_t kMaximumReplyLines = 2000;

  // The reply time limit is measured on `clock`, which must outlive the
  // channel.
  ControlChannel(std::unique_ptr<Stream> stream,
                 std::chrono::milliseconds reply_timeout,
                 const EngineClock& clock = SystemClock());

  // Sends "command CR LF". The command must not contain CR, LF or NUL (the
  // caller checks names; this refuses with ERROR_INVALID_NAME as a last line
  // of defence).
  Status Send(std::string_view command);
  // Reads the next complete reply; the whole reply must arrive within the
  // reply time limit.
  Status ReadReply(Reply& reply);

  bool usable() const { return stream_ != nullptr; }
  void set_reply_timeout(std::chrono::milliseconds timeout) {
    reply_timeout_ = timeout;
  }
  // Ends the connection; later calls fail with ERROR_FTP_DROPPED.
  void Break();
  // Sees every line from now on; empty (the default) for none.
  void set_trace(ControlTrace trace) { trace_ = std::move(trace); }

  // Hands the stream out to be wrapped (TLS) and takes the wrapped one back.
  // Bytes the server sent beyond the last reply would belong to neither:
  // TakeStream refuses (nullptr) while any are buffered.
  std::unique_ptr<Stream> TakeStream();
  void PutStream(std::unique_ptr<Stream> stream);

 private:
  Status ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline);
  Status Fail(Status status);

  std::unique_ptr<Stream> stream_;
  std::chrono::milliseconds reply_timeout_;
  const EngineClock* clock_;
  ControlTrace trace_;
  // The PASS and ACCT arguments sent while tracing, masked in the replies.
  std::vector<std::string> secrets_;
  char buffer_[4096];
  std::size_t buffer_start_ = 0;
  std::size_t buffer_end_ = 0;
};

}  // namespace orvex::inet
