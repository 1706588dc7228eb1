#include "platform/inet/cancellation.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>

namespace orvex::inet {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> watched_descriptor{-1};
std::atomic<std::int64_t> grace_nanoseconds{0};
// When a request was first noticed (steady clock, nanoseconds); 0: none.
std::atomic<std::int64_t> noticed_at{0};

std::int64_t Nanoseconds(Clock::time_point moment) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count();
}

Clock::time_point FromNanoseconds(std::int64_t nanoseconds) {
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

bool Readable(int descriptor) {
  pollfd entry{descriptor, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0 && entry.revents != 0;
}

void Notice() {
  std::int64_t none = 0;
  noticed_at.compare_exchange_strong(none, Nanoseconds(Clock::now()));
}

int RemainingMilliseconds(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 1'000'000'000 ? 1'000'000'000 : static_cast<int>(left.count());
}

}  // namespace

void WatchForCancellation(int descriptor, std::chrono::milliseconds grace) {
  grace_nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(grace).count();
  noticed_at = 0;
  watched_descriptor = descriptor;
}

bool CancellationRequested() {
  const int descriptor = watched_descriptor.load();
  return descriptor >= 0 && Readable(descriptor);
}

bool CancellationNoticed() {
  if (!CancellationRequested()) return false;
  Notice();
  return true;
}

WaitLimit BeginWait(Clock::time_point deadline) {
  WaitLimit limit{deadline, watched_descriptor.load() >= 0, false};
  if (!limit.watch) return limit;
  std::int64_t noticed = noticed_at.load();
  if (noticed == 0) return limit;
  if (!CancellationRequested()) {
    // Drained: the request is over.
    noticed_at.compare_exchange_strong(noticed, 0);
    return limit;
  }
  // A wait after the request: tidying up, within the grace period.
  limit.watch = false;
  const Clock::time_point end = FromNanoseconds(noticed + grace_nanoseconds.load());
  if (end <= deadline) {
    limit.until = end;
    limit.cancels = true;
  }
  return limit;
}

WaitResult WaitForEvents(int descriptor, short events, Clock::time_point deadline) {
  const WaitLimit limit = BeginWait(deadline);
  const int cancel = watched_descriptor.load();
  for (;;) {
    pollfd entries[2] = {{descriptor, events, 0}, {cancel, POLLIN, 0}};
    const int ready = ::poll(entries, limit.watch && cancel >= 0 ? 2 : 1, RemainingMilliseconds(limit.until));
    if (ready > 0) {
      if (limit.watch && cancel >= 0 && entries[1].revents != 0) {
        Notice();
        return WaitResult::Cancelled;
      }
      return WaitResult::Ready;
    }
    if (ready == 0) {
      if (Clock::now() < limit.until) continue;
      return limit.cancels ? WaitResult::Cancelled : WaitResult::TimedOut;
    }
    if (errno != EINTR) return WaitResult::Ready;
  }
}

}  // namespace orvex::inet
