// File contents to and from the server over the second session.
//
// The plug-in keeps no state per stream: the open remote handle lives in the
// host's stream object, everything else is read from the stream and its file
// on every call. Uploads may be written under the target's path plus ".ovt"
// and put in place only when they are closed.

#include "connection/connection.h"
#include "connection/failure_reason.h"
#include "ftp/wininet.h"
#include "platform/error.h"

namespace orvex {
namespace {

constexpr char kTemporarySuffix[] = ".ovt";
constexpr std::uint32_t kTransferAscii = 1;
constexpr std::uint32_t kTransferBinary = 0;
// Raised for failures the stream members detect themselves; the number is
// never shown, only the reason.
constexpr int kStreamFailure = -1;

std::string PathOf(const com::ComPtr<HostFileStream>& stream) { return stream->File()->Path(); }

}  // namespace

bool Connection::iPC_OpenFile(const com::ComPtr<HostFileStream>& file_stream) {
  try {
    const std::string path = PathOf(file_stream);
    const std::string extension = file_system_->GetExtensionName(path);
    const bool listed = AsciiExtensions_ && AsciiExtensions_->Exists(extension);
    const std::uint32_t mode = listed && EnableAscii_ ? kTransferAscii : kTransferBinary;

    if (!TransferFTP_->Connected()) {
      ApplySecurity(*TransferFTP_);
      TransferFTP_->Connect(location_, FTP_->UserName(), FTP_->Password(), FTP_->Port(), FTP_->Proxy(), false);
    }
    if (!TransferFTP_->Connected()) Raise(kStreamFailure, TransferFTP_->LastError());

    std::uint32_t handle = 0;
    if (file_stream->AccessMode() == HostFileStream::kAccessRead) {
      handle = TransferFTP_->OpenFileStream(path, wininet::GENERIC_READ, mode);
    } else if (UseTempCopy_) {
      handle = TransferFTP_->OpenFileStream(path + kTemporarySuffix, wininet::GENERIC_WRITE, mode);
    } else {
      handle = TransferFTP_->OpenFileStream(path, wininet::GENERIC_WRITE, mode);
    }
    file_stream->Handle(static_cast<std::int32_t>(handle));
    if (file_stream->Handle() == 0) Raise(kStreamFailure, TransferFTP_->LastError());
    return true;
  } catch (const std::exception& failure) {
    ReportError("OpenFile: " + Translate("Error opening file '%1': %2", {PathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_WriteFile(const com::ComPtr<HostFileStream>& file_stream, std::vector<std::uint8_t>& buffer) {
  try {
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    std::int32_t count = file_stream->Count();
    // The host promises a buffer that holds Count bytes; a host that breaks
    // the promise gets a report, never a write from beyond its buffer.
    if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) {
      Raise(kStreamFailure, Translate("The buffer holds fewer bytes than the count to write."));
    }
    std::uint32_t written = 0;
    if (!TransferFTP_->WriteFileStream(handle, buffer, static_cast<std::uint32_t>(count), written)) {
      Raise(kStreamFailure, TransferFTP_->LastError());
    }
    if (static_cast<std::int64_t>(file_stream->Count()) != written) {
      Raise(kStreamFailure, Translate("Number of bytes not matching."));
    }
    return true;
  } catch (const std::exception& failure) {
    ReportError("WriteFile: " +
                Translate("Error writing to file '%1': %2", {PathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_ReadFile(const com::ComPtr<HostFileStream>& file_stream, std::vector<std::uint8_t>& buffer) {
  try {
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    std::int32_t count = file_stream->Count();
    if (count < 0 || static_cast<std::size_t>(count) > buffer.size()) {
      Raise(kStreamFailure, Translate("The buffer holds fewer bytes than the count to read."));
    }
    std::uint32_t read = 0;
    if (!TransferFTP_->ReadFileStream(handle, buffer, static_cast<std::uint32_t>(count), read)) {
      Raise(kStreamFailure, TransferFTP_->LastError());
    }
    if (static_cast<std::int64_t>(file_stream->Count()) != read) {
      Raise(kStreamFailure, Translate("Number of bytes not matching."));
    }
    return true;
  } catch (const std::exception& failure) {
    ReportError("ReadFile: " +
                Translate("Error reading from file '%1': %2", {PathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

bool Connection::iPC_SeekFile(const com::ComPtr<HostFileStream>& file_stream, double position) {
  try {
    Raise(kStreamFailure, Translate("Feature not supported"));
  } catch (const std::exception& failure) {
    ReportError("SeekFile: " + Translate("Error seeking file '%1' at %2: %3",
                                         {PathOf(file_stream), Variant(position).ToString(), FailureReason(failure)}));
    return false;
  }
}

void Connection::PutTemporaryCopyInPlace(const com::ComPtr<HostFile>& file) {
  const std::string temporary = file->Path() + kTemporarySuffix;
  if (FTP_->RenameFile(nullptr, file->Name(), temporary)) return;
  std::string refusal = FTP_->LastError();
  // Most servers replace the target in one step. One that refuses because
  // the target exists gets the old target removed and the rename repeated;
  // the temporary file holds the only new copy, so it is never deleted here.
  auto target = FTP_->GetFile(file->Path());
  if (target && !target->Deleted()) {
    if (FTP_->DeleteFile(target) && FTP_->RenameFile(nullptr, file->Name(), temporary)) return;
    refusal = FTP_->LastError();
  }
  Raise(kStreamFailure, Translate("The new content stays on the server as '%1': %2", {temporary, refusal}));
}

bool Connection::iPC_CloseFile(const com::ComPtr<HostFileStream>& file_stream) {
  try {
    auto handle = static_cast<std::uint32_t>(file_stream->Handle());
    if (file_stream->AccessMode() != HostFileStream::kAccessWrite) {
      if (!TransferFTP_->CloseFileStream(handle)) Raise(kStreamFailure, TransferFTP_->LastError());
      return true;
    }

    auto file = file_stream->File();
    if (file_stream->Status() & HostFileStream::kStatusAbandoned) {
      TransferFTP_->CloseFileStream(handle);
      FTP_->DeleteFile(nullptr, file->Path() + kTemporarySuffix);
      file->Deleted(true);
    } else {
      if (!TransferFTP_->CloseFileStream(handle)) Raise(kStreamFailure, TransferFTP_->LastError());
      if (UseTempCopy_) PutTemporaryCopyInPlace(file);
      file->Deleted(false);
      file->DateModified(Date::Now());
      if (const auto& cache = FTP_->Cache()) cache->UpdateFile(file);
    }
    file_stream->File(file->Clone());
    return true;
  } catch (const std::exception& failure) {
    ReportError("CloseFile: " + Translate("Error closing file '%1': %2", {PathOf(file_stream), FailureReason(failure)}));
    return false;
  }
}

}  // namespace orvex
