// The comparison that decides whether a file is copied again.

#include "host/cli/sync_rules.h"

namespace orvex::cli {

bool SourceReplacesTarget(const FileState& source, const FileState& target, bool size_only,
                          std::time_t remote_time, bool remote_in_minutes, bool target_dated_by_copy) {
  if (source.size != target.size) return true;
  if (size_only || remote_time <= 0) return false;
  const std::time_t tolerance =
      remote_in_minutes && remote_time % 60 == 0 ? kMinuteTolerance : kTimeTolerance;
  if (!target_dated_by_copy) return source.modified > target.modified + tolerance;
  const std::time_t difference = source.modified > target.modified ? source.modified - target.modified
                                                                   : target.modified - source.modified;
  return difference > tolerance;
}

}  // namespace orvex::cli
