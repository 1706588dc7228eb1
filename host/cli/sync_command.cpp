// orvex sync LOCALDIR URL --up|--down [--delete] [--dry-run] [--size-only]
//   [--parallel N] [--exclude P] [--include P] [--max-delete N] [--retries N]
//   [--limit-rate RATE]
//
// First the whole tree is compared and a list of steps made (so the progress
// display knows the total, --dry-run can print the list and --max-delete can
// refuse before anything changes); then --parallel connections share the
// steps. What happens to each name is decided by PlanItem (sync_plan.h);
// this file walks the two trees and carries the steps out.
//
// The walk is iterative and stops at kMaxFolderDepth, so no tree a server
// makes up can exhaust the stack. A folder's contents wait for its creation
// and are not attempted when that failed. Deletions of what the source lacks
// come last, once every other step is done, and only when nothing failed
// (planning included); an item of the other kind in the way of a copy goes
// with that copy's own step, and a deletion whose name differs only in
// letter case from an arriving item goes just before it. A step that fails
// is reported and counted (after --retries for a transient fault); the rest
// go on, unless the connection is lost for good or a signal arrives: then
// every connection stops, the run counts what it did not attempt, and says
// why once.
//
// Safety of the local side: a symbolic link is never followed on --down (a
// link where the server has an item is a clash, or with --delete is itself
// replaced), and before every local change the folders leading to it are
// checked to be real folders, not links planted since the comparison.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "host/cli/command_support.h"
#include "host/cli/commands.h"
#include "host/cli/interrupts.h"
#include "host/cli/progress.h"
#include "host/cli/rate_limit.h"
#include "host/cli/sync_filter.h"
#include "host/cli/sync_plan.h"
#include "host/cli/transfer.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;

struct LocalEntry {
  std::string name;
  SideItem item;
};

FileState StateOf(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_size), status.st_mtim.tv_sec};
}

// The entries of a local folder with their kinds. Links are never followed
// on --down; on --up a link to a regular file counts as that file (its
// content is what gets sent), any other link stays a Link. Each entry is
// looked at relative to the open folder, so that a large folder does not
// have the whole path walked again for every file.
std::optional<std::vector<LocalEntry>> ReadLocalFolder(const fs::path& folder, Direction direction,
                                                       std::string& error) {
  const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), &::closedir);
  if (!directory) {
    error = "cannot read folder '" + folder.string() + "': " + std::strerror(errno);
    return std::nullopt;
  }
  const int descriptor = ::dirfd(directory.get());
  std::vector<LocalEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(directory.get());
    if (found == nullptr) {
      if (errno == 0) break;
      error = "cannot read folder '" + folder.string() + "': " + std::strerror(errno);
      return std::nullopt;
    }
    const std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    LocalEntry local;
    local.name = name;
    local.item.unrepresentable = !NameFitsServer(local.name);
    struct stat status {};
    if (::fstatat(descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      error = "cannot read '" + (folder / name).string() + "': " + std::strerror(errno);
      return std::nullopt;
    }
    if (S_ISLNK(status.st_mode)) {
      struct stat target {};
      if (direction == Direction::Up && ::fstatat(descriptor, name.c_str(), &target, 0) == 0 &&
          S_ISREG(target.st_mode)) {
        local.item.kind = ItemKind::File;
        local.item.state = StateOf(target);
      } else {
        local.item.kind = ItemKind::Link;
      }
    } else if (S_ISREG(status.st_mode)) {
      local.item.kind = ItemKind::File;
      local.item.state = StateOf(status);
    } else if (S_ISDIR(status.st_mode)) {
      local.item.kind = ItemKind::Folder;
    } else {
      local.item.kind = ItemKind::Special;
    }
    entries.push_back(std::move(local));
  }
  return entries;
}

// Names a listing must never hand over; they could reach outside the folder.
bool UsableRemoteName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

// True when every folder from `root` down to `relative` (a folder path below
// it, "" for the root itself) is a real folder, not a symbolic link.
bool RealFoldersBelow(const fs::path& root, const fs::path& relative, std::string& error) {
  fs::path path = root;
  for (const auto& component : relative) {
    if (component.empty()) continue;
    path /= component;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      error = "cannot read '" + path.string() + "': " + std::strerror(errno);
      return false;
    }
    if (!S_ISDIR(status.st_mode)) {
      error = "'" + path.string() + "' is no longer a folder (a link is never followed)";
      return false;
    }
  }
  return true;
}

// A report that is a server's refusal (a 5xx reply) rather than a lost
// connection. The plug-in's texts end each error in its reply or error
// number, "... (550)"; a report may go on with what its clean-up met (a
// temporary upload that could not be removed: "... (12031) The temporary
// upload ... (550)"), so the first such number is the one that says what
// failed.
bool IsServerRefusal(const std::string& report) {
  for (std::size_t open = report.find(" ("); open != std::string::npos; open = report.find(" (", open + 1)) {
    std::size_t close = open + 2;
    while (close < report.size() && std::isdigit(static_cast<unsigned char>(report[close]))) ++close;
    const std::size_t digits = close - (open + 2);
    if (digits == 0 || close >= report.size() || report[close] != ')') continue;
    if (close + 1 != report.size() && report[close + 1] != ' ') continue;
    return digits == 3 && report[open + 2] == '5';
  }
  return false;
}

enum class StepKind { CreateFolder, Copy, Delete, RemoveLeftover };

struct Step {
  StepKind kind = StepKind::Copy;
  std::string display;    // relative path with "/", folders with a closing "/"
  fs::path relative;      // the local item, relative to the local root
  std::string remote_path;  // the remote item's host path
  com::ComPtr<HostFile> remote_file;      // the listed remote file (download, or one to delete)
  com::ComPtr<HostFolder> remote_folder;  // a listed remote folder to delete
  ItemKind target_kind = ItemKind::Absent;  // what the target side holds now
  bool replace = false;  // the target of another kind is removed first
  bool cancelled = false;  // a folder not created after all: its contents could not be read
  std::uint64_t bytes = 0;
  // The step this one waits for: the one creating the folder it is in, or
  // a deletion making room for it (see `early`).
  std::ptrdiff_t depends_on = -1;
  // A deletion that runs before the copy depending on it rather than with
  // the deletions at the end (a name differing only in letter case).
  bool early = false;
  // The deletion of a target folder whose contents were compared as well,
  // under --exclude/--include or --max-delete: it stays whole only when
  // nothing inside is left out by the rules (see SettleFolderDeletions).
  bool contents_compared = false;
  // What a folder deleted whole takes along: the deletions below it.
  std::size_t removals_inside = 0;
};

// A deletion kept for the end of the run.
bool LateDeletion(const Step& step) { return step.kind == StepKind::Delete && !step.early; }

// ASCII letters in lower case: how a target that ignores case compares.
std::string FoldedName(std::string name) {
  for (char& character : name) {
    if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
  }
  return name;
}

Step NewStep(StepKind kind, std::string display, fs::path relative, std::string remote_path) {
  Step step;
  step.kind = kind;
  step.display = std::move(display);
  step.relative = std::move(relative);
  step.remote_path = std::move(remote_path);
  return step;
}

struct FolderVisit {
  fs::path relative;        // below the local root
  std::string remote_path;  // host path
  std::string display;      // "" for the root, else "a/b/"
  bool local_exists = true;
  bool remote_exists = true;
  std::size_t depth = 0;
  std::ptrdiff_t depends_on = -1;
};

struct SyncSettings {
  PlanOptions plan;
  bool dry_run = false;
  std::size_t parallel = 4;                // --parallel: connections at work
  int retries = 3;                         // --retries: further tries of a step after a transient fault
  std::optional<std::uint64_t> max_delete;  // --max-delete
  SyncFilter filter;                       // --exclude, --include
  std::uint64_t limit_rate = 0;            // --limit-rate, bytes per second (0: none)
};

class Synchronisation {
 public:
  // Makes the connection numbered `number` (2, 3, ...) of a parallel run,
  // set up exactly as the first (TLS and its certificate checks, the server
  // time offset, the login, ...) and not yet connected; null with `error`.
  using SessionMaker = std::function<std::unique_ptr<RemoteSession>(std::size_t number, std::string& error)>;

  Synchronisation(RemoteSession& session, SessionMaker open_another, const fs::path& local_root,
                  const SyncSettings& settings, Progress& progress)
      : session_(session), open_another_(std::move(open_another)), root_(local_root), settings_(settings),
        progress_(progress), rate_(settings.limit_rate) {}

  // `remote_root`: the remote folder's host path; a remote root that does
  // not exist (a dry run into a folder --up would create) is planned empty.
  void Plan(bool local_root_exists, const std::string& remote_root, bool remote_root_exists = true);
  // How many steps remove something on the target side.
  std::size_t Removals() const;
  void Run();
  // The plug-in's report when the connection was lost for good, else "".
  const std::string& lost_reason() const { return lost_reason_; }

 private:
  bool up() const { return settings_.plan.direction == Direction::Up; }
  void Visit(const FolderVisit& visit, std::vector<FolderVisit>& pending);
  // Once every folder is compared: a folder to be deleted that holds an item
  // the rules leave out is kept, and only what the rules take in below it
  // is deleted; one holding nothing left out is deleted whole, as without
  // rules.
  void SettleFolderDeletions();
  // A folder that cannot be read is a failed step as a whole: when it was
  // to be created (perhaps replacing a file), that is not done either.
  void FolderFailed(const FolderVisit& visit, const std::string& why);
  struct Outcome {
    bool ok = false;
    bool remote = false;  // the failure came from the server side
    bool interrupted = false;
    std::string report;   // why it failed
    bool given_back = false;  // an unproven extra connection could not do it
  };
  // One try of a step on one connection; reports nothing when it fails.
  Outcome Execute(const Step& step, RemoteSession& session);
  Outcome ExecuteLocal(const Step& step, RemoteSession& session);
  Outcome ExecuteRemote(const Step& step, RemoteSession& session);
  // Execute, tried again after a transient fault (--retries); the final
  // failure is left to the caller to report (a lost connection reports it
  // once for all). With `give_back`, a transient fault is not retried but
  // handed back (the step is then another connection's).
  Outcome RunStep(const Step& step, RemoteSession& session, bool give_back);
  // The steps taken by one connection (numbered from 1, the first) until
  // none is left; a further connection connects first, and leaves the work
  // to the others when the server refuses it.
  void Work(RemoteSession* session, std::size_t number);
  // After a failure on the server side: true when the connection is gone
  // and a fresh connect fails too (the reason is kept for the report).
  bool ConnectionLost(RemoteSession& session, const std::string& report);
  // True once the run is to stop: the connection is lost for good, or a
  // signal arrived.
  bool Stopping();
  static std::string LastReport(RemoteSession& session) { return session.LastError(); }
  BlockProgress Advancer();
  // Whether the server's listings give minutes only, and whether an upload
  // gets the local file's time (known once a folder was listed).
  bool RemoteInMinutes() { return !(session_.connection().ServerTraits() & _Connection::kServerListsSeconds); }
  bool UploadsKeepTimes() { return session_.connection().ServerTraits() & _Connection::kServerSetsFileTimes; }
  // A dot file or folder missing from the listing of a server that may hide
  // such names cannot be compared: reported, neither copied again and again
  // nor deleted on the strength of its absence.
  bool Unverifiable(const std::string& name, const std::string& display) {
    if (name.empty() || name.front() != '.' ||
        (session_.connection().ServerTraits() & _Connection::kServerListsHiddenFiles)) {
      return false;
    }
    progress_.Failed(display, "not verifiable: the server does not list dot files, so it was left as it is");
    return true;
  }

  RemoteSession& session_;
  const SessionMaker open_another_;
  const fs::path root_;
  const SyncSettings& settings_;
  Progress& progress_;
  RateLimit rate_;
  std::vector<Step> steps_;
  std::string lost_reason_;
  // What the rules left out, as displayed ("a/b.log", "a/cache/").
  std::vector<std::string> left_out_by_rules_;

  // The run's shared state: which steps are taken and how they ended.
  enum class State { Waiting, Running, Done, Failed };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<State> states_;
  std::size_t first_waiting_ = 0;
  std::size_t unfinished_copies_ = 0;  // steps before the deletions
  bool stopped_ = false;
  bool any_failed_ = false;
  bool deletions_withheld_ = false;
  std::vector<std::unique_ptr<RemoteSession>> extra_sessions_;
};

bool Synchronisation::ConnectionLost(RemoteSession& session, const std::string& report) {
  // A signal stops the run anyway; no reconnecting for it.
  if (Interrupted()) return false;
  if (session.plugin().iPC_Connected() && IsServerRefusal(report)) return false;
  if (session.Connect()) return false;
  std::lock_guard lock(mutex_);
  if (!lost_reason_.empty()) return true;
  lost_reason_ = session.LastError();
  if (lost_reason_.empty()) lost_reason_ = report;
  progress_.Stopped("the connection to the server was lost and could not be restored: " + lost_reason_);
  return true;
}

bool Synchronisation::Stopping() {
  if (Interrupted()) return true;
  std::lock_guard lock(mutex_);
  return stopped_ || !lost_reason_.empty();
}

void Synchronisation::Plan(bool local_root_exists, const std::string& remote_root, bool remote_root_exists) {
  std::vector<FolderVisit> pending;
  FolderVisit root;
  root.remote_path = remote_root;
  root.local_exists = local_root_exists;
  root.remote_exists = remote_root_exists;
  pending.push_back(root);
  while (!pending.empty() && lost_reason_.empty() && !Interrupted()) {
    FolderVisit visit = std::move(pending.back());
    pending.pop_back();
    Visit(visit, pending);
  }
  SettleFolderDeletions();
}

void Synchronisation::SettleFolderDeletions() {
  std::vector<std::size_t> folders;
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    if (steps_[index].contents_compared) folders.push_back(index);
  }
  if (folders.empty()) return;
  // Outer folders first: one deleted whole takes everything below it along.
  std::stable_sort(folders.begin(), folders.end(), [this](std::size_t left, std::size_t right) {
    return steps_[left].display.size() < steps_[right].display.size();
  });
  // In byte order, what lies below a folder "a/b/" is the run of paths that
  // start with it: found by a search, not by a pass over every step.
  const auto starts_with = [](const std::string& path, const std::string& prefix) {
    return path.compare(0, prefix.size(), prefix) == 0;
  };
  std::sort(left_out_by_rules_.begin(), left_out_by_rules_.end());
  std::vector<std::size_t> by_display(steps_.size());
  for (std::size_t index = 0; index < by_display.size(); ++index) by_display[index] = index;
  std::sort(by_display.begin(), by_display.end(),
            [this](std::size_t left, std::size_t right) { return steps_[left].display < steps_[right].display; });
  std::vector<bool> dropped(steps_.size(), false);
  for (const std::size_t folder : folders) {
    if (dropped[folder]) continue;
    Step& step = steps_[folder];
    // "a/b/"; a folder replaced by a file is displayed as the file, "a/b".
    const std::string prefix = step.display.ends_with('/') ? step.display : step.display + "/";
    const auto left_out = std::lower_bound(left_out_by_rules_.begin(), left_out_by_rules_.end(), prefix);
    const bool holds_left_out = left_out != left_out_by_rules_.end() && starts_with(*left_out, prefix);
    if (holds_left_out && step.kind == StepKind::Delete) {
      dropped[folder] = true;
      progress_.Note("kept " + text::TerminalSafe(prefix) + ": it holds items left out by --exclude/--include");
      continue;
    }
    if (holds_left_out) {
      // The file cannot take the folder's place without removing them.
      step.cancelled = true;
      progress_.Failed(step.display, "the " + std::string(up() ? "remote" : "local") +
                                         " folder in the way holds items left out by --exclude/--include; it is "
                                         "left in place");
    }
    auto below = std::lower_bound(by_display.begin(), by_display.end(), prefix,
                                  [this](std::size_t index, const std::string& value) {
                                    return steps_[index].display < value;
                                  });
    for (; below != by_display.end() && starts_with(steps_[*below].display, prefix); ++below) {
      const std::size_t index = *below;
      if (index == folder || dropped[index]) continue;
      dropped[index] = true;
      const Step& inside = steps_[index];
      if (inside.kind == StepKind::Delete && !step.cancelled) step.removals_inside += 1 + inside.removals_inside;
    }
  }
  std::vector<std::ptrdiff_t> moved_to(steps_.size(), -1);
  std::vector<Step> kept;
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    if (dropped[index]) continue;
    moved_to[index] = static_cast<std::ptrdiff_t>(kept.size());
    kept.push_back(std::move(steps_[index]));
  }
  for (auto& step : kept) {
    if (step.depends_on < 0) continue;
    const auto dependency = static_cast<std::size_t>(step.depends_on);
    step.depends_on = moved_to[dependency];
    if (step.depends_on < 0) {
      // It waited for the removal of a folder whose name differs only in
      // letter case, which stays: on a target that ignores case it would
      // land in that folder.
      step.cancelled = true;
      progress_.Failed(step.display, "a folder of a name differing only in letter case is in the way and holds "
                                     "items left out by --exclude/--include");
    }
  }
  steps_ = std::move(kept);
}

void Synchronisation::FolderFailed(const FolderVisit& visit, const std::string& why) {
  progress_.Failed(visit.display.empty() ? "." : visit.display, why);
  if (visit.depends_on >= 0) {
    Step& creation = steps_[static_cast<std::size_t>(visit.depends_on)];
    if (creation.display == visit.display) creation.cancelled = true;
  }
}

void Synchronisation::Visit(const FolderVisit& visit, std::vector<FolderVisit>& pending) {
  if (visit.depth > kMaxFolderDepth) {
    return FolderFailed(visit, "nested more than " + std::to_string(kMaxFolderDepth) +
                                   " folders deep; not entered (an endless tree?)");
  }
  std::vector<LocalEntry> local_entries;
  if (visit.local_exists) {
    std::string error;
    auto read = ReadLocalFolder(root_ / visit.relative, settings_.plan.direction, error);
    if (!read) return FolderFailed(visit, error);
    local_entries = std::move(*read);
  }
  RemoteListing remote_listing;
  if (visit.remote_exists) {
    auto listing = session_.List(visit.remote_path);
    if (!listing) {
      const std::string report = LastReport(session_);
      FolderFailed(visit, report);
      ConnectionLost(session_, report);
      return;
    }
    remote_listing = std::move(*listing);
  }

  // What each side holds, by name.
  std::map<std::string, SideItem> local_items, remote_items;
  std::map<std::string, com::ComPtr<HostFile>> remote_files;
  std::map<std::string, com::ComPtr<HostFolder>> remote_folders;
  std::set<std::string> protected_names;  // neither side is touched
  for (const auto& folder : remote_listing.folders) {
    const std::string name = folder->Name();
    if (!UsableRemoteName(name)) {
      progress_.Failed(visit.display + name, "the server listed a name that cannot be used safely");
      continue;
    }
    remote_items[name] = SideItem{ItemKind::Folder, {}, false};
    remote_folders[name] = folder;
  }
  for (const auto& file : remote_listing.files) {
    const std::string name = file->Name();
    if (!UsableRemoteName(name)) {
      progress_.Failed(visit.display + name, "the server listed a name that cannot be used safely");
      continue;
    }
    if (remote_items.count(name)) {
      // A file and a folder of one name, or a file listed twice (a server
      // whose listing repeats itself): which one a path means is unclear.
      progress_.Failed(visit.display + name, remote_files.count(name) != 0
                                                 ? "the server lists this name more than once"
                                                 : "the server lists both a file and a folder of this name");
      protected_names.insert(name);
      continue;
    }
    remote_items[name] =
        SideItem{ItemKind::File, {static_cast<std::uint64_t>(std::max(0.0, file->Size())), file->DateModified().ToTimeT()}, false};
    remote_files[name] = file;
  }

  // What the server listed but the plug-in could not hand on. Never taken
  // for absent: an unusable name is compared as an item that cannot be
  // copied, a device or pipe as a special file; on --down the local item a
  // name like "a\b" may stand for ("a") is kept as well.
  for (const auto& entry : remote_listing.left_out) {
    const std::string& name = entry.name;
    if (remote_items.count(name) || protected_names.count(name)) continue;
    if (entry.special) {
      if (up()) {
        // Neither replaced nor deleted: the plug-in has no item to do it with.
        protected_names.insert(name);
        const bool touched = settings_.plan.delete_extra ||
                             std::any_of(local_entries.begin(), local_entries.end(),
                                         [&](const LocalEntry& local) { return local.name == name; });
        if (touched) {
          progress_.Failed(visit.display + name,
                           "the server lists a device, socket or pipe of this name; it is left as it is");
        }
        continue;
      }
      remote_items[name] = SideItem{ItemKind::Special, {}, false};
      continue;
    }
    remote_items[name] = SideItem{entry.folder ? ItemKind::Folder : ItemKind::File, {}, true};
    const std::size_t separator = name.find_first_of("/\\");
    if (!up() && separator != std::string::npos && separator > 0) {
      const std::string head = name.substr(0, separator);
      const auto namesake = std::find_if(local_entries.begin(), local_entries.end(),
                                         [&](const LocalEntry& local) { return local.name == head; });
      if (!remote_items.count(head) && !protected_names.count(head) && namesake != local_entries.end()) {
        protected_names.insert(head);
        if (settings_.plan.delete_extra) {
          progress_.Failed(visit.display + head + (namesake->item.kind == ItemKind::Folder ? "/" : ""),
                           "left in place: the server lists \"" + name +
                               "\", a name that may stand for an item inside it");
        }
      }
    }
  }

  // Partial downloads: on --down a left-over beside a file being synchronised
  // is removed, and a remote name of that form is never copied over one; on
  // --up they are never sent, and the remote item of such a name is kept.
  std::set<std::string> leftovers;
  const bool any_partial = std::any_of(local_entries.begin(), local_entries.end(),
                                       [](const LocalEntry& entry) { return IsPartialName(entry.name); });
  if (!up() && any_partial) {
    for (const auto& [name, file] : remote_files) leftovers.insert(PartialName(name));
  }
  for (auto& entry : local_entries) {
    if (!up() && leftovers.count(entry.name) && entry.item.kind != ItemKind::Folder) {
      Step step = NewStep(StepKind::RemoveLeftover, visit.display + entry.name, visit.relative / entry.name, "");
      step.depends_on = visit.depends_on;
      steps_.push_back(std::move(step));
      continue;
    }
    if (IsPartialName(entry.name)) {
      if (up()) progress_.LeftOut(visit.display + entry.name, "a partial download of an interrupted run");
      protected_names.insert(entry.name);
      continue;
    }
    local_items[entry.name] = entry.item;
  }
  if (!up()) {
    for (const auto& [name, item] : remote_items) {
      if (IsPartialName(name) && !protected_names.count(name)) {
        progress_.Failed(visit.display + name, "the name is the one orvex gives its partial downloads");
        protected_names.insert(name);
      }
    }
  }

  // The listing settled what the server's times allow.
  PlanOptions plan = settings_.plan;
  plan.remote_in_minutes = RemoteInMinutes();
  plan.uploads_keep_times = UploadsKeepTimes();

  std::set<std::string> names;
  for (const auto& [name, item] : local_items) names.insert(name);
  for (const auto& [name, item] : remote_items) names.insert(name);

  std::vector<Step> deletions, files, folders;
  std::vector<FolderVisit> children;
  for (const auto& name : names) {
    if (protected_names.count(name)) continue;
    const auto local_found = local_items.find(name);
    const auto remote_found = remote_items.find(name);
    const SideItem local = local_found == local_items.end() ? SideItem{} : local_found->second;
    const SideItem remote = remote_found == remote_items.end() ? SideItem{} : remote_found->second;
    // Left out by --exclude/--include: neither side is touched. A name that
    // is a folder on either side counts as a folder.
    if (!settings_.filter.empty() &&
        settings_.filter.Excluded(visit.display + name,
                                  local.kind == ItemKind::Folder || remote.kind == ItemKind::Folder)) {
      const bool folder = local.kind == ItemKind::Folder || remote.kind == ItemKind::Folder;
      left_out_by_rules_.push_back(visit.display + name + (folder ? "/" : ""));
      continue;
    }
    const SideItem& source = up() ? local : remote;
    const SideItem& target = up() ? remote : local;
    if (visit.remote_exists && remote.kind == ItemKind::Absent && local.kind != ItemKind::Absent &&
        (up() || settings_.plan.delete_extra) &&
        Unverifiable(name, visit.display + name + (local.kind == ItemKind::Folder ? "/" : ""))) {
      continue;
    }
    const Decision decision = PlanItem(source, target, plan);
    const bool source_folder = source.kind == ItemKind::Folder;
    const std::string display = visit.display + name + (source_folder || (source.kind == ItemKind::Absent &&
                                                                          target.kind == ItemKind::Folder)
                                                            ? "/"
                                                            : "");
    Step step = NewStep(StepKind::Copy, display, visit.relative / name, visit.remote_path + "\\" + name);
    step.target_kind = target.kind;
    step.depends_on = visit.depends_on;
    if (remote_files.count(name)) step.remote_file = remote_files[name];
    if (remote_folders.count(name)) step.remote_folder = remote_folders[name];

    FolderVisit child;
    child.relative = visit.relative / name;
    child.remote_path = step.remote_path;
    child.display = visit.display + name + "/";
    child.depth = visit.depth + 1;
    child.depends_on = visit.depends_on;

    switch (decision.action) {
      case Action::Nothing:
        break;
      case Action::Skip:
        progress_.Skipped(display);
        break;
      case Action::Copy:
      case Action::ReplaceWithFile:
        step.replace = decision.action == Action::ReplaceWithFile;
        step.bytes = source.state.size;
        if (step.replace && target.kind == ItemKind::Folder &&
            (!settings_.filter.empty() || settings_.max_delete)) {
          // The folder in the way goes with all it holds: compared too,
          // as a folder to be deleted is.
          step.contents_compared = true;
          (up() ? child.local_exists : child.remote_exists) = false;
          children.push_back(std::move(child));
        }
        files.push_back(std::move(step));
        break;
      case Action::CreateFolder:
      case Action::ReplaceWithFolder:
        step.kind = StepKind::CreateFolder;
        step.replace = decision.action == Action::ReplaceWithFolder;
        folders.push_back(std::move(step));
        (up() ? child.remote_exists : child.local_exists) = false;
        child.depends_on = -2;  // set to the creating step below
        children.push_back(std::move(child));
        break;
      case Action::Descend:
        children.push_back(std::move(child));
        break;
      case Action::Delete:
        step.kind = StepKind::Delete;
        if ((!settings_.filter.empty() || settings_.max_delete) && target.kind == ItemKind::Folder) {
          // Deleted whole, it would take along what the rules leave out
          // inside, and all it holds counts against --max-delete: its
          // contents are compared too.
          step.contents_compared = true;
          (up() ? child.local_exists : child.remote_exists) = false;
          children.push_back(std::move(child));
        }
        deletions.push_back(std::move(step));
        break;
      case Action::LeaveOut:
        progress_.LeftOut(display, decision.reason);
        break;
      case Action::Refuse:
        progress_.Failed(display, decision.reason);
        break;
    }
  }

  // A deletion whose name differs only in letter case from an item copied or
  // created here goes first, and that copy waits for it: on a target that
  // ignores case (a Windows server, a FAT drive) the copy lands on the very
  // item the deletion names, and deleting after it would remove the copy.
  std::set<std::string> arriving;
  for (const auto* group : {&files, &folders}) {
    for (const auto& step : *group) arriving.insert(FoldedName(step.relative.filename().string()));
  }
  std::map<std::string, std::ptrdiff_t> clearing;  // folded name -> the deletion making room
  for (auto& step : deletions) {
    const std::string folded = FoldedName(step.relative.filename().string());
    if (!arriving.count(folded)) continue;
    step.early = true;
    clearing[folded] = static_cast<std::ptrdiff_t>(steps_.size());
    steps_.push_back(std::move(step));
  }
  std::map<std::string, std::ptrdiff_t> created;  // child display -> its creating step
  for (auto* group : {&deletions, &files, &folders}) {
    for (auto& step : *group) {
      if (step.kind == StepKind::Delete && step.early) continue;  // already placed
      if (step.kind != StepKind::Delete) {
        const auto room = clearing.find(FoldedName(step.relative.filename().string()));
        if (room != clearing.end()) step.depends_on = room->second;
      }
      if (step.kind == StepKind::CreateFolder) created[step.display] = static_cast<std::ptrdiff_t>(steps_.size());
      steps_.push_back(std::move(step));
    }
  }
  // Last pushed, first visited: children in name order, depth first.
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    if (child->depends_on == -2) child->depends_on = created[child->display];
    pending.push_back(std::move(*child));
  }
}

std::size_t Synchronisation::Removals() const {
  std::size_t count = 0;
  for (const auto& step : steps_) {
    if (step.cancelled) continue;
    count += (step.kind == StepKind::Delete || step.replace) + step.removals_inside;
  }
  return count;
}

void Synchronisation::Run() {
  std::uint64_t copies = 0, bytes = 0;
  for (const auto& step : steps_) {
    if (step.kind != StepKind::Copy || step.cancelled) continue;
    ++copies;
    bytes += step.bytes;
  }
  progress_.set_total_files(copies);
  progress_.set_total_bytes(bytes);
  if (settings_.dry_run) {
    for (const Step& step : steps_) {
      if (step.cancelled) continue;
      static const char* const kVerbs[] = {"create", "copy", "delete", "remove left-over"};
      std::string display = step.display;
      if (step.replace) {
        display += std::string(" (replacing the ") + (up() ? "remote " : "local ") +
                   (step.target_kind == ItemKind::Folder ? "folder)" : "item)");
      }
      progress_.Planned(kVerbs[static_cast<int>(step.kind)], display, step.bytes);
    }
    return;
  }
  // Deletions of items the source does not have come last, once every copy
  // and folder is done, and only when all of those succeeded: nothing is
  // removed on the strength of a run that failed. (An item of the other kind
  // in the way of a copy is removed by that copy's own step.)
  std::vector<std::size_t> order;
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    if (!LateDeletion(steps_[index])) order.push_back(index);
  }
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    if (LateDeletion(steps_[index])) order.push_back(index);
  }
  std::vector<std::ptrdiff_t> moved_to(steps_.size());
  std::vector<Step> ordered;
  ordered.reserve(steps_.size());
  for (std::size_t index : order) {
    moved_to[index] = static_cast<std::ptrdiff_t>(ordered.size());
    ordered.push_back(std::move(steps_[index]));
  }
  for (auto& step : ordered) {
    if (step.depends_on >= 0) step.depends_on = moved_to[static_cast<std::size_t>(step.depends_on)];
  }
  steps_ = std::move(ordered);
  states_.assign(steps_.size(), State::Waiting);
  for (std::size_t index = 0; index < steps_.size(); ++index) {
    // A folder whose contents could not be read is not created: its step
    // counts as failed (it was reported so while planning).
    if (steps_[index].cancelled) {
      states_[index] = State::Failed;
      continue;
    }
    unfinished_copies_ += !LateDeletion(steps_[index]);
  }
  stopped_ = !lost_reason_.empty() || Interrupted();
  // A failure found while comparing (a listing that failed, a clash, a
  // folder not entered) is a failed step like any other: it withholds the
  // deletions, since the picture they would rest on is incomplete.
  any_failed_ = progress_.tally().failed > 0;

  // The first connection works on this thread; the others each on their
  // own, opened as the first was. A server that refuses them leaves the
  // work to the connections it accepted.
  // No more connections than steps to share, none when the run is already
  // stopping.
  const auto runnable = static_cast<std::size_t>(std::count(states_.begin(), states_.end(), State::Waiting));
  const std::size_t wanted = stopped_ ? 1 : std::clamp<std::size_t>(runnable, 1, std::max<std::size_t>(settings_.parallel, 1));
  for (std::size_t index = 1; index < wanted; ++index) {
    std::string error;
    auto session = open_another_(index + 1, error);
    if (session && session->location() != session_.location()) {
      // Its steps' paths would mean other items there.
      session.reset();
      error = "it resolved the folder differently";
    }
    if (!session) {
      progress_.Warn("connection " + std::to_string(index + 1) + " could not be made (" + error +
                     "); going on with fewer");
      break;
    }
    extra_sessions_.push_back(std::move(session));
  }
  std::vector<std::thread> workers;
  for (std::size_t index = 0; index < extra_sessions_.size(); ++index) {
    workers.emplace_back([this, index] { Work(extra_sessions_[index].get(), index + 2); });
  }
  Work(&session_, 1);
  for (auto& worker : workers) worker.join();
  for (const State state : states_) {
    if (state == State::Waiting) progress_.NotAttempted(1);
  }
  // Sessions are closed on this thread, where they were made.
  extra_sessions_.clear();
}

void Synchronisation::Work(RemoteSession* session, std::size_t number) {
  if (session != &session_ && !session->Connect()) {
    // A server limiting its connections ("421 too many connections", a
    // refused login): the others carry on.
    // Said on standard error: a certificate that fails its checks on this
    // connection alone is worth a person's attention.
    progress_.Warn("connection " + std::to_string(number) + " was refused (" + session->LastError() +
                   "); going on with fewer");
    return;
  }
  // An extra connection proves itself with its first step: until then a
  // transient fault (its second connection refused by a server that limits
  // them, say) hands the step back and closes it, which frees its place.
  bool proven = session == &session_;
  std::unique_lock lock(mutex_);
  for (;;) {
    // The first waiting step that may start: its folder exists, and for a
    // deletion every other step is finished without a failure.
    std::optional<std::size_t> next;
    bool waiting = false;
    for (std::size_t index = first_waiting_; index < steps_.size(); ++index) {
      if (states_[index] == State::Running) {
        waiting = true;  // it may yet be handed back
        continue;
      }
      if (states_[index] != State::Waiting) {
        if (index == first_waiting_) ++first_waiting_;
        continue;
      }
      const Step& step = steps_[index];
      const bool deletion = LateDeletion(step);
      const auto dependency = step.depends_on;
      const bool blocked_by_failure =
          stopped_ || Interrupted() || (dependency >= 0 && states_[static_cast<std::size_t>(dependency)] == State::Failed) ||
          (((deletion && unfinished_copies_ == 0) || step.early) && any_failed_);
      if (blocked_by_failure) {
        states_[index] = State::Failed;
        if (step.kind == StepKind::Delete && !stopped_ && !Interrupted() && !deletions_withheld_) {
          deletions_withheld_ = true;
          progress_.Note("deletions not attempted: a step above failed, so nothing is deleted");
        }
        if (step.kind != StepKind::RemoveLeftover) progress_.NotAttempted(1);
        if (!deletion) --unfinished_copies_;
        changed_.notify_all();
        continue;
      }
      if ((dependency >= 0 && states_[static_cast<std::size_t>(dependency)] != State::Done) ||
          (deletion && unfinished_copies_ > 0)) {
        waiting = true;
        if (deletion) break;  // all later steps are deletions too
        continue;
      }
      next = index;
      break;
    }
    if (!next) {
      if (!waiting) return;
      changed_.wait(lock);
      continue;
    }
    states_[*next] = State::Running;
    lock.unlock();
    const Outcome outcome = RunStep(steps_[*next], *session, !proven);
    if (outcome.given_back) {
      session->plugin().iPC_Disconnect();
      lock.lock();
      states_[*next] = State::Waiting;
      first_waiting_ = std::min(first_waiting_, *next);
      progress_.Note("connection " + std::to_string(number) + " could not work (" +
                     text::TerminalSafe(outcome.report) + "); going on with fewer");
      changed_.notify_all();
      return;
    }
    proven = proven || outcome.ok;
    bool lost = false;
    if (!outcome.ok && !outcome.interrupted && outcome.remote) lost = ConnectionLost(*session, outcome.report);
    // A step cut short by the lost connection is counted as failed; the one
    // line saying the connection was lost stands for all of them.
    if (!outcome.ok && lost) {
      progress_.FailedUnreported();
    } else if (!outcome.ok) {
      progress_.Failed(steps_[*next].display, outcome.report);
    }
    lock.lock();
    states_[*next] = outcome.ok ? State::Done : State::Failed;
    if (!outcome.ok) any_failed_ = true;
    if (!LateDeletion(steps_[*next])) --unfinished_copies_;
    if (outcome.interrupted || lost) stopped_ = true;
    changed_.notify_all();
  }
}

BlockProgress Synchronisation::Advancer() {
  auto moved = std::make_shared<std::uint64_t>(0);
  return [this, moved](std::uint64_t bytes) {
    progress_.Advance(bytes);
    rate_.Take(bytes - *moved, [] { return Interrupted(); });
    *moved = bytes;
  };
}

Synchronisation::Outcome Synchronisation::RunStep(const Step& step, RemoteSession& session, bool give_back) {
  for (int attempt = 0;; ++attempt) {
    Outcome outcome = Execute(step, session);
    if (outcome.ok) return outcome;
    // Transient: a lost connection, a 421 or another 4xx reply. A 5xx
    // refusal and a local fault stay what they are.
    const bool transient = outcome.remote && !outcome.interrupted && !IsServerRefusal(outcome.report);
    if (transient && give_back) {
      outcome.given_back = true;
      return outcome;
    }
    if (!transient || attempt >= settings_.retries || Stopping()) return outcome;
    progress_.Note("retrying " + text::TerminalSafe(step.display) + " (" + std::to_string(attempt + 1) + " of " +
                   std::to_string(settings_.retries) + ") after: " + text::TerminalSafe(outcome.report));
    // A short back-off, doubling, never more than 4 s; a signal ends it.
    const auto pause = std::chrono::milliseconds(std::min(4000, 250 << std::min(attempt, 4)));
    const auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until && !Interrupted()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (!session.plugin().iPC_Connected() || !IsServerRefusal(outcome.report)) session.Connect();
  }
}

Synchronisation::Outcome Synchronisation::Execute(const Step& step, RemoteSession& session) {
  if (step.kind == StepKind::RemoveLeftover || !up()) return ExecuteLocal(step, session);
  return ExecuteRemote(step, session);
}

Synchronisation::Outcome Synchronisation::ExecuteLocal(const Step& step, RemoteSession& session) {
  Outcome outcome;
  std::string error;
  const fs::path path = root_ / step.relative;
  auto fail = [&](const std::string& why) {
    outcome.report = why;
    return outcome;
  };
  if (!RealFoldersBelow(root_, step.relative.parent_path(), error)) return fail(error);
  std::error_code code;
  // Removes what is at `path` now: a folder with its contents, anything else
  // (a link included) by itself. Links inside a folder are removed, never
  // followed.
  auto remove_target = [&](ItemKind kind) {
    if (kind == ItemKind::Folder) {
      fs::remove_all(path, code);
    } else {
      fs::remove(path, code);
    }
    return !code;
  };
  switch (step.kind) {
    case StepKind::RemoveLeftover:
      if (!fs::remove(path, code) && code) return fail(code.message());
      progress_.Note("removed left-over " + step.display);
      outcome.ok = true;
      return outcome;
    case StepKind::Delete:
      if (!remove_target(step.target_kind)) return fail(code.message());
      progress_.Deleted(step.display);
      outcome.ok = true;
      return outcome;
    case StepKind::CreateFolder: {
      if (step.replace && !remove_target(step.target_kind)) return fail(code.message());
      if (::mkdir(path.c_str(), 0777) != 0) {
        const int number = errno;
        struct stat status {};
        if (number != EEXIST || ::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
          return fail(number == EEXIST ? "something that is not a folder is in the way" : std::strerror(number));
        }
      }
      progress_.Created(step.display);
      outcome.ok = true;
      return outcome;
    }
    case StepKind::Copy: {
      // A file, link or special file in the way is replaced by the rename
      // that completes the download; a folder goes only once the whole file
      // is here, so a failed download leaves it as it was.
      ClearTarget clear_folder;
      if (step.replace && step.target_kind == ItemKind::Folder) {
        clear_folder = [&](std::string& why) {
          if (!RealFoldersBelow(root_, step.relative.parent_path(), why)) return false;
          if (remove_target(ItemKind::Folder)) return true;
          why = "cannot remove the folder in the way: " + code.message();
          return false;
        };
      }
      progress_.Start(step.display);
      const auto result = DownloadFile(session.plugin(), step.remote_file, path, Advancer(), clear_folder);
      if (result.ok) {
        progress_.Copied(step.display, result.bytes);
        outcome.ok = true;
      } else {
        outcome.report = result.interrupted ? std::string(InterruptText()) + "; nothing was changed" : result.error;
        outcome.interrupted = result.interrupted;
        // A failure writing locally says nothing about the connection.
        outcome.remote = !result.interrupted && result.error.rfind("cannot ", 0) != 0;
      }
      return outcome;
    }
  }
  return outcome;
}

Synchronisation::Outcome Synchronisation::ExecuteRemote(const Step& step, RemoteSession& session) {
  Outcome outcome;
  iPC& plugin = session.plugin();
  auto fail = [&](const std::string& why, bool remote) {
    outcome.report = why;
    outcome.remote = remote;
    return outcome;
  };
  auto remove_target = [&] {
    if (step.target_kind == ItemKind::Folder) return step.remote_folder && plugin.iPC_DeleteFolder(step.remote_folder, 0);
    return step.remote_file && plugin.iPC_DeleteFile(step.remote_file, 0);
  };
  switch (step.kind) {
    case StepKind::RemoveLeftover:
      return outcome;
    case StepKind::Delete:
      if (!remove_target()) return fail(LastReport(session), true);
      progress_.Deleted(step.display);
      outcome.ok = true;
      return outcome;
    case StepKind::CreateFolder:
      if (step.replace && !remove_target()) return fail(LastReport(session), true);
      if (!plugin.iPC_CreateFolder(step.remote_path)) return fail(LastReport(session), true);
      progress_.Created(step.display);
      outcome.ok = true;
      return outcome;
    case StepKind::Copy: {
      if (step.replace && !remove_target()) return fail(LastReport(session), true);
      progress_.Start(step.display);
      const auto result = UploadFile(plugin, root_ / step.relative, step.remote_path, Advancer());
      if (result.ok) {
        progress_.Copied(step.display, result.bytes);
        // The comparison takes the copy to carry the file's time; where the
        // server refused it for this file, the next run sees a different time
        // and copies the file again. Said, not hidden.
        if (!result.time_kept && UploadsKeepTimes()) {
          progress_.Warn(step.display,
                         "the server did not take the file's time, so a later sync will find it changed and copy it again");
        }
        outcome.ok = true;
        return outcome;
      }
      outcome.interrupted = result.interrupted;
      return fail(result.error, !result.interrupted && result.error.rfind("cannot read", 0) != 0);
    }
  }
  return outcome;
}

}  // namespace

int SyncCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, "sync");
  if (!parsed) return kUsage;
  if (parsed->Has("--up") == parsed->Has("--down")) return UsageError("sync needs exactly one of --up and --down");
  SyncSettings settings;
  settings.plan.direction = parsed->Has("--up") ? Direction::Up : Direction::Down;
  settings.plan.delete_extra = parsed->Has("--delete");
  settings.plan.size_only = parsed->Has("--size-only");
  settings.dry_run = parsed->Has("--dry-run");
  // A whole number from `lowest` to `highest`, or nullopt.
  auto count = [](const std::string& text, std::uint64_t lowest, std::uint64_t highest) -> std::optional<std::uint64_t> {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const std::uint64_t value = std::stoull(text);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
  };
  if (const auto value = parsed->Value("--parallel")) {
    const auto number = count(*value, 1, 64);
    if (!number) return UsageError("--parallel needs a number from 1 to 64");
    settings.parallel = static_cast<std::size_t>(*number);
  }
  if (const auto value = parsed->Value("--retries")) {
    const auto number = count(*value, 0, 100);
    if (!number) return UsageError("--retries needs a number from 0 to 100");
    settings.retries = static_cast<int>(*number);
  }
  if (const auto value = parsed->Value("--max-delete")) {
    settings.max_delete = count(*value, 0, 999999999999ULL);
    if (!settings.max_delete) return UsageError("--max-delete needs a number (0 or more)");
  }
  if (const auto value = parsed->Value("--limit-rate")) {
    const auto rate = ParseRate(*value);
    if (!rate) return UsageError("--limit-rate needs a rate such as 500k or 2M (bytes per second)");
    settings.limit_rate = *rate;
  }
  for (const auto& [option, pattern] : parsed->in_order) {
    if (option != "--exclude" && option != "--include") continue;
    if (const auto problem = settings.filter.Add(option == "--include", pattern)) {
      return UsageError(option + ": " + *problem);
    }
  }
  const bool up = settings.plan.direction == Direction::Up;
  const fs::path local = parsed->operands[0];
  const auto url = ReadUrl(parsed->operands[1]);
  if (!url) return kUsage;

  std::error_code error;
  const bool local_exists = fs::is_directory(local, error);
  if ((up && !local_exists) || (!local_exists && fs::exists(fs::symlink_status(local, error)))) {
    std::cerr << "orvex: not a folder: " << text::TerminalSafe(local.string()) << "\n";
    return kFailure;
  }

  int status = kSuccess;
  auto options = ReadOptions(*url, *parsed, status);
  if (!options) return status;
  // As lftp's mirror and rclone do, --up creates a missing remote folder
  // (a dry run only plans to).
  FolderSession remote;
  if (up) {
    remote = OpenFolderCreating(*url, *options, !settings.dry_run, status);
  } else {
    remote.session = OpenSession(*url, *options, status);
    if (remote.session) remote.path = remote.session->location();
    remote.url = *url;
  }
  auto& session = remote.session;
  if (!session) return status;
  CatchInterrupts();
  session->CancelOnInterrupt();
  if (!up && !local_exists && !settings.dry_run && !fs::create_directories(local, error) && error) {
    std::cerr << "orvex: cannot create folder " << text::TerminalSafe(local.string()) << ": " << error.message()
              << "\n";
    return kFailure;
  }

  Progress progress(std::cout, std::cerr, OutputIsTerminal());
  const RemoteUrl session_url = remote.url;
  Synchronisation synchronisation(
      *session,
      [&](std::size_t number, std::string& failure) {
        return PrepareSession(session_url, *options, "[" + std::to_string(number) + "] ", failure);
      },
      local, settings, progress);
  if (!remote.exists) progress.Planned("create", url->Location() + "/");
  synchronisation.Plan(up || local_exists, remote.path, remote.exists);
  if (settings.max_delete && synchronisation.Removals() > *settings.max_delete) {
    // Refused before anything is done, on either side.
    progress.Stopped("the run would delete " + std::to_string(synchronisation.Removals()) +
                     " items, more than --max-delete " + std::to_string(*settings.max_delete) +
                     " allows; nothing was changed");
    return kFailure;
  }
  synchronisation.Run();
  const bool lost = !synchronisation.lost_reason().empty();
  if (Interrupted()) progress.Stopped(std::string(InterruptText()) + ": stopped; temporary files were removed where possible");
  settings.dry_run ? progress.PlanSummary() : progress.Summary();
  if (Interrupted()) return InterruptExitStatus();
  return progress.tally().failed > 0 || lost ? kFailure : kSuccess;
}

}  // namespace orvex::cli
