#pragma once
// --limit-rate: one budget of bytes per second for a whole run, shared by
// all of its transfers (parallel ones included).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvex::cli {

// "500k", "2M", "1.5m", "100000" (bytes per second; k = 1024, M = 1024^2,
// G = 1024^3, an optional "B" or "/s" after the unit). nullopt for anything
// else, zero included.
std::optional<std::uint64_t> ParseRate(const std::string& text);

class RateLimit {
 public:
  // 0: no limit.
  explicit RateLimit(std::uint64_t bytes_per_second = 0) : rate_(bytes_per_second) {}

  // Called after `bytes` more have moved: waits until the run as a whole is
  // back within its budget. Each wait is bounded by what those bytes need,
  // and ends early when `stop` turns true.
  template <class Stop>
  void Take(std::uint64_t bytes, Stop stop) {
    if (rate_ == 0 || bytes == 0) return;
    std::chrono::steady_clock::time_point due;
    {
      std::lock_guard lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      // Time not used while nothing moved is not saved up beyond a quarter
      // of a second, so a pause is not followed by a burst.
      if (next_ < now - std::chrono::milliseconds(250)) next_ = now - std::chrono::milliseconds(250);
      next_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(static_cast<double>(bytes) / static_cast<double>(rate_)));
      due = next_;
    }
    while (std::chrono::steady_clock::now() < due && !stop()) {
      const auto left = due - std::chrono::steady_clock::now();
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
    }
  }

 private:
  const std::uint64_t rate_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point next_{};
};

}  // namespace orvex::cli
