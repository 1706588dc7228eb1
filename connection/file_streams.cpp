// File contents to and from the server over the second session.
//
// The plug-in keeps no state per stream: the open remote handle lives in the
// host's stream object, everything else is read from the stream and its file
// on every call. Uploads may be written under the target's path plus ".ovt"
// and put in place only when they are closed.

#include "connection/connection.h"
#include "connection/failure_reason.h"
#include "platform/inet/wininet.h"
#include "platform/error.h"

namespace orvex {
namespace {

constexpr char kTemporarySuffix[] = ".ovt";
constexpr std::uint32_t kTransferAscii = 1;
constexpr std::uint32_t kTransferBinary = 0;

// A stream member needs the stream and, for every message, its file.
void RequireStream(const com::ComPtr<HostFileStream>& stream) {
  if (!stream) Raise(error_number::kObjectRequired, "Object required: no file stream");
  if (!stream->File()) Raise(error_number::kObjectRequired, "Object required: the file stream has no file");
}

std::string PathOf(const com::ComPtr<HostFileStream>& stream) {
  RequireStream(stream);
  return stream->File()->Path();
}

// The path for a failure report: a stream or file that is missing (the
// failure being reported, perhaps) gives an empty path, never a second error.
std::string ReportedPathOf(const com::ComPtr<HostFileStream>& stream) {
  if (!stream) return {};
  const auto file = stream->File();
  return file ? file->Path() : std::string();
}

// The listed item called exactly `name` (a case-sensitive server may hold
// "report.txt" beside "Report.txt"; the keys of a listing ignore case).
com::ComPtr<HostFile> ExactlyNamed(const com::ComPtr<script::Collection>& files, const std::string& name) {
  for (std::int32_t position = 1; files && position <= files->Count(); ++position) {
    auto file = files->Item(position).AsInterface<HostFile>();
    if (file && file->Name() == name) return file;
  }
  return {};
}

}  // namespace

bool Connection::iPC_OpenFile(const com::ComPtr<HostFileStream>& file_stream) {
  try {
    const std::string path = PathOf(file_stream);
    const std::string extension = file_system_->GetExtensionName(path);
    const bool listed = AsciiExtensions_ && AsciiExtensions_->Exists(extension);
    const std::uint32_t mode = listed && EnableAscii_ ? kTransferAscii : kTransferBinary;

    // A transfer session whose connection was lost tries to restore it as
    // it opens the file, and says so when it cannot.
    if (!TransferFTP_->Connected() && !TransferFTP_->ConnectionLost()) {
      ApplySecurity(*TransferFTP_);
      TransferFTP_->Connect(location_, FTP_->UserName(), FTP_->Password(), FTP_->Port(), FTP_->Proxy(), false);
      if (!TransferFTP_->Connected()) Raise(kReportedFailure, TransferFTP_->LastError());
    }

    std::uint32_t handle = 0;
    const bool upload = file_stream->AccessMode() != HostFileStream::kAccessRead;
    const bool temporary_copy = upload && UseTempCopy_;
    if (!upload) {
      handle = TransferFTP_->OpenFileStream(path, wininet::GENERIC_READ, mode);
    } else if (temporary_copy) {
      handle = TransferFTP_->OpenFileStream(path + kTemporarySuffix, wininet::GENERIC_WRITE,
                                            mode | wininet::FTP_FLAG_NEW_FILE);
      const wininet::DWORD failure = handle == 0 ? wininet::GetLastError() : 0;
      if (failure == wininet::ERROR_INTERNET_OPERATION_CANCELLED || failure == wininet::ERROR_INTERNET_TIMEOUT ||
          failure == wininet::ERROR_INTERNET_CANNOT_CONNECT) {
        // Cut short while waiting for the server's answer to STOR, or its
        // data connection failed after it: the server may have made the
        // temporary file all the same.
        DiscardTemporaryCopy(file_stream->File(), TransferFTP_->LastError());
      }
    } else {
      handle = TransferFTP_->OpenFileStream(path, wininet::GENERIC_WRITE, mode);
    }
    // The close must finish the upload the way it was begun, whatever the
    // option says by then.
    if (upload && handle != 0) upload_temporary_copy_[handle] = temporary_copy;
    file_stream->Handle(static_cast<std::int32_t>(handle));
    if (file_stream->Handle() == 0) Raise(kReportedFailure, TransferFTP_->LastError());
    return true;
  } catch (const std::exception& failure) {
    ReportError("OpenFile: " + Translate("Error opening file '%1': %2", {ReportedPathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_WriteFile(const com::ComPtr<HostFileStream>& file_stream, std::vector<std::uint8_t>& buffer) {
  try {
    RequireStream(file_stream);
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    std::int32_t count = file_stream->Count();
    // The host promises a buffer that holds Count bytes; a host that breaks
    // the promise gets a report, never a write from beyond its buffer.
    if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) {
      Raise(kReportedFailure, Translate("The buffer holds fewer bytes than the count to write."));
    }
    std::uint32_t written = 0;
    if (!TransferFTP_->WriteFileStream(handle, buffer, static_cast<std::uint32_t>(count), written)) {
      Raise(kReportedFailure, TransferFTP_->LastError());
    }
    if (static_cast<std::int64_t>(file_stream->Count()) != written) {
      Raise(kReportedFailure, Translate("Number of bytes not matching."));
    }
    return true;
  } catch (const std::exception& failure) {
    ReportError("WriteFile: " +
                Translate("Error writing to file '%1': %2", {ReportedPathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_ReadFile(const com::ComPtr<HostFileStream>& file_stream, std::vector<std::uint8_t>& buffer) {
  try {
    RequireStream(file_stream);
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    std::int32_t count = file_stream->Count();
    if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) {
      Raise(kReportedFailure, Translate("The buffer holds fewer bytes than the count to read."));
    }
    std::uint32_t read = 0;
    if (!TransferFTP_->ReadFileStream(handle, buffer, static_cast<std::uint32_t>(count), read)) {
      Raise(kReportedFailure, TransferFTP_->LastError());
    }
    if (static_cast<std::int64_t>(file_stream->Count()) != read) {
      Raise(kReportedFailure, Translate("Number of bytes not matching."));
    }
    return true;
  } catch (const std::exception& failure) {
    ReportError("ReadFile: " +
                Translate("Error reading from file '%1': %2", {ReportedPathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_SeekFile(const com::ComPtr<HostFileStream>& file_stream, double position) {
  try {
    RequireStream(file_stream);
    Raise(kReportedFailure, Translate("Feature not supported"));
  } catch (const std::exception& failure) {
    ReportError("SeekFile: " + Translate("Error seeking file '%1' at %2: %3",
                                         {ReportedPathOf(file_stream), Variant(position).ToString(), FailureReason(failure)}));
    return false;
  }
}

void Connection::DiscardTemporaryCopy(const com::ComPtr<HostFile>& file, const std::string& failure) {
  const std::string temporary = file->Path() + kTemporarySuffix;
  if (FTP_->DeleteFile(nullptr, temporary)) {
    if (!failure.empty()) {
      Raise(kReportedFailure, failure + " " + Translate("The temporary upload '%1' was removed.", {temporary}));
    }
    return;
  }
  const std::string left = Translate("The temporary upload '%1' may be left on the server: %2",
                                     {temporary, FTP_->LastError()});
  Raise(kReportedFailure, failure.empty() ? left : failure + " " + left);
}

void Connection::PutTemporaryCopyInPlace(const com::ComPtr<HostFile>& file, const std::optional<Date>& time,
                                         bool& time_set) {
  const std::string temporary = file->Path() + kTemporarySuffix;
  // The time goes on the temporary file, so that a rename that fails leaves
  // the target's as it was; servers keep a file's time when renaming it.
  const auto rename = [&] {
    return time ? FTP_->RenameFileSettingTime(temporary, file->Name(), *time, time_set)
                : FTP_->RenameFile(nullptr, file->Name(), temporary);
  };
  time_set = false;
  if (rename()) return;
  const wininet::DWORD failure = wininet::GetLastError();
  std::string refusal = FTP_->LastError();
  // Only a server that took the temporary file (RNFR) and refused the
  // target's name for good objected to the target. After any other failure
  // (RNFR refused, a lost connection, a 4xx) removing the target would only
  // leave its name empty.
  const bool target_refused = FTP_->RenameTargetRefused();
  // Stopped on purpose (the host cancelled its waits): the copy is not to
  // be put in place, and the temporary file is the host's own to tidy away;
  // the target is as it was.
  const std::string cancelled = "(" + std::to_string(wininet::ERROR_INTERNET_OPERATION_CANCELLED) + ")";
  if (failure == wininet::ERROR_INTERNET_OPERATION_CANCELLED ||
      (refusal.size() >= cancelled.size() && refusal.compare(refusal.size() - cancelled.size(), cancelled.size(), cancelled) == 0)) {
    DiscardTemporaryCopy(file, refusal);
    Raise(kReportedFailure, refusal);
  }
  // Most servers replace the target in one step. One that accepts RNFR and
  // refuses RNTO because the target exists gets the old target removed and
  // the rename repeated,
  // but only on the word of a fresh listing that shows the temporary file
  // (the new content is really there) and a file of exactly the target's
  // name. The temporary file holds the only new copy: it is never deleted
  // (short of a cancellation, above).
  com::ComPtr<script::Collection> files;
  com::ComPtr<script::Collection> folders;
  bool listed = false;
  {
    struct FreshListing {
      cxFTP& session;
      bool saved = session.NoCache();
      ~FreshListing() { session.NoCache(saved); }
    } fresh{*FTP_};
    FTP_->NoCache(true);
    listed = FTP_->ListDirectory(file_system_->GetParentFolderName(file->Path()), files, folders);
  }
  if (listed && !ExactlyNamed(files, file_system_->GetFileName(temporary))) {
    Raise(kReportedFailure,
          Translate("The upload is not on the server under its temporary name '%1': %2", {temporary, refusal}));
  }
  const auto target = listed ? ExactlyNamed(files, file->Name()) : nullptr;
  if (target && !target->Deleted() && target_refused) {
    if (FTP_->DeleteFile(target) && rename()) return;
    refusal = FTP_->LastError();
  }
  Raise(kReportedFailure, Translate("The new content stays on the server as '%1': %2", {temporary, refusal}));
}

Date Connection::FinishedUploadDate(const com::ComPtr<HostFile>& file) {
  const std::optional<Date> wanted = UploadTimeToSet(file);
  return RecordedUploadDate(file, wanted, wanted && FTP_->SetFileTime(file->Path(), *wanted));
}

std::optional<Date> Connection::UploadTimeToSet(const com::ComPtr<HostFile>& file) {
  // The host dates the item it uploads; the zero date (30 December 1899) is
  // no file's time and is left alone. Any other is the file's own, however
  // old: a file dated 1 January 1970 (as reproducible builds date theirs)
  // that kept the server's clock would differ from its source on every
  // later comparison and be sent again each time.
  const Date wanted = file->DateModified();
  if (wanted.serial() == 0 || wanted.ToCalendar().year < 1900 ||
      !(FTP_->ServerTraits() & wininet::FTP_TRAIT_MAY_SET_FILE_TIMES)) {
    return std::nullopt;
  }
  return wanted;
}

Date Connection::RecordedUploadDate(const com::ComPtr<HostFile>& file, const std::optional<Date>& wanted,
                                    bool set) {
  if (!wanted) return Date::Now();
  if (set) return Date::FromTimeT(wanted->ToTimeT());
  // A server that turned down "MDTM time path" simply does not know it.
  if (!(FTP_->ServerTraits() & wininet::FTP_TRAIT_MAY_SET_FILE_TIMES)) return Date::Now();
  // The content is in place; only its date is the server's. Said in the log,
  // not as a failure of the upload.
  Services()->Log("FTP(" + info_->ID() + ") " +
                      Translate("The time of '%1' could not be set: %2", {file->Path(), FTP_->LastError()}),
                  4, "");
  return Date::Now();
}

bool Connection::iPC_CloseFile(const com::ComPtr<HostFileStream>& file_stream) {
  try {
    RequireStream(file_stream);
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    if (file_stream->AccessMode() != HostFileStream::kAccessWrite) {
      upload_temporary_copy_.erase(handle);  // opened for writing in an odd mode
      CloseDownload(file_stream, handle);
      return true;
    }

    // The way this upload was opened; a handle this connection did not open
    // follows the option.
    bool temporary_copy = UseTempCopy_;
    if (const auto opened = upload_temporary_copy_.find(handle); opened != upload_temporary_copy_.end()) {
      temporary_copy = opened->second;
      upload_temporary_copy_.erase(opened);
    }
    auto file = file_stream->File();
    if (file_stream->Status() & HostFileStream::kStatusAbandoned) {
      TransferFTP_->CloseFileStream(handle);
      file->Deleted(true);
      file_stream->File(file->Clone());
      // Only a temporary file this upload wrote is removed: written straight
      // onto the target, there is none, and a file of that name is someone
      // else's.
      if (temporary_copy) DiscardTemporaryCopy(file, "");
      return true;
    }
    if (!TransferFTP_->CloseFileStream(handle)) {
      // The target was never touched, and a temporary copy the server did
      // not confirm is of no use to anyone: it goes too.
      const std::string reason = TransferFTP_->LastError();
      if (temporary_copy) DiscardTemporaryCopy(file, reason);
      Raise(kReportedFailure, reason);
    }
    Date date;
    if (temporary_copy) {
      const std::optional<Date> wanted = UploadTimeToSet(file);
      bool time_set = false;
      PutTemporaryCopyInPlace(file, wanted, time_set);
      date = RecordedUploadDate(file, wanted, time_set);
    } else {
      date = FinishedUploadDate(file);
    }
    file->Deleted(false);
    file->DateModified(date);
    if (const auto& cache = FTP_->Cache()) cache->UpdateFile(file);
    file_stream->File(file->Clone());
    return true;
  } catch (const std::exception& failure) {
    ReportError("CloseFile: " + Translate("Error closing file '%1': %2", {ReportedPathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

void Connection::CloseDownload(const com::ComPtr<HostFileStream>& file_stream, std::uint32_t handle) {
  // The host reads as many bytes as the listing gave. Data beyond them
  // means the file on the server is longer than listed (a link listed with
  // the length of its target's name, a file that grew during the copy): the
  // copy is cut and must not count as done. Reading on also takes the
  // server's final reply, so a transfer the server did not confirm fails
  // here too. A download the host abandons is simply closed.
  const bool abandoned = file_stream->AccessMode() != HostFileStream::kAccessRead ||
                         (file_stream->Status() & HostFileStream::kStatusAbandoned) != 0;
  bool longer = false;
  if (!abandoned) {
    std::vector<std::uint8_t> probe(1);
    std::uint32_t read = 0;
    if (!TransferFTP_->ReadFileStream(handle, probe, 1, read)) {
      const std::string reason = TransferFTP_->LastError();
      TransferFTP_->CloseFileStream(handle);
      Raise(kReportedFailure, reason);
    }
    longer = read != 0;
  }
  const bool closed = TransferFTP_->CloseFileStream(handle);
  if (longer) {
    Raise(kReportedFailure, Translate("The file on the server is longer than listed: the copy is incomplete."));
  }
  if (!closed) Raise(kReportedFailure, TransferFTP_->LastError());
}

}  // namespace orvex
