#include "platform/error.h"

#include <utility>

namespace orvex {

Error::Error(int number, std::string description)
    : std::runtime_error(description + " (" + std::to_string(number) + ")"),
      number_(number),
      description_(std::move(description)) {}

void Raise(int number, std::string description) { throw Error(number, std::move(description)); }

}  // namespace orvex
