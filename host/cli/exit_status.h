#pragma once
// The exit statuses of orvex, the one place they are defined. Scripts rely
// on them: 0 everything succeeded, 1 an item or the connection failed, 2 the
// command line was wrong (nothing was attempted), and 128 + a signal's
// number when a signal stopped the run, as a shell reports a process killed
// by it (130 for SIGINT, 141 for SIGPIPE, 143 for SIGTERM).

#include <csignal>

namespace orvex::cli {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

constexpr int ExitStatusOfSignal(int signal_number) { return 128 + signal_number; }

inline constexpr int kInterruptedStatus = ExitStatusOfSignal(SIGINT);
inline constexpr int kOutputClosedStatus = ExitStatusOfSignal(SIGPIPE);
inline constexpr int kTerminatedStatus = ExitStatusOfSignal(SIGTERM);
static_assert(kInterruptedStatus == 130 && kOutputClosedStatus == 141 && kTerminatedStatus == 143);

}  // namespace orvex::cli
