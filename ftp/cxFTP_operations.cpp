// Operations that change the server: delete, rename, create. Items are
// marked and the cache updated only after the server confirmed the change.

#include <algorithm>
#include <vector>

#include "connection/host/host_objects.h"
#include "ftp/cxFTP.h"
#include "platform/inet/wininet.h"
#include "platform/error.h"

namespace orvex {

using namespace orvex::wininet;

namespace {

void RequireItem(bool present) {
  if (!present) Raise(error_number::kObjectRequired, "Object required");
}

template <class Item>
std::vector<com::ComPtr<Item>> ItemsOf(const script::Collection& collection) {
  std::vector<com::ComPtr<Item>> items;
  for (std::int32_t position = 1; position <= collection.Count(); ++position) {
    if (auto item = collection.Item(position).template AsInterface<Item>()) items.push_back(item);
  }
  return items;
}

// The cache entry of a renamed item and of its clone under the new name.
void UpdateCached(FolderCache& cache, const com::ComPtr<HostFile>& file) { cache.UpdateFile(file); }
void UpdateCached(FolderCache& cache, const com::ComPtr<HostFolder>& folder) { cache.UpdateFolder(folder); }

}  // namespace

bool cxFTP::RefuseNavigationItem(const std::string& Path) {
  // Below the server part, where a path's folder names are; a new name is
  // checked whole.
  const std::string names = Path.size() > BaseLocation_.size() && Path.compare(0, BaseLocation_.size(), BaseLocation_) == 0
                                ? Path.substr(BaseLocation_.size())
                                : Path;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = names.find_first_of("/\\", start);
    const std::string name = names.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (name == "." || name == "..") {
      LastError_ = "\"" + Printable(Path) +
                   "\" names a \".\" or \"..\" entry, which stands for a folder itself or its parent: it is "
                   "never deleted or renamed (" +
                   std::to_string(ERROR_INVALID_NAME) + ")";
      return false;
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool cxFTP::DeleteFile(const com::ComPtr<HostFile>& File, const std::string& FilePath) {
  OperationScope scope(*this);
  const std::string path = File ? File->Path() : FilePath;
  if (!RefuseNavigationItem(path) || !RestoreLostConnection()) return false;
  if (!FtpDeleteFileA(hConnection_, ServerPath(path).c_str())) {
    if (HandleError(GetLastError())) return DeleteFile(File, path);
    return false;
  }
  if (File) {
    File->Deleted(true);
    CacheObject().UpdateFile(File);
  }
  return true;
}

bool cxFTP::DeleteDirectory(const com::ComPtr<HostFolder>& Folder) {
  OperationScope scope(*this);
  RequireItem(static_cast<bool>(Folder));
  if (!RefuseNavigationItem(Folder->Path()) || !RestoreLostConnection()) return false;
  // Some servers refuse to remove the folder a session is in.
  if (CurrentPath_ != "/") {
    CurrentPath_.assign(1, '/');  // not = "/": GCC 12 warns falsely (-Wrestrict) on that
    FtpSetCurrentDirectoryA(hConnection_, "/");
  }
  const std::string path = Folder->Path();
  if (!FtpRemoveDirectoryA(hConnection_, ServerPath(path).c_str())) {
    const DWORD error = GetLastError();
    if (HandleError(error)) return DeleteDirectory(Folder);
    // Refused by the server, most often because the folder is not empty:
    // empty it and try once more. The removal that ends a tree deletion of
    // this very folder must not start another one, or a folder that cannot
    // be removed would be emptied again and again.
    const bool emptying = std::find(trees_in_progress_.begin(), trees_in_progress_.end(), path) !=
                          trees_in_progress_.end();
    if (error == ERROR_INTERNET_EXTENDED_ERROR && !emptying) return DeleteTree(Folder);
    return false;
  }
  Folder->Deleted(true);
  CacheObject().UpdateFolder(Folder);
  return true;
}

bool cxFTP::DeleteTree(const com::ComPtr<HostFolder>& Folder) {
  const std::string path = Folder->Path();
  // A server may list a folder inside every folder for ever; a deletion that
  // deep is refused instead of descending without end.
  if (trees_in_progress_.size() >= kMaximumTreeDepth) {
    LastError_ = "\"" + Printable(path) + "\" is nested more than " + std::to_string(kMaximumTreeDepth) +
                 " folders deep: its deletion was stopped there (" + std::to_string(ERROR_FILENAME_EXCED_RANGE) +
                 ")";
    return false;
  }
  trees_in_progress_.push_back(path);
  struct Pop {
    std::vector<std::string>& trees;
    ~Pop() { trees.pop_back(); }
  } pop{trees_in_progress_};

  com::ComPtr<script::Collection> files;
  com::ComPtr<script::Collection> folders;
  if (!ListDirectory(path, files, folders)) return false;
  for (const auto& folder : ItemsOf<HostFolder>(*folders)) {
    // A listing that shows "." or ".." would otherwise send the deletion
    // into the folder itself or, worse, its parent.
    const std::string name = folder->Name();
    if (name == "." || name == "..") continue;
    if (!DeleteTree(folder)) return false;
  }
  // A file that cannot be deleted is passed over; the removal below then
  // fails and says why.
  for (const auto& file : ItemsOf<HostFile>(*files)) DeleteFile(file);
  DeleteDirectory(Folder);
  return Folder->Deleted();
}

void cxFTP::NoteRenameRefusal(std::uint32_t error) {
  BOOL refused = win32::kFalse;
  rename_target_refused_ = error == ERROR_INTERNET_EXTENDED_ERROR &&
                           FtpRenameTargetRefused(hConnection_, &refused) && refused;
}

template <class Retry>
bool cxFTP::RetryRenameAfter(std::uint32_t ErrorNumber, const Retry& retry) {
  // Read before reconnecting, which replaces the last reply.
  const std::string failure = GetErrorText(ErrorNumber);
  if (!HandleError(ErrorNumber)) return false;
  if (retry()) return true;
  LastError_ = failure + " Tried again on a new connection: " + LastError_;
  return false;
}

template <class Item>
bool cxFTP::RenameItem(const com::ComPtr<Item>& Renamed, const std::string& NewName,
                       const std::string& ItemPath) {
  OperationScope scope(*this);
  const std::string path = Renamed ? Renamed->Path() : ItemPath;
  if (!RefuseNavigationItem(path) || !RefuseNavigationItem(NewName) || !RestoreLostConnection()) {
    return false;
  }
  const std::string new_path = path_object_.GetParentFolderName(path) + "\\" + NewName;
  rename_target_refused_ = false;
  if (!FtpRenameFileA(hConnection_, ServerPath(path).c_str(), ServerPath(new_path).c_str())) {
    const DWORD error = GetLastError();
    NoteRenameRefusal(error);
    return RetryRenameAfter(error, [&] { return RenameItem(Renamed, NewName, path); });
  }
  if (Renamed) {
    auto clone = Renamed->Clone();
    clone->Name(NewName);
    clone->Path(path_object_.GetParentFolderName(clone->Path()) + "\\" + NewName);
    Renamed->Deleted(true);
    UpdateCached(CacheObject(), Renamed);
    UpdateCached(CacheObject(), clone);
  }
  return true;
}

bool cxFTP::RenameFile(const com::ComPtr<HostFile>& File, const std::string& NewName,
                       const std::string& FilePath) {
  return RenameItem(File, NewName, FilePath);
}

bool cxFTP::RenameFolder(const com::ComPtr<HostFolder>& Folder, const std::string& NewName,
                         const std::string& FolderPath) {
  return RenameItem(Folder, NewName, FolderPath);
}

bool cxFTP::RenameFileSettingTime(const std::string& FilePath, const std::string& NewName, Date Modified,
                                  bool& TimeSet) {
  OperationScope scope(*this);
  TimeSet = false;
  if (!RefuseNavigationItem(FilePath) || !RefuseNavigationItem(NewName) || !RestoreLostConnection()) {
    return false;
  }
  const std::string new_path = path_object_.GetParentFolderName(FilePath) + "\\" + NewName;
  const win32::SYSTEMTIME fields = ServerFileTime(Modified);
  DWORD time_error = 0;
  rename_target_refused_ = false;
  if (!FtpRenameFileSettingTimeA(hConnection_, ServerPath(FilePath).c_str(), ServerPath(new_path).c_str(),
                                 &fields, &time_error)) {
    const DWORD error = GetLastError();
    NoteRenameRefusal(error);
    return RetryRenameAfter(error, [&] { return RenameFileSettingTime(FilePath, NewName, Modified, TimeSet); });
  }
  TimeSet = time_error == 0;
  if (!TimeSet) LastError_ = GetErrorText(time_error);
  return true;
}

bool cxFTP::CreateFolder(const com::ComPtr<HostFolder>& Folder) {
  OperationScope scope(*this);
  RequireItem(static_cast<bool>(Folder));
  if (!RestoreLostConnection()) return false;
  if (!CreatePath(Folder->Path(), true)) return false;
  Folder->Deleted(false);
  return true;
}

com::ComPtr<HostFolder> cxFTP::CreatePath(const std::string& Path, bool CreateParents) {
  if (FtpCreateDirectoryA(hConnection_, ServerPath(Path).c_str())) {
    auto made = NewHostFolder();
    made->Init(Path, path_object_.GetFileName(Path), Date::Now(), 0, false);
    made->Deleted(false);
    CacheObject().UpdateFolder(made);
    return made;
  }
  if (HandleError(GetLastError())) return CreatePath(Path, CreateParents);
  // Without a connection there is nothing to look up or climb, and going on
  // would only bury the reason under "invalid handle".
  if (!CreateParents || !Connected()) return {};
  if (auto existing = GetFolder(Path)) return existing;
  // Climb one "\"-separated level and come back down; every step shortens
  // the path, so this ends at the location or at a folder that exists.
  if (Path.find('\\') != std::string::npos) {
    if (!CreatePath(path_object_.GetParentFolderName(Path), true)) return {};
  }
  return CreatePath(Path, false);
}

}  // namespace orvex
