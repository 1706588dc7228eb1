#pragma once
// Running the real `orvex` program as a user would: its own environment
// (HOME, XDG folders, class registry), text on standard input, and both
// output streams captured. A run that outlives its time limit is killed and
// counts as a failure of the test, so a hang never stalls the suite.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orvex::testing {

struct OrvexResult {
  int status = -1;  // exit status; -1 when killed by a signal or not started
  bool timed_out = false;
  std::string out;
  std::string err;
};

class OrvexProcess {
 public:
  // Starts `program` with `arguments`; the environment is the test's own
  // with `environment` laid over it. `input` is written to standard input,
  // which is then closed.
  OrvexProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& input);
  ~OrvexProcess();
  OrvexProcess(const OrvexProcess&) = delete;
  OrvexProcess& operator=(const OrvexProcess&) = delete;

  // Reads output until `ready` says so for the standard output seen so far,
  // the program ends, or `limit` passes. True when `ready` held.
  bool WaitForOutput(const std::function<bool(const std::string& out)>& ready, std::chrono::milliseconds limit);
  // Sends `signal` to the program (SIGINT as Ctrl-C would, SIGTERM).
  void Signal(int signal);
  // Reads the rest and waits for the end (killing the program after `limit`).
  OrvexResult Finish(std::chrono::milliseconds limit);

 private:
  bool Pump(std::chrono::milliseconds wait);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  OrvexResult result_;
};

// Starts and finishes in one go.
OrvexResult RunOrvex(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, const std::string& input = "",
                     std::chrono::milliseconds limit = std::chrono::seconds(120));

}  // namespace orvex::testing
