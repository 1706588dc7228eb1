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

// The mirror rule: true when `source` should replace `target` because their
// sizes differ, or (unless `size_only`) their times differ by more than the
// tolerance in either direction, so that the target becomes a copy of the
// source even where the target was edited later.
//
// `remote_time` is the server's time of whichever side is remote. The
// tolerance is kTimeTolerance, widened to kMinuteTolerance only where the
// server's listing gives minutes (`remote_in_minutes`) and the remote time
// falls on a whole minute. A remote time at or before 1970 means the server
// gave none: such a file is compared by size alone.
//
// `target_dated_by_copy`: a copy gives the target the source's time (always
// for downloads; for uploads where the server sets file times). Where it
// does not, a target newer than the source is just the copy's own date and
// only a newer source counts.
bool SourceReplacesTarget(const FileState& source, const FileState& target, bool size_only,
                          std::time_t remote_time, bool remote_in_minutes = true,
                          bool target_dated_by_copy = true);

}  // namespace orvex::cli
