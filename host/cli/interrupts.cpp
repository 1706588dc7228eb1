// Signals turned into a flag that the work loops look at.

#include "host/cli/interrupts.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace orvex::cli {
namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void NoteSignal(int number) {
  if (received == 0) received = number;
  // A second Ctrl-C or SIGTERM goes through to the default action; further
  // writes to a closed pipe only fail.
  ::signal(number, number == SIGPIPE ? SIG_IGN : SIG_DFL);
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls are restarted: the FTP engine's waits are
  // bounded anyway, and the flag is looked at between blocks.
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGPIPE}) ::sigaction(number, &action, nullptr);
}

int InterruptSignal() { return received; }

int InterruptExitStatus() { return 128 + received; }

const char* InterruptText() {
  switch (received) {
    case SIGINT: return "interrupted (SIGINT)";
    case SIGTERM: return "terminated (SIGTERM)";
    case SIGPIPE: return "output closed (SIGPIPE)";
    default: return "interrupted";
  }
}

}  // namespace orvex::cli
