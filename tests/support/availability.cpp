#include "tests/support/availability.h"

#include <cstdlib>
#include <cstring>

namespace orvex::testing {

bool ServersRequired() {
  const char* value = std::getenv("ORVEX_REQUIRE_SERVERS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace orvex::testing
