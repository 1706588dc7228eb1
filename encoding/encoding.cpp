#include "encoding/encoding.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>

#include "platform/error.h"
#include "platform/text/code_page_1252.h"
#include "platform/text/utf16.h"

namespace orvex::encoding {
namespace {

constexpr std::int32_t kCheckSumSize = 8;
constexpr std::int32_t kRandomSize = 32;
// The padding character is 33 + p: "!" for no padding bits.
constexpr int kPaddingBase = 33;

cEncoding::Bytes ToBytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string ToString(const cEncoding::Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

// Texts and keys both enter the block as UTF-16LE, two bytes per code unit.
cEncoding::Bytes Utf16Bytes(std::string_view utf8) {
  return text::ToLittleEndianBytes(text::Utf8ToUtf16(utf8));
}

// 256 bits from the operating system spread over the generator's state; the
// random bytes only need to differ between values and between runs.
std::mt19937 SeededFromSystem() {
  std::random_device device;
  std::array<std::uint32_t, 8> words;
  std::generate(words.begin(), words.end(), std::ref(device));
  std::seed_seq seed(words.begin(), words.end());
  return std::mt19937(seed);
}

}  // namespace

cEncoding::cEncoding() : random_(SeededFromSystem()) {}

void cEncoding::ByteDispose(const Bytes& input, Bytes& output, std::int32_t input_bits,
                            std::int32_t output_bits, std::uint8_t input_offset,
                            std::uint8_t output_offset, std::int32_t& trail) {
  if (input_bits < 1 || input_bits > 8 || output_bits < 1 || output_bits > 8) {
    Raise(error_number::kInvalidProcedureCall, "Bit group widths must be 1 to 8");
  }
  const std::int64_t total_bits = static_cast<std::int64_t>(input_bits) * static_cast<std::int64_t>(input.size());
  const std::int64_t unit_count = (total_bits + output_bits - 1) / output_bits;

  Bytes result(static_cast<std::size_t>(unit_count), 0);
  std::size_t unit = 0;
  int bit = 0;
  const auto finish_unit = [&] {
    const int value = result[unit] + output_offset;
    if (value > 255) Raise(error_number::kOverflow, "Overflow");
    result[unit] = static_cast<std::uint8_t>(value);
  };
  for (const std::uint8_t source : input) {
    if (source < input_offset) Raise(error_number::kOverflow, "Overflow");
    const unsigned reduced = source - input_offset;
    for (int j = 0; j < input_bits; ++j) {
      result[unit] = static_cast<std::uint8_t>(result[unit] | (((reduced >> j) & 1U) << bit));
      if (++bit == output_bits) {
        finish_unit();
        ++unit;
        bit = 0;
      }
    }
  }
  if (bit > 0) finish_unit();

  // Whole units of padding beyond the input's bits are dropped from the end.
  std::int64_t padding = static_cast<std::int64_t>(trail) + unit_count * output_bits - total_bits;
  if (padding >= output_bits) {
    const std::int64_t drop = padding / output_bits;
    if (drop > unit_count) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
    result.resize(static_cast<std::size_t>(unit_count - drop));
    padding -= drop * output_bits;
  }
  output = std::move(result);
  trail = static_cast<std::int32_t>(padding);
}

void cEncoding::JoinByte(Bytes& bytes, const Bytes& tail) {
  bytes.insert(bytes.end(), tail.begin(), tail.end());
}

void cEncoding::SplitByte(Bytes& bytes, Bytes& tail, std::int32_t start, bool cut) {
  if (start < 0 || static_cast<std::size_t>(start) >= bytes.size()) {
    Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
  }
  tail.assign(bytes.begin() + start, bytes.end());
  if (cut) bytes.resize(static_cast<std::size_t>(start));
}

void cEncoding::GetCRC64(const Bytes& bytes, Bytes& check_sum) {
  Bytes sum(static_cast<std::size_t>(kCheckSumSize), 0);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    const std::size_t j = k % 4;
    sum[j] ^= bytes[k];
    sum[4 + j] = static_cast<std::uint8_t>((sum[4 + j] + bytes[k]) % 255);
  }
  check_sum = std::move(sum);
}

void cEncoding::GenerateKey(Bytes& key, std::int32_t size) {
  if (size < 0) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
  // 255 is never produced, as in every value this format has stored.
  std::uniform_int_distribution<int> byte(0, 254);
  Bytes result(static_cast<std::size_t>(size));
  for (auto& value : result) value = static_cast<std::uint8_t>(byte(random_));
  key = std::move(result);
}

void cEncoding::BXor(Bytes& bytes, const Bytes& key) {
  if (key.empty()) Raise(error_number::kInvalidProcedureCall, "The key is empty");
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key[i % key.size()];
}

bool cEncoding::BEncode(const Bytes& data, const Bytes& key, Bytes& encoded) {
  try {
    Bytes random;
    GenerateKey(random, kRandomSize);
    Bytes mixing_key = random;
    BXor(mixing_key, key);

    Bytes block = data;
    if (!skip_data_crc_) {
      Bytes check_sum;
      GetCRC64(block, check_sum);
      JoinByte(block, check_sum);
    }
    BXor(block, mixing_key);
    JoinByte(block, random);
    if (!skip_file_crc_) {
      Bytes check_sum;
      GetCRC64(block, check_sum);
      JoinByte(block, check_sum);
    }

    if (disposition_ < 8) {
      std::int32_t trail = 0;
      Bytes text_form;
      ByteDispose(block, text_form, 8, disposition_, 0, low_limit_, trail);
      text_form.push_back(static_cast<std::uint8_t>(kPaddingBase + trail));
      encoded = std::move(text_form);
    } else {
      encoded = std::move(block);
    }
    return true;
  } catch (const std::exception&) {
    encoded.clear();
    return false;
  }
}

std::string cEncoding::Encode(std::string_view text, std::string_view key) {
  try {
    Bytes encoded;
    if (!BEncode(Utf16Bytes(text), Utf16Bytes(key), encoded)) return {};
    if (binary_) return ToString(encoded);
    return text::CodePage1252ToUtf8(ToString(encoded));
  } catch (const std::exception&) {
    return {};
  }
}

bool cEncoding::BDecode(const Bytes& encoded, const Bytes& key, Bytes& data) const {
  try {
    Bytes block;
    if (disposition_ < 8) {
      if (encoded.empty()) Raise(error_number::kSubscriptOutOfRange, "No padding character");
      std::int32_t trail = encoded.back() - kPaddingBase;
      const Bytes groups(encoded.begin(), encoded.end() - 1);
      ByteDispose(groups, block, disposition_, 8, low_limit_, 0, trail);
    } else {
      block = encoded;
    }

    // Split positions are 32-bit; no stored value comes near that size.
    if (block.size() > static_cast<std::size_t>(INT32_MAX)) {
      Raise(error_number::kSubscriptOutOfRange, "Encoded value too long");
    }
    // Below 0 when the block is too short, which SplitByte refuses.
    const auto split_start = [&block](std::int32_t tail_size) {
      return static_cast<std::int32_t>(block.size()) - tail_size;
    };

    if (!skip_file_crc_) {
      Bytes stored;
      SplitByte(block, stored, split_start(kCheckSumSize), true);
      Bytes computed;
      GetCRC64(block, computed);
      if (stored != computed) Raise(error_number::kInvalidProcedureCall, "Outer check sum mismatch");
    }

    Bytes mixing_key;
    SplitByte(block, mixing_key, split_start(kRandomSize), true);
    BXor(mixing_key, key);
    BXor(block, mixing_key);

    if (!skip_data_crc_) {
      Bytes stored;
      SplitByte(block, stored, split_start(kCheckSumSize), true);
      Bytes computed;
      GetCRC64(block, computed);
      if (stored != computed) Raise(error_number::kInvalidProcedureCall, "Inner check sum mismatch");
    }
    data = std::move(block);
    return true;
  } catch (const std::exception&) {
    data.clear();
    return false;
  }
}

std::string cEncoding::Decode(std::string_view encoded_text, std::string_view key) const {
  try {
    const Bytes encoded = binary_ ? ToBytes(encoded_text) : ToBytes(text::Utf8ToCodePage1252(encoded_text));
    Bytes data;
    if (!BDecode(encoded, Utf16Bytes(key), data)) return {};
    // Only whole UTF-16 code units are text.
    if (data.size() % 2 != 0) return {};
    return text::Utf16ToUtf8(text::FromLittleEndianBytes(data));
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace orvex::encoding
