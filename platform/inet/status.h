#pragma once
// The outcome of an engine operation: 0 for success, otherwise one of the
// error numbers of platform/win32/error_numbers.h. The engine never throws to
// its callers; every failure is one of these numbers, and a failure caused by
// a server reply also leaves that reply in the connection's last reply.

#include <cstdint>

#include "platform/win32/error_numbers.h"

namespace orvex::inet {

class Status {
 public:
  constexpr Status() = default;
  constexpr explicit Status(std::uint32_t error) : error_(error) {}

  static constexpr Status Ok() { return Status(); }

  constexpr bool ok() const { return error_ == 0; }
  constexpr std::uint32_t error() const { return error_; }

 private:
  std::uint32_t error_ = 0;
};

}  // namespace orvex::inet
