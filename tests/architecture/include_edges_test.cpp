// The arrows between folders hold in the code as it is: every include of
// every source file, quoted or in angle brackets, is checked against the
// table of allowed edges.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/architecture/include_edges.h"

namespace orvex::architecture {
namespace {

namespace fs = std::filesystem;

TEST(IncludeEdges, TheTableAllowsTheArrowsAndRefusesTheirReverse) {
  struct Case {
    const char* from;
    const char* included;
    bool allowed;
  };
  const Case cases[] = {
      {"connection/listings.cpp", "ftp/cxFTP.h", true},
      {"ftp/cxFTP_listing.cpp", "platform/inet/wininet.h", true},
      {"ftp/cxFTP_listing.cpp", "platform/inet/ftp_connection.h", false},
      {"connection/file_streams.cpp", "platform/inet/reply.h", false},
      {"ftp/cxFTP_session.cpp", "connection/connection.h", false},
      {"platform/inet/reply.cpp", "platform/win32/last_error.h", true},
      {"platform/inet/reply.cpp", "ftp/cxFTP.h", false},
      {"platform/variant.h", "connection/host/host_objects.h", false},
      {"host/cli/main.cpp", "host/app/reference_host.h", true},
      {"host/cli/main.cpp", "connection/connection.h", false},
      {"host/app/settings_store.cpp", "host/cli/arguments.h", false},
      {"dialogs/forms.cpp", "host/app/reference_host.h", false},
      {"dialogs/forms.cpp", "connection/connection.h", false},
      {"dialogs/forms.cpp", "ui_frmAbout.h", true},
      {"encoding/encoding.cpp", "ftp/cxFTP.h", false},
      {"tools/dialog_screenshots.cpp", "connection/connection.h", true},
      {"tests/cli/sync_test.cpp", "platform/inet/reply.h", true},
      {"ftp/cxFTP_listing.cpp", "../platform/inet/ftp_connection.h", false},
      {"ftp/cxFTP_listing.cpp", "./../platform/inet/wininet.h", true},
      {"platform/date.cpp", "../connection/connection.h", false},
      {"host/app/settings_store.cpp", "../cli/arguments.h", false},
      {"host/cli/main.cpp", "../app/reference_host.h", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MayInclude(c.from, c.included), c.allowed) << c.from << " -> " << c.included;
  }
}

TEST(IncludeEdges, EverySourceFileKeepsToThem) {
  const fs::path root = ORVEX_SOURCE_DIR;
  const std::regex include_line(R"(^\s*#\s*include\s*[<"]([^">]+)[">])");
  std::vector<std::string> crossings;
  int files = 0;
  for (const char* top : {"connection", "ftp", "encoding", "dialogs", "resources", "platform",
                          "host"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
      ++files;
      const std::string from = fs::relative(entry.path(), root).generic_string();
      std::ifstream in(entry.path());
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        std::smatch match;
        if (std::regex_search(line, match, include_line) && !MayInclude(from, match[1].str())) {
          crossings.push_back(from + ":" + std::to_string(number) + " includes " + match[1].str());
        }
      }
    }
  }
  EXPECT_GT(files, 100);  // the walk really saw the code base
  for (const std::string& crossing : crossings) ADD_FAILURE() << crossing;
}

}  // namespace
}  // namespace orvex::architecture
