// Signals turned into a flag that the work loops look at.

#include "host/cli/interrupts.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "host/cli/exit_status.h"

namespace orvex::cli {
namespace {

volatile std::sig_atomic_t received = 0;
int wake_up[2] = {-1, -1};

extern "C" void NoteSignal(int number) {
  if (received == 0) {
    received = number;
    if (wake_up[1] >= 0) {
      const int saved = errno;
      [[maybe_unused]] const ssize_t written = ::write(wake_up[1], "!", 1);
      errno = saved;
    }
  }
  // A second Ctrl-C or SIGTERM goes through to the default action; further
  // writes to a closed pipe only fail.
  ::signal(number, number == SIGPIPE ? SIG_IGN : SIG_DFL);
}

}  // namespace

void CatchInterrupts() {
  if (wake_up[0] < 0 && ::pipe2(wake_up, O_CLOEXEC | O_NONBLOCK) != 0) wake_up[0] = wake_up[1] = -1;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls are restarted: the plug-in's waits end through
  // the pipe, and the flag is looked at between blocks.
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGPIPE}) ::sigaction(number, &action, nullptr);
}

int InterruptSignal() { return received; }

int InterruptDescriptor() { return wake_up[0]; }

int InterruptExitStatus() { return ExitStatusOfSignal(received); }

const char* InterruptText() {
  switch (received) {
    case SIGINT: return "interrupted (SIGINT)";
    case SIGTERM: return "terminated (SIGTERM)";
    case SIGPIPE: return "output closed (SIGPIPE)";
    default: return "interrupted";
  }
}

}  // namespace orvex::cli
