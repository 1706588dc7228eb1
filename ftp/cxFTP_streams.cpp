// Streamed transfers: the caller's buffer goes to the engine in place, and
// the caller owns the file handle from open to close.

#include "ftp/cxFTP.h"
#include "ftp/wininet.h"
#include "platform/error.h"

namespace orvex {

using namespace orvex::wininet;

std::uint32_t cxFTP::OpenFileStream(const std::string& FilePath, std::uint32_t AccessMode,
                                    std::uint32_t TransferMode) {
  OperationScope scope(*this);
  if (!RestoreLostConnection()) return 0;
  const HINTERNET file =
      FtpOpenFileA(hConnection_, ServerPath(FilePath).c_str(), AccessMode, TransferMode, 0);
  if (file == 0) {
    if (HandleError(GetLastError())) return OpenFileStream(FilePath, AccessMode, TransferMode);
    return 0;
  }
  return file;
}

bool cxFTP::WriteFileStream(std::uint32_t hFile, const std::vector<std::uint8_t>& Buffer,
                            std::uint32_t BufferSize, std::uint32_t& WrittenBytes) {
  if (Buffer.empty()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
  if (!CheckBuffer(Buffer.size(), BufferSize)) {
    WrittenBytes = 0;
    return false;
  }
  // A lost connection is not repaired mid-transfer: the caller must start over.
  if (!InternetWriteFile(hFile, Buffer.data(), BufferSize, &WrittenBytes)) {
    LastError_ = GetErrorText(GetLastError());
    return false;
  }
  return true;
}

bool cxFTP::ReadFileStream(std::uint32_t hFile, std::vector<std::uint8_t>& Buffer,
                           std::uint32_t BufferSize, std::uint32_t& BytesRead) {
  if (Buffer.empty()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
  if (!CheckBuffer(Buffer.size(), BufferSize)) {
    BytesRead = 0;
    return false;
  }
  if (!InternetReadFile(hFile, Buffer.data(), BufferSize, &BytesRead)) {
    LastError_ = GetErrorText(GetLastError());
    return false;
  }
  return true;
}

bool cxFTP::CloseFileStream(std::uint32_t hFile) {
  if (!InternetCloseHandle(hFile)) {
    LastError_ = GetErrorText(GetLastError());
    return false;
  }
  return true;
}

bool cxFTP::CheckBuffer(std::size_t buffer_length, std::uint32_t BufferSize) {
  if (buffer_length >= BufferSize) return true;
  LastError_ = "The buffer holds " + std::to_string(buffer_length) + " bytes, fewer than the " +
               std::to_string(BufferSize) + " requested (" +
               std::to_string(ERROR_INVALID_PARAMETER) + ")";
  return false;
}

}  // namespace orvex
