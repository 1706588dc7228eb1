// The remote tree as the host reads it: a folder's files and sub-folders,
// single items. Each member reports its failure and answers with no object.

#include "connection/connection.h"
#include "connection/failure_reason.h"
#include "connection/host/host_objects.h"
#include "platform/error.h"

namespace orvex {
com::ComPtr<script::Collection> Connection::iPC_GetFiles(const std::string& folder_path) {
  try {
    auto files = script::NewCollection();
    auto folders = script::NewCollection();
    if (!FTP_->ListDirectory(folder_path, files, folders)) Raise(kReportedFailure, FTP_->LastError());
    return files;
  } catch (const std::exception& failure) {
    ReportError(Translate("Error getting files for: %1: %2", {folder_path, FailureReason(failure)}));
    return nullptr;
  }
}

com::ComPtr<script::Collection> Connection::iPC_GetFolders(const std::string& folder_path) {
  try {
    auto folders = script::NewCollection();
    auto files = script::NewCollection();
    if (!FTP_->ListDirectory(folder_path, files, folders)) Raise(kReportedFailure, FTP_->LastError());
    return folders;
  } catch (const std::exception& failure) {
    ReportError(Translate("Error getting sub-folders for: %1: %2", {folder_path, FailureReason(failure)}));
    return nullptr;
  }
}

com::ComPtr<HostFile> Connection::iPC_GetFile(const std::string& file_path) {
  try {
    bool listed = false;
    auto file = FTP_->GetFile(file_path, listed);
    // A lookup that failed is no answer: a placeholder would tell the host
    // of an empty file that may well hold data.
    if (!listed) Raise(kReportedFailure, FTP_->LastError());
    if (!file) {
      // Not listed by the server: still an item, with no size and no date.
      file = NewHostFile();
      file->Init(file_path, file_system_->GetFileName(file_path), 0, Date(0), 0, true);
    }
    return file;
  } catch (const std::exception& failure) {
    ReportError(Translate("Error getting file: %1: %2", {file_path, FailureReason(failure)}));
    return nullptr;
  }
}

com::ComPtr<HostFolder> Connection::iPC_GetFolder(const std::string& folder_path) {
  try {
    bool listed = false;
    auto folder = FTP_->GetFolder(folder_path, listed);
    if (!listed) Raise(kReportedFailure, FTP_->LastError());
    if (!folder) {
      folder = NewHostFolder();
      folder->Init(folder_path, file_system_->GetFileName(folder_path), Date(0), 0, true);
    }
    return folder;
  } catch (const std::exception& failure) {
    ReportError(Translate("Error getting folder: %1: %2", {folder_path, FailureReason(failure)}));
    return nullptr;
  }
}

Variant Connection::LeftOutOfListing(const std::string& folder_path) {
  Variant::Array items;
  if (!FTP_) return items;
  for (const auto& item : FTP_->LeftOutOfListing(folder_path)) {
    items.push_back(Variant::Array{Variant(item.Name), Variant(item.NotAFile ? kLeftOutSpecial : kLeftOutName),
                                   Variant(item.Folder)});
  }
  return items;
}

}  // namespace orvex
