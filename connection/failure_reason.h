#pragma once
// The reason a failure trap reports: an orvex::Error's description (the text
// without its number), or what any other exception says.

#include <exception>
#include <string>

namespace orvex {

// The number raised for a failure the plug-in detected itself (a refusal by
// the server, a name it will not send): a trap reports only its reason, so
// the number is never shown.
inline constexpr int kReportedFailure = -1;

std::string FailureReason(const std::exception& failure);

}  // namespace orvex
