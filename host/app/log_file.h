#pragma once
// LogFile: appends whole lines to the host's log file.
//
// Each line goes to the file in a single append, so lines from several
// processes sharing the file never interleave within a line.

#include <filesystem>
#include <string_view>

namespace orvex::hostapp {

class LogFile {
 public:
  // Creates missing parent folders and opens (or creates) `file` for
  // appending. Raises orvex::Error 76 when that fails.
  explicit LogFile(const std::filesystem::path& file);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends `line` and a line break. False when the write failed (disk full,
  // file gone read-only); the caller decides whether that matters.
  bool Append(std::string_view line);

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int descriptor_ = -1;
};

}  // namespace orvex::hostapp
