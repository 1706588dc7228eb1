// orvex sync LOCALDIR URL --up|--down [--delete] [--dry-run] [--size-only]
//
// First the whole tree is compared and a list of steps made (so the progress
// display knows the total, and --dry-run can print the list); then the steps
// run in order. Within each folder deletions come first (so an item of the
// other kind with the same name is out of the way), then files, then
// sub-folders. A step that fails is reported and counted; the rest go on.

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>

#include "host/cli/command_support.h"
#include "host/cli/commands.h"
#include "host/cli/progress.h"
#include "host/cli/sync_rules.h"
#include "host/cli/transfer.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;

// What DownloadFile writes while a file arrives; never a real file to sync.
constexpr char kPartialSuffix[] = ".orvex-partial";

struct LocalEntry {
  std::string name;
  bool folder = false;
  FileState state;
};

std::time_t LocalTime(const fs::file_time_type& time) {
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(fs::file_time_type::clock::to_sys(time)));
}

// Regular files (also through a symbolic link) and real folders; symbolic
// links to folders are left out so that a link cycle cannot recurse forever.
std::optional<std::vector<LocalEntry>> ReadLocalFolder(const fs::path& folder, std::string& error) {
  std::vector<LocalEntry> entries;
  std::error_code code;
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    const auto& entry = *it;
    LocalEntry local;
    local.name = entry.path().filename().string();
    if (local.name.size() > sizeof kPartialSuffix &&
        local.name.ends_with(kPartialSuffix)) {
      continue;
    }
    std::error_code item_error;
    if (entry.is_directory(item_error) && !entry.is_symlink(item_error)) {
      local.folder = true;
    } else if (entry.is_regular_file(item_error)) {
      local.state.size = entry.file_size(item_error);
      local.state.modified = LocalTime(entry.last_write_time(item_error));
    } else {
      std::cerr << "orvex: left out (not a file or folder): " << entry.path().string() << "\n";
      continue;
    }
    if (item_error) {
      error = "cannot read '" + entry.path().string() + "': " + item_error.message();
      return std::nullopt;
    }
    entries.push_back(local);
  }
  if (code) {
    error = "cannot read folder '" + folder.string() + "': " + code.message();
    return std::nullopt;
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

enum class StepKind { CreateFolder, Copy, DeleteFile, DeleteFolder };

struct Step {
  StepKind kind;
  std::string display;      // relative path with "/", folders with a closing "/"
  fs::path local;           // the local side
  std::string remote_path;  // the remote side's host path
  com::ComPtr<HostFile> remote_file;
  com::ComPtr<HostFolder> remote_folder;
  std::uint64_t bytes = 0;
};

struct SyncSettings {
  bool up = true;
  bool delete_extra = false;
  bool dry_run = false;
  bool size_only = false;
};

class Synchronisation {
 public:
  Synchronisation(RemoteSession& session, const SyncSettings& settings, Progress& progress)
      : session_(session), settings_(settings), progress_(progress) {}

  void PlanUp(const fs::path& local, const std::string& remote_path, const std::string& prefix, bool remote_exists);
  void PlanDown(const std::string& remote_path, const fs::path& local, const std::string& prefix, bool local_exists);
  void Run();

 private:
  void Add(Step step) { steps_.push_back(std::move(step)); }
  // What the server's listings allow (known once a folder was listed).
  bool RemoteInMinutes() { return !(session_.connection().ServerTraits() & _Connection::kServerListsSeconds); }
  // A dot file or folder missing from the listing of a server that may hide
  // such names cannot be compared: reported once per run, neither copied
  // again and again nor deleted on the strength of its absence.
  bool Unverifiable(const std::string& name, const std::string& display) {
    if (name.empty() || name.front() != '.' ||
        (session_.connection().ServerTraits() & _Connection::kServerListsHiddenFiles)) {
      return false;
    }
    progress_.Failed(display, "not verifiable: the server does not list dot files, so it was left as it is");
    return true;
  }
  void Execute(const Step& step);

  RemoteSession& session_;
  const SyncSettings settings_;
  Progress& progress_;
  std::vector<Step> steps_;
};

void Synchronisation::PlanUp(const fs::path& local, const std::string& remote_path, const std::string& prefix,
                             bool remote_exists) {
  std::string error;
  const auto entries = ReadLocalFolder(local, error);
  if (!entries) return progress_.Failed(prefix.empty() ? "." : prefix, error);
  RemoteListing remote;
  if (remote_exists) {
    auto listing = session_.List(remote_path);
    if (!listing) return progress_.Failed(prefix.empty() ? "." : prefix, session_.LastError());
    remote = std::move(*listing);
  }
  std::map<std::string, const LocalEntry*> local_by_name;
  for (const auto& entry : *entries) local_by_name[entry.name] = &entry;
  std::map<std::string, com::ComPtr<HostFile>> remote_files;
  std::map<std::string, com::ComPtr<HostFolder>> remote_folders;
  for (const auto& file : remote.files) remote_files[file->Name()] = file;
  for (const auto& folder : remote.folders) remote_folders[folder->Name()] = folder;

  auto local_kind = [&](const std::string& name, bool folder) {
    const auto found = local_by_name.find(name);
    return found != local_by_name.end() && found->second->folder == folder;
  };
  if (settings_.delete_extra) {
    for (const auto& [name, file] : remote_files) {
      if (!local_kind(name, false)) Add({StepKind::DeleteFile, prefix + name, {}, file->Path(), file, {}, 0});
    }
    for (const auto& [name, folder] : remote_folders) {
      if (!local_kind(name, true)) Add({StepKind::DeleteFolder, prefix + name + "/", {}, folder->Path(), {}, folder, 0});
    }
  }
  for (const auto& entry : *entries) {
    if (entry.name.find('\\') != std::string::npos) {
      // Host paths separate names with "\": such a name would land in
      // another folder under another name.
      progress_.Failed(prefix + entry.name, "a name with \"\\\" cannot be sent to the server");
    }
  }
  for (const auto& entry : *entries) {
    if (entry.folder || entry.name.find('\\') != std::string::npos) continue;
    const std::string display = prefix + entry.name;
    if (remote_folders.count(entry.name) && !settings_.delete_extra) {
      progress_.Failed(display, "a remote folder of that name is in the way (--delete replaces it)");
      continue;
    }
    const auto found = remote_files.find(entry.name);
    if (found == remote_files.end() && remote_exists && Unverifiable(entry.name, display)) continue;
    if (found != remote_files.end()) {
      const FileState remote{static_cast<std::uint64_t>(std::max(0.0, found->second->Size())),
                             found->second->DateModified().ToTimeT()};
      const bool dated = session_.connection().ServerTraits() & _Connection::kServerSetsFileTimes;
      if (!SourceReplacesTarget(entry.state, remote, settings_.size_only, remote.modified, RemoteInMinutes(), dated)) {
        progress_.Skipped(display);
        continue;
      }
    }
    Add({StepKind::Copy, display, local / entry.name, remote_path + "\\" + entry.name, {}, {}, entry.state.size});
  }
  for (const auto& entry : *entries) {
    if (!entry.folder || entry.name.find('\\') != std::string::npos) continue;
    const std::string display = prefix + entry.name + "/";
    if (remote_files.count(entry.name) && !settings_.delete_extra) {
      progress_.Failed(display, "a remote file of that name is in the way (--delete replaces it)");
      continue;
    }
    const bool exists = remote_folders.count(entry.name) > 0;
    if (!exists && remote_exists && Unverifiable(entry.name, display)) continue;
    const std::string child = remote_path + "\\" + entry.name;
    if (!exists) Add({StepKind::CreateFolder, display, local / entry.name, child, {}, {}, 0});
    PlanUp(local / entry.name, child, display, exists);
  }
}

void Synchronisation::PlanDown(const std::string& remote_path, const fs::path& local, const std::string& prefix,
                               bool local_exists) {
  auto listing = session_.List(remote_path);
  if (!listing) return progress_.Failed(prefix.empty() ? "." : prefix, session_.LastError());
  std::vector<LocalEntry> entries;
  if (local_exists) {
    std::string error;
    auto read = ReadLocalFolder(local, error);
    if (!read) return progress_.Failed(prefix.empty() ? "." : prefix, error);
    entries = std::move(*read);
  }
  std::map<std::string, LocalEntry> local_files, local_folders;
  for (const auto& entry : entries) (entry.folder ? local_folders : local_files)[entry.name] = entry;
  std::map<std::string, com::ComPtr<HostFile>> remote_files;
  std::map<std::string, com::ComPtr<HostFolder>> remote_folders;
  for (const auto& file : listing->files) remote_files[file->Name()] = file;
  for (const auto& folder : listing->folders) remote_folders[folder->Name()] = folder;

  if (settings_.delete_extra) {
    for (const auto& [name, entry] : local_files) {
      if (!remote_files.count(name) && !Unverifiable(name, prefix + name)) {
        Add({StepKind::DeleteFile, prefix + name, local / name, {}, {}, {}, 0});
      }
    }
    for (const auto& [name, entry] : local_folders) {
      if (!remote_folders.count(name) && !Unverifiable(name, prefix + name + "/")) {
        Add({StepKind::DeleteFolder, prefix + name + "/", local / name, {}, {}, {}, 0});
      }
    }
  }
  for (const auto& [name, file] : remote_files) {
    const std::string display = prefix + name;
    if (local_folders.count(name) && !settings_.delete_extra) {
      progress_.Failed(display, "a local folder of that name is in the way (--delete replaces it)");
      continue;
    }
    const FileState remote{static_cast<std::uint64_t>(std::max(0.0, file->Size())), file->DateModified().ToTimeT()};
    const auto found = local_files.find(name);
    if (found != local_files.end() &&
        !SourceReplacesTarget(remote, found->second.state, settings_.size_only, remote.modified, RemoteInMinutes())) {
      progress_.Skipped(display);
      continue;
    }
    Add({StepKind::Copy, display, local / name, file->Path(), file, {}, remote.size});
  }
  for (const auto& [name, folder] : remote_folders) {
    const std::string display = prefix + name + "/";
    if (local_files.count(name) && !settings_.delete_extra) {
      progress_.Failed(display, "a local file of that name is in the way (--delete replaces it)");
      continue;
    }
    const bool exists = local_folders.count(name) > 0;
    if (!exists) Add({StepKind::CreateFolder, display, local / name, folder->Path(), {}, folder, 0});
    PlanDown(folder->Path(), local / name, display, exists);
  }
}

void Synchronisation::Run() {
  std::uint64_t copies = 0;
  for (const auto& step : steps_) copies += step.kind == StepKind::Copy;
  progress_.set_total_files(copies);
  for (const auto& step : steps_) {
    if (settings_.dry_run) {
      static const char* const kVerbs[] = {"create", "copy", "delete", "delete"};
      progress_.Planned(kVerbs[static_cast<int>(step.kind)], step.display, step.bytes);
      continue;
    }
    Execute(step);
  }
}

void Synchronisation::Execute(const Step& step) {
  iPC& plugin = session_.plugin();
  std::error_code error;
  switch (step.kind) {
    case StepKind::CreateFolder:
      if (settings_.up ? static_cast<bool>(plugin.iPC_CreateFolder(step.remote_path))
                       : fs::create_directory(step.local, error) || (!error && fs::is_directory(step.local))) {
        progress_.Created(step.display);
      } else {
        progress_.Failed(step.display, settings_.up ? session_.LastError() : error.message());
      }
      return;
    case StepKind::Copy: {
      progress_.Start(step.display);
      auto advance = [&](std::uint64_t bytes) { progress_.Advance(bytes); };
      const auto result = settings_.up ? UploadFile(plugin, step.local, step.remote_path, advance)
                                       : DownloadFile(plugin, step.remote_file, step.local, advance);
      if (result.ok) {
        progress_.Copied(step.display, result.bytes);
      } else {
        progress_.Failed(step.display, result.error);
      }
      return;
    }
    case StepKind::DeleteFile:
      if (settings_.up ? plugin.iPC_DeleteFile(step.remote_file, 0) : fs::remove(step.local, error)) {
        progress_.Deleted(step.display);
      } else {
        progress_.Failed(step.display, settings_.up ? session_.LastError() : error.message());
      }
      return;
    case StepKind::DeleteFolder:
      if (settings_.up ? plugin.iPC_DeleteFolder(step.remote_folder, 0)
                       : fs::remove_all(step.local, error) != static_cast<std::uintmax_t>(-1) && !error) {
        progress_.Deleted(step.display);
      } else {
        progress_.Failed(step.display, settings_.up ? session_.LastError() : error.message());
      }
      return;
  }
}

}  // namespace

int SyncCommand(const Arguments& arguments) {
  const auto parsed =
      ParseCommand(arguments, {{"--up"}, {"--down"}, {"--delete"}, {"--dry-run"}, {"--size-only"}}, 2, 2);
  if (!parsed) return kUsage;
  if (parsed->Has("--up") == parsed->Has("--down")) return UsageError("sync needs exactly one of --up and --down");
  SyncSettings settings;
  settings.up = parsed->Has("--up");
  settings.delete_extra = parsed->Has("--delete");
  settings.dry_run = parsed->Has("--dry-run");
  settings.size_only = parsed->Has("--size-only");
  const fs::path local = parsed->operands[0];
  const auto url = ReadUrl(parsed->operands[1]);
  if (!url) return kUsage;

  std::error_code error;
  const bool local_exists = fs::is_directory(local, error);
  if (settings.up && !local_exists) {
    std::cerr << "orvex: not a folder: " << local.string() << "\n";
    return kFailure;
  }
  if (!local_exists && fs::exists(local, error)) {
    std::cerr << "orvex: not a folder: " << local.string() << "\n";
    return kFailure;
  }

  int status = kSuccess;
  auto session = OpenSession(*url, *parsed, status);
  if (!session) return status;
  if (!settings.up && !local_exists && !settings.dry_run && !fs::create_directories(local, error) && error) {
    std::cerr << "orvex: cannot create folder " << local.string() << ": " << error.message() << "\n";
    return kFailure;
  }

  Progress progress(std::cout, std::cerr, OutputIsTerminal());
  Synchronisation synchronisation(*session, settings, progress);
  if (settings.up) {
    synchronisation.PlanUp(local, session->location(), "", true);
  } else {
    synchronisation.PlanDown(session->location(), local, "", local_exists);
  }
  synchronisation.Run();
  progress.Summary(settings.dry_run ? "dry run, nothing changed: " : "");
  return progress.tally().failed > 0 ? kFailure : kSuccess;
}

}  // namespace orvex::cli
