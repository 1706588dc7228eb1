// libFuzzer entry: every input is what a server sends on the control
// connection, cut into pieces of a size the first byte picks, so line and
// reply boundaries fall anywhere. The reader must answer each reply with a
// code from 100 to 599 and a bounded text, or fail once and stay failed;
// never crash, hang or grow without bound.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/inet/control_channel.h"
#include "platform/inet/stream.h"

namespace {

using orvex::inet::ReadResult;
using orvex::inet::Status;

// Hands out the input in pieces of `piece` bytes, then an orderly close.
class ScriptedStream final : public orvex::inet::Stream {
 public:
  ScriptedStream(const std::uint8_t* data, std::size_t size, std::size_t piece)
      : data_(data), size_(size), piece_(piece) {}

  ReadResult ReadSome(void* buffer, std::size_t size, std::chrono::milliseconds) override {
    const std::size_t count = std::min({size, piece_, size_ - offset_});
    std::memcpy(buffer, data_ + offset_, count);
    offset_ += count;
    return {Status::Ok(), count};
  }
  Status WriteAll(const void*, std::size_t, std::chrono::milliseconds) override {
    return Status::Ok();
  }
  void ShutdownWrite() override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t piece_;
  std::size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  orvex::inet::ControlChannel channel(
      std::make_unique<ScriptedStream>(data + 1, size - 1, piece), std::chrono::seconds(1));
  // Each successful reply consumes at least one line of input, so this ends.
  for (std::size_t replies = 0; replies <= size; ++replies) {
    orvex::inet::Reply reply;
    if (!channel.ReadReply(reply).ok()) {
      // A failed channel stays failed.
      if (channel.ReadReply(reply).ok()) std::abort();
      return 0;
    }
    if (reply.code < 100 || reply.code > 599) std::abort();
    if (reply.text.size() > orvex::inet::ControlChannel::kMaximumLineLength *
                                (orvex::inet::ControlChannel::kMaximumReplyLines + 1)) {
      std::abort();
    }
  }
  std::abort();  // more replies than lines: the reader invented input
}
