#ifndef ORVEX_TESTS_SUPPORT_TEMP_DIR_H_
#define ORVEX_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <string_view>

namespace orvex::testing {

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object is destroyed. Names never collide, also
// between test processes that run at the same time.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "orvex-test");
  ~TempDir();

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_TEMP_DIR_H_
