// The decision table of a synchronisation, one name at a time.

#include "host/cli/sync_plan.h"

namespace orvex::cli {
namespace {

const char* KindWords(ItemKind kind) {
  switch (kind) {
    case ItemKind::File: return "file";
    case ItemKind::Folder: return "folder";
    case ItemKind::Link: return "symbolic link";
    case ItemKind::Special: return "special file";
    case ItemKind::Absent: break;
  }
  return "item";
}

std::string SideWord(Direction direction, bool target) {
  return (direction == Direction::Up) == target ? "remote" : "local";
}

}  // namespace

bool NameFitsServer(const std::string& name) { return name.find_first_of(std::string("\\\r\n\0", 4)) == std::string::npos; }

Decision PlanItem(const SideItem& source, const SideItem& target, const PlanOptions& options) {
  const bool up = options.direction == Direction::Up;
  const std::string target_side = SideWord(options.direction, true);

  if (source.kind == ItemKind::Absent) {
    if (target.kind == ItemKind::Absent || !options.delete_extra) return {};
    if (target.unrepresentable) {
      // The server could never have listed it: its absence there says nothing.
      return {Action::Refuse, "the name cannot exist on the server, so it is not compared and not deleted"};
    }
    return {Action::Delete, ""};
  }

  if (source.unrepresentable) {
    return {Action::Refuse, up ? "the name cannot be sent to the server (it holds \"\\\" or a line break)"
                               : "the name cannot be represented here"};
  }

  if (source.kind == ItemKind::Link || source.kind == ItemKind::Special) {
    const std::string what = source.kind == ItemKind::Link
                                 ? std::string("a symbolic link that does not lead to a file is not followed")
                                 : std::string("a special file (FIFO, socket or device) is not copied");
    if (target.kind != ItemKind::Absent && options.delete_extra) {
      return {Action::Refuse, what + "; the " + target_side + " " + KindWords(target.kind) +
                                  " of that name is left in place"};
    }
    return {Action::LeaveOut, what};
  }

  const bool file = source.kind == ItemKind::File;
  if (target.kind == ItemKind::Absent) return {file ? Action::Copy : Action::CreateFolder, ""};
  if (target.kind == source.kind) {
    if (!file) return {Action::Descend, ""};
    const std::time_t remote_time = up ? target.state.modified : source.state.modified;
    return {SourceReplacesTarget(source.state, target.state, options.size_only, remote_time) ? Action::Copy
                                                                                             : Action::Skip,
            ""};
  }
  if (target.unrepresentable) {
    return {Action::Refuse, "the " + target_side + " " + KindWords(target.kind) +
                                " in the way has a name the server cannot show; it is left in place"};
  }
  if (!options.delete_extra) {
    return {Action::Refuse, "a " + target_side + " " + KindWords(target.kind) +
                                " of that name is in the way (--delete replaces it)"};
  }
  return {file ? Action::ReplaceWithFile : Action::ReplaceWithFolder, ""};
}

}  // namespace orvex::cli
