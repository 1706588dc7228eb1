#ifndef ORVEX_TESTS_SUPPORT_TESTS_RUN_COMMAND_H_
#define ORVEX_TESTS_SUPPORT_TESTS_RUN_COMMAND_H_

#include <string>

namespace orvex::testing {

struct CommandResult {
  int exit_code = -1;
  std::string output;  // standard output only
};

// Runs a shell command line and collects its standard output.
CommandResult RunCommand(const std::string& command_line);

// curl with short time limits, silent, failing on FTP errors.
CommandResult Curl(const std::string& arguments);

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_TESTS_RUN_COMMAND_H_
