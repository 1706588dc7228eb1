#pragma once
// The `orvex` program in a home of its own: HOME, the XDG folders and the
// class registry all point into a temporary folder, the plug-in is
// registered there, and helpers build and compare local and remote trees.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/exit_status.h"
#include "tests/cli/orvex_process.h"
#include "tests/support/ftp_server.h"
#include "tests/support/temp_dir.h"

namespace orvex::testing {

// What orvex's exit status says, named as the program names it.
using cli::ExitStatusOfSignal;
using cli::kFailure;
using cli::kSuccess;
using cli::kUsage;

// relative path -> content; folders end in "/" and have no content.
using Tree = std::map<std::string, std::string>;

// The whole content of a file (empty when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

inline void WriteTree(const std::filesystem::path& root, const Tree& tree) {
  for (const auto& [relative, content] : tree) {
    const auto path = root / relative;
    if (relative.back() == '/') {
      std::filesystem::create_directories(path);
      continue;
    }
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
}

inline Tree ReadTree(const std::filesystem::path& root) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().lexically_relative(root).string();
    if (entry.is_directory()) {
      tree[relative + "/"] = "";
    } else {
      std::ifstream file(entry.path(), std::ios::binary);
      std::ostringstream content;
      content << file.rdbuf();
      tree[relative] = content.str();
    }
  }
  return tree;
}

// The number of items directly in `folder` while another process may be
// adding, renaming and removing them: an item gone between the folder's
// reading and its count is simply not counted, and an unreadable folder
// counts as empty.
inline std::size_t CountItemsWhileChanging(const std::filesystem::path& folder) {
  std::error_code error;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator item(folder, error), end; !error && item != end; item.increment(error)) {
    ++count;
  }
  return count;
}

// Bytes that are the same in every run: every byte value, then a simple
// generator's output.
inline std::string BinaryContent(std::size_t size, std::uint32_t seed) {
  std::string content(size, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t index = 0; index < size; ++index) {
    state = state * 1664525u + 1013904223u;
    content[index] = static_cast<char>(index < 256 ? index : state >> 24);
  }
  return content;
}

// A small tree with what trips transfers and names up: binary and text
// files, an empty file, an empty folder, nesting, blanks and non-ASCII names.
inline Tree SampleTree() {
  return {
      {"readme.txt", "first line\nsecond line\r\nno closing line break"},
      {"empty file", ""},
      {"data.bin", BinaryContent(200 * 1024 + 17, 1)},
      {"docs/", ""},
      {"docs/notes with spaces.md", "# Notes\n"},
      {"docs/Ünïcödé ñame.txt", "grüße\n"},
      {"docs/deeper/", ""},
      {"docs/deeper/block.bin", BinaryContent(64 * 1024, 2)},
      {"docs/deeper/one more.bin", BinaryContent(64 * 1024 + 1, 3)},
      {"empty folder/", ""},
  };
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"config", "state", "data", "runtime"}) {
      std::filesystem::create_directories(home_.path() / folder);
    }
    ::chmod((home_.path() / "runtime").c_str(), 0700);
    auto result = Orvex({"register"});
    ASSERT_EQ(result.status, kSuccess) << result.err;
  }

  // The time zone `orvex` runs in (TZ); empty: inherited.
  void SetClientTimeZone(const std::string& zone) { client_time_zone_ = zone; }

  std::map<std::string, std::string> Environment() const {
    const auto& home = home_.path();
    std::map<std::string, std::string> environment = {
        {"HOME", home.string()},
        {"NETRC", (home / ".netrc").string()},
        {"XDG_CONFIG_HOME", (home / "config").string()},
        {"XDG_STATE_HOME", (home / "state").string()},
        {"XDG_DATA_HOME", (home / "data").string()},
        {"XDG_RUNTIME_DIR", (home / "runtime").string()},
        {"ORVEX_CLASS_REGISTRY", (home / "classes.registry").string()},
        {"QT_QPA_PLATFORM", "offscreen"},
        // The runner's own proxy or trace settings must not leak in (empty
        // counts as unset).
        {"ftp_proxy", ""}, {"FTP_PROXY", ""}, {"all_proxy", ""}, {"ALL_PROXY", ""},
        {"no_proxy", ""}, {"NO_PROXY", ""}, {"ORVEX_FTP_TRACE", ""},
    };
    if (!client_time_zone_.empty()) environment["TZ"] = client_time_zone_;
    return environment;
  }

  OrvexResult Orvex(const std::vector<std::string>& arguments, const std::string& input = "",
                    std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    auto result = RunOrvex(ORVEX_CLI, arguments, Environment(), input, limit);
    EXPECT_FALSE(result.timed_out) << "orvex did not finish: " << result.out << result.err;
    outputs_ += result.out + result.err;
    return result;
  }

  // A command with the server's login: the user as an option, the password
  // on standard input.
  OrvexResult WithLogin(const FtpServer& server, std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--user", server.user(), "--password-stdin"});
    return Orvex(arguments, server.password() + "\n");
  }

  static std::string Url(const FtpServer& server, const std::string& path = "") {
    return "ftp://127.0.0.1:" + std::to_string(server.port()) + "/" + path;
  }

  std::filesystem::path Local(const std::string& name) const { return home_.path() / name; }
  std::filesystem::path LogFile() const { return home_.path() / "state" / "orvex" / "orvex.log"; }
  // Everything every run printed so far.
  const std::string& outputs() const { return outputs_; }

 private:
  TempDir home_{"orvex-cli"};
  std::string outputs_;
  std::string client_time_zone_;
};

}  // namespace orvex::testing
