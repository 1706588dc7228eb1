#pragma once
// Line-end conversion for ASCII-mode transfers: CR LF on the wire, LF
// locally. Both directions work on a stream cut into arbitrary pieces, so a
// CR LF split between two pieces is still recognised; the small state between
// pieces lives in the converter objects.

#include <cstddef>

namespace orvex::inet {

// Wire -> local: CR LF becomes LF; a CR not followed by LF is kept.
class LineEndDecoder {
 public:
  // Converts data[0, length) in place and returns the number of bytes now at
  // the start of `data`. A CR at the very end is held back until the next
  // piece shows whether an LF follows; when `pending_cr()` is true before the
  // call and the caller reserved data[0] (with the new bytes starting at
  // data[1]), the held CR is emitted there if needed.
  std::size_t Decode(char* data, std::size_t reserved, std::size_t length);
  // The end of the stream: a held CR is a real CR.
  bool pending_cr() const { return pending_cr_; }
  void clear_pending_cr() { pending_cr_ = false; }

 private:
  bool pending_cr_ = false;
};

// Local -> wire: an LF that does not already follow a CR becomes CR LF.
class LineEndEncoder {
 public:
  // Writes the encoding of input[0, length) to `output`, which must hold
  // 2 * length bytes; returns the number of bytes written.
  std::size_t Encode(const char* input, std::size_t length, char* output);

 private:
  bool previous_was_cr_ = false;
};

}  // namespace orvex::inet
