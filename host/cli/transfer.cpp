// Block-wise transfers through the plug-in's stream members.

#include "host/cli/transfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

#include "connection/host/host_objects.h"
#include "platform/date.h"

namespace orvex::cli {
namespace {

std::string LocalError(const std::string& what, const std::filesystem::path& path) {
  return what + " '" + path.string() + "': " + std::strerror(errno);
}

// Names that no sync ever takes for a real file: a left-over from a killed
// run is overwritten by the next download of the same file.
std::filesystem::path PartialPath(const std::filesystem::path& target) {
  return target.parent_path() / ("." + target.filename().string() + ".orvex-partial");
}

void SetModificationTime(const std::filesystem::path& path, Date date) {
  const auto seconds = std::chrono::system_clock::from_time_t(date.ToTimeT());
  const auto file_time = std::chrono::time_point_cast<std::filesystem::file_time_type::duration>(
      std::filesystem::file_time_type::clock::from_sys(seconds));
  std::error_code ignored;
  std::filesystem::last_write_time(path, file_time, ignored);
}

}  // namespace

std::string PluginReport(iPC& plugin) {
  auto info = plugin.iPC_Properties();
  return info ? info->LastError() : std::string();
}

TransferResult DownloadFile(iPC& plugin, const com::ComPtr<HostFile>& file, const std::filesystem::path& target,
                            const BlockProgress& progress) {
  TransferResult result;
  const auto partial = PartialPath(target);
  std::ofstream output(partial, std::ios::binary | std::ios::trunc);
  if (!output) {
    result.error = LocalError("cannot write", partial);
    return result;
  }

  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessRead);
  if (!plugin.iPC_OpenFile(stream)) {
    result.error = PluginReport(plugin);
    output.close();
    std::filesystem::remove(partial);
    return result;
  }

  const auto size = static_cast<std::uint64_t>(std::max(0.0, file->Size()));
  std::vector<std::uint8_t> buffer;
  bool moved = true;
  while (moved && result.bytes < size) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size - result.bytes));
    buffer.resize(count);
    stream->Count(static_cast<std::int32_t>(count));
    if (!plugin.iPC_ReadFile(stream, buffer)) {
      result.error = PluginReport(plugin);
      moved = false;
      break;
    }
    if (!output.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(count))) {
      result.error = LocalError("cannot write", partial);
      moved = false;
      break;
    }
    result.bytes += count;
    if (progress) progress(result.bytes);
  }
  const bool closed = plugin.iPC_CloseFile(stream);
  if (moved && !closed) {
    result.error = PluginReport(plugin);
    moved = false;
  }
  output.close();
  if (moved && !output) {
    result.error = LocalError("cannot write", partial);
    moved = false;
  }
  std::error_code error;
  if (moved) {
    SetModificationTime(partial, file->DateModified());
    std::filesystem::rename(partial, target, error);
    if (error) result.error = "cannot replace '" + target.string() + "': " + error.message();
  }
  if (!moved || error) {
    std::filesystem::remove(partial, error);
    return result;
  }
  result.ok = true;
  return result;
}

TransferResult UploadFile(iPC& plugin, const std::filesystem::path& source, const std::string& remote_path,
                          const BlockProgress& progress) {
  TransferResult result;
  std::ifstream input(source, std::ios::binary);
  std::error_code error;
  const auto size = std::filesystem::file_size(source, error);
  if (!input || error) {
    result.error = LocalError("cannot read", source);
    return result;
  }

  // The item carries the local file's time: the plug-in gives it to the
  // remote copy where the server allows, so later comparisons see equal times.
  std::error_code time_error;
  const auto modified = std::filesystem::last_write_time(source, time_error);
  const Date date = time_error ? Date::Now()
                               : Date::FromTimeT(std::chrono::system_clock::to_time_t(
                                     std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                                         std::filesystem::file_time_type::clock::to_sys(modified))));
  auto file = NewHostFile();
  const auto name = source.filename().string();
  file->Init(remote_path, name, static_cast<double>(size), date, 0, false);
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessWrite);
  if (!plugin.iPC_OpenFile(stream)) {
    result.error = PluginReport(plugin);
    return result;
  }

  std::vector<std::uint8_t> buffer(kBlockSize);
  bool moved = true;
  while (true) {
    input.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(kBlockSize));
    const auto count = static_cast<std::size_t>(input.gcount());
    if (input.bad()) {
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
  if (moved && !closed) {
    result.error = PluginReport(plugin);
    moved = false;
  }
  result.ok = moved;
  return result;
}

}  // namespace orvex::cli
