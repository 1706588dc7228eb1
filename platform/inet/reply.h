#pragma once
// One FTP reply and the few reply texts the engine has to understand.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet {

struct Reply {
  int code = 0;      // 100..599
  std::string text;  // every line as sent, joined by CR LF, no final CR LF

  bool preliminary() const { return code / 100 == 1; }
  bool completed() const { return code / 100 == 2; }
  bool intermediate() const { return code / 100 == 3; }
  bool failed() const { return code >= 400; }
};

// The port of "229 Entering Extended Passive Mode (|||6446|)"; the
// delimiter is whatever character follows the "(".
std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view text);

// The port of "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)". The address
// the server names is deliberately not returned: data connections always go
// to the control connection's peer.
std::optional<std::uint16_t> ParsePassivePort(std::string_view text);

// The folder of '257 "/a ""quoted"" name" is current': the text between the
// first quote and its closing quote, with doubled quotes undone.
std::optional<std::string> ParseQuotedPath(std::string_view text);

// The time of "213 YYYYMMDDHHMMSS[.fraction]" (MDTM), fraction dropped;
// nullopt for anything else, a date that does not exist included.
std::optional<CivilTime> ParseModificationTime(std::string_view text);

}  // namespace orvex::inet
