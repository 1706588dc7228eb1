#include "platform/inet/file_transfer.h"

#include <cstring>

namespace orvex::inet {
namespace {
// The ASCII upload converts at most this much input per step; its output can
// be twice as long.
constexpr std::size_t kEncodeStep = 32 * 1024;
}  // namespace

FileTransfer::FileTransfer(std::shared_ptr<FtpConnection> connection,
                           std::unique_ptr<Stream> data,
                           TransferDirection direction, TransferType type)
    : connection_(std::move(connection)),
      data_(std::move(data)),
      direction_(direction),
      type_(type) {
  if (direction_ == TransferDirection::Upload && type_ == TransferType::Ascii) {
    encode_buffer_.resize(2 * kEncodeStep);
  }
}

FileTransfer::~FileTransfer() { Close(); }

Status FileTransfer::ReadRaw(char* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  const ReadResult result =
      data_->ReadSome(buffer, size, connection_->parameters_.options.data_timeout);
  if (!result.status.ok()) return result.status;
  read = result.bytes;
  return Status::Ok();
}

Status FileTransfer::EndOfDownload() {
  end_of_file_ = true;
  data_.reset();
  // Only the server's final reply tells a complete file from a cut one.
  outcome_ = connection_->FinishTransfer();
  return outcome_;
}

Status FileTransfer::Read(void* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  if (direction_ != TransferDirection::Download || closed_) {
    return Status(win32::ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  }
  if (!outcome_.ok()) return outcome_;
  char* const output = static_cast<char*>(buffer);
  const bool ascii = type_ == TransferType::Ascii;
  std::size_t filled = 0;
  while (filled < size) {
    if (has_carried_byte_) {
      output[filled++] = carried_byte_;
      has_carried_byte_ = false;
      continue;
    }
    if (end_of_file_) break;
    const std::size_t room = size - filled;
    std::size_t count = 0;
    if (ascii && decoder_.pending_cr() && room == 1) {
      // One free byte and a held CR: look at the next byte alone.
      char next = 0;
      outcome_ = ReadRaw(&next, 1, count);
      if (!outcome_.ok()) break;
      if (count == 0) {
        output[filled++] = '\r';
        decoder_.clear_pending_cr();
        if (!EndOfDownload().ok()) break;
        continue;
      }
      decoder_.clear_pending_cr();
      if (next == '\n') {
        output[filled++] = '\n';
      } else {
        output[filled++] = '\r';
        if (next == '\r') {
          // still undecided; stays held
          decoder_.Decode(&next, 0, 1);
        } else {
          carried_byte_ = next;
          has_carried_byte_ = true;
        }
      }
      continue;
    }
    const std::size_t reserved = ascii && decoder_.pending_cr() ? 1 : 0;
    char* const target = output + filled;
    outcome_ = ReadRaw(target + reserved, room - reserved, count);
    if (!outcome_.ok()) break;
    if (count == 0) {
      if (ascii && decoder_.pending_cr()) {
        target[0] = '\r';
        ++filled;
        decoder_.clear_pending_cr();
      }
      if (!EndOfDownload().ok()) break;
      continue;
    }
    filled += ascii ? decoder_.Decode(target, reserved, count) : count;
  }
  read = filled;
  return outcome_;
}

Status FileTransfer::Write(const void* data, std::size_t size, std::size_t& written) {
  written = 0;
  if (direction_ != TransferDirection::Upload || closed_) {
    return Status(win32::ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  }
  if (!outcome_.ok()) return outcome_;
  const std::chrono::milliseconds timeout =
      connection_->parameters_.options.data_timeout;
  const char* input = static_cast<const char*>(data);
  if (type_ == TransferType::Binary) {
    outcome_ = data_->WriteAll(input, size, timeout);
    if (outcome_.ok()) written = size;
    return outcome_;
  }
  while (written < size) {
    const std::size_t step = std::min(kEncodeStep, size - written);
    const std::size_t encoded =
        encoder_.Encode(input + written, step, encode_buffer_.data());
    outcome_ = data_->WriteAll(encode_buffer_.data(), encoded, timeout);
    if (!outcome_.ok()) return outcome_;
    written += step;
  }
  return outcome_;
}

Status FileTransfer::Close() {
  if (closed_) return outcome_;
  closed_ = true;
  if (outcome_.error() == win32::ERROR_INTERNET_OPERATION_CANCELLED) {
    // Stopped on request: the server's verdict is not waited for.
    data_.reset();
    connection_->AbortTransfer();
    return outcome_;
  }
  if (direction_ == TransferDirection::Upload) {
    if (outcome_.ok()) data_->ShutdownWrite();
    data_.reset();
    // The server's verdict on the stored file (disk full, permission). After
    // a failed write it explains the failure; a write that failed is never
    // turned into a success by a late positive reply.
    const Status verdict = connection_->FinishTransfer();
    if (outcome_.ok() || verdict.error() == win32::ERROR_INTERNET_EXTENDED_ERROR) {
      outcome_ = verdict;
    }
    return outcome_;
  }
  if (!end_of_file_) {
    data_.reset();
    connection_->AbortTransfer();
  }
  // How the download went was reported by Read; stopping early is what the
  // caller asked for, not a failure.
  outcome_ = Status::Ok();
  return outcome_;
}

}  // namespace orvex::inet
