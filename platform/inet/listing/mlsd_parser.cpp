// MLSD/MLST facts lines: "fact=value;fact=value; name". The facts end at the
// first "; " (a ';' then the one space that starts the name), so names keep
// every byte the server sent, leading and trailing spaces included.
#include <optional>
#include <string_view>

#include "platform/inet/listing/listing_parser.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet {

namespace {

using listing_text::EqualsIgnoringCase;
using listing_text::StartsWithIgnoringCase;

enum class MlsdType { Unset, File, Directory, Link, Other, ListedFolder };

struct TypeFact {
  MlsdType type = MlsdType::Unset;
  std::string_view link_target;
};

TypeFact ParseTypeFact(std::string_view value) {
  if (EqualsIgnoringCase(value, "file")) return {MlsdType::File, {}};
  if (EqualsIgnoringCase(value, "dir")) return {MlsdType::Directory, {}};
  if (EqualsIgnoringCase(value, "cdir") || EqualsIgnoringCase(value, "pdir")) {
    return {MlsdType::ListedFolder, {}};
  }
  // proftpd says "OS.unix=symlink"; pure-ftpd "OS.unix=slink:<target>" with
  // a target that may be empty.
  constexpr std::string_view kUnixPrefix = "OS.unix=";
  if (StartsWithIgnoringCase(value, kUnixPrefix)) {
    const std::string_view unix_type = value.substr(kUnixPrefix.size());
    if (EqualsIgnoringCase(unix_type, "symlink")) return {MlsdType::Link, {}};
    constexpr std::string_view kSlink = "slink";
    if (StartsWithIgnoringCase(unix_type, kSlink)) {
      const std::string_view after = unix_type.substr(kSlink.size());
      if (after.empty()) return {MlsdType::Link, {}};
      if (after.front() == ':') return {MlsdType::Link, after.substr(1)};
    }
  }
  // "unknown" (fifos, devices on pure-ftpd), OS-specific kinds and anything
  // new: an entry that exists but is not a plain file or folder.
  return {MlsdType::Other, {}};
}

// "YYYYMMDDHHMMSS" with an optional ".fraction", which is dropped.
std::optional<CivilTime> ParseModifyFact(std::string_view value) {
  const std::size_t dot = value.find('.');
  const std::string_view whole = value.substr(0, dot);
  if (whole.size() != 14) return std::nullopt;
  if (dot != std::string_view::npos) {
    const std::string_view fraction = value.substr(dot + 1);
    if (fraction.empty() || !listing_text::ParseUnsigned(fraction) ||
        fraction.size() > 9) {
      return std::nullopt;
    }
  }
  const auto year = listing_text::ParseFixedDigits(whole, 4);
  const auto month = listing_text::ParseFixedDigits(whole.substr(4), 2);
  const auto day = listing_text::ParseFixedDigits(whole.substr(6), 2);
  const auto hour = listing_text::ParseFixedDigits(whole.substr(8), 2);
  const auto minute = listing_text::ParseFixedDigits(whole.substr(10), 2);
  const auto second = listing_text::ParseFixedDigits(whole.substr(12), 2);
  if (!year || !month || !day || !hour || !minute || !second) {
    return std::nullopt;
  }
  const CivilTime time{*year, *month, *day, *hour, *minute, *second};
  if (!listing_text::IsValidCivilTime(time)) return std::nullopt;
  return time;
}

std::optional<ListingEntry> ParseMlsd(std::string_view line, bool as_listed) {
  line = listing_text::StripLineEnd(line);

  std::string_view facts;
  std::string_view name;
  if (const std::size_t end = line.find("; "); end != std::string_view::npos) {
    facts = line.substr(0, end + 1);
    name = line.substr(end + 2);
  } else if (!line.empty() && line.front() == ' ') {
    name = line.substr(1);  // a line without any facts
  } else {
    // Facts not closed by ';' before the space: tolerated, as long as the
    // facts themselves hold no space.
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    facts = line.substr(0, space);
    name = line.substr(space + 1);
  }
  if (!listing_text::AcceptsName(name, as_listed)) return std::nullopt;

  TypeFact type;
  std::optional<std::uint64_t> size;
  std::optional<std::uint64_t> directory_size;
  std::optional<CivilTime> modified;
  while (!facts.empty()) {
    const std::size_t semicolon = facts.find(';');
    const std::string_view fact = facts.substr(0, semicolon);
    facts = semicolon == std::string_view::npos ? std::string_view()
                                                : facts.substr(semicolon + 1);
    const std::size_t equals = fact.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view fact_name = fact.substr(0, equals);
    const std::string_view value = fact.substr(equals + 1);
    if (EqualsIgnoringCase(fact_name, "type")) {
      type = ParseTypeFact(value);
    } else if (EqualsIgnoringCase(fact_name, "size")) {
      size = listing_text::ParseUnsigned(value);
    } else if (EqualsIgnoringCase(fact_name, "sizd")) {
      directory_size = listing_text::ParseUnsigned(value);
    } else if (EqualsIgnoringCase(fact_name, "modify")) {
      modified = ParseModifyFact(value);
    }
  }

  ListingEntry entry;
  switch (type.type) {
    case MlsdType::ListedFolder:
      return std::nullopt;
    case MlsdType::File:
      entry.type = EntryType::File;
      break;
    case MlsdType::Directory:
      entry.type = EntryType::Directory;
      break;
    case MlsdType::Link:
      entry.type = EntryType::Link;
      entry.link_target = std::string(type.link_target);
      break;
    case MlsdType::Unset:  // the server did not say what it is
    case MlsdType::Other:
      entry.type = EntryType::Other;
      break;
  }
  entry.name = std::string(name);
  if (size) {
    entry.size = *size;
  } else if (directory_size && entry.type == EntryType::Directory) {
    entry.size = *directory_size;
  }
  if (modified) {
    entry.has_time = true;
    entry.time = *modified;
  }
  entry.time_is_utc = true;
  return entry;
}

}  // namespace

std::optional<ListingEntry> ParseMlsdLine(std::string_view line) { return ParseMlsd(line, false); }

std::optional<ListingEntry> ParseMlsdLineAsListed(std::string_view line) { return ParseMlsd(line, true); }

}  // namespace orvex::inet
