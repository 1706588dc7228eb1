#pragma once
// What a synchronisation does with one name of a folder, decided from what
// each side holds under that name. A pure function: no server, no files, so
// every combination can be tried in a table, and other planners (parallel
// runs, include and exclude rules) build on the same decisions.
//
// The source is the side being copied from (LOCAL for --up, the server for
// --down), the target the side being made equal to it.

#include <ctime>
#include <string>

#include "host/cli/sync_rules.h"

namespace orvex::cli {

enum class ItemKind {
  Absent,
  File,
  Folder,
  // A symbolic link that is not followed: on the local side of --down every
  // link, on --up a link to a folder or to nothing.
  Link,
  // Anything else that is neither file nor folder: a FIFO, a socket, a device.
  Special,
};

struct SideItem {
  ItemKind kind = ItemKind::Absent;
  FileState state;  // size and time, for a File
  // The name cannot exist on the other side (a local name holding "\" or a
  // line break: the server's listings can never show it, so it can neither
  // be sent nor be compared; a remote name holding "/", "\" or NUL, which
  // no item path can name, so it can neither be fetched nor deleted).
  bool unrepresentable = false;
};

enum class Direction { Up, Down };

struct PlanOptions {
  Direction direction = Direction::Up;
  bool delete_extra = false;  // --delete
  bool size_only = false;     // --size-only
  // What the server allows, as SourceReplacesTarget takes it: its listings
  // give minutes only; an upload gets the source's time.
  bool remote_in_minutes = true;
  bool uploads_keep_times = true;
};

enum class Action {
  Nothing,            // nothing to do (e.g. a target-only item without --delete)
  Skip,               // the files are the same: counted as skipped
  Copy,               // copy the source file over (or beside) the target
  CreateFolder,       // create the target folder, then compare its contents
  Descend,            // folders on both sides: compare their contents
  Delete,             // remove the target (not on the source side; --delete)
  ReplaceWithFile,    // remove the target of another kind, then copy
  ReplaceWithFolder,  // remove the target of another kind, create, compare
  LeaveOut,           // a source item that cannot be synchronised; a notice only
  Refuse,             // a failed step: nothing is done on either side
};

struct Decision {
  Action action = Action::Nothing;
  std::string reason;  // for LeaveOut and Refuse
};

// The decision for one name. Copies follow SourceReplacesTarget; with
// `remote_time` the server's time of whichever side is the server's.
// Nothing is deleted or replaced without --delete, and never a target whose
// name the source side could not have shown.
Decision PlanItem(const SideItem& source, const SideItem& target, const PlanOptions& options);

// Whether a local name can be sent to the server and compared with its
// listings. False for names holding "\" (the plug-in's path separator) or a
// line break or NUL (listings are lines).
bool NameFitsServer(const std::string& name);

// Depth below the synchronised folder at which a folder is no longer
// entered: such a tree is endless or hostile, and stays a failed step.
inline constexpr std::size_t kMaxFolderDepth = 256;

}  // namespace orvex::cli
