#pragma once
// Time limits of the engine. Every wait is bounded by one of them: connecting
// (including a proxy's handshake), each reply on the control connection, and
// each read or write on a data connection (a transfer may take as long as it
// makes progress).

#include <chrono>

namespace orvex::inet {

struct Options {
  std::chrono::milliseconds connect_timeout{30'000};
  std::chrono::milliseconds reply_timeout{60'000};
  std::chrono::milliseconds data_timeout{60'000};
};

// The limits new sessions start with; tests shorten them.
Options DefaultOptions();
void SetDefaultOptions(const Options& options);

}  // namespace orvex::inet
