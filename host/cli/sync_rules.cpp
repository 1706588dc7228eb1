// The comparison that decides whether a file is copied again.

#include "host/cli/sync_rules.h"

namespace orvex::cli {

bool SourceReplacesTarget(const FileState& source, const FileState& target, bool size_only,
                          std::time_t remote_time) {
  if (source.size != target.size) return true;
  if (size_only) return false;
  const std::time_t tolerance = remote_time % 60 == 0 ? kMinuteTolerance : kTimeTolerance;
  return source.modified > target.modified + tolerance;
}

}  // namespace orvex::cli
