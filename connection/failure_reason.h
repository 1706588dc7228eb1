#pragma once
// The reason a failure trap reports: an orvex::Error's description (the text
// without its number), or what any other exception says.

#include <exception>
#include <string>

namespace orvex {

std::string FailureReason(const std::exception& failure);

}  // namespace orvex
