// Changes to the remote tree: new folders, deletions and renames. The server
// work happens in the FTP session, which keeps the folder cache in step; here
// the host's items are brought in line with the result.

#include <type_traits>

#include "connection/connection.h"
#include "connection/failure_reason.h"
#include "connection/host/host_objects.h"
#include "platform/error.h"

namespace orvex {
namespace {

// A new name is a bare name: a rename never moves an item into another
// folder behind the host's back.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

constexpr char kInvalidName[] =
    "Invalid name: a new name may not be empty, \".\" or \"..\", nor contain \"/\" or \"\\\".";

}  // namespace

com::ComPtr<HostFolder> Connection::iPC_CreateFolder(const std::string& folder_path) {
  try {
    auto folder = NewHostFolder();
    folder->Init(folder_path, file_system_->GetFileName(folder_path), Date::Now(), 0, true);
    if (!FTP_->CreateFolder(folder)) Raise(kReportedFailure, FTP_->LastError());
    return folder;
  } catch (const std::exception& failure) {
    ReportError(Translate("Error creating folder: '%1'  %2", {folder_path, FailureReason(failure)}));
    return nullptr;
  }
}

bool Connection::iPC_DeleteFile(const com::ComPtr<HostFile>& file, std::int32_t) {
  try {
    // Without an item the session would delete by a path, here an empty one.
    if (!file) Raise(error_number::kObjectRequired, "Object required: no file to delete");
    if (!FTP_->DeleteFile(file)) Raise(kReportedFailure, FTP_->LastError());
    file->Deleted(true);
    return true;
  } catch (const std::exception& failure) {
    ReportError(Translate("An error occurred while deleting file: %1: %2", {file ? file->Path() : "", FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_DeleteFolder(const com::ComPtr<HostFolder>& folder, std::int32_t) {
  try {
    if (!folder) Raise(error_number::kObjectRequired, "Object required: no folder to delete");
    if (!FTP_->DeleteDirectory(folder)) Raise(kReportedFailure, FTP_->LastError());
    folder->Deleted(true);
    return true;
  } catch (const std::exception& failure) {
    ReportError(Translate("An error occurred while deleting folder: %1: %2",
                          {folder ? folder->Path() : "", FailureReason(failure)}));
    return false;
  }
}

template <class Item>
com::ComPtr<Item> Connection::RenameItem(const com::ComPtr<Item>& item, const std::string& new_name) {
  constexpr bool kFile = std::is_same_v<Item, HostFile>;
  try {
    if (!item) {
      Raise(error_number::kObjectRequired,
            kFile ? "Object required: no file to rename" : "Object required: no folder to rename");
    }
    if (!IsPlainName(new_name)) Raise(kReportedFailure, Translate(kInvalidName));
    const std::string new_path = file_system_->GetParentFolderName(item->Path()) + "\\" + new_name;
    com::ComPtr<Item> renamed;
    if constexpr (kFile) {
      if (!FTP_->RenameFile(item, new_name)) Raise(kReportedFailure, FTP_->LastError());
      renamed = NewHostFile();
      renamed->Size(item->Size());
    } else {
      if (!FTP_->RenameFolder(item, new_name)) Raise(kReportedFailure, FTP_->LastError());
      renamed = NewHostFolder();
    }
    renamed->DateModified(item->DateModified());
    renamed->Name(new_name);
    renamed->Path(new_path);
    renamed->Attributes(item->Attributes());
    item->Deleted(true);
    return renamed;
  } catch (const std::exception& failure) {
    ReportError(Translate(kFile ? "Error renaming file: %1 to: %2: %3" : "Error renaming folder: %1 to: %2: %3",
                          {item ? item->Path() : "", new_name, FailureReason(failure)}));
    return nullptr;
  }
}

com::ComPtr<HostFile> Connection::iPC_RenameFile(const com::ComPtr<HostFile>& file, const std::string& new_name) {
  return RenameItem(file, new_name);
}

com::ComPtr<HostFolder> Connection::iPC_RenameFolder(const com::ComPtr<HostFolder>& folder,
                                                     const std::string& new_name) {
  return RenameItem(folder, new_name);
}

}  // namespace orvex
