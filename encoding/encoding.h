#pragma once
// cEncoding: the printable text form in which a connection stores its password.
//
// This is an obfuscation, not a cipher. The text's UTF-16LE bytes are mixed
// with a caller-supplied key and 32 random bytes that travel in clear inside
// the result, guarded by two 8-byte check sums, and the block is written as
// 5-bit groups in the characters "0" to "O", followed by one character ("!" to
// "%") that records how many padding bits the last group holds. Encoding the
// same text twice gives different results; both decode to the same text.
//
// Block layout with the default settings, field by field (2·n + 48 bytes for
// n UTF-16 units):
//   1. the text's UTF-16LE bytes, XOR-mixed with the 32-byte mixing key
//   2. 8-byte check sum of field 1 before mixing, mixed with the same key
//      stream continuing the position count of field 1 (absent with
//      SkipDataCRC)
//   3. the 32 random bytes R, in clear
//   4. 8-byte check sum of fields 1 to 3 as they stand (absent with SkipFileCRC)
// The mixing key is R XOR the key's UTF-16LE bytes, the key bytes repeated
// from their start. Text form: the block is read as a bit stream, each byte
// from its least significant bit up, and cut into groups of Disposition bits,
// the first bit of a group being its least significant; each group value v
// becomes the character LowLimit + v. A short last group is padded with zero
// bits at its top, and the padding count p becomes a final character 33 + p.
// So the text has ceil(8·B / 5) + 1 characters for a block of B bytes: 78 for
// the empty text, 104 for eight characters.
//
// The key is whatever the caller passes; the connection passes the
// application title (orvex::version::kApplicationTitle) both ways. Values
// stored under one key decode only under the same key. The object never keeps
// the key.
//
// Every stored value this format has ever produced decodes to the same text
// here, so the layout, the check sums and the text form must not change.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::encoding {

class cEncoding {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // Settings start at their defaults; the random source is seeded from the
  // operating system, separately for each object.
  cEncoding();

  // Added to each group value when writing the text form and subtracted from
  // each character code when reading it. Default 48, the code of "0".
  std::uint8_t LowLimit() const { return low_limit_; }
  void LowLimit(std::uint8_t value) { low_limit_ = value; }

  // Bits per character of the text form. Values below 8 select the text form;
  // 8 or more leave the block as plain bytes with no padding character.
  // Values of 0 or less make every Encode and Decode fail. Default 5.
  std::int32_t Disposition() const { return disposition_; }
  void Disposition(std::int32_t value) { disposition_ = value; }

  // How the encoded bytes become a string. False (the default and the stored
  // form): each byte is one code page 1252 character, returned as UTF-8; in the
  // text form every byte is ASCII, so the result is plain ASCII. True: the
  // string holds the encoded bytes unchanged, not UTF-8 text; Decode then
  // reads the string's bytes unchanged.
  bool Binary() const { return binary_; }
  void Binary(bool value) { binary_ = value; }

  // When true the check sum over the whole block is neither written nor
  // checked. Default false.
  bool SkipFileCRC() const { return skip_file_crc_; }
  void SkipFileCRC(bool value) { skip_file_crc_ = value; }

  // When true the check sum over the plain text bytes is neither written nor
  // checked. Default false.
  bool SkipDataCRC() const { return skip_data_crc_; }
  void SkipDataCRC(bool value) { skip_data_crc_ = value; }

  // The building blocks below raise orvex::Error on failure; BEncode, BDecode,
  // Encode and Decode catch every failure and report it by their result.

  // Regroups bits. Every unit of `input` is first reduced by `input_offset` (a
  // unit below it fails) and contributes its low `input_bits` bits, lowest
  // first, to a bit stream; the stream is cut into units of `output_bits` bits,
  // lowest first, each increased by `output_offset` (a sum above 255 fails).
  // `output` is replaced by ceil(input_bits·n / output_bits) units; a partly
  // filled last unit is padded with zero bits at its top. Then `trail` grows by
  // the number of padding bits, and while it is at least `output_bits` the last
  // output unit is dropped and `output_bits` taken off `trail` (dropping more
  // units than there are fails). Both widths must be 1 to 8.
  static void ByteDispose(const Bytes& input, Bytes& output, std::int32_t input_bits,
                          std::int32_t output_bits, std::uint8_t input_offset,
                          std::uint8_t output_offset, std::int32_t& trail);

  // Appends all of `tail` to `bytes`.
  static void JoinByte(Bytes& bytes, const Bytes& tail);

  // `tail` receives `bytes` from index `start` to the end. With `cut` true,
  // `bytes` keeps only its first `start` bytes. A `start` below 0 or beyond the
  // last index fails and changes nothing.
  static void SplitByte(Bytes& bytes, Bytes& tail, std::int32_t start, bool cut);

  // `check_sum` receives the 8-byte check sum of `bytes`: for the byte b at
  // position k and j = k mod 4, byte j is the XOR and byte 4 + j the sum modulo
  // 255 of every such b. Any length is accepted.
  static void GetCRC64(const Bytes& bytes, Bytes& check_sum);

  // `key` receives `size` random bytes, each 0 to 254. A negative size fails.
  void GenerateKey(Bytes& key, std::int32_t size);

  // bytes[i] ^= key[i mod key.size()] for every i. An empty key fails.
  static void BXor(Bytes& bytes, const Bytes& key);

  // Builds the encoded block of `data` under `key` (the key's bytes as they
  // are mixed in) and, below Disposition 8, its text form. On failure (an
  // empty key, settings that cannot be written) `encoded` is emptied and the
  // result is false.
  bool BEncode(const Bytes& data, const Bytes& key, Bytes& encoded);

  // The stored form of `text` (UTF-8) under `key`; see Binary for the form of
  // the result. Invalid UTF-8 in `text` is read with each invalid byte as
  // U+FFFD. Never throws: any failure (an empty key among them) gives "".
  std::string Encode(std::string_view text, std::string_view key);

  // Inverse of BEncode. Checks, in this order, stopping at the first failure:
  // the input is not empty (below Disposition 8 its last byte is the padding
  // character); no character code is below LowLimit; the block is long enough
  // to split off its check sums and the 32 random bytes; the outer check sum
  // matches; the inner check sum matches. On failure `data` is emptied and
  // the result is false.
  //
  // Below Disposition 8 only the low Disposition bits of each reduced
  // character code are read, so "P" reads like "0", and a changed padding
  // character or a removed all-zero last group can still decode to the same
  // text. A padding character that asks for more bytes to be dropped than the
  // block holds fails.
  bool BDecode(const Bytes& encoded, const Bytes& key, Bytes& data) const;

  // The text (UTF-8) stored in `encoded_text` under `key`. Never throws: any
  // failure gives "", so a caller cannot tell a damaged value, a value stored
  // under another key or an empty stored value from an empty password. A
  // character with no code in code page 1252 reads as "?". A decoded block of
  // odd length is not whole UTF-16 text and fails; an unpaired surrogate in it
  // becomes U+FFFD.
  std::string Decode(std::string_view encoded_text, std::string_view key) const;

 private:
  std::uint8_t low_limit_ = 48;
  std::int32_t disposition_ = 5;
  bool binary_ = false;
  bool skip_file_crc_ = false;
  bool skip_data_crc_ = false;
  std::mt19937 random_;
};

}  // namespace orvex::encoding
