// Each library's include path holds only the folders it may use, so a
// forbidden include fails to compile, not only the include-edge check. A
// one-line source is compiled against a library's include path: the header
// it may use compiles, the forbidden one is not found.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace orvex::architecture {
namespace {

namespace fs = std::filesystem;

struct Compilation {
  bool ok = false;
  std::string output;
};

// Compiles `#include "header"` with the include path of `target` alone.
Compilation CompileInclude(const std::string& target, const std::string& header) {
  const fs::path source = fs::temp_directory_path() / ("orvex-include-view-" + std::to_string(::getpid()) + ".cpp");
  std::ofstream(source) << "#include \"" << header << "\"\n";
  const std::string command = std::string("'") + ORVEX_CXX_COMPILER + "' -std=c++20 -fsyntax-only -I'" +
                              ORVEX_INCLUDE_VIEWS + "/" + target + "' '" + source.string() + "' 2>&1";
  Compilation result;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, got);
    const int status = ::pclose(pipe);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  fs::remove(source);
  return result;
}

bool NotFound(const Compilation& compilation, const std::string& header) {
  const std::string& text = compilation.output;
  return !compilation.ok && text.find(header) != std::string::npos &&
         (text.find("No such file") != std::string::npos || text.find("not found") != std::string::npos);
}

TEST(IncludeViews, ALibraryCompilesWhatItMayUseAndNotWhatItMayNot) {
  struct Case {
    const char* target;
    const char* allowed;
    const char* forbidden;
  };
  const Case cases[] = {
      {"orvex_platform", "platform/error.h", "connection/host/host_objects.h"},
      {"orvex_inet", "platform/inet/reply.h", "connection/connection.h"},
      {"orvex_ftp", "platform/inet/wininet.h", "platform/inet/reply.h"},
      {"orvex_ftp", "connection/host/ipc.h", "connection/connection.h"},
      {"orvex_encoding", "encoding/encoding.h", "ftp/cxFTP.h"},
      {"orvex_cli_commands", "host/cli/remote_url.h", "platform/inet/reply.h"},
      {"OrvexInterface", "platform/error.h", "host/app/log_file.h"},
  };
  for (const Case& c : cases) {
    const Compilation allowed = CompileInclude(c.target, c.allowed);
    EXPECT_TRUE(allowed.ok) << c.target << " cannot use " << c.allowed << ":\n" << allowed.output;
    const Compilation forbidden = CompileInclude(c.target, c.forbidden);
    EXPECT_TRUE(NotFound(forbidden, c.forbidden)) << c.target << " reaches " << c.forbidden << ":\n"
                                                  << forbidden.output;
  }
}

}  // namespace
}  // namespace orvex::architecture
