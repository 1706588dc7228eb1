// Block-wise transfers through the plug-in's stream members.

#include "host/cli/transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "connection/host/connection_interface.h"
#include "connection/host/host_objects.h"
#include "host/cli/interrupts.h"
#include "platform/date.h"

namespace orvex::cli {
namespace {

constexpr std::size_t kSuffixLength = kPartialSuffix.size();
constexpr std::size_t kLongestName = 255;

std::string LocalError(const std::string& what, const std::filesystem::path& path, int number = errno) {
  return what + " '" + path.string() + "': " + std::strerror(number);
}

// Closes a descriptor however the function is left.
class Descriptor {
 public:
  explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }
  bool Close() {
    const bool ok = descriptor_ < 0 || ::close(descriptor_) == 0;
    descriptor_ = -1;
    return ok;
  }

 private:
  int descriptor_;
};

bool WriteAll(int descriptor, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

std::string LastComponent(const std::string& host_path) {
  const auto separator = host_path.find_last_of("\\/");
  return separator == std::string::npos ? host_path : host_path.substr(separator + 1);
}

}  // namespace

std::string PartialName(const std::string& name) {
  std::string partial = "." + name + std::string(kPartialSuffix);
  if (partial.size() <= kLongestName) return partial;
  // FNV-1a of the whole name keeps shortened names of different files apart.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  const std::size_t kept = kLongestName - 1 - 1 - 16 - kSuffixLength;
  return "." + name.substr(0, kept) + "~" + digits + std::string(kPartialSuffix);
}

bool IsPartialName(const std::string& name) {
  return name.size() > kSuffixLength + 1 && name.front() == '.' && name.ends_with(kPartialSuffix);
}

std::string PluginReport(iPC& plugin) {
  auto info = plugin.iPC_Properties();
  return info ? info->LastError() : std::string();
}

TransferResult DownloadFile(iPC& plugin, const com::ComPtr<HostFile>& file, const std::filesystem::path& target,
                            const BlockProgress& progress, const ClearTarget& clear_target) {
  TransferResult result;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const std::string name = target.filename().string();
  const std::string partial_name = PartialName(name);
  const std::filesystem::path partial = folder / partial_name;

  Descriptor folder_descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_descriptor.get() < 0) {
    result.error = LocalError("cannot open folder", folder);
    return result;
  }
  const int at = folder_descriptor.get();
  // A left-over of an interrupted run, or anything planted under the name:
  // removed (a link itself, never its target), then the file made anew.
  if (::unlinkat(at, partial_name.c_str(), 0) != 0 && errno != ENOENT) {
    result.error = LocalError("cannot remove", partial);
    return result;
  }
  Descriptor output(::openat(at, partial_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (output.get() < 0) {
    result.error = LocalError("cannot write", partial);
    return result;
  }
  auto discard = [&] {
    output.Close();
    ::unlinkat(at, partial_name.c_str(), 0);
  };

  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessRead);
  if (!plugin.iPC_OpenFile(stream)) {
    result.error = PluginReport(plugin);
    result.interrupted = Interrupted();
    if (result.interrupted) result.error = InterruptText();
    discard();
    return result;
  }

  const auto size = static_cast<std::uint64_t>(std::max(0.0, file->Size()));
  std::vector<std::uint8_t> buffer;
  bool moved = true;
  while (moved && result.bytes < size) {
    if (Interrupted()) {
      result.interrupted = true;
      result.error = InterruptText();
      moved = false;
      break;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size - result.bytes));
    buffer.resize(count);
    stream->Count(static_cast<std::int32_t>(count));
    if (!plugin.iPC_ReadFile(stream, buffer)) {
      result.error = PluginReport(plugin);
      moved = false;
      break;
    }
    if (!WriteAll(output.get(), buffer.data(), count)) {
      result.error = LocalError("cannot write", partial);
      moved = false;
      break;
    }
    result.bytes += count;
    if (progress) progress(result.bytes);
  }
  if (!moved) stream->Status(HostFileStream::kStatusAbandoned);
  const bool closed = plugin.iPC_CloseFile(stream);
  if (moved && !closed) {
    result.error = PluginReport(plugin);
    moved = false;
  }
  // A signal that cut the transfer short (the plug-in's wait ended with it)
  // is an interruption, not a fault of the server.
  if (!moved && Interrupted() && !result.interrupted) {
    result.interrupted = true;
    result.error = InterruptText();
  }
  if (moved) {
    const timespec times[2] = {{0, UTIME_OMIT}, {file->DateModified().ToTimeT(), 0}};
    ::futimens(output.get(), times);
    if (!output.Close()) {
      result.error = LocalError("cannot write", partial);
      moved = false;
    }
  }
  if (moved && clear_target && !clear_target(result.error)) moved = false;
  if (moved && ::renameat(at, partial_name.c_str(), at, name.c_str()) != 0) {
    result.error = LocalError("cannot replace", target);
    moved = false;
  }
  if (!moved) {
    discard();
    return result;
  }
  result.ok = true;
  return result;
}

TransferResult UploadFile(iPC& plugin, const std::filesystem::path& source, const std::string& remote_path,
                          const BlockProgress& progress) {
  TransferResult result;
  // Non-blocking so that a FIFO put in the file's place cannot stall the
  // open; anything but a regular file is refused before a byte is sent.
  Descriptor input(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (input.get() < 0 || ::fstat(input.get(), &status) != 0) {
    result.error = LocalError("cannot read", source);
    return result;
  }
  if (!S_ISREG(status.st_mode)) {
    result.error = "cannot read '" + source.string() + "': not a regular file";
    return result;
  }
  ::fcntl(input.get(), F_SETFL, 0);

  // The item carries the local file's time: the plug-in gives it to the
  // remote copy where the server allows, so later comparisons see equal times.
  const Date date = Date::FromTimeT(status.st_mtim.tv_sec);
  auto file = NewHostFile();
  file->Init(remote_path, LastComponent(remote_path), static_cast<double>(status.st_size), date, 0, false);
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessWrite);
  if (Interrupted()) {
    result.interrupted = true;
    result.error = InterruptText();
    return result;
  }
  if (!plugin.iPC_OpenFile(stream)) {
    result.error = PluginReport(plugin);
    result.interrupted = Interrupted();
    if (result.interrupted) result.error = InterruptText();
    return result;
  }

  std::vector<std::uint8_t> buffer(kBlockSize);
  bool moved = true;
  while (true) {
    if (Interrupted()) {
      result.interrupted = true;
      result.error = InterruptText();
      moved = false;
      break;
    }
    // A full block unless the file ends: the plug-in sends what it is given.
    std::size_t count = 0;
    bool failed = false;
    while (count < kBlockSize) {
      const ssize_t read = ::read(input.get(), buffer.data() + count, kBlockSize - count);
      if (read < 0 && errno == EINTR) continue;
      if (read < 0) {
        failed = true;
        break;
      }
      if (read == 0) break;
      count += static_cast<std::size_t>(read);
    }
    if (failed) {
      result.error = LocalError("cannot read", source);
      moved = false;
      break;
    }
    if (count == 0) break;
    stream->Count(static_cast<std::int32_t>(count));
    if (!plugin.iPC_WriteFile(stream, buffer)) {
      result.error = PluginReport(plugin);
      moved = false;
      break;
    }
    result.bytes += count;
    if (progress) progress(result.bytes);
    if (count < kBlockSize) break;
  }
  if (!moved) stream->Status(HostFileStream::kStatusAbandoned);
  const bool closed = plugin.iPC_CloseFile(stream);
  // A close that failed says why, and whether the temporary upload may be
  // left on the server.
  const std::string close_report = closed ? std::string() : PluginReport(plugin);
  if (moved && !closed) {
    result.error = close_report;
    moved = false;
  }
  if (!moved && Interrupted()) {
    result.interrupted = true;
    result.error = InterruptText();
    // Written straight onto its name (no temporary copy), the upload has
    // already replaced the file on the server: say so, never "discarded".
    const auto connection = com::ComPtr<iPC>(&plugin).As<_Connection>();
    const bool in_place = connection && !connection->UseTempCopy();
    if (in_place) {
      result.error += "; the file on the server was being written in place and is now incomplete "
                      "(its former content is gone; the next run sends it again)";
      if (!closed) result.error += "; " + close_report;
    } else {
      result.error += closed ? "; the partial upload was discarded" : "; " + close_report;
    }
  } else if (!closed && result.error != close_report) {
    result.error += "; " + close_report;
  }
  result.ok = moved;
  if (moved) {
    const std::time_t given = stream->File()->DateModified().ToTimeT();
    result.time_kept = given >= status.st_mtim.tv_sec - 1 && given <= status.st_mtim.tv_sec + 1;
  }
  return result;
}

}  // namespace orvex::cli
