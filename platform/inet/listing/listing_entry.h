// One entry of a remote directory listing, as the listing parsers hand it to
// the FTP engine. The parsers fill in only what the server said; they never
// guess a time zone, a size or a type the line did not carry.
#ifndef ORVEX_PLATFORM_INET_LISTING_LISTING_ENTRY_H_
#define ORVEX_PLATFORM_INET_LISTING_LISTING_ENTRY_H_

#include <cstdint>
#include <string>

namespace orvex::inet {

// Calendar fields of a timestamp, as the source gave them (no time zone
// applied). Fields the source did not give (seconds in a LIST line, hour and
// minute in an old Unix date) are 0.
struct CivilTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class EntryType {
  File,
  Directory,
  Link,
  Other  // device, socket, fifo, door: nothing that can be copied as a file
};

struct ListingEntry {
  // Exactly the bytes the server sent (UTF-8 on most servers). Never empty and
  // never contains '/', '\\' or NUL: a line whose name would is not handed on
  // (except by the "AsListed" parsers, for reporting).
  std::string name;
  EntryType type = EntryType::File;
  std::uint64_t size = 0;    // 64-bit; 0 when unknown
  bool has_time = false;
  CivilTime time;            // valid when has_time
  // true for MLSD (its facts are UTC); LIST times are server-local as shown.
  bool time_is_utc = false;
  // For Link entries, the target from "name -> target" or "slink:target";
  // empty when the server did not say.
  std::string link_target;
};

}  // namespace orvex::inet

#endif  // ORVEX_PLATFORM_INET_LISTING_LISTING_ENTRY_H_
