// The command-line host's dialog commands where nobody can answer: a dead X
// display (Qt would abort on it) and no display at all end at once with the
// plug-in's error, never with a crash or a hang.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/connection/host_fixture.h"

namespace orvex {
namespace {

struct Outcome {
  int exit_code = -1;
  std::string output;
};

Outcome RunShell(const std::string& command) {
  Outcome outcome;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return outcome;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), chunk.size(), pipe)) outcome.output += chunk.data();
  const int status = ::pclose(pipe);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

TEST(CommandLineDialogs, WithoutAUsableDisplayEachCommandFailsAtOnceWithAClearError) {
  testing_support::TemporaryHost host;  // private class registry
  const std::string folder = host.folder().string();
  const std::string environment = "ORVEX_CLASS_REGISTRY='" + host.registry().string() + "' XDG_CONFIG_HOME='" +
                                  folder + "' XDG_STATE_HOME='" + folder + "' QT_QPA_PLATFORM= WAYLAND_DISPLAY= ";
  ASSERT_EQ(RunShell(environment + "'" ORVEX_CLI "' register").exit_code, 0);

  for (const char* display : {":97", ""}) {  // nothing listens on :97
    for (const char* command : {"about", "options", "properties ftp://server.example/pub"}) {
      SCOPED_TRACE(std::string("DISPLAY=") + display + " orvex " + command);
      const auto start = std::chrono::steady_clock::now();
      const auto outcome = RunShell(environment + "DISPLAY='" + display + "' timeout 60 '" ORVEX_CLI "' " + command);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
      EXPECT_EQ(outcome.exit_code, 1) << outcome.output;
      EXPECT_NE(outcome.output.find("cannot be shown: no display is available"), std::string::npos)
          << outcome.output;
    }
  }
}

}  // namespace
}  // namespace orvex
