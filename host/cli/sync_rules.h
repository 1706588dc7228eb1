#pragma once
// When a synchronisation copies a file over an existing one.

#include <cstdint>
#include <ctime>

namespace orvex::cli {

struct FileState {
  std::uint64_t size = 0;
  std::time_t modified = 0;  // POSIX time
};

// Seconds by which the source must be newer than the target before it counts
// as changed: file systems and servers round times differently.
inline constexpr std::time_t kTimeTolerance = 2;
// Listings in the `ls -l` form carry minutes only; a remote time that falls
// on a whole minute may lie up to that much before the real one.
inline constexpr std::time_t kMinuteTolerance = 60;

// True when `source` should replace `target`: their sizes differ, or (unless
// `size_only`) the source is newer than the target by more than the
// tolerance. `remote_time` is the server's time of whichever side is remote;
// when it falls on a whole minute the tolerance widens to a minute, so a
// fresh upload to a server that lists minutes only is not copied again.
bool SourceReplacesTarget(const FileState& source, const FileState& target, bool size_only,
                          std::time_t remote_time);

}  // namespace orvex::cli
