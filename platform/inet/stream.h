#pragma once
// A byte stream the protocol code reads and writes: the control connection
// and every data connection are one of these. Plain TCP is one implementation;
// a TLS stream wraps another Stream the same way.
//
// Every call waits at most `timeout`; an elapsed wait is
// ERROR_INTERNET_TIMEOUT, a peer's orderly close is a read of 0 bytes, a reset
// is ERROR_INTERNET_CONNECTION_RESET.

#include <chrono>
#include <cstddef>

#include "platform/inet/status.h"

namespace orvex::inet {

struct ReadResult {
  Status status;
  std::size_t bytes = 0;  // 0 with an ok status: the peer closed its side
};

class Stream {
 public:
  virtual ~Stream() = default;

  // Reads what is available, at least one byte unless the peer closed.
  virtual ReadResult ReadSome(void* buffer, std::size_t size,
                              std::chrono::milliseconds timeout) = 0;
  // Writes all bytes or fails; `timeout` bounds each wait for progress.
  virtual Status WriteAll(const void* data, std::size_t size,
                          std::chrono::milliseconds timeout) = 0;
  // Tells the peer that nothing more will be sent (end of an upload).
  virtual void ShutdownWrite() = 0;
};

}  // namespace orvex::inet
