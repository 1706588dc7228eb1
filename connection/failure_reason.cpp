#include "connection/failure_reason.h"

#include "platform/error.h"

namespace orvex {

std::string FailureReason(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const Error*>(&failure)) return error->description();
  return failure.what();
}

}  // namespace orvex
