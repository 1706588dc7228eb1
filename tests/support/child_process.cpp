#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace orvex::testing {

void ChildProcess::Start(const std::vector<std::string>& arguments,
                         const std::filesystem::path& log) {
  Stop();
  if (arguments.empty()) throw std::runtime_error("ChildProcess: no program");
  // Everything the child needs is prepared before fork: between fork and exec
  // a multi-threaded parent's child may only make async-signal-safe calls.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const std::string log_path = log.string();
  int log_descriptor = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_descriptor < 0) throw std::runtime_error("ChildProcess: cannot open " + log_path);
  int null_descriptor = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(log_descriptor);
    ::close(null_descriptor);
    throw std::runtime_error("ChildProcess: fork failed");
  }
  if (pid == 0) {
    ::setsid();
    // The test runner may ignore or block signals; a daemon must start clean.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(null_descriptor, 0);
    ::dup2(log_descriptor, 1);
    ::dup2(log_descriptor, 2);
    ::execv(argv[0], argv.data());
    static const char message[] = "exec failed\n";
    [[maybe_unused]] auto ignored = ::write(2, message, sizeof message - 1);
    ::_exit(127);
  }
  ::close(log_descriptor);
  ::close(null_descriptor);
  pid_ = pid;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  // The group id is the leader's pid (setsid). Session processes of the
  // daemon are in the same group and go with it.
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  // Forked session processes are reaped by init; give the kernel a moment to
  // tear down their sockets so a restart finds the ports free.
  for (int attempt = 0; attempt < 50 && ::kill(-pid_, 0) == 0; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t result = ::waitpid(pid_, &status, WNOHANG);
  if (result == pid_) {
    ::kill(-pid_, SIGKILL);  // whatever it forked goes too
    pid_ = -1;
    return false;
  }
  return true;
}

}  // namespace orvex::testing
