#include "tests/cli/terminal_process.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tests/cli/orvex_process.h"

extern char** environ;

namespace orvex::testing {

TerminalProcess::TerminalProcess(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::map<std::string, std::string>& environment, unsigned short columns) {
  std::vector<std::string> texts = EnvironmentWith(environment);
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);

  struct winsize size = {};
  size.ws_row = 24;
  size.ws_col = columns;
  pid_ = ::forkpty(&terminal_, nullptr, nullptr, &size);
  if (pid_ == 0) {
    std::vector<char*> argv, envp;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    for (auto& text : texts) envp.push_back(text.data());
    envp.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
}

TerminalProcess::~TerminalProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (terminal_ >= 0) ::close(terminal_);
}

bool TerminalProcess::Pump(std::chrono::milliseconds wait) {
  struct pollfd descriptor = {terminal_, POLLIN, 0};
  const int ready = ::poll(&descriptor, 1, static_cast<int>(wait.count()));
  if (ready <= 0) return ready == 0;
  char buffer[4096];
  const ssize_t count = ::read(terminal_, buffer, sizeof buffer);
  if (count <= 0) return false;  // the program ended (EIO on Linux)
  screen_.append(buffer, static_cast<std::size_t>(count));
  return true;
}

bool TerminalProcess::WaitFor(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (screen_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(std::min(left, std::chrono::milliseconds(200)))) {
      return screen_.find(text) != std::string::npos;
    }
  }
  return true;
}

void TerminalProcess::Type(const std::string& text) { (void)!::write(terminal_, text.data(), text.size()); }

int TerminalProcess::Finish(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Pump(std::chrono::milliseconds(100))) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
  }
  return -1;
}

}  // namespace orvex::testing
