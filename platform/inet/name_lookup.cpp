#include "platform/inet/name_lookup.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/com/module_thread.h"
#include "platform/inet/cancellation.h"

namespace orvex::inet {
namespace {

constexpr std::chrono::milliseconds kCancellationCheck{50};

// Shared by the waiting caller and the lookup thread; whichever lets go last
// frees it, and with it a result nobody waited for.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable done_signal;
  bool done = false;
  int result = EAI_FAIL;
  addrinfo* found = nullptr;

  ~PendingLookup() {
    if (found != nullptr) freeaddrinfo(found);
  }
};

}  // namespace

int SystemLookup(const std::string& host, const std::string& service, addrinfo** found) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  int result = getaddrinfo(host.c_str(), service.c_str(), &hints, found);
  if (result != 0) {
    hints.ai_flags = 0;
    result = getaddrinfo(host.c_str(), service.c_str(), &hints, found);
  }
  return result;
}

Status LookUpHost(const std::string& host, std::uint16_t port,
                  std::chrono::steady_clock::time_point deadline, AddressList& addresses,
                  const Lookup& lookup) {
  auto pending = std::make_shared<PendingLookup>();
  // A module thread: it may outlive the caller's wait, and with it every
  // object of the library, so it keeps the library loaded (DllCanUnloadNow
  // says no) until it has exited and been joined.
  const auto thread =
      com::StartModuleThread([pending, lookup, host = std::string(host), service = std::to_string(port)] {
        addrinfo* found = nullptr;
        const int result = lookup(host, service, &found);
        std::lock_guard lock(pending->mutex);
        pending->result = result;
        pending->found = found;
        pending->done = true;
        pending->done_signal.notify_all();
      });
  if (!thread) return Status(win32::ERROR_NOT_ENOUGH_MEMORY);

  // The lookup cannot be interrupted; the wait for it can. A cancellation is
  // looked for at short intervals.
  const WaitLimit limit = BeginWait(deadline);
  std::unique_lock lock(pending->mutex);
  for (;;) {
    const auto step = std::min(limit.until, std::chrono::steady_clock::now() + kCancellationCheck);
    if (pending->done_signal.wait_until(lock, step, [&] { return pending->done; })) break;
    if (limit.watch && CancellationNoticed()) return Status(win32::ERROR_INTERNET_OPERATION_CANCELLED);
    if (std::chrono::steady_clock::now() >= limit.until) {
      return Status(limit.cancels ? win32::ERROR_INTERNET_OPERATION_CANCELLED : win32::ERROR_INTERNET_TIMEOUT);
    }
  }
  lock.unlock();
  // Its work is done: only its exit is left to wait for.
  com::JoinModuleThread(*thread);
  if (pending->result != 0 || pending->found == nullptr) {
    return Status(win32::ERROR_INTERNET_NAME_NOT_RESOLVED);
  }
  addresses = AddressList(std::exchange(pending->found, nullptr), freeaddrinfo);
  return Status::Ok();
}

}  // namespace orvex::inet
