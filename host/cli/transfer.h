#pragma once
// Moving one file's contents between a local file and the server through the
// plug-in's stream members: iPC_OpenFile, then iPC_ReadFile or iPC_WriteFile
// in blocks of kBlockSize bytes (the last block sized to what remains), then
// iPC_CloseFile.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "connection/host/ipc.h"

namespace orvex::cli {

inline constexpr std::size_t kBlockSize = 64 * 1024;

// Called after every block with the bytes moved so far for this file.
using BlockProgress = std::function<void(std::uint64_t bytes)>;

struct TransferResult {
  bool ok = false;
  // Stopped by a signal (see interrupts.h) rather than by a fault.
  bool interrupted = false;
  std::uint64_t bytes = 0;
  // An upload: the remote copy carries the local file's time (false where
  // the server kept its own clock's time for it).
  bool time_kept = false;
  // Why it failed: the plug-in's report, or what went wrong locally.
  std::string error;
};

// What ends the name of a download still arriving.
inline constexpr std::string_view kPartialSuffix = ".orvex-partial";

// The hidden name beside a target under which its download arrives:
// "." NAME kPartialSuffix, shortened (with a hash of the whole name) where
// that would pass the file system's 255-byte limit. IsPartialName is true
// for every name of that form.
std::string PartialName(const std::string& name);
bool IsPartialName(const std::string& name);

// Downloads `file` (an item from a listing: its Size says how much to read)
// to `target`. The bytes go to a partial file beside the target (always a
// new file: whatever has its name, a left-over or a planted link, is removed
// first and never followed) that is renamed onto the target only when the
// whole file arrived, so a failed or interrupted download never damages an
// existing local file and never writes through a link. The target's
// modification time is set from the item's date.
// `clear_target`, when given, runs once the whole file has arrived and just
// before the rename, to remove what the rename cannot replace (a folder); it
// returns false with a reason to give the download up.
using ClearTarget = std::function<bool(std::string& error)>;
TransferResult DownloadFile(iPC& plugin, const com::ComPtr<HostFile>& file, const std::filesystem::path& target,
                            const BlockProgress& progress, const ClearTarget& clear_target = {});

// Uploads `source` to the host path `remote_path`; the remote file's name is
// the last component of that path, whatever the local file is called. Only
// a regular file is read (a FIFO or device in its place fails at once).
// When reading the local file or a write fails, or a signal arrives, the
// upload is closed as abandoned, so that a temporary upload is discarded on
// the server.
TransferResult UploadFile(iPC& plugin, const std::filesystem::path& source, const std::string& remote_path,
                          const BlockProgress& progress);

// The report the plug-in left on its descriptor.
std::string PluginReport(iPC& plugin);

}  // namespace orvex::cli
