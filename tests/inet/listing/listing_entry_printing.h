// Equality and GoogleTest printing for listing entries, so a failed table row
// shows the whole entry the parser produced.
#ifndef ORVEX_TESTS_INET_LISTING_LISTING_ENTRY_PRINTING_H_
#define ORVEX_TESTS_INET_LISTING_LISTING_ENTRY_PRINTING_H_

#include <optional>
#include <ostream>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet {

inline bool operator==(const CivilTime& left, const CivilTime& right) {
  return left.year == right.year && left.month == right.month &&
         left.day == right.day && left.hour == right.hour &&
         left.minute == right.minute && left.second == right.second;
}

inline bool operator==(const ListingEntry& left, const ListingEntry& right) {
  return left.name == right.name && left.type == right.type &&
         left.size == right.size && left.has_time == right.has_time &&
         (!left.has_time || left.time == right.time) &&
         left.time_is_utc == right.time_is_utc &&
         left.link_target == right.link_target;
}

inline void PrintTo(const CivilTime& time, std::ostream* out) {
  *out << time.year << '-' << time.month << '-' << time.day << ' ' << time.hour
       << ':' << time.minute << ':' << time.second;
}

inline void PrintTo(const ListingEntry& entry, std::ostream* out) {
  static constexpr const char* kTypes[] = {"File", "Directory", "Link", "Other"};
  *out << "{name=\"" << entry.name << "\" "
       << kTypes[static_cast<int>(entry.type)] << " size=" << entry.size;
  if (entry.has_time) {
    *out << " time=";
    PrintTo(entry.time, out);
    *out << (entry.time_is_utc ? " UTC" : " local");
  }
  if (!entry.link_target.empty()) *out << " -> \"" << entry.link_target << '"';
  *out << '}';
}

inline void PrintTo(const std::optional<ListingEntry>& entry,
                    std::ostream* out) {
  if (entry) {
    PrintTo(*entry, out);
  } else {
    *out << "nullopt";
  }
}

// Shorthand for the expected side of a table row.
inline ListingEntry Entry(const char* name, EntryType type, std::uint64_t size,
                          CivilTime time, bool time_is_utc,
                          const char* link_target = "") {
  ListingEntry entry;
  entry.name = name;
  entry.type = type;
  entry.size = size;
  entry.has_time = true;
  entry.time = time;
  entry.time_is_utc = time_is_utc;
  entry.link_target = link_target;
  return entry;
}

}  // namespace orvex::inet

#endif  // ORVEX_TESTS_INET_LISTING_LISTING_ENTRY_PRINTING_H_
