#pragma once
// Running `orvex` on a pseudo-terminal, as a person at a terminal runs it:
// standard input, output and error are the terminal, which is also the
// process's controlling terminal (/dev/tty). The test reads what the
// terminal shows and types into it. Every wait is bounded; a process still
// running at the end is killed.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace orvex::testing {

class TerminalProcess {
 public:
  // The terminal is `columns` wide and 24 lines high.
  TerminalProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::map<std::string, std::string>& environment, unsigned short columns = 100);
  ~TerminalProcess();
  TerminalProcess(const TerminalProcess&) = delete;
  TerminalProcess& operator=(const TerminalProcess&) = delete;

  // Reads until the screen text so far contains `text` or `limit` passes.
  bool WaitFor(const std::string& text, std::chrono::milliseconds limit);
  // Types `text` (a line feed ends a line).
  void Type(const std::string& text);
  // Reads to the end and returns the exit status (-1 when killed after `limit`).
  int Finish(std::chrono::milliseconds limit);
  // Everything the terminal showed, as raw bytes (with "\r" and escapes).
  const std::string& screen() const { return screen_; }

 private:
  bool Pump(std::chrono::milliseconds wait);

  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string screen_;
};

}  // namespace orvex::testing
