#pragma once
// Cutting the engine's waits short, for a program that must stop now (a user
// pressing Ctrl-C) while a server is slow or silent.
//
// The program names a descriptor, typically the reading end of a pipe whose
// writing end its signal handler writes one byte to: write() is safe in a
// signal handler, and nothing of this module runs there.
//
// What a caller may rely on:
// - While the descriptor is readable, every wait in progress (connecting, a
//   name lookup, reading, writing, accepting a data connection, and with them
//   every reply and every transfer, over TLS too) ends at once with
//   ERROR_INTERNET_OPERATION_CANCELLED.
// - Waits begun after the engine noticed the request run as usual but end,
//   cancelled, by `grace` after that moment: room to tidy up (remove a
//   temporary upload) that never turns into a long wait on a silent server.
// - Once the descriptor has been drained, waits are as before.
// - The setting is shared by every connection of the engine; -1 (the
//   default) watches nothing.

#include <chrono>

namespace orvex::inet {

void WatchForCancellation(int descriptor, std::chrono::milliseconds grace);

// True while a cancellation is requested (the descriptor is readable).
bool CancellationRequested();

enum class WaitResult { Ready, TimedOut, Cancelled };

// Waits until `events` (poll events) are signalled on `descriptor`, the
// deadline passes or a cancellation ends the wait. Ready also when poll
// itself fails: the caller's next call on the descriptor reports why.
WaitResult WaitForEvents(int descriptor, short events, std::chrono::steady_clock::time_point deadline);

// The limit of one wait, for waits that cannot poll the descriptor (a name
// lookup on its own thread): wait until `until`, and while `watch` is true
// look at CancellationNoticed() at short intervals. Reaching `until` means
// cancelled when `cancels` is true (the grace period ended), timed out
// otherwise.
struct WaitLimit {
  std::chrono::steady_clock::time_point until;
  bool watch = false;
  bool cancels = false;
};
WaitLimit BeginWait(std::chrono::steady_clock::time_point deadline);
// True, and the request noticed (its grace period starts), when a
// cancellation is requested.
bool CancellationNoticed();

}  // namespace orvex::inet
