#include "tests/support/tests/run_command.h"

#include <sys/wait.h>

#include <cstdio>

namespace orvex::testing {

CommandResult RunCommand(const std::string& command_line) {
  CommandResult result;
  FILE* pipe = ::popen(command_line.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, count);
  int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

CommandResult Curl(const std::string& arguments) {
  return RunCommand("curl -s -S --connect-timeout 5 --max-time 20 " + arguments + " 2>&1");
}

}  // namespace orvex::testing
