#include "platform/inet/line_endings.h"

namespace orvex::inet {

std::size_t LineEndDecoder::Decode(char* data, std::size_t reserved,
                                   std::size_t length) {
  std::size_t out = 0;
  std::size_t in = reserved;
  const std::size_t end = reserved + length;
  if (pending_cr_ && in < end) {
    // The held CR belongs before these bytes unless an LF completes it.
    pending_cr_ = false;
    if (data[in] == '\n') {
      data[out++] = '\n';
      ++in;
    } else {
      data[out++] = '\r';  // `reserved` gave us room for it
    }
  }
  for (; in < end; ++in) {
    const char character = data[in];
    if (character == '\r') {
      if (in + 1 == end) {
        pending_cr_ = true;
        break;
      }
      if (data[in + 1] == '\n') continue;  // drop the CR of CR LF
    }
    data[out++] = character;
  }
  return out;
}

std::size_t LineEndEncoder::Encode(const char* input, std::size_t length,
                                   char* output) {
  std::size_t out = 0;
  for (std::size_t index = 0; index < length; ++index) {
    const char character = input[index];
    if (character == '\n' && !previous_was_cr_) output[out++] = '\r';
    output[out++] = character;
    previous_was_cr_ = character == '\r';
  }
  return out;
}

}  // namespace orvex::inet
