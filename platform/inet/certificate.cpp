#include "platform/inet/certificate.h"

#include <cctype>
#include <vector>

namespace orvex::inet {
namespace {

constexpr std::size_t kDigestLength = 32;

int HexValue(char character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return -1;
}

int Base64Value(char character) {
  if (character >= 'A' && character <= 'Z') return character - 'A';
  if (character >= 'a' && character <= 'z') return character - 'a' + 26;
  if (character >= '0' && character <= '9') return character - '0' + 52;
  if (character == '+') return 62;
  if (character == '/') return 63;
  return -1;
}

std::optional<std::vector<unsigned char>> FromHex(std::string_view text) {
  std::vector<unsigned char> bytes;
  std::size_t index = 0;
  while (index < text.size()) {
    if (!bytes.empty() && text[index] == ':') ++index;
    if (index + 2 > text.size()) return std::nullopt;
    const int high = HexValue(text[index]);
    const int low = HexValue(text[index + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    index += 2;
  }
  return bytes;
}

std::optional<std::vector<unsigned char>> FromBase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::vector<unsigned char> bytes;
  unsigned int accumulator = 0;
  int bits = 0;
  for (const char character : text) {
    const int value = Base64Value(character);
    if (value < 0) return std::nullopt;
    accumulator = (accumulator << 6) | static_cast<unsigned int>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<unsigned char>((accumulator >> bits) & 0xff));
    }
  }
  return bytes;
}

}  // namespace

std::string FormatFingerprint(const unsigned char* digest, std::size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "SHA256:";
  for (std::size_t index = 0; index < length; ++index) {
    if (index > 0) text.push_back(':');
    text.push_back(kDigits[digest[index] >> 4]);
    text.push_back(kDigits[digest[index] & 0xf]);
  }
  return text;
}

std::optional<std::string> NormalizeFingerprint(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.size() >= 7) {
    std::string prefix(text.substr(0, 7));
    for (char& character : prefix) character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    if (prefix == "SHA256:") text.remove_prefix(7);
  }
  std::optional<std::vector<unsigned char>> bytes;
  if (text.size() == 64 || text.size() == 95) {
    bytes = FromHex(text);
  } else if (text.size() == 43 || text.size() == 44) {
    bytes = FromBase64(text);
  }
  if (!bytes || bytes->size() != kDigestLength) return std::nullopt;
  return FormatFingerprint(bytes->data(), bytes->size());
}

}  // namespace orvex::inet
