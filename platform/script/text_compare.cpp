#include "platform/script/text_compare.h"

#include <algorithm>
#include <cstdint>

namespace orvex::script {
namespace {

// Decodes one UTF-8 sequence at `text[i]`; an invalid byte decodes as itself
// (kept distinct from valid characters by the caller copying it through).
bool Decode(std::string_view text, std::size_t& i, char32_t& code_point) {
  auto byte = static_cast<unsigned char>(text[i]);
  const std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return false;
  char32_t value = length == 1 ? byte : byte & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  code_point = value;
  i += length;
  return true;
}

void Encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t ToLower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;                  // Latin-1
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149) {  // Latin Extended-A
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// The bytes of FoldCase(text), one at a time, without building the string.
class FoldedBytes {
 public:
  explicit FoldedBytes(std::string_view text) : text_(text) {}
  // The next byte (0..255), or -1 at the end.
  int Next() {
    if (position_ < length_) return static_cast<unsigned char>(buffer_[position_++]);
    if (index_ == text_.size()) return -1;
    const auto byte = static_cast<unsigned char>(text_[index_]);
    if (byte < 0x80) {
      ++index_;
      return byte >= 'A' && byte <= 'Z' ? byte + 32 : byte;
    }
    std::string folded;
    char32_t code_point = 0;
    if (Decode(text_, index_, code_point)) {
      Encode(ToLower(code_point), folded);
    } else {
      folded += text_[index_++];
    }
    length_ = folded.size();
    for (std::size_t k = 0; k < length_; ++k) buffer_[k] = folded[k];
    position_ = 1;
    return static_cast<unsigned char>(buffer_[0]);
  }

 private:
  std::string_view text_;
  std::size_t index_ = 0;
  char buffer_[4] = {};
  std::size_t length_ = 0;
  std::size_t position_ = 0;
};

constexpr unsigned char AsciiLower(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte + 32 : byte; }

}  // namespace

std::size_t FoldedHash(std::string_view text) {
  constexpr std::uint64_t kFnvPrime = 1099511628211u;
  std::uint64_t hash = 1469598103934665603u;  // FNV-1a over the folded bytes
  std::size_t index = 0;
  // Plain ASCII, the usual case, folds byte by byte.
  while (index < text.size() && static_cast<unsigned char>(text[index]) < 0x80) {
    hash = (hash ^ AsciiLower(static_cast<unsigned char>(text[index++]))) * kFnvPrime;
  }
  if (index < text.size()) {
    FoldedBytes bytes(text.substr(index));
    for (int byte = bytes.Next(); byte >= 0; byte = bytes.Next()) {
      hash = (hash ^ static_cast<unsigned char>(byte)) * kFnvPrime;
    }
  }
  return static_cast<std::size_t>(hash);
}

bool FoldedEquals(std::string_view a, std::string_view b) {
  std::size_t index = 0;
  const std::size_t common = std::min(a.size(), b.size());
  while (index < common) {
    const auto x = static_cast<unsigned char>(a[index]);
    const auto y = static_cast<unsigned char>(b[index]);
    if ((x | y) >= 0x80) break;
    if (AsciiLower(x) != AsciiLower(y)) return false;
    ++index;
  }
  if (index == a.size() && index == b.size()) return true;
  if (index == common) {
    // One ended inside plain ASCII; only a non-ASCII rest could fold empty,
    // and none does.
    return false;
  }
  FoldedBytes left(a.substr(index)), right(b.substr(index));
  for (;;) {
    const int x = left.Next();
    const int y = right.Next();
    if (x != y) return false;
    if (x < 0) return true;
  }
}

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t code_point = 0;
    if (Decode(text, i, code_point)) {
      Encode(ToLower(code_point), folded);
    } else {
      folded += text[i++];
    }
  }
  return folded;
}

bool TextEquals(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  return FoldCase(a) == FoldCase(b);
}

}  // namespace orvex::script
