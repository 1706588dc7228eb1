#include "host/app/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/error.h"

namespace orvex::hostapp {

LogFile::LogFile(const std::filesystem::path& file) : path_(file) {
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  // The log names servers, users and paths: for its owner's eyes only. A
  // log file left readable by others by an older version is closed up too
  // (only a regular file: a log pointed at a device stays as it is).
  descriptor_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor_ < 0) {
    Raise(error_number::kPathNotFound,
          "Cannot open the log file " + file.string() + ": " + std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(descriptor_, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 077) != 0) {
    ::fchmod(descriptor_, 0600);
  }
}

LogFile::~LogFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool LogFile::Append(std::string_view line) {
  std::string whole(line);
  whole += '\n';
  // O_APPEND makes each write land at the end as one piece.
  const char* data = whole.data();
  std::size_t left = whole.size();
  while (left > 0) {
    const ssize_t written = ::write(descriptor_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace orvex::hostapp
