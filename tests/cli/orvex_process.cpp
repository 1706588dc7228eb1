// Child process with captured output and a time limit.

#include "tests/cli/orvex_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace orvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

OrvexProcess::OrvexProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment, const std::string& input) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : environment) merged[name] = value;
  std::vector<std::string> environment_texts;
  for (const auto& [name, value] : merged) environment_texts.push_back(name + "=" + value);

  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& text : environment_texts) envp.push_back(text.data());
    envp.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  // Small inputs (a password line) fit the pipe; the child reads them later.
  if (!input.empty() && ::write(in_pipe[1], input.data(), input.size()) < 0) {
    // The child may have ended already; its result tells.
  }
  ::close(in_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
}

OrvexProcess::~OrvexProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

bool OrvexProcess::Pump(std::chrono::milliseconds wait) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (out_fd_ < 0 && err_fd_ < 0) return false;
  if (::poll(fds, 2, static_cast<int>(wait.count())) <= 0) return true;
  char buffer[65536];
  int* descriptors[2] = {&out_fd_, &err_fd_};
  std::string* targets[2] = {&result_.out, &result_.err};
  for (int index = 0; index < 2; ++index) {
    if (*descriptors[index] < 0 || !(fds[index].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t count = ::read(*descriptors[index], buffer, sizeof buffer);
    if (count > 0) {
      targets[index]->append(buffer, static_cast<std::size_t>(count));
    } else {
      ::close(*descriptors[index]);
      *descriptors[index] = -1;
    }
  }
  return out_fd_ >= 0 || err_fd_ >= 0;
}

bool OrvexProcess::WaitForOutput(const std::function<bool(const std::string&)>& ready,
                                 std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!ready(result_.out)) {
    if (Clock::now() >= deadline || !Pump(std::chrono::milliseconds(20))) return ready(result_.out);
  }
  return true;
}

void OrvexProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

OrvexResult OrvexProcess::Finish(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Pump(std::chrono::milliseconds(50))) {
    if (Clock::now() >= deadline) {
      result_.timed_out = true;
      ::kill(pid_, SIGKILL);
    }
  }
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result_;
}

OrvexResult RunOrvex(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, const std::string& input,
                     std::chrono::milliseconds limit) {
  OrvexProcess process(program, arguments, environment, input);
  return process.Finish(limit);
}

}  // namespace orvex::testing
