#pragma once
// A listing entry in the form the WinInet-shaped API reports it: attribute
// bits, last-write time as a FILETIME in the client's local time, 64-bit size
// and the name.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "platform/inet/listing/listing_entry.h"
#include "platform/win32/file_time.h"

namespace orvex::inet {

inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// Longest name (in bytes, UTF-8) the API can hand on; longer ones are left
// out of a listing rather than cut.
inline constexpr std::size_t kMaximumNameLength = 1023;

struct RemoteEntry {
  std::string name;
  std::uint32_t attributes = kAttributeNormal;
  win32::FILETIME last_write_time;  // zero when the server gave no time
  std::uint64_t size = 0;
};

// A listing's entries. A deque rather than a vector: a listing of a million
// entries grows without being copied to ever larger blocks, and a reader
// that takes its entries from the front gives their memory back as it goes.
using RemoteEntries = std::deque<RemoteEntry>;

// How entries are reported:
// - folders carry kAttributeDirectory, files kAttributeNormal;
// - a symbolic link is reported as a file with kAttributeReparsePoint added
//   (never as a folder: following links as folders can loop forever, and a
//   caller that reads the link gets the target's content from the server);
// - devices, sockets and pipes are left out (nothing a caller can copy);
// - names that are empty, longer than kMaximumNameLength or contain "/", "\"
//   or NUL are left out;
// - UTC times (MLSD) are converted to local time, other times are taken as
//   shown.
std::optional<RemoteEntry> ToRemoteEntry(const ListingEntry& entry);

// An entry a listing left out, so that a caller can say so and, above all,
// never take its absence for an absent item.
enum class Omission {
  UnusableName,  // holds "/", "\" or NUL, or is longer than kMaximumNameLength
  NotAFile,      // a device, socket or pipe
};
struct OmittedEntry {
  std::string name;  // as listed
  Omission reason = Omission::UnusableName;
  bool folder = false;  // listed as a folder
};
// Why ToRemoteEntry leaves `entry` out; nullopt when it does not.
std::optional<OmittedEntry> OmissionOf(const ListingEntry& entry);

}  // namespace orvex::inet
