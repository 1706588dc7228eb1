// Echo-free password input on a terminal.

#include "host/cli/terminal_input.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace orvex::cli {
namespace {

// The terminal whose echo is off and its settings before, for the signal
// handler to put back.
volatile sig_atomic_t restore_fd = -1;
struct termios saved_settings;
struct sigaction previous_interrupt, previous_terminate, previous_hangup;

void RestoreTerminal() {
  if (restore_fd >= 0) ::tcsetattr(restore_fd, TCSANOW, &saved_settings);
}

void OnSignal(int number) {
  RestoreTerminal();
  if (restore_fd >= 0) (void)!::write(restore_fd, "\n", 1);
  restore_fd = -1;
  // Back to what was there before, then let the signal do its usual work.
  ::sigaction(SIGINT, &previous_interrupt, nullptr);
  ::sigaction(SIGTERM, &previous_terminate, nullptr);
  ::sigaction(SIGHUP, &previous_hangup, nullptr);
  ::raise(number);
}

// Reads up to a line feed; false at the end of input before any line feed
// with nothing read.
bool ReadLine(int fd, std::string& line) {
  line.clear();
  char character = 0;
  for (;;) {
    const ssize_t count = ::read(fd, &character, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return !line.empty();
    if (character == '\n') return true;
    if (line.size() < 4096) line += character;
  }
}

}  // namespace

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadLineWithoutEcho(int fd, const std::string& prompt) {
  const int prompt_fd = ::isatty(fd) == 1 && fd != STDIN_FILENO ? fd : STDERR_FILENO;
  struct termios settings;
  const bool terminal = ::tcgetattr(fd, &settings) == 0;
  if (terminal) {
    saved_settings = settings;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_interrupt);
    ::sigaction(SIGTERM, &action, &previous_terminate);
    ::sigaction(SIGHUP, &action, &previous_hangup);
    restore_fd = fd;
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    settings.c_lflag |= ECHONL;
    // Echo goes off before the prompt shows, so nothing typed after the
    // prompt can be echoed or thrown away.
    ::tcsetattr(fd, TCSANOW, &settings);
  }
  (void)!::write(prompt_fd, prompt.data(), prompt.size());
  std::string line;
  const bool read = ReadLine(fd, line);
  if (terminal) {
    RestoreTerminal();
    restore_fd = -1;
    ::sigaction(SIGINT, &previous_interrupt, nullptr);
    ::sigaction(SIGTERM, &previous_terminate, nullptr);
    ::sigaction(SIGHUP, &previous_hangup, nullptr);
    // ECHONL printed the line feed; without a line (Ctrl-D) end the prompt's line.
    if (!read) (void)!::write(prompt_fd, "\n", 1);
  }
  if (!read) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> PromptForPassword(const std::string& prompt) {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  auto password = ReadLineWithoutEcho(fd, prompt);
  ::close(fd);
  return password;
}

}  // namespace orvex::cli
