#include "platform/script/file_system_object.h"

#include <gtest/gtest.h>

namespace orvex::script {
namespace {

struct PathCase {
  const char* path;
  const char* file_name;
  const char* extension;
  const char* parent;
};

TEST(PathSplittingTest, SplitsHostAndServerPaths) {
  const PathCase cases[] = {
      {"ftp://server\\pub\\a.txt", "a.txt", "txt", "ftp://server\\pub"},
      {"ftp://server/pub/a.txt", "a.txt", "txt", "ftp://server/pub"},
      {"ftp://server\\pub/mixed\\b.tar.gz", "b.tar.gz", "gz", "ftp://server\\pub/mixed"},
      {"ftp://server", "server", "", "ftp:"},
      {"ftp://server/", "server", "", "ftp:"},
      {"ftp://server\\dir\\", "dir", "", "ftp://server"},
      {"ftp://server\\dir\\\\", "dir", "", "ftp://server"},
      {"/pub/docs", "docs", "", "/pub"},
      {"/a", "a", "", ""},
      {"/", "", "", ""},
      {"README", "README", "", ""},
      {".profile", ".profile", "profile", ""},
      {"name.", "name.", "", ""},
      {"dir.d\\file", "file", "", "dir.d"},
      {"", "", "", ""},
  };
  FileSystemObject fso;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("path: \"") + c.path + "\"");
    EXPECT_EQ(fso.GetFileName(c.path), c.file_name);
    EXPECT_EQ(fso.GetExtensionName(c.path), c.extension);
    EXPECT_EQ(fso.GetParentFolderName(c.path), c.parent);
  }
}

}  // namespace
}  // namespace orvex::script
