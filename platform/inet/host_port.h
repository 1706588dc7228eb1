#pragma once
// Splitting "host:port", "[IPv6 address]:port" and bare host texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::inet {

struct HostPort {
  std::string host;        // without brackets
  std::uint16_t port = 0;  // 0 when the text names none
};

// "example.org" -> {example.org, 0}; "example.org:2121" -> {.., 2121};
// "[::1]:21" -> {::1, 21}; "[::1]" -> {::1, 0}; "::1" (several colons, no
// brackets) -> {::1, 0}. nullopt for a port that is not a number from 1 to
// 65535 or an unclosed bracket.
std::optional<HostPort> SplitHostPort(std::string_view text);

}  // namespace orvex::inet
