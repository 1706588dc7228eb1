#pragma once
// Ctrl-C, SIGTERM and a closed output pipe stop a command at its next safe
// point (between two blocks of a transfer, between two steps of a sync)
// instead of killing it mid-write: the command then removes its own
// temporary files, prints its summary and exits with 128 + the signal's
// number (130 for SIGINT, 143 for SIGTERM, 141 for SIGPIPE).
//
// The first signal only takes note; a second SIGINT or SIGTERM ends the
// program at once, for a user who will not wait.

namespace orvex::cli {

// Installs the handlers. The commands that write (get, put, sync) call it
// once connected; before that (a password prompt, the connect) and in the
// other commands there is nothing to clean up and a signal ends them at once.
void CatchInterrupts();

// The signal received so far, 0 when none.
int InterruptSignal();
inline bool Interrupted() { return InterruptSignal() != 0; }

// 128 + InterruptSignal().
int InterruptExitStatus();

// "interrupted (SIGINT)" and the like.
const char* InterruptText();

}  // namespace orvex::cli
