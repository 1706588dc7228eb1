#pragma once
// One open remote file: the data connection of a RETR or STOR.
//
// What a caller may rely on:
// - Read fills the caller's buffer in place and returns only when it is full
//   or the file has ended (then fewer bytes, and 0 on every later call). The
//   end of a download is a success only after the server confirmed it; a
//   transfer the server reports as failed makes the read fail with
//   ERROR_INTERNET_EXTENDED_ERROR.
// - Write sends all bytes or fails.
// - ASCII transfers turn CR LF on the wire into LF locally and back.
// - Close of an upload waits for the server's final reply and fails with
//   ERROR_INTERNET_EXTENDED_ERROR when the server refused or did not complete
//   the file. Close of an unfinished download aborts it (ABOR) so that the
//   control connection stays usable.
// - A transfer cancelled (ERROR_INTERNET_OPERATION_CANCELLED, see
//   cancellation.h) closes at once and reports the cancellation; its control
//   connection is given up rather than waited for.
// - No allocation per call: the only buffer is the ASCII upload's fixed
//   conversion buffer.

#include <memory>
#include <vector>

#include "platform/inet/ftp_connection.h"
#include "platform/inet/line_endings.h"

namespace orvex::inet {

class FileTransfer {
 public:
  FileTransfer(std::shared_ptr<FtpConnection> connection,
               std::unique_ptr<Stream> data, TransferDirection direction,
               TransferType type);
  ~FileTransfer();
  FileTransfer(const FileTransfer&) = delete;
  FileTransfer& operator=(const FileTransfer&) = delete;

  Status Read(void* buffer, std::size_t size, std::size_t& read);
  Status Write(const void* data, std::size_t size, std::size_t& written);
  // Ends the transfer; later calls return the first outcome again.
  Status Close();

  TransferDirection direction() const { return direction_; }
  const Reply& last_reply() const { return connection_->last_reply(); }

 private:
  Status ReadRaw(char* buffer, std::size_t size, std::size_t& read);
  Status EndOfDownload();

  std::shared_ptr<FtpConnection> connection_;
  std::unique_ptr<Stream> data_;
  TransferDirection direction_;
  TransferType type_;
  LineEndDecoder decoder_;
  LineEndEncoder encoder_;
  std::vector<char> encode_buffer_;
  char carried_byte_ = 0;
  bool has_carried_byte_ = false;
  bool end_of_file_ = false;
  bool closed_ = false;
  Status outcome_;
};

}  // namespace orvex::inet
