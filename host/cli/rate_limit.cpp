// Reading --limit-rate values.

#include "host/cli/rate_limit.h"

#include <cctype>
#include <cmath>

namespace orvex::cli {

std::optional<std::uint64_t> ParseRate(const std::string& text) {
  std::size_t position = 0;
  while (position < text.size() && (std::isdigit(static_cast<unsigned char>(text[position])) || text[position] == '.')) {
    ++position;
  }
  if (position == 0) return std::nullopt;
  const std::string number = text.substr(0, position);
  if (number.find('.') != number.rfind('.') || number == ".") return std::nullopt;
  double value = std::stod(number);
  std::string unit = text.substr(position);
  for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (unit.size() >= 2 && unit.compare(unit.size() - 2, 2, "/s") == 0) unit.resize(unit.size() - 2);
  if (!unit.empty() && unit.back() == 'b') unit.pop_back();
  if (unit == "k") {
    value *= 1024;
  } else if (unit == "m") {
    value *= 1024.0 * 1024;
  } else if (unit == "g") {
    value *= 1024.0 * 1024 * 1024;
  } else if (!unit.empty()) {
    return std::nullopt;
  }
  if (!(value >= 1) || value > 1e15) return std::nullopt;
  return static_cast<std::uint64_t>(std::llround(value));
}

}  // namespace orvex::cli
