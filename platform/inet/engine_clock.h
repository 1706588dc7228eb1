#pragma once
// The clocks of the engine: the monotonic one every time limit of a session
// is measured on, and the local calendar time that listings without a year
// are read against. A session reads both through its environment
// (network_environment.h), so a test can run its time limits on a clock of
// its own.

#include <chrono>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet {

class EngineClock {
 public:
  virtual ~EngineClock() = default;
  // Never goes backwards.
  virtual std::chrono::steady_clock::time_point Now() const = 0;
  virtual CivilTime LocalNow() const = 0;
};

// The system's clocks; lives as long as the program.
const EngineClock& SystemClock();

}  // namespace orvex::inet
