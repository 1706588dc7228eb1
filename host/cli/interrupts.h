#pragma once
// Ctrl-C, SIGTERM and a closed output pipe stop a command at its next safe
// point (between two blocks of a transfer, between two steps of a sync)
// instead of killing it mid-write: the command then removes its own
// temporary files, prints its summary and exits with ExitStatusOfSignal
// (exit_status.h): 130 for SIGINT, 143 for SIGTERM, 141 for SIGPIPE.
//
// A signal also cuts short whatever the plug-in is waiting for (a slow or
// silent server): the handler writes a byte to a pipe whose reading end the
// plug-in watches (InterruptDescriptor, given by
// RemoteSession::CancelOnInterrupt). The plug-in's clean-up after that (a
// temporary upload removed) gets kTidyUpMilliseconds at most.
//
// The first signal only takes note; a second SIGINT or SIGTERM ends the
// program at once, for a user who will not wait.

namespace orvex::cli {

// Installs the handlers. The commands that write (get, put, sync) call it
// once connected; before that (a password prompt, the connect) and in the
// other commands there is nothing to clean up and a signal ends them at once.
void CatchInterrupts();

// The reading end of the pipe the handlers write to once a signal came; -1
// before CatchInterrupts (or when no pipe could be made).
int InterruptDescriptor();

inline constexpr int kTidyUpMilliseconds = 3000;

// The signal received so far, 0 when none.
int InterruptSignal();
inline bool Interrupted() { return InterruptSignal() != 0; }

// ExitStatusOfSignal(InterruptSignal()).
int InterruptExitStatus();

// "interrupted (SIGINT)" and the like.
const char* InterruptText();

}  // namespace orvex::cli
