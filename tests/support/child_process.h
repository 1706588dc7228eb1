#ifndef ORVEX_TESTS_SUPPORT_CHILD_PROCESS_H_
#define ORVEX_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orvex::testing {

// A daemon started by the tests: runs in a session and process group of its
// own (so it and every session process it forks can be ended together), with
// standard input from /dev/null and its output appended to a log file.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Throws std::runtime_error when the program cannot be started.
  void Start(const std::vector<std::string>& arguments, const std::filesystem::path& log);
  // Kills the whole process group and reaps the leader. Idempotent.
  void Stop();
  // False once the leader has exited (it is reaped then, never left a zombie).
  bool running();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_CHILD_PROCESS_H_
